#include "player/view/mediaplayer.h"
#include "player/view/settings.h"

#include "fakeengine.h"
#include "loopbackhttp.h"

#include "platform/runtime.h"

#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>
#include <QToolButton>

using player::MediaPlayer;
using player::Playback;
using State = player::Playback::State;

namespace {

struct Rig
{
    explicit Rig(const player::MediaPlayerSettings &settings = {},
        const player::PlayerTimings &t = quickTimings())
    {
        auto e = std::make_unique<FakeEngine>();
        engine = e.get();
        widget.reset(player::makeMediaPlayer(std::move(e), settings, nullptr, t));
        widget->resize(249, 153);
        playback = widget->playback();
    }
    FakeEngine *engine = nullptr;
    std::unique_ptr<MediaPlayer> widget;
    Playback *playback = nullptr;
};

const QString mmsA = QStringLiteral("mms://127.0.0.1/a");

} // namespace

class TestMediaPlayer : public QObject
{
    Q_OBJECT
private slots:
    void startsIdleWithTheSettings()
    {
        Rig rig;
        QCOMPARE(rig.playback->state(), State::Idle);
        QCOMPARE(rig.widget->statusText(), QStringLiteral("Ready"));
        QCOMPARE(rig.widget->property("URL").toString(), QString());
        QCOMPARE(rig.playback->volume(), 50);
        QCOMPARE(rig.engine->volume, 50);
        QVERIFY(!rig.engine->muted);
        QVERIFY(rig.engine->opens().isEmpty());
        QVERIFY(rig.widget->contextMenu());
        QVERIFY(rig.widget->isEnabled());
        QCOMPARE(rig.widget->findChild<QSlider *>()->value(), 50);
        // Its dark look is there: the margin around the display shows the player's background.
        const QImage shot = rig.widget->grab().toImage();
        QCOMPARE(QColor(shot.pixel(1, 1)), QColor(0x14, 0x14, 0x14));
        // The documented properties are there by name.
        QCOMPARE(platform::getProperty(rig.widget.get(), "statusText").toString(),
            QStringLiteral("Ready"));
    }

    void otherSettingsAreApplied()
    {
        player::MediaPlayerSettings s;
        s.volume = 130; // out of range: clamped
        s.mute = true;
        s.enableContextMenu = false;
        s.enabled = false;
        Rig rig(s);
        QCOMPARE(rig.playback->volume(), 100);
        QVERIFY(rig.engine->muted);
        QVERIFY(!rig.widget->contextMenu());
        QVERIFY(!rig.widget->isEnabled());

        player::MediaPlayerSettings manual;
        manual.autoStart = false;
        Rig quiet(manual);
        platform::putProperty(quiet.widget.get(), "URL", mmsA);
        QTest::qWait(50);
        QCOMPARE(quiet.playback->state(), State::Stopped);
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
        QSignalSpy states(rig.playback, &Playback::stateChanged);
        platform::putProperty(rig.widget.get(), "URL", server.url("/slow").toString());
        // The put came back while the server has not answered: still connecting, nothing opened.
        QCOMPARE(rig.widget->url(), server.url("/slow").toString());
        QCOMPARE(rig.playback->state(), State::Connecting);
        QCOMPARE(rig.widget->statusText(), QStringLiteral("Connecting"));
        QVERIFY(rig.engine->opens().isEmpty());
        QCOMPARE(states.size(), 1);
        QCOMPARE(states.first().first().value<State>(), State::Connecting);
    }

    // The display and the controls show the playback, each change once.
    void theDisplayFollowsThePlayback()
    {
        player::MediaPlayerSettings muted;
        muted.mute = true;
        Rig rig(muted);
        const auto label = [&](const char *name) {
            return rig.widget->findChild<QLabel *>(QLatin1String(name))->text();
        };
        QCOMPARE(label("station"), QStringLiteral("No station"));
        QCOMPARE(label("status"), QStringLiteral("Ready"));
        QCOMPARE(label("time"), QStringLiteral("00:00"));
        QAction *mute = rig.widget->contextMenu()->actions().at(4);
        QVERIFY(mute->isChecked());

        QSignalSpy states(rig.playback, &Playback::stateChanged);
        QSignalSpy texts(rig.widget.get(), &MediaPlayer::statusTextChanged);
        QSignalSpy titles(rig.playback, &Playback::nowPlayingChanged);
        QSignalSpy names(rig.playback, &Playback::stationNameChanged);
        QSignalSpy mutes(rig.playback, &Playback::muteChanged);
        rig.widget->setUrl(mmsA);
        QCOMPARE(label("station"), mmsA);
        QCOMPARE(label("status"), QStringLiteral("Connecting"));
        QVERIFY(waitForOpens(rig.engine, 1));
        emit rig.engine->buffering(40);
        QCOMPARE(label("status"), QStringLiteral("Buffering 40%"));
        emit rig.engine->buffering(55); // the state stays, the line follows the buffer
        QCOMPARE(label("status"), QStringLiteral("Buffering 55%"));
        emit rig.engine->playing();
        emit rig.engine->titleChanged("Song");
        emit rig.engine->durationChanged(3725);
        emit rig.engine->positionChanged(61);
        QCOMPARE(label("title"), QStringLiteral("Song"));
        QCOMPARE(label("status"), QStringLiteral("Playing"));
        QCOMPARE(label("time"), QStringLiteral("01:01 / 1:02:05"));
        QCOMPARE(states.size(), 3);
        QCOMPARE(texts.size(), 4);
        QCOMPARE(titles.size(), 1);
        QCOMPARE(names.size(), 1);

        // On screen, the time follows at the turn of the clock's second.
        rig.widget->show();
        QVERIFY(QTest::qWaitForWindowExposed(rig.widget.get()));
        emit rig.engine->positionChanged(62);
        QTRY_COMPARE_WITH_TIMEOUT(label("time"), QStringLiteral("01:02 / 1:02:05"), 5000);

        rig.playback->setMuted(false);
        QVERIFY(!mute->isChecked());
        QCOMPARE(mutes.size(), 1);
        rig.playback->stop();
        QCOMPARE(label("time"), QStringLiteral("00:00 / 1:02:05"));
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
        QCOMPARE(rig.playback->state(), State::Paused);
        QTest::keyClick(rig.widget.get(), Qt::Key_Space);
        QCOMPARE(rig.playback->state(), State::Playing); // a moment's pause resumes in place
        QTest::keyClick(rig.widget.get(), Qt::Key_M);
        QVERIFY(rig.playback->isMuted());
        QVERIFY(rig.engine->muted);
        QTest::keyClick(rig.widget.get(), Qt::Key_Down);
        QCOMPARE(rig.playback->volume(), 45);
        QCOMPARE(rig.engine->volume, 45);
        QTest::keyClick(rig.widget.get(), Qt::Key_S);
        QCOMPARE(rig.playback->state(), State::Stopped);

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
        QCOMPARE(rig.playback->state(), State::Connecting);
        QCOMPARE(QApplication::focusWidget(), rig.widget.get());
        QTest::keyClick(rig.widget.get(), Qt::Key_Up);
        QCOMPARE(rig.playback->volume(), 50);
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
        QCOMPARE(rig.playback->state(), State::Stopped);
        menu->actions().at(4)->trigger(); // Mute
        QVERIFY(rig.playback->isMuted());
        menu->actions().at(5)->trigger();
        QCOMPARE(rig.playback->volume(), 55);

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
