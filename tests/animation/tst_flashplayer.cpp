#include "swfbuilder.h"

#include "animation/flashplayer.h"
#include "animation/moviefetch.h"
#include "animation/swfrenderer.h"

#include "platform/components.h"
#include "platform/runtime.h"
#include "platform/settingsblock.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QPointer>
#include <QSet>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using animation::FlashPlayer;

namespace {

// A one-purpose HTTP server on 127.0.0.1: answers each request by its path.
class MovieServer : public QObject
{
public:
    QByteArray movie;
    int requests = 0;
    bool silent = false; // take requests but never answer
    QByteArray localCopy; // where /local.swf redirects to

    bool start() { return m_server.listen(QHostAddress::LocalHost, 0); }
    quint16 port() const { return m_server.serverPort(); }
    QString url(const QString &path) const
    {
        return QString("http://127.0.0.1:%1%2").arg(port()).arg(path);
    }

    MovieServer()
    {
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *s = m_server.nextPendingConnection()) {
                connect(s, &QTcpSocket::readyRead, s, [this, s] { answer(s); });
                connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
            }
        });
    }

private:
    void answer(QTcpSocket *s)
    {
        const QByteArray request = s->readAll();
        if (!request.contains("\r\n\r\n")) {
            return;
        }
        ++requests;
        if (silent) {
            return;
        }
        const QByteArray path = request.split(' ').value(1);
        QByteArray reply;
        if (path == "/movie.swf") {
            reply = "HTTP/1.1 200 OK\r\nContent-Type: "
                    "application/x-shockwave-flash\r\nContent-Length: "
                + QByteArray::number(movie.size()) + "\r\nConnection: close\r\n\r\n" + movie;
        } else if (path == "/huge.swf") {
            reply = "HTTP/1.1 200 OK\r\nContent-Length: 999999999\r\nConnection: close\r\n\r\nFWS";
        } else if (path == "/garbage.swf") {
            reply = "HTTP/1.1 200 OK\r\nContent-Length: 11\r\nConnection: close\r\n\r\nhello world";
        } else if (path == "/local.swf") {
            reply = "HTTP/1.1 302 Found\r\nLocation: " + localCopy
                + "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
        } else if (path == "/loop.swf") {
            reply = "HTTP/1.1 302 Found\r\nLocation: /loop.swf\r\nContent-Length: 0\r\nConnection: "
                    "close\r\n\r\n";
        } else {
            reply = "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
        }
        s->write(reply);
        s->disconnectFromHost();
    }

    QTcpServer m_server;
};

QByteArray settingsFor(const QString &movie)
{
    animation::FlashSettings s;
    s.extentWidth = 5106;
    s.extentHeight = 450;
    s.movie = movie;
    s.src = movie;
    s.wmode = "Transparent";
    s.play = "-1";
    s.loop = "-1";
    s.quality = "High";
    s.menu = "-1";
    s.scale = "ShowAll";
    return animation::encodeFlashSettings(s);
}

// A 100x20 movie of 4 frames at 20 fps: a red box on the left half only.
QByteArray stripMovie(int frames = 4)
{
    SwfBuilder b(100, 20, 20);
    b.background(Qt::green);
    b.rectShape(1, QRect(0, 0, 50, 20), Qt::red);
    b.place(1, 1);
    for (int i = 0; i < frames; ++i) {
        b.showFrame();
    }
    return b.cws(frames);
}

// The same strip with the box one pixel further right on every frame: no two frames alike.
QByteArray movingStripMovie(int frames)
{
    SwfBuilder b(100, 20, 20);
    b.background(Qt::green);
    b.rectShape(1, QRect(0, 0, 50, 20), Qt::red);
    b.place(1, 1);
    for (int i = 0; i < frames; ++i) {
        b.move(1, i, 0);
        b.showFrame();
    }
    return b.cws(frames);
}

struct Strip
{
    QWidget window;
    FlashPlayer *player = nullptr;

    explicit Strip(const QByteArray &settings)
    {
        window.resize(240, 60);
        window.setAutoFillBackground(true);
        QPalette p = window.palette();
        p.setColor(QPalette::Window, Qt::black);
        window.setPalette(p);
        player = qobject_cast<FlashPlayer *>(animation::createFlashPlayer(&window, settings));
        player->setGeometry(0, 0, 193, 17);
    }

    QColor at(int x, int y) { return window.grab().toImage().pixelColor(x, y); }
};

} // namespace

class TestFlashPlayer : public QObject
{
    Q_OBJECT

private slots:
    void malformedSettingsThrow()
    {
        QWidget parent;
        QVERIFY_THROWS_EXCEPTION(
            platform::SettingsError, animation::createFlashPlayer(&parent, QByteArray("gUfU")));
        QVERIFY(parent.children().isEmpty());
    }

    void registeredUnderItsClassName()
    {
        animation::registerFlashPlayer();
        QVERIFY(platform::isComponentRegistered(platform::flashPlayerClass));
        QWidget parent;
        QWidget *w = platform::createComponent(
            platform::flashPlayerClass, &parent, settingsFor(QString()));
        auto *player = qobject_cast<FlashPlayer *>(w);
        QVERIFY(player);
        QCOMPARE(player->parentWidget(), &parent);
        QCOMPARE(player->settings().wmode, QString("Transparent"));
        QVERIFY(player->isTransparent());
        QVERIFY_THROWS_EXCEPTION(platform::RuntimeError,
            platform::createComponent(platform::flashPlayerClass, &parent, QByteArray("junk")));
    }

    void paintsTheFetchedMovieOverWhatLiesBeneath()
    {
        MovieServer server;
        server.movie = stripMovie();
        QVERIFY(server.start());
        Strip strip(settingsFor(server.url("/movie.swf")));
        QVERIFY(!strip.player->autoFillBackground());
        QSignalSpy fetched(strip.player, &FlashPlayer::movieFetched);
        strip.window.show();
        QVERIFY(fetched.wait(10000));
        QCOMPARE(fetched.first().first().toBool(), true);
        QVERIFY(strip.player->hasMovie());
        QCOMPARE(server.requests, 1);
        // 100x20 into 193x17: scale 0.85, 85 px wide, centred from x = 54.
        QCOMPARE(strip.at(70, 8), QColor(Qt::red));
        QCOMPARE(strip.at(120, 8), QColor(Qt::black)); // the movie draws nothing there
        QCOMPARE(strip.at(20, 8), QColor(Qt::black)); // outside the fitted frame
        QCOMPARE(strip.at(70, 40), QColor(Qt::black)); // outside the widget
        // It plays: the playhead moves at the movie's rate and loops.
        bool advanced = false;
        bool wrapped = false;
        int last = strip.player->currentFrame();
        QDeadlineTimer deadline(5000);
        while (!(advanced && wrapped) && !deadline.hasExpired()) {
            QTest::qWait(5);
            const int now = strip.player->currentFrame();
            advanced = advanced || now > last;
            wrapped = wrapped || now < last;
            last = now;
        }
        QVERIFY(advanced);
        QVERIFY(wrapped);
    }

    void failedFetchesLeaveTheStripEmpty_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("not found") << "/missing.swf";
        QTest::newRow("not a movie") << "/garbage.swf";
        QTest::newRow("too large") << "/huge.swf";
        QTest::newRow("redirect loop") << "/loop.swf";
        QTest::newRow("redirect to a local file") << "/local.swf";
        QTest::newRow("server down") << "";
    }

    void failedFetchesLeaveTheStripEmpty()
    {
        QFETCH(QString, path);
        MovieServer server;
        QVERIFY(server.start());
        // A playable movie on this machine, which only the network may name.
        QTemporaryDir dir;
        QFile local(dir.filePath("movie.swf"));
        QVERIFY(local.open(QIODevice::WriteOnly) && local.write(stripMovie()) > 0);
        local.close();
        server.localCopy = QUrl::fromLocalFile(local.fileName()).toEncoded();
        QString url = server.url(path);
        if (path.isEmpty()) {
            // A port nobody listens on any more: the connection is refused.
            QTcpServer gone;
            QVERIFY(gone.listen(QHostAddress::LocalHost, 0));
            url = QString("http://127.0.0.1:%1/movie.swf").arg(gone.serverPort());
            gone.close();
        }
        Strip strip(settingsFor(url));
        QSignalSpy fetched(strip.player, &FlashPlayer::movieFetched);
        strip.window.show();
        QVERIFY(fetched.wait(10000));
        QCOMPARE(fetched.first().first().toBool(), false);
        QVERIFY(!strip.player->hasMovie());
        QCOMPARE(strip.at(70, 8), QColor(Qt::black));
        // No retry storm: the redirects are bounded (Qt's HTTP layer may resend a request once
        // when the server closes a connection it meant to reuse).
        QTest::qWait(200);
        QVERIFY2(server.requests <= 2 * (animation::MovieFetch::maxRedirects + 1),
            qPrintable(QString::number(server.requests)));
        QCOMPARE(fetched.size(), 1);
    }

    void destroyedWhileFetching()
    {
        MovieServer server;
        server.silent = true;
        QVERIFY(server.start());
        auto strip = std::make_unique<Strip>(settingsFor(server.url("/movie.swf")));
        strip->window.show();
        QTRY_COMPARE(server.requests, 1);
        QPointer<FlashPlayer> player = strip->player;
        strip.reset(); // the pending fetch is dropped with the widget
        QVERIFY(player.isNull());
        QTest::qWait(50);
    }

    void hiddenPlayerRendersNothingButKeepsTime()
    {
        Strip strip(settingsFor(QString()));
        strip.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&strip.window));
        QVERIFY(strip.player->loadMovie(movingStripMovie(400)));
        QTRY_VERIFY(strip.player->framesRendered() > 0);
        strip.window.hide();
        QCoreApplication::processEvents();
        const qint64 rendered = strip.player->framesRendered();
        const int frameBefore = strip.player->currentFrame();
        QTest::qWait(450); // 9 frames at 20 fps
        QCOMPARE(strip.player->framesRendered(), rendered);
        QCOMPARE(strip.player->currentFrame(), frameBefore); // no work while hidden
        strip.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&strip.window));
        QTRY_VERIFY(strip.player->framesRendered() > rendered);
        // Caught up with the clock: the frames due while hidden were run on showing.
        QVERIFY(strip.player->currentFrame() >= frameBefore + 9);
    }

    void loopingMovieDrawsEachPictureOnce()
    {
        // Two root frames (a red box left or right) and a sprite of three frames (a blue box
        // stepping down) loop independently: six pictures, each shown as a fresh drawing would
        // show it, each drawn once however often it comes round.
        SwfBuilder inner(0, 0);
        inner.place(1, 2, 60, 0);
        inner.showFrame();
        inner.move(1, 60, 5);
        inner.showFrame();
        inner.move(1, 60, 10);
        inner.showFrame();
        SwfBuilder b(100, 20, 25);
        b.rectShape(1, QRect(0, 0, 20, 20), Qt::red);
        b.rectShape(2, QRect(0, 0, 10, 5), Qt::blue);
        b.sprite(3, inner.tags(), 3);
        b.place(1, 1);
        b.place(2, 3);
        b.showFrame();
        b.move(1, 30, 0);
        b.showFrame();
        const QByteArray bytes = b.cws(2);
        const auto movie = animation::swf::parseMovie(bytes);
        animation::swf::Renderer fresh(*movie);

        Strip strip(settingsFor(QString()));
        strip.player->setFocusPolicy(Qt::NoFocus); // the movie alone, without the focus frame
        strip.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&strip.window));
        QVERIFY(strip.player->loadMovie(bytes));
        QSet<QByteArray> seen;
        QDeadlineTimer deadline(2000); // 50 frames, eight rounds of the six pictures
        while (!deadline.hasExpired()) {
            QTest::qWait(10);
            const QImage shown = strip.player->grab().toImage().convertToFormat(
                QImage::Format_ARGB32_Premultiplied);
            const QImage drawn = fresh.renderFrame(*strip.player->timeline(), shown.size());
            QCOMPARE(shown, drawn);
            seen.insert(
                QByteArray(reinterpret_cast<const char *>(drawn.constBits()), drawn.sizeInBytes()));
        }
        QVERIFY2(seen.size() >= 4, qPrintable(QString::number(seen.size())));
        QVERIFY(seen.size() <= 6);
        QVERIFY2(strip.player->framesRendered() <= 6,
            qPrintable(QString::number(strip.player->framesRendered())));
    }

    void stillMoviesRunNoTimer()
    {
        Strip strip(settingsFor(QString()));
        strip.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&strip.window));
        // One frame: nothing can move.
        QVERIFY(strip.player->loadMovie(stripMovie(1)));
        QVERIFY(!strip.player->isTicking());
        // A movie that stops itself on its third frame ticks until then, and no longer.
        SwfBuilder b(100, 20, 50);
        b.rectShape(1, QRect(0, 0, 50, 20), Qt::red);
        b.place(1, 1);
        for (int i = 0; i < 6; ++i) {
            b.move(1, i, 0);
            if (i == 2) {
                b.stopAction();
            }
            b.showFrame();
        }
        QVERIFY(strip.player->loadMovie(b.cws(6)));
        QVERIFY(strip.player->isTicking());
        QTRY_VERIFY(!strip.player->isTicking());
        QCOMPARE(strip.player->currentFrame(), 2);
        // Played again from the menu, it goes on from there, to its end.
        strip.player->setLooping(false);
        strip.player->play();
        QVERIFY(strip.player->isTicking());
        QTRY_COMPARE(strip.player->currentFrame(), 5);
        QTRY_VERIFY(!strip.player->isTicking());
    }

    void menuActionsMoveThePlayhead()
    {
        Strip strip(settingsFor(QString()));
        QVERIFY(strip.player->loadMovie(stripMovie()));
        strip.player->forward();
        strip.player->forward();
        QCOMPARE(strip.player->currentFrame(), 2);
        QVERIFY(!strip.player->isPlaying());
        strip.player->back();
        QCOMPARE(strip.player->currentFrame(), 1);
        strip.player->rewind();
        QCOMPARE(strip.player->currentFrame(), 0);
        strip.player->play();
        QVERIFY(strip.player->isPlaying());
        QVERIFY(strip.player->isLooping());
    }
};

QTEST_MAIN(TestFlashPlayer)
#include "tst_flashplayer.moc"
