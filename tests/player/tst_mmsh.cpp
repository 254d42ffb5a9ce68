// MMS over HTTP as the program reads it: the chunks taken apart however the bytes arrive, the
// packets padded to the header's size, and framing that is no MMS refused.

#include "player/core/mmshstream.h"

#include <QTest>
#include <QtEndian>

namespace {

QByteArray le(quint64 value, int bytes)
{
    QByteArray out(bytes, '\0');
    for (int i = 0; i < bytes; ++i) {
        out[i] = char((value >> (8 * i)) & 0xff);
    }
    return out;
}

QByteArray object(const char *guidHex, const QByteArray &body)
{
    return QByteArray::fromHex(guidHex) + le(24 + body.size(), 8) + body;
}

// An ASF header with packets of `packetSize` bytes and audio streams 1 and 2.
QByteArray asfHeader(int packetSize)
{
    QByteArray file(68, '\0');
    file += le(packetSize, 4) + le(packetSize, 4) + le(64000, 4);
    QByteArray objects = object("a1dcab8c47a9cf118ee400c00c205365", file);
    for (const int stream : { 1, 2 }) {
        QByteArray body(48, '\0');
        body += le(stream, 2) + QByteArray(4, '\0');
        objects += object("9107dcb7b7a9cf118ee600c00c205365", body);
    }
    return QByteArray::fromHex("3026b2758e66cf11a6d900aa0062ce6c") + le(30 + objects.size(), 8)
        + le(3, 4) + QByteArray("\x01\x02", 2) + objects;
}

QByteArray chunk(char type, const QByteArray &payload)
{
    const int extended = type == 'H' || type == 'D' ? 8 : 4;
    return QByteArray("$") + type + le(payload.size() + extended, 2) + QByteArray(extended, '\x07')
        + payload;
}

} // namespace

class TestMmsh : public QObject
{
    Q_OBJECT
private slots:
    void chunksAreTakenApartWhereverTheBytesBreak()
    {
        const QByteArray header = asfHeader(100);
        const QByteArray wire = chunk('H', header) + chunk('D', QByteArray(60, 'a'))
            + chunk('D', QByteArray(100, 'b')) + chunk('E', {});
        const QByteArray asf
            = header + QByteArray(60, 'a') + QByteArray(40, '\0') + QByteArray(100, 'b');
        for (qsizetype cut = 0; cut <= wire.size(); ++cut) {
            player::MmshFraming framing;
            QByteArray out;
            framing.feed(QByteArrayView(wire).first(cut), out);
            framing.feed(QByteArrayView(wire).sliced(cut), out);
            QCOMPARE(framing.state(), player::MmshFraming::State::Ended);
            QCOMPARE(out, asf);
        }
        const auto info = player::asfHeaderInfo(header);
        QVERIFY(info);
        QCOMPARE(info->packetSize, 100);
        QCOMPARE(info->streams, QList<int>({ 1, 2 }));
    }

    void framingThatIsNoMmsIsRefused_data()
    {
        QTest::addColumn<QByteArray>("wire");
        const QByteArray header = chunk('H', asfHeader(100));
        QTest::newRow("a packet longer than the header's size")
            << header + chunk('D', QByteArray(101, 'a'));
        QTest::newRow("an unknown chunk") << header + QByteArray("$Z\x08\0", 4) + QByteArray(8, 0);
        QTest::newRow("a length shorter than its own head") << QByteArray("$D\x02\0", 4);
        QTest::newRow("data before any header") << chunk('D', QByteArray(10, 'a'));
        QTest::newRow("an HTTP page") << QByteArray("<html><body>hello</body></html>");
    }

    void framingThatIsNoMmsIsRefused()
    {
        QFETCH(QByteArray, wire);
        player::MmshFraming framing;
        QByteArray out;
        framing.feed(wire, out);
        QCOMPARE(framing.state(), player::MmshFraming::State::Bad);
        QVERIFY(out.size() <= asfHeader(100).size());
    }
};

QTEST_GUILESS_MAIN(TestMmsh)
#include "tst_mmsh.moc"
