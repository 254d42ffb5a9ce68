#include "loopbackhttp.h"

#include "network/addressclass.h"
#include "network/fetch.h"
#include "network/httpbody.h"
#include "network/useragent.h"

#include <QElapsedTimer>
#include <QHostInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <QTest>
#include <QThread>

#include <unistd.h>
#include <zlib.h>

using network::AddressClass;
using network::Fetch;
using network::FetchError;
using network::Reach;
using network::Use;

namespace {

constexpr int endTimeoutMs = 30000; // catches a hang; no fetch here should come near it

// Starts the fetch and waits for its end; the error it ended with, Other if it never ended.
FetchError run(Fetch &fetch, const QUrl &url, Reach reach = Reach::Unset)
{
    QSignalSpy finished(&fetch, &Fetch::finished);
    fetch.start(url, {}, reach);
    const bool ended = finished.wait(endTimeoutMs) && finished.size() == 1 && !fetch.isRunning();
    return ended ? finished.first().first().value<FetchError>() : FetchError::Other;
}

QByteArray gzip(const QByteArray &bytes)
{
    z_stream z {};
    deflateInit2(&z, 9, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);
    QByteArray out(int(deflateBound(&z, uLong(bytes.size()))), Qt::Uninitialized);
    z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(bytes.data()));
    z.avail_in = uInt(bytes.size());
    z.next_out = reinterpret_cast<Bytef *>(out.data());
    z.avail_out = uInt(out.size());
    deflate(&z, Z_FINISH);
    out.resize(qsizetype(z.total_out));
    deflateEnd(&z);
    return out;
}

QByteArray chunked(const QByteArray &body, int chunk)
{
    QByteArray out;
    for (qsizetype at = 0; at < body.size(); at += chunk) {
        const QByteArray part = body.mid(at, chunk);
        out += QByteArray::number(part.size(), 16) + ";x=y\r\n" + part + "\r\n";
    }
    return out + "0\r\nX-Trailer: 1\r\n\r\n";
}

// Reads the stream to its end on a thread of its own; what it read, then what the last read
// returned.
struct StreamReader
{
    explicit StreamReader(network::OpenStream *s)
        : stream(s)
    {
    }
    network::OpenStream *stream;
    QByteArray bytes;
    qint64 last = 1;
    std::unique_ptr<QThread> thread { QThread::create([this] {
        char buffer[1000];
        while ((last = stream->read(buffer, sizeof buffer)) > 0) {
            bytes.append(buffer, last);
        }
    }) };
};

} // namespace

class TstNetwork : public QObject
{
    Q_OBJECT

private slots:
    void gate_data()
    {
        // What each address may be opened as: W(eb), S(tream), and whether it is H(TTP).
        QTest::addColumn<QUrl>("url");
        QTest::addColumn<QByteArray>("opens");
        const auto row = [](const char *url, const char *opens) {
            QTest::newRow(url) << QUrl(QString::fromLatin1(url)) << QByteArray(opens);
        };
        row("http://radio.example.com/live", "WSH");
        row("HTTPS://Radio.Example.com:8443/a", "WSH");
        row("mms://192.0.2.11/live", "-S-");
        row("MMSH://192.0.2.11/live", "-S-");
        row("mmst://192.0.2.11/live", "-S-");
        row("http:///etc/passwd", "--H"); // no host
        row("http://radio example.com/", "--H"); // not a valid host
        row("/live.mp3", "---");
        row("file:///etc/passwd", "---");
        row("FILE://localhost/etc/passwd", "---");
        row("data:text/plain,hello", "---");
        row("ftp://192.0.2.11/a.mp3", "---");
        row("udp://192.0.2.11:8000", "---");
        // Other services' ports.
        row("http://radio.example.com:25/", "--H");
        row("https://192.0.2.11:10080/", "--H");
        row("mmsh://192.0.2.11:22/live", "---");
    }

    void gate()
    {
        QFETCH(QUrl, url);
        QFETCH(QByteArray, opens);
        const char seen[] = { network::mayOpen(url, Use::Web) ? 'W' : '-',
            network::mayOpen(url, Use::Stream) ? 'S' : '-', network::isHttp(url) ? 'H' : '-', 0 };
        QCOMPARE(QByteArray(seen), opens);
    }

    // Where each address leads, and which stations' reach allows it: U(nset), P(ublic),
    // p(rivate), L(oopback).
    void addressClassesAndReach_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<AddressClass>("addressClass");
        QTest::addColumn<QByteArray>("reachedFrom");
        const auto rows = [](AddressClass c, const char *from, const QStringList &addresses) {
            for (const QString &a : addresses) {
                QTest::newRow(qPrintable(a)) << a << c << QByteArray(from);
            }
        };
        rows(AddressClass::Public, "UPpL",
            { "192.0.2.11", "203.0.113.255", "198.19.255.255", "172.32.0.1", "100.128.0.1",
                "2001:db8::1", "64:ff9b::c000:20b", "2002:c000:20b::1" });
        rows(AddressClass::Private, "U-pL",
            { "10.1.2.3", "172.31.255.255", "192.168.1.1", "100.64.0.1", "fdff::1",
                "::ffff:10.0.0.1", "64:ff9b::a00:1", "2002:c0a8:101::1" });
        rows(AddressClass::LinkLocal, "U-pL", { "169.254.169.254", "fe80::1", "2002:a9fe:a9fe::" });
        rows(AddressClass::Loopback, "U--L",
            { "127.255.255.254", "::1", "::ffff:127.0.0.1", "64:ff9b::7f00:1", "2002:7f00:1::1" });
        rows(AddressClass::Unspecified, "----", { "0.0.0.0", "0.1.2.3", "::", "2002::1" });
        rows(AddressClass::Unusable, "----",
            { "224.0.0.251", "239.255.255.250", "240.0.0.1", "255.255.255.255", "ff02::fb",
                "fec0::1", "::ffff:224.0.0.1", "64:ff9b::e000:fb", "2002:f000:1::" });
    }

    void addressClassesAndReach()
    {
        QFETCH(QString, address);
        QFETCH(AddressClass, addressClass);
        QFETCH(QByteArray, reachedFrom);
        const QHostAddress a(address);
        QCOMPARE(network::classOf(a), addressClass);
        const char seen[] = { network::mayReach(Reach::Unset, a) ? 'U' : '-',
            network::mayReach(Reach::Public, a) ? 'P' : '-',
            network::mayReach(Reach::Private, a) ? 'p' : '-',
            network::mayReach(Reach::Loopback, a) ? 'L' : '-', 0 };
        QCOMPARE(QByteArray(seen), reachedFrom);
        // A station may always lead back to its own kind of address.
        QCOMPARE(network::mayReach(network::reachOf(addressClass), a),
            addressClass != AddressClass::Unspecified && addressClass != AddressClass::Unusable);
    }

    // Transfer-Encoding is one list over all its lines (here split at '|'); chunked frames the
    // body only as the last coding, after nothing but identity.
    void transferCodingIsReadAsAList_data()
    {
        using C = network::TransferCoding;
        QTest::addColumn<QByteArray>("lines");
        QTest::addColumn<C>("coding");
        for (const auto &[lines, coding] : { std::pair { "", C::None }, { "identity", C::None },
                 { "Chunked", C::Chunked }, { "identity,chunked", C::Chunked },
                 { "identity|, chunked ,", C::Chunked }, { "gzip, chunked", C::NotUnderstood },
                 { "x-mine", C::NotUnderstood }, { "chunked, identity", C::NotUnderstood },
                 { "chunked|chunked", C::NotUnderstood } }) {
            QTest::newRow(lines) << QByteArray(lines) << coding;
        }
    }

    void transferCodingIsReadAsAList()
    {
        QFETCH(QByteArray, lines);
        QFETCH(network::TransferCoding, coding);
        network::HttpHead head { 200, { { "Content-Length", "3" } } };
        for (const QByteArray &line : lines.split('|')) {
            head.headers.append({ "transfer-encoding", line });
        }
        QCOMPARE(network::transferCodingOf(head), coding);
    }

    // A station on this machine may lead back to it; a fetch whose reach does not allow the
    // host's addresses is refused before anything connects, whether the host is named or not.
    void reachDecidesWhatAFetchConnectsTo()
    {
        LoopbackHttp server;
        server.route("/x", LoopbackHttp::http("text/plain", "hi"));
        server.route("/moved", LoopbackHttp::redirect(server.url("/x").toEncoded()));
        Fetch fetch(Use::Stream);
        QCOMPARE(run(fetch, server.url("/moved")), FetchError::None);
        QCOMPARE(fetch.reach(), Reach::Loopback);
        QCOMPARE(fetch.body(), QByteArray("hi"));
        QCOMPARE(server.accepted(), 2);
        QUrl named = server.url("/x");
        named.setHost(QStringLiteral("localhost"));
        for (const Reach reach : { Reach::Public, Reach::Private }) {
            for (const QUrl &url : { server.url("/x"), named }) {
                QCOMPARE(run(fetch, url, reach), FetchError::RefusedReach);
            }
        }
        QCOMPARE(server.accepted(), 2);
    }

    void fetchesTheBodyWhereRedirectsLead()
    {
        LoopbackHttp server;
        server.route("/moved", LoopbackHttp::redirect("/page"));
        // Answered on a connection the server keeps open: it goes when the fetch ends.
        server.route("/page",
            { "HTTP/1.1 200 OK\r\nContent-Length: 5\r\nX-Thing: 1\r\n\r\nhello",
                LoopbackHttp::Mode::Endless, {} });
        Fetch fetch(Use::Web);
        QCOMPARE(run(fetch, server.url("/moved")), FetchError::None);
        QCOMPARE(fetch.url(), server.url("/page"));
        QCOMPARE(fetch.httpStatus(), 200);
        QCOMPARE(fetch.body(), QByteArray("hello"));
        QVERIFY(!fetch.truncated());
        QCOMPARE(fetch.contentLength(), std::optional<qint64>(5));
        QVERIFY(fetch.hasRawHeader("x-thing") && !fetch.hasRawHeader("icy-name"));
        QCOMPARE(fetch.rawHeader("X-THING"), QByteArray("1"));
        QVERIFY(server.lastRequest("/page").contains(
            QByteArray("User-Agent: ") + network::userAgent + "\r\n"));
        QTRY_COMPARE_WITH_TIMEOUT(server.openConnections(), 0, endTimeoutMs);
    }

    void failures_data()
    {
        QTest::addColumn<LoopbackHttp::Route>("route");
        QTest::addColumn<FetchError>("error");
        QTest::addColumn<int>("status");
        const auto row
            = [](const char *name, const QByteArray &answer, FetchError error, int status = 0) {
                  QTest::newRow(name) << LoopbackHttp::Route { answer, LoopbackHttp::Mode::Respond,
                      {} } << error << status;
              };
        row("not found", LoopbackHttp::http("text/html", "gone", 404), FetchError::HttpStatus, 404);
        row("redirect to a file", LoopbackHttp::redirect("file:///etc/passwd"),
            FetchError::RefusedScheme);
        row("redirect to ftp", LoopbackHttp::redirect("ftp://127.0.0.1/a"),
            FetchError::RefusedScheme);
        row("redirect to mail", LoopbackHttp::redirect("http://127.0.0.1:25/"),
            FetchError::RefusedPort);
        row("redirect without a host", LoopbackHttp::redirect("http:///etc/passwd"),
            FetchError::RefusedAddress);
        row("redirect without an address", "HTTP/1.1 302 Found\r\nContent-Length: 0\r\n\r\n",
            FetchError::RedirectWithoutLocation);
        row("redirect loop", LoopbackHttp::redirect("/x"), FetchError::TooManyRedirects);
        row("unknown coding",
            LoopbackHttp::http("audio/mpeg", "x", 200, "Content-Encoding: br\r\n"),
            FetchError::UnknownCoding, 200);
        QTest::newRow("no answer") << LoopbackHttp::Route { {}, LoopbackHttp::Mode::Silent, {} }
                                   << FetchError::NoAnswer << 0;
        // A head that comes a byte at a time is not whole by the first-byte wait.
        QTest::newRow("trickled head")
            << LoopbackHttp::Route { "HTTP/1.1 200 OK\r\n", LoopbackHttp::Mode::Paced, "X", 1 }
            << FetchError::TooSlow << 0;
    }

    void failures()
    {
        QFETCH(LoopbackHttp::Route, route);
        QFETCH(FetchError, error);
        QFETCH(int, status);
        LoopbackHttp server;
        server.route("/x", route);
        Fetch fetch(Use::Stream, { 3, 2000, 20000, 1000 });
        QCOMPARE(run(fetch, server.url("/x")), error);
        QCOMPARE(fetch.httpStatus(), status);
        QVERIFY(fetch.body().isEmpty());
    }

    // Credentials in an address go to its origin, and to no other that a redirect leads to.
    void credentialsStayWithTheirOrigin()
    {
        LoopbackHttp server;
        LoopbackHttp other;
        other.route("/y", LoopbackHttp::http("text/plain", "y"));
        server.route("/x", LoopbackHttp::http("text/plain", "x"));
        server.route("/here", LoopbackHttp::redirect("/x"));
        server.route("/away", LoopbackHttp::redirect(other.url("/y").toEncoded()));
        Fetch fetch(Use::Stream);
        const QByteArray authorization = "\r\nAuthorization: Basic dXNlcjpwQHNz\r\n"; // user:p@ss
        for (const char *path : { "/here", "/away" }) {
            QUrl url = server.url(path);
            url.setUserName(QStringLiteral("user"));
            url.setPassword(QStringLiteral("p@ss"));
            QCOMPARE(run(fetch, url), FetchError::None);
            QVERIFY(server.lastRequest(path).contains(authorization));
        }
        QVERIFY(server.lastRequest("/x").contains(authorization));
        QVERIFY(!other.lastRequest("/y").contains("Authorization"));
    }

    // A host whose first address drops every packet is reached on its next one within the
    // first-byte wait, through the real lookup: in network and mount namespaces of its own,
    // where lo carries the host's addresses and /etc/hosts names them.
    void aSilentFirstAddressGivesWayToTheNext()
    {
        if (qEnvironmentVariableIsEmpty("RADIO_TEST_IN_NETNS")) {
            const QString unshare = QStandardPaths::findExecutable(QStringLiteral("unshare"));
            if (geteuid() != 0 || unshare.isEmpty()) {
                QSKIP("needs root and unshare for a network namespace");
            }
            qputenv("RADIO_TEST_IN_NETNS", "1");
            QProcess child;
            child.start(unshare,
                { QStringLiteral("-n"), QStringLiteral("-m"), QStringLiteral("--"),
                    QCoreApplication::applicationFilePath(), QString::fromLatin1(__func__) });
            qunsetenv("RADIO_TEST_IN_NETNS");
            QVERIFY(child.waitForFinished(endTimeoutMs));
            const QByteArray out = child.readAllStandardOutput();
            QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0,
                out.constData());
            if (out.contains("SKIP   :")) {
                QSKIP(out.constData());
            }
            for (const QByteArray &line : out.split('\n')) {
                if (line.contains("answered by")) {
                    qInfo("%s", line.constData());
                }
            }
            return;
        }
        const auto sh = [](const QString &command) {
            return QProcess::execute(QStringLiteral("sh"), { QStringLiteral("-c"), command }) == 0;
        };
        // Both name the host; the lookup's order puts the silent one first.
        QTemporaryFile hosts;
        QTemporaryFile order;
        QVERIFY(hosts.open() && order.open());
        hosts.write("198.18.0.1 station.test\n198.18.0.2 station.test\n");
        order.write("precedence ::ffff:198.18.0.1/128 50\nprecedence ::ffff:0:0/96 10\n");
        hosts.flush();
        order.flush();
        // 198.18.0.1 is routed out of lo and back, to no one: its packets vanish.
        QVERIFY(sh(QStringLiteral("ip link set lo up && ip addr add 198.18.0.2/32 dev lo"
                                  " && ip route add 198.18.0.1/32 dev lo"
                                  " && mount --bind %1 /etc/hosts && mount --bind %2 /etc/gai.conf")
                       .arg(hosts.fileName(), order.fileName())));
        if (QHostInfo::fromName(QStringLiteral("station.test")).addresses()
            != QList { QHostAddress(QStringLiteral("198.18.0.1")),
                QHostAddress(QStringLiteral("198.18.0.2")) }) {
            QSKIP("the lookup does not give the silent address first");
        }
        LoopbackHttp server;
        server.close();
        QVERIFY(server.listen(QHostAddress::AnyIPv4, 0));
        server.route("/x", LoopbackHttp::http("text/plain", "hi"));
        Fetch fetch(Use::Stream);
        const QUrl url(QStringLiteral("http://station.test:%1/x").arg(server.serverPort()));
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(run(fetch, url), FetchError::None);
        qInfo("answered by the second address after %lld ms", clock.elapsed()); // a figure only
        QCOMPARE(fetch.body(), QByteArray("hi"));
        QCOMPARE(fetch.reach(), Reach::Public);
    }

    // The stream servers' status line, chunks and a coded body are all answers like any other.
    void readsEveryDialectAndFraming_data()
    {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QByteArray>("body");
        const QByteArray text = QByteArray("Bangla radio, every day. ").repeated(2000);
        QTest::newRow("stream server")
            << "ICY 200 OK\r\nicy-name: Radio\r\nX-Thing: 1\r\nicy-metaint: 8192\r\n\r\n" + text
            << text;
        QTest::newRow("chunked")
            << "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nx-thing:1\r\n\r\n"
                + chunked(text, 777)
            << text;
        // Lines that are no header are left out, with the lines continuing them.
        QTest::newRow("lines that are none")
            << "HTTP/1.1 200 OK\r\nTransfer-Encoding : chunked\r\nX-Thing: 1\r\nno colon\r\n 2\r\n"
               "X(y): 3\r\n: 4\r\n\r\n"
                + text
            << text;
        QTest::newRow("chunked over two lines")
            << "HTTP/1.1 200 OK\r\nTransfer-Encoding: identity\r\n"
               "transfer-encoding: chunked\r\nx-thing:1\r\n\r\n"
                + chunked(text, 777)
            << text;
        const QByteArray coded = gzip(text);
        QTest::newRow("gzip") << "HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\nX-Thing: 1\r\n"
                                 "Content-Length: "
                + QByteArray::number(coded.size()) + "\r\n\r\n"
                + coded << text;
    }

    void readsEveryDialectAndFraming()
    {
        QFETCH(QByteArray, answer);
        QFETCH(QByteArray, body);
        LoopbackHttp server;
        server.route("/x", answer);
        Fetch fetch(Use::Stream, { 3, 5000, 20000, 1 << 20 });
        QCOMPARE(run(fetch, server.url("/x")), FetchError::None);
        QCOMPARE(fetch.httpStatus(), 200);
        QCOMPARE(fetch.rawHeader("X-THING"), QByteArray("1"));
        QCOMPARE(fetch.body(), body);
        QVERIFY(!fetch.truncated());
    }

    // Whatever a server sends, the fetch ends within its bounds and closes the connection at
    // once; the next fetch is not hindered.
    void hostileAnswersAreBounded_data()
    {
        QTest::addColumn<LoopbackHttp::Route>("route");
        QTest::addColumn<FetchError>("error");
        QTest::addColumn<QByteArray>("body");
        using Mode = LoopbackHttp::Mode;
        QTest::newRow("endless head") << LoopbackHttp::Route { "HTTP/1.1 200 OK\r\n", Mode::Endless,
            QByteArray("X-Filler: 0123456789\r\n").repeated(3000) }
                                      << FetchError::BadAnswer << QByteArray();
        QTest::newRow("endless header line") << LoopbackHttp::Route {
            "HTTP/1.1 200 OK\r\nX: ", Mode::Endless, QByteArray(64 * 1024, 'a')
        } << FetchError::BadAnswer << QByteArray();
        QTest::newRow("endless lines that are none")
            << LoopbackHttp::Route { "HTTP/1.1 200 OK\r\n", Mode::Endless, "no colon\r\n" }
            << FetchError::BadAnswer << QByteArray();
        QTest::newRow("no HTTP") << LoopbackHttp::Route { "SSH-2.0-OpenSSH_9.2\r\n\r\n",
            Mode::Endless, "x" } << FetchError::BadAnswer
                                 << QByteArray();
        QTest::newRow("bad chunk")
            << LoopbackHttp::Route { "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
                                     "3\r\nabc\r\nzz\r\n",
                   Mode::Endless, "x" }
            << FetchError::BadAnswer << QByteArray("abc");
        const QByteArray bomb = gzip(QByteArray(64 << 20, '\0'));
        QTest::newRow("gzip bomb") << LoopbackHttp::Route {
            "HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\n\r\n" + bomb, Mode::Endless, "x"
        } << FetchError::None << QByteArray(100000, '\0');
    }

    void hostileAnswersAreBounded()
    {
        QFETCH(LoopbackHttp::Route, route);
        QFETCH(FetchError, error);
        QFETCH(QByteArray, body);
        LoopbackHttp server;
        server.route("/hostile", route);
        server.route("/fine", LoopbackHttp::http("text/plain", "fine"));
        Fetch fetch(Use::Stream, { 3, 20000, 20000, 100000 });
        QCOMPARE(run(fetch, server.url("/hostile")), error);
        QCOMPARE(fetch.body(), body);
        QCOMPARE(fetch.truncated(), error == FetchError::None);
        QTRY_COMPARE_WITH_TIMEOUT(server.openConnections(), 0, endTimeoutMs);
        QCOMPARE(run(fetch, server.url("/fine")), FetchError::None);
        QCOMPARE(fetch.body(), QByteArray("fine"));
    }

    // A stream handed on is read elsewhere from its first byte to its last, on the one
    // connection the fetch opened.
    void handsAnOpenStreamOn()
    {
        LoopbackHttp server;
        QByteArray audio(600 * 1024, Qt::Uninitialized);
        for (qsizetype i = 0; i < audio.size(); ++i) {
            audio[i] = char(i * 7 % 251);
        }
        server.route("/live",
            "ICY 200 OK\r\nicy-name: Radio\r\nTransfer-Encoding: chunked\r\n\r\n"
                + chunked(audio, 3000));
        Fetch fetch(Use::Stream);
        std::unique_ptr<network::OpenStream> stream;
        QByteArray first;
        connect(&fetch, &Fetch::bytesArrived, &fetch, [&] {
            first = fetch.body();
            stream = fetch.takeStream();
        });
        QSignalSpy finished(&fetch, &Fetch::finished);
        fetch.start(server.url("/live"));
        QTRY_VERIFY_WITH_TIMEOUT(stream, endTimeoutMs);
        QVERIFY(!first.isEmpty() && !fetch.isRunning());
        QCOMPARE(stream->rawHeader("ICY-NAME"), QByteArray("Radio"));
        StreamReader reader(stream.get());
        reader.thread->start();
        QTRY_VERIFY_WITH_TIMEOUT(reader.thread->isFinished(), endTimeoutMs);
        QCOMPARE(reader.last, 0);
        QVERIFY(reader.bytes == audio);
        QCOMPARE(server.hits("/live"), 1);
        QCOMPARE(finished.size(), 0);

        // A reader waiting on a quiet server is let go, and dropping the stream closes it.
        server.route("/quiet",
            { "HTTP/1.0 200 OK\r\nicy-name: Radio\r\n\r\n", LoopbackHttp::Mode::Paced, {} });
        connect(&fetch, &Fetch::headReceived, &fetch, [&] { stream = fetch.takeStream(); });
        stream.reset();
        fetch.start(server.url("/quiet"));
        QTRY_VERIFY_WITH_TIMEOUT(stream, endTimeoutMs);
        StreamReader waiting(stream.get());
        waiting.thread->start();
        QTest::qWait(200); // lets it reach the wait
        QVERIFY(!waiting.thread->isFinished());
        stream->interrupt();
        QVERIFY(waiting.thread->wait(endTimeoutMs));
        QCOMPARE(waiting.last, -1);
        QCOMPARE(server.openConnections(), 1);
        stream.reset();
        QTRY_COMPARE_WITH_TIMEOUT(server.openConnections(), 0, endTimeoutMs);
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
    }

    void refusesAStartAddressFromTheEventLoop()
    {
        LoopbackHttp server;
        server.route("/x", LoopbackHttp::http("text/plain", "hi"));
        Fetch fetch(Use::Web);
        // A stream's address is no web one. run() fails on an end reported from inside start().
        QCOMPARE(run(fetch, QUrl("mms://127.0.0.1/live")), FetchError::RefusedScheme);
        fetch.start(QUrl("file:///etc/passwd"));
        fetch.cancel(); // dropped before its end was reported: it never ends the next fetch
        QCOMPARE(run(fetch, server.url("/x")), FetchError::None);
    }
};

QTEST_GUILESS_MAIN(TstNetwork)
#include "tst_network.moc"
