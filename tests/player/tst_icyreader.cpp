// The ICY reader behind the HTTP readers: sloppy blocks are forgiven, blocks that are none break
// the framing, and an answer split anywhere on its way reads alike.

#include "network/httpbody.h"
#include "network/httphead.h"
#include "player/core/icyreader.h"

#include <QTest>

using player::IcyReader;

// `count` runs of 256 bytes of audio ('a', 'b', ...), each followed by a block: those given,
// then empty ones.
static QByteArray icyBody(const QByteArrayList &blocks, int count)
{
    QByteArray body;
    for (int i = 0; i < count; ++i) {
        const int n = int(blocks.value(i).size() + 15) / 16;
        body += QByteArray(256, char('a' + i)) + char(n)
            + blocks.value(i).leftJustified(n * 16, '\0');
    }
    return body;
}

class TestIcyReader : public QObject
{
    Q_OBJECT
private slots:
    // The title a block gives, "(none)", or "broken" when its framing broke.
    void blocks_data()
    {
        QTest::addColumn<QByteArray>("block");
        QTest::addColumn<QByteArray>("title");
        int row = 0;
        for (const auto &[block, title] :
            { std::pair { "StreamTitle='A\r\nB\x1b[0m\x01';", "A  B [0m " },
                { "StreamUrl-Extra='x';StreamTitle='It's'", "It's" },
                { "StreamTitle='x'; \r\n", "x" }, { "StreamUrl='http://x/';", "(none)" },
                { "\x93\x11 x='y';", "broken" }, { "StreamTitle='no end", "broken" },
                { "StreamTitle=x;", "broken" } }) {
            QTest::addRow("%d", ++row) << QByteArray(block) << QByteArray(title);
        }
        QTest::newRow("NUL") << QByteArray("StreamTitle='A\0B';", 19) << QByteArray("A B");
    }

    void blocks()
    {
        QFETCH(QByteArray, block);
        QFETCH(QByteArray, title);
        QByteArray body = icyBody({ block }, 2);
        IcyReader reader(256);
        const int audio
            = reader.strip(reinterpret_cast<std::uint8_t *>(body.data()), int(body.size()));
        QCOMPARE(audio == -1 ? "broken" : reader.takeTitle().value_or("(none)"), title);
        QVERIFY(audio == -1 || audio == 512);
    }

    // A chunked answer carrying blocks, cut in two at every byte, gives the same audio and title.
    void anyTwoPiecesReadAlike()
    {
        const QByteArray icy = icyBody(
            { {}, "StreamTitle='One\r\nTwo';StreamUrl='x'; \n", "StreamUrl-Extra='y';" }, 4);
        QByteArray answer = "HTTP/1.1 200 OK\r\nicy-metaint: 256\r\nServer : x\r\n"
                            "Transfer-Encoding: chunked\r\nicy-metaint: 256\r\n\r\n";
        for (qsizetype at = 0; at < icy.size(); at += 100) {
            answer += QByteArray::number(icy.mid(at, 100).size(), 16) + "\r\n" + icy.mid(at, 100)
                + "\r\n";
        }
        answer += "0\r\n\r\n";
        for (qsizetype split = 0; split <= answer.size(); ++split) {
            network::HttpHeadReader head;
            network::HttpBodyDecoder body;
            std::optional<IcyReader> reader;
            QByteArray audio;
            QByteArray titles;
            bool whole = true; // every byte taken, the framing never broken
            for (QByteArrayView piece :
                { QByteArrayView(answer).first(split), QByteArrayView(answer).sliced(split) }) {
                piece = piece.sliced(head.feed(piece));
                if (head.state() == network::HttpHeadReader::State::Done && !reader) {
                    body.start(network::HttpBodyDecoder::Framing::Chunked);
                    reader.emplace(
                        IcyReader::intervalOf(head.head().values("icy-metaint")).value_or(0));
                }
                QByteArray out;
                if (reader && whole) {
                    whole = body.decode(piece, out) == piece.size();
                    const int n = reader->strip(
                        reinterpret_cast<std::uint8_t *>(out.data()), int(out.size()));
                    whole = whole && n >= 0;
                    audio += out.first(std::max(n, 0));
                    titles += reader->takeTitle().value_or("");
                }
            }
            QVERIFY2(whole && body.state() == network::HttpBodyDecoder::State::Done
                    && audio == icyBody({}, 4).replace('\0', "") && titles == "One  Two",
                qPrintable(QStringLiteral("split at %1").arg(split)));
        }
    }
};

QTEST_GUILESS_MAIN(TestIcyReader)
#include "tst_icyreader.moc"
