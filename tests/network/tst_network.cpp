#include "loopbackhttp.h"

#include "network/fetch.h"
#include "platform/version.h"

#include <QSignalSpy>
#include <QTest>

using network::Fetch;
using network::FetchError;
using network::Use;

namespace {

constexpr int endTimeoutMs = 30000; // catches a hang; no fetch here should come near it

// Starts the fetch and waits for its end; the error it ended with, Other if it never ended.
FetchError run(Fetch &fetch, const QUrl &url)
{
    QSignalSpy finished(&fetch, &Fetch::finished);
    fetch.start(url);
    if (!finished.wait(endTimeoutMs) || finished.size() != 1 || fetch.isRunning()) {
        return FetchError::Other;
    }
    return finished.first().first().value<FetchError>();
}

} // namespace

class TstNetwork : public QObject
{
    Q_OBJECT

private slots:
    void gate_data()
    {
        QTest::addColumn<QUrl>("url");
        QTest::addColumn<bool>("web");
        QTest::addColumn<bool>("stream");
        QTest::addColumn<bool>("http");
        const auto row = [](const char *name, const char *url, bool web, bool stream, bool http) {
            QTest::newRow(name) << QUrl(QString::fromLatin1(url)) << web << stream << http;
        };
        row("http", "http://radio.example.com/live", true, true, true);
        row("https, upper case", "HTTPS://Radio.Example.com:8443/a", true, true, true);
        row("mms", "mms://192.0.2.11/live", false, true, false);
        row("mmsh, upper case", "MMSH://192.0.2.11/live", false, true, false);
        row("mmst", "mmst://192.0.2.11/live", false, true, false);
        row("http without a host", "http:///etc/passwd", false, false, true);
        row("relative", "/live.mp3", false, false, false);
        row("no scheme", "radio.example.com/live", false, false, false);
        row("invalid host", "http://radio example.com/", false, false, true);
        row("file", "file:///etc/passwd", false, false, false);
        row("file with a host", "FILE://localhost/etc/passwd", false, false, false);
        row("data", "data:text/plain,hello", false, false, false);
        row("ftp", "ftp://192.0.2.11/a.mp3", false, false, false);
        row("tcp", "tcp://192.0.2.11:8000", false, false, false);
        row("udp", "udp://192.0.2.11:8000", false, false, false);
        row("unix socket", "unix:///run/x.sock", false, false, false);
    }

    void gate()
    {
        QFETCH(QUrl, url);
        QFETCH(bool, web);
        QFETCH(bool, stream);
        QFETCH(bool, http);
        QCOMPARE(network::mayOpen(url, Use::Web), web);
        QCOMPARE(network::mayOpen(url, Use::Stream), stream);
        QCOMPARE(network::isHttp(url), http);
    }

    void fetchesTheBodyWhereRedirectsLead()
    {
        LoopbackHttp server;
        server.route("/moved", LoopbackHttp::redirect("/page"));
        server.route("/page", LoopbackHttp::http("text/plain", "hello", 200, "X-Thing: 1\r\n"));
        Fetch fetch(Use::Web);
        QCOMPARE(run(fetch, server.url("/moved")), FetchError::None);
        QCOMPARE(fetch.url(), server.url("/page"));
        QCOMPARE(fetch.httpStatus(), 200);
        QCOMPARE(fetch.body(), QByteArray("hello"));
        QVERIFY(!fetch.truncated());
        QCOMPARE(fetch.contentLength(), std::optional<qint64>(5));
        QVERIFY(fetch.hasRawHeader("x-thing"));
        QCOMPARE(fetch.rawHeader("X-THING"), QByteArray("1"));
        QVERIFY(server.lastRequest("/page").contains(
            QByteArray("User-Agent: ") + platform::userAgent + "\r\n"));
    }

    void failures_data()
    {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<bool>("silent");
        QTest::addColumn<FetchError>("error");
        QTest::addColumn<int>("status");
        QTest::newRow("not found") << LoopbackHttp::http("text/html", "gone", 404) << false
                                   << FetchError::HttpStatus << 404;
        QTest::newRow("stream server dialect")
            << QByteArray("ICY 200 OK\r\nicy-name: x\r\n\r\n" + QByteArray(4096, 'a')) << false
            << FetchError::NotHttp << 0;
        for (const char *to : { "file:///etc/passwd", "ftp://127.0.0.1/a", "http:///etc/passwd" }) {
            QTest::addRow("redirect to %s", to)
                << LoopbackHttp::redirect(to) << false << FetchError::RefusedAddress << 0;
        }
        QTest::newRow("redirect loop")
            << LoopbackHttp::redirect("/x") << false << FetchError::TooManyRedirects << 0;
        QTest::newRow("no answer") << QByteArray() << true << FetchError::NoAnswer << 0;
    }

    void failures()
    {
        QFETCH(QByteArray, answer);
        QFETCH(bool, silent);
        QFETCH(FetchError, error);
        QFETCH(int, status);
        LoopbackHttp server;
        server.route("/x",
            { answer, silent ? LoopbackHttp::Mode::Silent : LoopbackHttp::Mode::Respond, {} });
        Fetch fetch(Use::Stream, { 3, 2000, 20000, 1000 });
        QCOMPARE(run(fetch, server.url("/x")), error);
        QCOMPARE(fetch.httpStatus(), status);
        QVERIFY(fetch.body().isEmpty());
        QVERIFY(server.hits("/x") <= 2 * (3 + 1)); // Qt may resend once on a closed connection
    }

    void endsAtTheByteLimitAndLetsTheConnectionGo()
    {
        LoopbackHttp server;
        server.route("/endless",
            { "HTTP/1.0 200 OK\r\nContent-Type: audio/mpeg\r\n\r\n", LoopbackHttp::Mode::Endless,
                QByteArray(4096, 'a') });
        Fetch fetch(Use::Stream, { 5, 5000, 20000, 1000 });
        // Raised at the head: the fetch keeps the new bound.
        connect(&fetch, &Fetch::headReceived, &fetch, [&fetch] { fetch.setByteLimit(50000); });
        QCOMPARE(run(fetch, server.url("/endless")), FetchError::None);
        QVERIFY(fetch.truncated());
        QCOMPARE(fetch.body(), QByteArray(50000, 'a'));
        QTRY_COMPARE_WITH_TIMEOUT(server.openConnections(), 0, endTimeoutMs);

        // Dropped by a receiver: nothing more is reported, and the connection goes all the same.
        QSignalSpy finished(&fetch, &Fetch::finished);
        connect(&fetch, &Fetch::bytesArrived, &fetch, &Fetch::cancel);
        fetch.start(server.url("/endless"));
        QTRY_VERIFY_WITH_TIMEOUT(!fetch.isRunning(), endTimeoutMs);
        QVERIFY(!fetch.body().isEmpty());
        QTRY_COMPARE_WITH_TIMEOUT(server.openConnections(), 0, endTimeoutMs);
        QCOMPARE(finished.size(), 0);
        disconnect(&fetch, &Fetch::bytesArrived, &fetch, &Fetch::cancel);

        // A whole answer on a connection the server keeps open: it goes when the fetch ends.
        server.route("/kept",
            { "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello", LoopbackHttp::Mode::Endless,
                {} });
        QCOMPARE(run(fetch, server.url("/kept")), FetchError::None);
        QCOMPARE(fetch.takeBody(), QByteArray("hello"));
        QVERIFY(!fetch.truncated());
        QTRY_COMPARE_WITH_TIMEOUT(server.openConnections(), 0, endTimeoutMs);
    }

    void refusesAStartAddressFromTheEventLoop()
    {
        Fetch fetch(Use::Web);
        QSignalSpy finished(&fetch, &Fetch::finished);
        fetch.start(QUrl("mms://127.0.0.1/live")); // a stream's address, not a web one
        QVERIFY(fetch.isRunning());
        QCOMPARE(finished.size(), 0);
        QVERIFY(finished.wait(endTimeoutMs));
        QCOMPARE(finished.first().first().value<FetchError>(), FetchError::RefusedAddress);
        fetch.start(QUrl("file:///etc/passwd"));
        fetch.cancel();
        QCoreApplication::processEvents();
        QCOMPARE(finished.size(), 1);
    }
};

QTEST_GUILESS_MAIN(TstNetwork)
#include "tst_network.moc"
