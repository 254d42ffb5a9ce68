// The loopback servers that the audible player tests rely on, checked at the wire: they must
// speak the dialects they stand for (ICY status line and metadata in each title encoding, the
// MMSH two-request exchange, the failure modes), or a passing player test would prove nothing.

#include "serverprocess.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QTcpSocket>
#include <QTest>

#include <memory>

using testsupport::ServerProcess;

namespace {

struct Reply
{
    QByteArray head; // status line and headers
    QByteArray body; // what followed, up to the limit
    bool closedByServer = false;
};

// Sends a raw request and reads the answer until maxBody bytes of body, the server closing, or
// the time running out.
Reply exchange(
    const ServerProcess &server, const QByteArray &request, qsizetype maxBody, int timeoutMs)
{
    Reply reply;
    QTcpSocket socket;
    socket.connectToHost(server.host(), server.port());
    if (!socket.waitForConnected(3000)) {
        return reply;
    }
    socket.write(request);
    QByteArray data;
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        const qsizetype end = data.indexOf("\r\n\r\n");
        if (end >= 0 && data.size() - end - 4 >= maxBody) {
            break;
        }
        if (!socket.waitForReadyRead(int(std::max<qint64>(1, deadline.remainingTime())))) {
            reply.closedByServer = socket.state() != QAbstractSocket::ConnectedState;
            if (reply.closedByServer) {
                data += socket.readAll();
                break;
            }
            continue;
        }
        data += socket.readAll();
    }
    const qsizetype end = data.indexOf("\r\n\r\n");
    if (end >= 0) {
        reply.head = data.left(end);
        reply.body = data.mid(end + 4, maxBody);
    } else {
        reply.head = data;
    }
    return reply;
}

QByteArray get(const QByteArray &target, const QByteArray &extra = {})
{
    return "GET " + target + " HTTP/1.0\r\nHost: test\r\n" + extra + "\r\n";
}

QByteArray headerValue(const QByteArray &head, const QByteArray &name)
{
    for (const QByteArray &line : head.split('\n')) {
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).trimmed().toLower() == name.toLower()) {
            return line.mid(colon + 1).trimmed();
        }
    }
    return {};
}

bool startsWithMpegFrame(const QByteArray &data)
{
    return data.size() >= 2 && quint8(data[0]) == 0xFF && (quint8(data[1]) & 0xE0) == 0xE0;
}

std::unique_ptr<ServerProcess> startTool(
    const QString &script, const QStringList &arguments, QString *error)
{
    auto server = std::make_unique<ServerProcess>(script);
    server->startTool(script, arguments);
    if (!server->waitReady(20000, error)) {
        return nullptr;
    }
    return server;
}

} // namespace

class ServerWireTest : public QObject
{
    Q_OBJECT

private slots:
    void shoutcastSendsIcyStatusAndTitles_data();
    void shoutcastSendsIcyStatusAndTitles();
    void shoutcastWithoutMetadataRequestSendsPlainAudio();
    void streamsArePacedAtTheirBitrate();
    void mmshAnswersHeaderThenPlay();
    void playlistsAndTheirFaults();
    void faultModes();
};

void ServerWireTest::shoutcastSendsIcyStatusAndTitles_data()
{
    QTest::addColumn<QString>("encoding");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QByteArray>("wire");
    const QString bangla = QStringLiteral("আমার");
    QTest::newRow("utf8") << "utf8" << bangla << bangla.toUtf8();
    QTest::newRow("mojibake") << "mojibake" << bangla
                              << QString::fromLatin1(bangla.toUtf8()).toUtf8();
    QTest::newRow("entities") << "entities" << bangla << QByteArray("&#2438;&#2478;&#2494;&#2480;");
    QTest::newRow("latin1") << "latin1" << QStringLiteral("Café") << QByteArray("Caf\xe9");
}

void ServerWireTest::shoutcastSendsIcyStatusAndTitles()
{
    QFETCH(QString, encoding);
    QFETCH(QString, title);
    QFETCH(QByteArray, wire);
    QString error;
    const auto server = startTool(QStringLiteral("shoutcast_server.py"),
        { QStringLiteral("--encoding"), encoding, QStringLiteral("--title"), title,
            QStringLiteral("--metaint"), QStringLiteral("1000") },
        &error);
    QVERIFY2(server, qPrintable(error));
    const Reply reply
        = exchange(*server, get("/", "Icy-MetaData: 1\r\n"), 1000 + 1 + 255 * 16, 5000);
    QVERIFY2(reply.head.startsWith("ICY 200 OK\r\n"), reply.head.constData());
    QCOMPARE(headerValue(reply.head, "icy-metaint"), QByteArray("1000"));
    QVERIFY(startsWithMpegFrame(reply.body));
    const int blocks = quint8(reply.body.at(1000));
    QVERIFY(blocks > 0);
    const QByteArray meta = reply.body.mid(1001, blocks * 16);
    QCOMPARE(meta.size(), blocks * 16);
    QVERIFY2(meta.startsWith("StreamTitle='" + wire + "';"), meta.toHex().constData());
}

void ServerWireTest::shoutcastWithoutMetadataRequestSendsPlainAudio()
{
    QString error;
    const auto server = startTool(QStringLiteral("shoutcast_server.py"),
        { QStringLiteral("--metaint"), QStringLiteral("16") }, &error);
    QVERIFY2(server, qPrintable(error));
    const Reply reply = exchange(*server, get("/"), 64 * 1024, 5000);
    QVERIFY(reply.head.startsWith("ICY 200 OK"));
    QVERIFY(headerValue(reply.head, "icy-metaint").isEmpty());
    QCOMPARE(reply.body.size(), 64 * 1024);
    QVERIFY(!reply.body.contains("StreamTitle"));
}

void ServerWireTest::streamsArePacedAtTheirBitrate()
{
    QString error;
    const auto server = startTool(QStringLiteral("playlist_server.py"), {}, &error);
    QVERIFY2(server, qPrintable(error));
    QElapsedTimer clock;
    clock.start();
    // 2 s burst plus 3 s at 16000 bytes a second.
    const Reply reply = exchange(*server, get("/RadioAdda"), 10 * 1024 * 1024, 3000);
    QVERIFY(reply.head.startsWith("HTTP/1.0 200"));
    QCOMPARE(headerValue(reply.head, "content-type"), QByteArray("audio/mpeg"));
    QVERIFY(startsWithMpegFrame(reply.body));
    // Paced, not dumped: more than the burst, and no more than the bitrate allows over the time
    // taken (a loaded machine may send less, never much more).
    const double expected = 16000.0 * (2.0 + double(clock.elapsed()) / 1000.0);
    QVERIFY2(reply.body.size() > 16000 * 2 && reply.body.size() < expected * 1.2,
        qPrintable(
            QStringLiteral("%1 bytes, expected about %2").arg(reply.body.size()).arg(expected)));
}

void ServerWireTest::mmshAnswersHeaderThenPlay()
{
    QString error;
    const auto server = startTool(QStringLiteral("mmsh_server.py"), {}, &error);
    QVERIFY2(server, qPrintable(error));
    const QByteArray agent
        = "User-Agent: NSPlayer/4.1.0.3856\r\nPragma: no-cache,rate=1.000000,request-context=1\r\n";
    // First request: the header chunk alone, then the server closes.
    const Reply header = exchange(*server, get("/radiobanglanet137774", agent), 1 << 20, 5000);
    QVERIFY(header.closedByServer);
    QVERIFY(header.head.startsWith("HTTP/1.0 200"));
    QCOMPARE(quint8(header.body[0]), quint8(0x24));
    QCOMPARE(quint8(header.body[1]), quint8(0x48)); // $H
    const int length = quint8(header.body[2]) | (quint8(header.body[3]) << 8);
    QCOMPARE(header.body.size(), 4 + length);
    // The ASF header object's GUID opens the payload.
    QCOMPARE(header.body.mid(12, 4).toHex(), QByteArray("3026b275"));

    // Second request, asking to play: the same header chunk, then numbered data chunks.
    const Reply play
        = exchange(*server, get("/radiobanglanet137774", agent + "Pragma: xPlayStrm=1\r\n"),
            header.body.size() + 64 * 1024, 5000);
    QVERIFY(!play.closedByServer);
    QCOMPARE(play.body.left(header.body.size()), header.body);
    qsizetype offset = header.body.size();
    quint32 expectedSequence = 0;
    while (offset + 12 <= play.body.size()) {
        QCOMPARE(quint8(play.body[offset + 1]), quint8(0x44)); // $D
        const int chunkLength
            = quint8(play.body[offset + 2]) | (quint8(play.body[offset + 3]) << 8);
        const quint32 sequence
            = quint32(quint8(play.body[offset + 4])) | quint32(quint8(play.body[offset + 5])) << 8;
        QCOMPARE(sequence, expectedSequence++);
        offset += 4 + chunkLength;
    }
    QVERIFY(expectedSequence > 5);
}

void ServerWireTest::playlistsAndTheirFaults()
{
    QString error;
    const auto server = startTool(QStringLiteral("playlist_server.py"),
        { QStringLiteral("--tone"), QStringLiteral("sloppy=560") }, &error);
    QVERIFY2(server, qPrintable(error));
    const QByteArray origin = server->origin().toLatin1();

    const Reply sloppy = exchange(*server, get("/sloppy.asx"), 1 << 16, 3000);
    QVERIFY(sloppy.body.startsWith("\xEF\xBB\xBF<?xml"));
    QVERIFY(sloppy.body.contains(origin + "/tone/560.mp3?station=1&format=mp3"));
    QVERIFY(sloppy.body.contains("<!--"));

    const Reply self = exchange(*server, get("/self.asx"), 1 << 16, 3000);
    QVERIFY(self.body.contains("href=\"" + origin + "/self.asx\""));

    const Reply redirect = exchange(*server, get("/redirect.asx"), 1 << 16, 3000);
    QVERIFY(redirect.head.startsWith("HTTP/1.0 302"));
    QCOMPARE(headerValue(redirect.head, "location"), origin + "/redirect-target.asx");

    QVERIFY(exchange(*server, get("/link/stream/index.php?station=northstar"), 1 << 16, 3000)
                .head.startsWith("HTTP/1.0 200"));
    QVERIFY(exchange(*server, get("/link/stream/index.php?station=other"), 1 << 16, 3000)
                .head.startsWith("HTTP/1.0 404"));
    const QByteArray uid(64, 'a');
    QVERIFY(exchange(
        *server, get("/generateasx.esi?file=a/b.wma&BBC-UID=" + uid + "&SSO2-UID="), 1 << 16, 3000)
                .head.startsWith("HTTP/1.0 200"));
    QVERIFY(
        exchange(*server, get("/generateasx.esi?file=a/b.wma&BBC-UID=xyz&SSO2-UID="), 1 << 16, 3000)
            .head.startsWith("HTTP/1.0 400"));
    QCOMPARE(
        headerValue(exchange(*server, get("/wrongtype.asx"), 1 << 16, 3000).head, "content-type"),
        QByteArray("text/html"));
}

void ServerWireTest::faultModes()
{
    QString error;
    const auto refused = startTool(QStringLiteral("fault_server.py"),
        { QStringLiteral("--mode"), QStringLiteral("refuse") }, &error);
    QVERIFY2(refused, qPrintable(error));
    QTcpSocket socket;
    socket.connectToHost(refused->host(), refused->port());
    QVERIFY(!socket.waitForConnected(3000));
    QCOMPARE(socket.error(), QAbstractSocket::ConnectionRefusedError);

    const auto hang = startTool(QStringLiteral("fault_server.py"),
        { QStringLiteral("--mode"), QStringLiteral("hang") }, &error);
    QVERIFY2(hang, qPrintable(error));
    const Reply silent = exchange(*hang, get("/"), 1, 1500);
    QVERIFY(silent.head.isEmpty());
    QVERIFY(!silent.closedByServer);

    const auto http = startTool(QStringLiteral("fault_server.py"),
        { QStringLiteral("--mode"), QStringLiteral("http"), QStringLiteral("--stop-after"),
            QStringLiteral("1") },
        &error);
    QVERIFY2(http, qPrintable(error));
    QVERIFY(exchange(*http, get("/404"), 1 << 16, 3000).head.startsWith("HTTP/1.0 404"));
    QCOMPARE(headerValue(exchange(*http, get("/html"), 1 << 16, 3000).head, "content-type"),
        QByteArray("text/html; charset=utf-8"));
    // /stops plays for its second, closes, and is gone from then on.
    const Reply stops = exchange(*http, get("/stops?id=1"), 1 << 20, 5000);
    QVERIFY(stops.closedByServer);
    QVERIFY(startsWithMpegFrame(stops.body));
    QVERIFY(stops.body.size() < 3 * 16000);
    QVERIFY(exchange(*http, get("/stops?id=1"), 1 << 16, 3000).head.startsWith("HTTP/1.0 404"));
    // /drop is cut once, then streams for good.
    QVERIFY(exchange(*http, get("/drop?id=1"), 1 << 20, 5000).closedByServer);
    const Reply again = exchange(*http, get("/drop?id=1"), 1 << 20, 2500);
    QVERIFY(!again.closedByServer);
    QVERIFY(again.body.size() > 2 * 16000);
}

QTEST_GUILESS_MAIN(ServerWireTest)
#include "tst_player_integration_servers.moc"
