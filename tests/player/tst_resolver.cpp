#include "player/core/resolver.h"

#include "loopbackhttp.h"

#include <QElapsedTimer>
#include <QMetaEnum>
#include <QSignalSpy>
#include <QTest>

using player::EndpointResolver;
using player::ResolverLimits;

namespace {

const QByteArray mp3Head
    = QByteArray("ID3\x04\x00\x00\x00\x00\x00\x00", 10) + QByteArray(600, '\x55');

ResolverLimits quickLimits()
{
    ResolverLimits limits;
    limits.firstByteTimeoutMs = 400;
    limits.totalTimeoutMs = 1500;
    return limits;
}

// Follows every candidate to its end: each stream found is reported and declared failed, until
// the resolver gives up. Returns "stream <url>" lines and a last "failed: <reason>" line, the
// reason in the words of the status line.
QStringList resolveAll(
    const QUrl &url, const ResolverLimits &limits = quickLimits(), int maxSteps = 20)
{
    EndpointResolver resolver(nullptr, limits);
    QStringList steps;
    bool done = false;
    QObject::connect(&resolver, &EndpointResolver::streamFound, &resolver,
        [&](const QUrl &stream, const QString &) {
            steps << QStringLiteral("stream ") + stream.toString();
            if (steps.size() >= maxSteps) {
                done = true;
                return;
            }
            resolver.next();
        });
    QObject::connect(&resolver, &EndpointResolver::failed, &resolver,
        [&](player::Failure failure, int httpStatus) {
            steps << QStringLiteral("failed: ")
                    + QString::fromLatin1(
                        QMetaEnum::fromType<player::Failure>().valueToKey(int(failure)))
                    + (httpStatus ? QStringLiteral(" %1").arg(httpStatus) : QString());
            done = true;
        });
    resolver.start(url);
    if (!QTest::qWaitFor([&] { return done; }, 15000)) {
        steps << QStringLiteral("(still running)");
    }
    return steps;
}

QByteArray asx(const QList<QUrl> &refs)
{
    QByteArray doc = "<ASX version=\"3.0\"><ENTRY>";
    for (const QUrl &u : refs) {
        doc += "<REF HREF=\"" + u.toEncoded() + "\"/>";
    }
    return doc + "</ENTRY></ASX>";
}

} // namespace

class TestResolver : public QObject
{
    Q_OBJECT
private slots:
    void contentDecidesNotTheTypeOrAddress()
    {
        LoopbackHttp server;
        // A stream sent as a web page, a playlist sent as audio, a playlist behind a script.
        server.route("/stream.html", LoopbackHttp::http("text/html", mp3Head));
        server.route("/list.mp3",
            LoopbackHttp::http(
                "audio/mpeg", "#EXTM3U\r\n" + server.url("/stream.html").toEncoded() + "\r\n"));
        server.route("/tunein.php?id=7",
            LoopbackHttp::http("application/octet-stream", asx({ server.url("/list.mp3") })));

        QCOMPARE(resolveAll(server.url("/tunein.php?id=7")),
            (QStringList { QStringLiteral("stream ") + server.url("/stream.html").toString(),
                QStringLiteral("failed: NothingToPlay") }));
        QCOMPARE(server.hits("/stream.html"), 1);
    }

    void aStreamIsNotDownloaded()
    {
        LoopbackHttp server;
        server.route("/live",
            LoopbackHttp::Route { "HTTP/1.0 200 OK\r\nContent-Type: audio/mpeg\r\n\r\n" + mp3Head,
                LoopbackHttp::Mode::Endless, QByteArray(4096, '\x55') });
        EndpointResolver resolver(nullptr, quickLimits());
        QSignalSpy found(&resolver, &EndpointResolver::streamFound);
        resolver.start(server.url("/live"));
        QVERIFY(found.wait(3000));
        QCOMPARE(found.first().first().toUrl(), server.url("/live"));
        // The connection that judged the first bytes is kept for the engine, once; the resolver
        // lets go of one nobody took.
        QVERIFY(resolver.takeOpened());
        QVERIFY(!resolver.takeOpened());
        QTRY_COMPARE_WITH_TIMEOUT(server.openConnections(), 0, 3000);
        resolver.start(server.url("/live"));
        QVERIFY(found.wait(3000));
        QCOMPARE(server.openConnections(), 1);
        resolver.cancel();
        QTRY_COMPARE_WITH_TIMEOUT(server.openConnections(), 0, 3000);
    }

    void streamServerDialectsAreStreams()
    {
        LoopbackHttp server;
        // An old stream server's own status line ("ICY" for "HTTP/1.0").
        server.route("/",
            LoopbackHttp::Route {
                "ICY 200 OK\r\nicy-name:Radio\r\nicy-metaint:8192\r\n\r\n" + mp3Head,
                LoopbackHttp::Mode::Endless, QByteArray(1024, '\x55') });
        // An HTTP answer that announces a station but sends text first.
        server.route("/icy",
            LoopbackHttp::Route {
                "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\nicy-name: X\r\n\r\n",
                LoopbackHttp::Mode::Endless, QByteArray("hello") });
        const QStringList root = resolveAll(server.url("/"), quickLimits(), 1);
        QCOMPARE(root.value(0), QStringLiteral("stream ") + server.url("/").toString());
        QCOMPARE(server.hits("/"), 1);
        const QStringList icy = resolveAll(server.url("/icy"), quickLimits(), 1);
        QCOMPARE(icy.value(0), QStringLiteral("stream ") + server.url("/icy").toString());
    }

    void everyRefOfAnEntryIsTriedInOrder()
    {
        LoopbackHttp server;
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost, 0));
        const QUrl refused(QStringLiteral("http://127.0.0.1:%1/dead").arg(closed.serverPort()));
        const QString mms = QStringLiteral("mms://127.0.0.1:%1/wm").arg(closed.serverPort());
        closed.close();
        server.route("/a", LoopbackHttp::http("audio/mpeg", mp3Head));
        server.route("/b", LoopbackHttp::http("audio/mpeg", mp3Head));
        server.route("/list.asx",
            LoopbackHttp::http("video/x-ms-asf",
                asx({ refused, QUrl(mms), server.url("/gone"), server.url("/a") })
                    + "<asx><entry><ref href=\"/b\"/></entry>"));
        QCOMPARE(resolveAll(server.url("/list.asx")),
            (QStringList { QStringLiteral("stream mmsh") + mms.mid(3),
                QStringLiteral("stream mmst") + mms.mid(3),
                QStringLiteral("stream ") + server.url("/a").toString(),
                QStringLiteral("stream ") + server.url("/b").toString(),
                QStringLiteral("failed: NotFound") }));
    }

    void entryRefsAreFollowedAndNestingIsBounded()
    {
        LoopbackHttp server;
        server.route("/s", LoopbackHttp::http("audio/mpeg", mp3Head));
        // outer -> (ENTRYREF) middle -> m3u -> stream
        server.route("/outer.asx",
            LoopbackHttp::http("text/plain", "<asx><entryref href=\"middle.asx\"/></asx>"));
        server.route("/middle.asx",
            LoopbackHttp::http("text/plain", "<asx><entry><ref href=\"list.m3u\"/></entry></asx>"));
        server.route("/list.m3u", LoopbackHttp::http("text/plain", "#EXTM3U\ns\n"));
        QCOMPARE(resolveAll(server.url("/outer.asx")).value(0),
            QStringLiteral("stream ") + server.url("/s").toString());

        // A chain deeper than the limit is given up.
        for (int i = 0; i < 8; ++i) {
            server.route("/deep" + QByteArray::number(i),
                LoopbackHttp::http(
                    "text/plain", "#EXTM3U\ndeep" + QByteArray::number(i + 1) + "\n"));
        }
        server.route("/deep8", LoopbackHttp::http("audio/mpeg", mp3Head));
        QCOMPARE(resolveAll(server.url("/deep0")),
            QStringList { QStringLiteral("failed: PlaylistsTooDeep") });
        QCOMPARE(server.hits("/deep5"), 0);
    }

    void playlistLoopsEnd()
    {
        LoopbackHttp server;
        server.route("/self.asx",
            LoopbackHttp::http("text/plain",
                "<asx><entry><ref href=\"/self.asx\"/><ref href=\"self.asx\"/></entry><entryref "
                "href=\"/self.asx\"/></asx>"));
        server.route("/ping.m3u", LoopbackHttp::http("text/plain", "#EXTM3U\n/pong.m3u\n"));
        server.route("/pong.m3u", LoopbackHttp::http("text/plain", "#EXTM3U\n/ping.m3u\n"));
        QCOMPARE(resolveAll(server.url("/self.asx")),
            QStringList { QStringLiteral("failed: PlaylistLoop") });
        QCOMPARE(server.hits("/self.asx"), 1);
        QCOMPARE(resolveAll(server.url("/ping.m3u")),
            QStringList { QStringLiteral("failed: PlaylistLoop") });
        QCOMPARE(server.hits("/ping.m3u"), 1);
    }

    void redirectsAreFollowedButBounded()
    {
        LoopbackHttp server;
        server.route("/r1", LoopbackHttp::redirect("/r2"));
        server.route("/r2", LoopbackHttp::redirect(server.url("/s").toEncoded()));
        server.route("/s", LoopbackHttp::http("audio/mpeg", mp3Head));
        QCOMPARE(resolveAll(server.url("/r1")).value(0),
            QStringLiteral("stream ") + server.url("/s").toString());

        server.route("/loop", LoopbackHttp::redirect("/loop"));
        QCOMPARE(resolveAll(server.url("/loop")),
            QStringList { QStringLiteral("failed: TooManyRedirects") });
        QVERIFY(server.hits("/loop") <= quickLimits().maxRedirects + 1);

        // A relative reference is resolved against where the redirect led.
        server.route("/moved.asx", LoopbackHttp::redirect("/sub/list.asx"));
        server.route("/sub/list.asx",
            LoopbackHttp::http("text/plain", "<asx><entry><ref href=\"s2\"/></entry></asx>"));
        server.route("/sub/s2", LoopbackHttp::http("audio/mpeg", mp3Head));
        QCOMPARE(resolveAll(server.url("/moved.asx")).value(0),
            QStringLiteral("stream ") + server.url("/sub/s2").toString());
    }

    void failuresAreNamed_data()
    {
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<QString>("reason");
        QTest::newRow("404") << QByteArray("/missing") << QStringLiteral("failed: NotFound");
        QTest::newRow("500") << QByteArray("/error") << QStringLiteral("failed: ServerError 500");
        QTest::newRow("web page") << QByteArray("/page") << QStringLiteral("failed: NotAStream");
        QTest::newRow("plain text") << QByteArray("/text") << QStringLiteral("failed: NotAStream");
        QTest::newRow("empty answer")
            << QByteArray("/empty") << QStringLiteral("failed: EmptyAnswer");
        QTest::newRow("broken playlist")
            << QByteArray("/broken.asx") << QStringLiteral("failed: UnreadablePlaylist");
        QTest::newRow("never answers")
            << QByteArray("/silent") << QStringLiteral("failed: NoAnswer");
        QTest::newRow("a million entries")
            << QByteArray("/million.m3u") << QStringLiteral("failed: TooManyEntries");
        QTest::newRow("metadata every byte")
            << QByteArray("/metaint1") << QStringLiteral("failed: BrokenStreamMetadata");
    }

    void failuresAreNamed()
    {
        QFETCH(QByteArray, path);
        QFETCH(QString, reason);
        LoopbackHttp server;
        server.route("/error", LoopbackHttp::http("audio/mpeg", mp3Head, 500));
        server.route("/page",
            LoopbackHttp::http("audio/mpeg",
                "<!DOCTYPE html>\n<html><head><title>Stream status</title></head><body>Listeners: "
                "3</body></html>"));
        server.route("/text", LoopbackHttp::http("audio/mpeg", "Server full"));
        server.route("/empty", LoopbackHttp::http("audio/mpeg", QByteArray()));
        server.route("/broken.asx",
            LoopbackHttp::http(
                "video/x-ms-asf", "<asx><entry><title>nothing here</title></entry>"));
        server.route("/silent", LoopbackHttp::Route { {}, LoopbackHttp::Mode::Silent, {} });
        // As many entries as the byte cap holds, all naming the list itself.
        server.route("/million.m3u",
            LoopbackHttp::http(
                "audio/x-mpegurl", "#EXTM3U\n" + QByteArray("/million.m3u\n").repeated(1000000)));
        server.route("/metaint1",
            "HTTP/1.0 200 OK\r\nContent-Type: audio/mpeg\r\nicy-metaint: 1\r\n\r\n" + mp3Head);
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(resolveAll(server.url(path)), QStringList { reason });
        // Even a server that never answers is given up within the first-byte time (and slack).
        QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
    }

    void refusedAndUnknownHosts()
    {
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost, 0));
        const quint16 port = closed.serverPort();
        closed.close();
        QCOMPARE(resolveAll(QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(port))),
            QStringList { QStringLiteral("failed: Refused") });
        QCOMPARE(resolveAll(QUrl(QStringLiteral("not an address"))),
            QStringList { QStringLiteral("failed: BadAddress") });
    }

    void endlessTextIsCutOff()
    {
        LoopbackHttp server;
        // A "playlist" that never ends: read up to the cap or the total time, never more.
        server.route("/endless.m3u",
            LoopbackHttp::Route { "HTTP/1.0 200 OK\r\n\r\n#EXTM3U\n", LoopbackHttp::Mode::Endless,
                QByteArray("#EXTINF:1,x\n").repeated(100) });
        ResolverLimits limits = quickLimits();
        limits.maxPlaylistBytes = 64 * 1024;
        limits.totalTimeoutMs = 3000;
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(resolveAll(server.url("/endless.m3u"), limits),
            QStringList { QStringLiteral("failed: UnreadablePlaylist") });
        QVERIFY(clock.elapsed() < 6000);

        // A slow trickle is stopped by the total time.
        server.route("/trickle.m3u",
            LoopbackHttp::Route {
                "HTTP/1.0 200 OK\r\n\r\n#EXTM3U\n", LoopbackHttp::Mode::Endless, QByteArray("#") });
        limits.totalTimeoutMs = 800;
        clock.restart();
        QCOMPARE(resolveAll(server.url("/trickle.m3u"), limits),
            QStringList { QStringLiteral("failed: TooSlow") });
        QVERIFY(clock.elapsed() < 4000);
    }

    // A stream server that shows its status page at the root plays the stream at "/;".
    void aStreamRootShowingAPageIsTriedAtItsStreamPath()
    {
        const QByteArray page = LoopbackHttp::http(
            "text/html", "<html><head><title>Stream Status</title></head><body></body></html>");
        LoopbackHttp server;
        server.route("/", page);
        server.route("/;", LoopbackHttp::http("audio/mpeg", mp3Head));
        QUrl root = server.url("");
        QCOMPARE(
            resolveAll(root).value(0), QStringLiteral("stream ") + server.url("/;").toString());

        // Once: a page there too is no stream.
        LoopbackHttp pages;
        pages.route("/", page);
        pages.route("/;", page);
        QCOMPARE(resolveAll(pages.url("/")), QStringList { QStringLiteral("failed: NotAStream") });
        QCOMPARE(pages.hits("/;"), 1);
        // A page anywhere else is not retried.
        pages.route("/status", page);
        QCOMPARE(
            resolveAll(pages.url("/status")), QStringList { QStringLiteral("failed: NotAStream") });
        QCOMPARE(pages.hits("/;"), 1);

        // A page that a redirect to another host led to is what a network answers with before
        // its user signs in: said as such, and the stream root not tried again.
        LoopbackHttp portal;
        portal.route("/login", page);
        QUrl login = portal.url("/login");
        login.setHost(QStringLiteral("localhost"));
        LoopbackHttp station;
        station.route("/", LoopbackHttp::redirect(login.toEncoded()));
        QCOMPARE(resolveAll(station.url("/")), QStringList { QStringLiteral("failed: WebPage") });
        QCOMPARE(station.hits("/;"), 0);
    }

    // MMS named in its explicit forms is a network stream too; nothing else but HTTP is.
    void onlyNetworkStreamsPass()
    {
        LoopbackHttp server;
        server.route("/mixed.m3u",
            LoopbackHttp::http("audio/x-mpegurl",
                "file:///etc/passwd\nmmsh://127.0.0.1/a\nudp://127.0.0.1:9\nmmst://127.0.0.1/b\n"
                "ftp://127.0.0.1/c\n"));
        QCOMPARE(resolveAll(server.url("/mixed.m3u")),
            (QStringList { QStringLiteral("stream mmsh://127.0.0.1/a"),
                QStringLiteral("stream mmst://127.0.0.1/b"),
                QStringLiteral("failed: RefusedScheme") }));
    }

    void mmsAddressesGoStraightToTheEngine()
    {
        QCOMPARE(resolveAll(QUrl(QStringLiteral("mms://127.0.0.1/live"))),
            (QStringList { QStringLiteral("stream mmsh://127.0.0.1/live"),
                QStringLiteral("stream mmst://127.0.0.1/live"),
                QStringLiteral("failed: NothingToPlay") }));
    }

    void referenceFilesOfferTheMmsDialect()
    {
        LoopbackHttp server;
        server.route("/wm",
            LoopbackHttp::http("video/x-ms-asf",
                "[Reference]\r\nRef1=" + server.url("/wm").toEncoded() + "?MSWMExt=.asf\r\n"));
        server.route("/wm?MSWMExt=.asf",
            LoopbackHttp::http("video/x-ms-asf",
                "[Reference]\r\nRef1=" + server.url("/wm").toEncoded() + "?MSWMExt=.asf\r\n"));
        const QStringList steps = resolveAll(server.url("/wm"));
        QUrl mmsh = server.url("/wm?MSWMExt=.asf");
        mmsh.setScheme(QStringLiteral("mmsh"));
        QVERIFY2(steps.contains(QStringLiteral("stream ") + mmsh.toString()),
            qPrintable(steps.join(u'\n')));
    }

    void cancelSilencesTheResolver()
    {
        LoopbackHttp server;
        server.route("/slow", LoopbackHttp::Route { {}, LoopbackHttp::Mode::Silent, {} });
        server.route("/s", LoopbackHttp::http("audio/mpeg", mp3Head));
        EndpointResolver resolver(nullptr, quickLimits());
        QSignalSpy found(&resolver, &EndpointResolver::streamFound);
        QSignalSpy failed(&resolver, &EndpointResolver::failed);
        resolver.start(server.url("/slow"));
        QTest::qWait(50);
        resolver.start(server.url("/s")); // replaces the first
        QVERIFY(found.wait(3000));
        QCOMPARE(found.first().first().toUrl(), server.url("/s"));
        resolver.next();
        resolver.cancel();
        QTest::qWait(800);
        QCOMPARE(failed.size(), 0);
        QCOMPARE(found.size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestResolver)
#include "tst_resolver.moc"
