#include "player/mediaplayer.h"

#include "fakeengine.h"
#include "loopbackhttp.h"

#include "platform/runtime.h"

#include <QApplication>
#include <QDialog>
#include <QMenu>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>
#include <QToolButton>

using player::Failure;
using player::MediaPlayer;
using State = player::MediaPlayer::State;

namespace {

player::PlayerTimings quickTimings()
{
    player::PlayerTimings t;
    t.noAudioTimeoutMs = 300;
    t.reconnectFirstMs = 40;
    t.reconnectCapMs = 200;
    return t;
}

struct Rig
{
    explicit Rig(const player::MediaPlayerSettings &settings = {},
        const player::PlayerTimings &t = quickTimings())
    {
        auto e = std::make_unique<FakeEngine>();
        engine = e.get();
        widget = std::make_unique<MediaPlayer>(std::move(e), settings, nullptr, t);
        widget->resize(249, 153);
    }
    FakeEngine *engine = nullptr;
    std::unique_ptr<MediaPlayer> widget;
};

const QString mmsA = QStringLiteral("mms://127.0.0.1/a");
const QString mmsB = QStringLiteral("mms://127.0.0.1/b");

bool waitForOpens(FakeEngine *engine, int count)
{
    return QTest::qWaitFor([&] { return engine->opens().size() >= count; }, 5000);
}

bool noDialogShown()
{
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (w->isVisible() && (qobject_cast<QDialog *>(w) || w->inherits("QMessageBox"))) {
            return false;
        }
    }
    return true;
}

} // namespace

class TestMediaPlayer : public QObject
{
    Q_OBJECT
private slots:
    void startsIdleWithTheSettings()
    {
        Rig rig;
        QCOMPARE(rig.widget->state(), State::Idle);
        QCOMPARE(rig.widget->statusText(), QStringLiteral("Ready"));
        QCOMPARE(rig.widget->property("URL").toString(), QString());
        QCOMPARE(rig.widget->volume(), 50);
        QCOMPARE(rig.engine->volume, 50);
        QVERIFY(!rig.engine->muted);
        QVERIFY(rig.engine->opens().isEmpty());
        QVERIFY(rig.widget->contextMenu());
        QVERIFY(rig.widget->isEnabled());
        QCOMPARE(rig.widget->findChild<QSlider *>()->value(), 50);
        // The documented properties are there by name.
        QCOMPARE(platform::getProperty(rig.widget.get(), "state").toInt(), 0);
        QCOMPARE(platform::getProperty(rig.widget.get(), "statusText").toString(),
            QStringLiteral("Ready"));
        QCOMPARE(platform::getProperty(rig.widget.get(), "nowPlaying").toString(), QString());
    }

    void otherSettingsAreApplied()
    {
        player::MediaPlayerSettings s;
        s.volume = 130; // out of range: clamped
        s.mute = true;
        s.enableContextMenu = false;
        s.enabled = false;
        Rig rig(s);
        QCOMPARE(rig.widget->volume(), 100);
        QVERIFY(rig.engine->muted);
        QVERIFY(!rig.widget->contextMenu());
        QVERIFY(!rig.widget->isEnabled());

        player::MediaPlayerSettings manual;
        manual.autoStart = false;
        Rig quiet(manual);
        platform::putProperty(quiet.widget.get(), "URL", mmsA);
        QTest::qWait(50);
        QCOMPARE(quiet.widget->state(), State::Stopped);
        QVERIFY(quiet.engine->opens().isEmpty());

        player::MediaPlayerSettings preset;
        preset.url = mmsA;
        Rig playing(preset);
        QVERIFY(waitForOpens(playing.engine, 1));
        QCOMPARE(playing.engine->opens().first(), QStringLiteral("mmsh://127.0.0.1/a"));
    }

    void urlPutReturnsAtOnceAndPlaysByItself()
    {
        LoopbackHttp server;
        server.route("/slow", LoopbackHttp::Route { {}, LoopbackHttp::Mode::Silent, {} });
        Rig rig;
        QSignalSpy states(rig.widget.get(), &MediaPlayer::stateChanged);
        platform::putProperty(rig.widget.get(), "URL", server.url("/slow").toString());
        // The put came back while the server has not answered: still connecting, nothing opened.
        QCOMPARE(rig.widget->url(), server.url("/slow").toString());
        QCOMPARE(rig.widget->state(), State::Connecting);
        QCOMPARE(rig.widget->statusText(), QStringLiteral("Connecting"));
        QVERIFY(rig.engine->opens().isEmpty());
        QCOMPARE(states.size(), 1);
        QCOMPARE(states.first().first().value<State>(), State::Connecting);
    }

    void aPutReplacesWhatPlayed()
    {
        Rig rig;
        rig.widget->setUrl(mmsA);
        QVERIFY(waitForOpens(rig.engine, 1));
        emit rig.engine->playing();
        QCOMPARE(rig.widget->state(), State::Playing);
        QCOMPARE(rig.widget->statusText(), QStringLiteral("Playing"));

        rig.engine->log.clear();
        rig.widget->setUrl(mmsB);
        // The old stream is silenced during the put, before anything new is opened.
        QCOMPARE(rig.engine->log, QStringList { QStringLiteral("stop") });
        QCOMPARE(rig.widget->state(), State::Connecting);
        QVERIFY(waitForOpens(rig.engine, 1));
        QCOMPARE(rig.engine->opens(), QStringList { QStringLiteral("mmsh://127.0.0.1/b") });
        // A failure now concerns b: its next candidate is tried, never a again.
        emit rig.engine->failed(Failure::Refused);
        QVERIFY(waitForOpens(rig.engine, 2));
        QCOMPARE(rig.engine->opens().last(), QStringLiteral("mmst://127.0.0.1/b"));
    }

    void theSameUrlAgainReopens()
    {
        Rig rig;
        rig.widget->setUrl(mmsA);
        QVERIFY(waitForOpens(rig.engine, 1));
        emit rig.engine->playing();
        rig.engine->log.clear();
        rig.widget->setProperty("URL", mmsA);
        QCOMPARE(rig.widget->state(), State::Connecting);
        QVERIFY(waitForOpens(rig.engine, 1));
        QCOMPARE(rig.engine->log,
            (QStringList { QStringLiteral("stop"), QStringLiteral("open mmsh://127.0.0.1/a") }));
        emit rig.engine->playing();
        QCOMPARE(rig.widget->state(), State::Playing);
    }

    void statusFollowsTheStream()
    {
        Rig rig;
        QSignalSpy texts(rig.widget.get(), &MediaPlayer::statusTextChanged);
        rig.widget->setUrl(mmsA);
        QVERIFY(waitForOpens(rig.engine, 1));
        emit rig.engine->buffering(40);
        QCOMPARE(rig.widget->state(), State::Buffering);
        QCOMPARE(rig.widget->statusText(), QStringLiteral("Buffering 40%"));
        emit rig.engine->playing();
        emit rig.engine->buffering(10); // the buffer ran dry while playing
        QCOMPARE(rig.widget->statusText(), QStringLiteral("Buffering 10%"));
        emit rig.engine->playing();
        rig.widget->stop();
        QCOMPARE(rig.widget->statusText(), QStringLiteral("Stopped"));
        QCOMPARE(rig.engine->log.last(), QStringLiteral("stop"));
        QStringList seen;
        for (const auto &args : texts) {
            seen << args.first().toString();
        }
        QCOMPARE(seen,
            (QStringList { QStringLiteral("Connecting"), QStringLiteral("Buffering 40%"),
                QStringLiteral("Playing"), QStringLiteral("Buffering 10%"),
                QStringLiteral("Playing"), QStringLiteral("Stopped") }));
        rig.widget->setUrl(QString());
        QCOMPARE(rig.widget->state(), State::Idle);
        QCOMPARE(rig.widget->statusText(), QStringLiteral("Ready"));
    }

    void everyCandidateFailingEndsQuietlyWithAReason()
    {
        Rig rig;
        rig.widget->setUrl(mmsA);
        QVERIFY(waitForOpens(rig.engine, 1));
        emit rig.engine->failed(Failure::UnknownFormat); // over HTTP
        QVERIFY(waitForOpens(rig.engine, 2)); // then over TCP
        // The second gives no audio at all: it makes way when its time is up.
        QTRY_COMPARE_WITH_TIMEOUT(rig.widget->state(), State::Failed, 3000);
        QCOMPARE(rig.widget->statusText(), QStringLiteral("Could not open: no audio"));
        QCOMPARE(rig.engine->log.last(), QStringLiteral("stop"));
        QVERIFY(noDialogShown());
        // It stays quiet: no retries after a failure to open.
        const int opens = rig.engine->opens().size();
        QTest::qWait(500);
        QCOMPARE(rig.engine->opens().size(), opens);
    }

    // A stream whose buffer creeps forward but never sounds (as one whose metadata framing leaves
    // almost no audio) gives up after a while instead of buffering for ever.
    void aStreamThatOnlyEverBuffersMakesWay()
    {
        player::PlayerTimings t = quickTimings();
        t.firstAudioCapMs = 1000;
        Rig rig({}, t);
        rig.widget->setUrl(mmsA);
        QVERIFY(waitForOpens(rig.engine, 1));
        QTimer trickle;
        int percent = 0;
        connect(&trickle, &QTimer::timeout, rig.engine,
            [&] { emit rig.engine->buffering(++percent % 100); });
        trickle.start(50);
        QTRY_VERIFY_WITH_TIMEOUT(rig.engine->opens().size() >= 2, 5000); // then over TCP
        QTRY_COMPARE_WITH_TIMEOUT(rig.widget->state(), State::Failed, 5000);
        QCOMPARE(rig.widget->statusText(), QStringLiteral("Could not open: no audio"));
    }

    void unreachableHostSaysWhy()
    {
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost, 0));
        const quint16 port = closed.serverPort();
        closed.close();
        Rig rig;
        rig.widget->setUrl(QStringLiteral("http://127.0.0.1:%1/").arg(port));
        QTRY_COMPARE_WITH_TIMEOUT(rig.widget->state(), State::Failed, 5000);
        QCOMPARE(rig.widget->statusText(), QStringLiteral("Could not open: refused"));
        QVERIFY(rig.engine->opens().isEmpty());
        QVERIFY(noDialogShown());
    }

    void reconnectWaitsGrowToTheCap()
    {
        const player::PlayerTimings t;
        QList<int> waits;
        for (int i = 0; i < 7; ++i) {
            waits << player::reconnectDelayMs(i, t);
        }
        QCOMPARE(waits, (QList<int> { 1000, 2000, 4000, 8000, 10000, 10000, 10000 }));
        QCOMPARE(player::reconnectDelayMs(1000, t), 10000);
    }

    void aDroppedStreamIsReconnectedForAsLongAsNeeded()
    {
        Rig rig;
        rig.widget->setUrl(mmsA);
        QVERIFY(waitForOpens(rig.engine, 1));
        emit rig.engine->playing();
        emit rig.engine->titleChanged("Song");
        emit rig.engine->ended(); // the live stream dropped
        QCOMPARE(rig.widget->state(), State::Reconnecting);
        QCOMPARE(rig.widget->statusText(), QStringLiteral("Reconnecting"));
        QCOMPARE(rig.widget->reconnectWaitMs(), 40);

        // Every attempt fails (both MMS dialects): the waits grow up to the cap, never giving up.
        QList<int> waits;
        int opened = rig.engine->opens().size();
        for (int round = 0; round < 4; ++round) {
            QVERIFY(waitForOpens(rig.engine, opened + 1));
            emit rig.engine->failed(Failure::Refused);
            QVERIFY(waitForOpens(rig.engine, opened + 2));
            emit rig.engine->failed(Failure::Refused);
            opened += 2;
            QTRY_VERIFY_WITH_TIMEOUT(rig.widget->reconnectWaitMs() > 0, 3000);
            QCOMPARE(rig.widget->state(), State::Reconnecting);
            waits << rig.widget->reconnectWaitMs();
        }
        QCOMPARE(waits, (QList<int> { 80, 160, 200, 200 }));
        QVERIFY(noDialogShown());

        // The stream is back but drops again at once: the waits go on growing from where they were.
        QVERIFY(waitForOpens(rig.engine, opened + 1));
        emit rig.engine->playing();
        QCOMPARE(rig.widget->state(), State::Playing);
        emit rig.engine->failed(Failure::ConnectionClosed);
        QCOMPARE(rig.widget->reconnectWaitMs(), 200);

        // Back and playing steadily (as long as the longest wait): the next drop starts afresh.
        QVERIFY(waitForOpens(rig.engine, opened + 2));
        emit rig.engine->playing();
        QTRY_COMPARE_WITH_TIMEOUT(rig.widget->reconnectAttempt(), 0, 2000);
        emit rig.engine->failed(Failure::ConnectionClosed);
        QCOMPARE(rig.widget->reconnectWaitMs(), 40);

        // Anything else asked for ends the reconnecting.
        rig.widget->stop();
        QCOMPARE(rig.widget->state(), State::Stopped);
        const int opens = rig.engine->opens().size();
        QTest::qWait(300);
        QCOMPARE(rig.engine->opens().size(), opens);
    }

    void aPausedLiveStreamResumesByReconnecting()
    {
        Rig rig;
        rig.widget->setUrl(mmsA);
        QVERIFY(waitForOpens(rig.engine, 1));
        emit rig.engine->playing();
        rig.engine->log.clear();
        rig.widget->pause();
        QCOMPARE(rig.widget->statusText(), QStringLiteral("Paused"));
        QCOMPARE(rig.engine->log, QStringList { QStringLiteral("stop") }); // silenced and let go
        emit rig.engine->failed(Failure::ConnectionClosed); // e.g. the server gave up
        QCOMPARE(rig.widget->state(), State::Paused);

        rig.widget->togglePlayPause();
        QCOMPARE(rig.widget->state(), State::Reconnecting);
        QVERIFY(waitForOpens(rig.engine, 1));
        QCOMPARE(rig.engine->opens().first(), QStringLiteral("mmsh://127.0.0.1/a"));
        emit rig.engine->playing();
        QCOMPARE(rig.widget->statusText(), QStringLiteral("Playing"));
    }

    void aRecordingPausesInPlaceAndEnds()
    {
        Rig rig;
        rig.widget->setUrl(mmsA);
        QVERIFY(waitForOpens(rig.engine, 1));
        emit rig.engine->durationChanged(60);
        emit rig.engine->playing();
        rig.engine->log.clear();
        rig.widget->pause();
        rig.widget->play();
        QCOMPARE(
            rig.engine->log, (QStringList { QStringLiteral("pause"), QStringLiteral("resume") }));
        QCOMPARE(rig.widget->state(), State::Playing);
        emit rig.engine->positionChanged(59.5);
        emit rig.engine->ended();
        QCOMPARE(rig.widget->state(), State::Stopped); // played once, as the settings say
    }

    void titlesAreRepaired()
    {
        Rig rig;
        QSignalSpy titles(rig.widget.get(), &MediaPlayer::nowPlayingChanged);
        rig.widget->setUrl(mmsA);
        QVERIFY(waitForOpens(rig.engine, 1));
        const QString bangla = QStringLiteral("রবীন্দ্রসংগীত");
        emit rig.engine->titleChanged(QString::fromLatin1(bangla.toUtf8()).toUtf8());
        QCOMPARE(rig.widget->nowPlaying(), bangla);
        emit rig.engine->titleChanged("&#2438;&#x9AE;");
        QCOMPARE(rig.widget->property("nowPlaying").toString(), QStringLiteral("আম"));
        emit rig.engine->stationNameChanged("Radio Foo");
        QCOMPARE(rig.widget->stationName(), QStringLiteral("Radio Foo"));
        QCOMPARE(titles.size(), 2);
        rig.widget->setUrl(mmsB);
        QCOMPARE(rig.widget->nowPlaying(), QString());
        QCOMPARE(rig.widget->stationName(), mmsB);
    }

    void usableByKeyboard()
    {
        Rig rig;
        rig.widget->show();
        QVERIFY(QTest::qWaitForWindowExposed(rig.widget.get()));
        rig.widget->setUrl(mmsA);
        QVERIFY(waitForOpens(rig.engine, 1));
        emit rig.engine->playing();
        rig.widget->setFocus();
        QTest::keyClick(rig.widget.get(), Qt::Key_Space);
        QCOMPARE(rig.widget->state(), State::Paused);
        QTest::keyClick(rig.widget.get(), Qt::Key_Space);
        QCOMPARE(rig.widget->state(), State::Reconnecting);
        QTest::keyClick(rig.widget.get(), Qt::Key_M);
        QVERIFY(rig.widget->isMuted());
        QVERIFY(rig.engine->muted);
        QTest::keyClick(rig.widget.get(), Qt::Key_Down);
        QCOMPARE(rig.widget->volume(), 45);
        QCOMPARE(rig.engine->volume, 45);
        QTest::keyClick(rig.widget.get(), Qt::Key_S);
        QCOMPARE(rig.widget->state(), State::Stopped);

        // The player is one stop of the keyboard order: Tab never lands on its buttons or its
        // slider, and a click on one of them gives the player itself the focus, so its keys go on
        // working.
        for (int i = 0; i < 6; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), rig.widget.get());
        }
        auto *slider = rig.widget->findChild<QSlider *>();
        QToolButton *play = nullptr;
        for (auto *b : rig.widget->findChildren<QToolButton *>()) {
            if (b->accessibleName() == QLatin1String("Play")) {
                play = b;
            }
        }
        QVERIFY(slider && play);
        rig.widget->clearFocus();
        QTest::mouseClick(play, Qt::LeftButton);
        QCOMPARE(rig.widget->state(), State::Connecting);
        QCOMPARE(QApplication::focusWidget(), rig.widget.get());
        QTest::keyClick(rig.widget.get(), Qt::Key_Up);
        QCOMPARE(rig.widget->volume(), 50);
        QCOMPARE(slider->value(), 50);
    }

    void contextMenuOffersTheTransport()
    {
        Rig rig;
        rig.widget->setUrl(mmsA);
        QVERIFY(waitForOpens(rig.engine, 1));
        emit rig.engine->playing();
        QMenu *menu = rig.widget->contextMenu();
        QStringList names;
        for (QAction *a : menu->actions()) {
            if (!a->isSeparator()) {
                names << a->text();
            }
        }
        QCOMPARE(names,
            (QStringList { QStringLiteral("Play"), QStringLiteral("Pause"), QStringLiteral("Stop"),
                QStringLiteral("Mute"), QStringLiteral("Volume up"),
                QStringLiteral("Volume down") }));
        QVERIFY(!menu->actions().at(0)->isEnabled()); // already playing
        menu->actions().at(2)->trigger();
        QCOMPARE(rig.widget->state(), State::Stopped);
        menu->actions().at(4)->trigger(); // Mute
        QVERIFY(rig.widget->isMuted());
        menu->actions().at(5)->trigger();
        QCOMPARE(rig.widget->volume(), 55);

        // A right click pops it up without blocking.
        rig.widget->show();
        QVERIFY(QTest::qWaitForWindowExposed(rig.widget.get()));
        QContextMenuEvent event(
            QContextMenuEvent::Mouse, QPoint(10, 10), rig.widget->mapToGlobal(QPoint(10, 10)));
        QApplication::sendEvent(rig.widget.get(), &event);
        QTRY_VERIFY(menu->isVisible());
        menu->hide();
    }
};

QTEST_MAIN(TestMediaPlayer)
#include "tst_mediaplayer.moc"
