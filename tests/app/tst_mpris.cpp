#include "../common/standins.h"
#include "../player/fakeengine.h"

#include "app/commands.h"
#include "app/mpris.h"
#include "app/startup.h"
#include "platform/runtime.h"
#include "platform/windowregistry.h"
#include "platform/windows.h"
#include "player/view/mediaplayer.h"
#include "player/view/settings.h"
#include "stations/catalogue.h"
#include "ui/controls.h"

#include "serverprocess.h"

#include <QApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDeadlineTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using player::Playback;
using State = player::Playback::State;

// Collects the PropertiesChanged signals of the player interface, one "Name=value" per change.
class ChangeWatcher : public QObject
{
    Q_OBJECT

public slots:
    void changed(const QString &interface, const QVariantMap &properties, const QStringList &)
    {
        if (interface != QLatin1String("org.mpris.MediaPlayer2.Player")) {
            return;
        }
        for (auto it = properties.cbegin(); it != properties.cend(); ++it) {
            QString value = it.value().toString();
            if (it.key() == QLatin1String("Metadata")) {
                const auto map = qdbus_cast<QVariantMap>(it.value().value<QDBusArgument>());
                value = map.value(QStringLiteral("xesam:title")).toString();
            }
            changes << it.key() + QLatin1Char('=') + value;
        }
    }

public:
    QStringList of(const QString &name) const
    {
        return changes.filter(QRegularExpression(QStringLiteral("^%1=").arg(name)));
    }
    QStringList changes;
};

// The program on a private session bus that the test starts, driven by playerctl and gdbus as the
// desktop drives it: its media player with an engine that plays nothing, and a stand-in for the
// animation players. The player does not start a station by itself here, so that nothing reaches
// for the stations' hosts; the transport is tried on a loopback MMS address, which goes to the
// engine without a fetch.
class TestMpris : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();
    void desktopControlsDriveTheProgram();
    void withoutBusOrNameTheProgramRunsQuietly();

private:
    QWidget *form1() const { return platform::window(QStringLiteral("Form1")); }
    player::MediaPlayer *player() const
    {
        return qobject_cast<player::MediaPlayer *>(
            platform::control(QStringLiteral("Form1"), QStringLiteral("wm")));
    }
    // The addresses put into the player, in order.
    QStringList puts() const { return m_puts; }
    ui::ComboBox *list() const
    {
        return qobject_cast<ui::ComboBox *>(
            platform::control(QStringLiteral("Form1"), QStringLiteral("Combo1")));
    }
    // Runs a client to its end while the program serves; its standard output, trimmed.
    QString run(const QString &program, QStringList arguments, int *exitCode = nullptr);
    QString playerctl(const QStringList &arguments, int *exitCode = nullptr)
    {
        return run(QStringLiteral("playerctl"),
            QStringList { QStringLiteral("-p"), QStringLiteral("tarvelin_radio") } + arguments,
            exitCode);
    }
    QStringList gdbusCall(const QString &method);

    testsupport::ServerProcess m_bus { QStringLiteral("dbus-daemon") };
    QString m_address;
    QStringList m_puts;
    FakeEngine *m_engine = nullptr;
};

void TestMpris::initTestCase()
{
    QString error;
    for (const auto &[program, package] : { std::pair { "dbus-daemon", "dbus-daemon" },
             std::pair { "playerctl", "playerctl" }, std::pair { "gdbus", "libglib2.0-bin" } }) {
        QVERIFY2(!testsupport::findProgram(QLatin1String(program), QLatin1String(package), &error)
                      .isEmpty(),
            qPrintable(error));
    }
    m_bus.start(QStringLiteral("dbus-daemon"),
        { QStringLiteral("--session"), QStringLiteral("--nofork"),
            QStringLiteral("--print-address") });
    QVERIFY2(m_bus.waitStarted(10000, &error), qPrintable(error));
    QTRY_VERIFY_WITH_TIMEOUT(m_bus.standardOutput().contains('\n'), 10000);
    m_address
        = QString::fromUtf8(m_bus.standardOutput()).section(QLatin1Char('\n'), 0, 0).trimmed();
    // The session bus of this process and of the clients it starts.
    qputenv("DBUS_SESSION_BUS_ADDRESS", m_address.toUtf8());

    platform::registerComponent(
        platform::mediaPlayerClass, [this](QWidget *parent, const QByteArray &) {
            auto engine = std::make_unique<FakeEngine>();
            m_engine = engine.get();
            player::MediaPlayerSettings settings;
            settings.autoStart = false;
            player::MediaPlayer *wm
                = player::makeMediaPlayer(std::move(engine), settings, parent, quickTimings());
            m_puts.clear();
            connect(wm->playback(), &Playback::stationNameChanged, wm,
                [this, wm] { m_puts << wm->playback()->url(); });
            return wm;
        });
    platform::registerComponent(platform::flashPlayerClass,
        [](QWidget *parent, const QByteArray &s) { return new StandInMovie(parent, s); });
}

void TestMpris::cleanupTestCase()
{
    m_bus.stop();
}

void TestMpris::init()
{
    app::registerWindows();
    platform::showWindow(form1());
    QVERIFY(QTest::qWaitForWindowExposed(form1()));
}

void TestMpris::cleanup()
{
    platform::destroyWindows();
}

QString TestMpris::run(const QString &program, QStringList arguments, int *exitCode)
{
    QProcess process;
    process.start(program, arguments);
    const QDeadlineTimer deadline(30000);
    while (process.state() != QProcess::NotRunning && !deadline.hasExpired()) {
        QTest::qWait(5);
    }
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished();
        qWarning("%s %s hung", qPrintable(program), qPrintable(arguments.join(' ')));
    }
    if (exitCode) {
        *exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

QStringList TestMpris::gdbusCall(const QString &method)
{
    return { QStringLiteral("call"), QStringLiteral("--session"), QStringLiteral("--dest"),
        app::Mpris::busName, QStringLiteral("--object-path"), app::Mpris::objectPath,
        QStringLiteral("--method"), method };
}

void TestMpris::desktopControlsDriveTheProgram()
{
    std::unique_ptr<app::Mpris> mpris = app::startMprisOnSessionBus();
    QVERIFY(mpris);
    QCOMPARE(mpris->serviceName(), app::Mpris::busName);
    ChangeWatcher watcher;
    QDBusConnection watching = QDBusConnection::connectToBus(m_address, QStringLiteral("watcher"));
    QVERIFY(watching.connect(QString(), app::Mpris::objectPath,
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("PropertiesChanged"),
        &watcher, SLOT(changed(QString, QVariantMap, QStringList))));

    const auto &catalogue = stations::catalogue();
    Playback *wm = player()->playback();
    // The media controls drive the playback the window shows.
    QCOMPARE(mpris->playback(), wm);

    // Who the program is.
    QCOMPARE(run(QStringLiteral("gdbus"),
                 gdbusCall(QStringLiteral("org.freedesktop.DBus.Properties.Get"))
                     << QStringLiteral("org.mpris.MediaPlayer2") << QStringLiteral("Identity")),
        QStringLiteral("(<'Tarvelin Bangla Radio Player'>,)"));
    QCOMPARE(playerctl({ QStringLiteral("status") }), QStringLiteral("Stopped"));

    // Next and Previous step the list as an arrow key does: one put each, and the list shows the
    // station tuned.
    playerctl({ QStringLiteral("next") });
    QCOMPARE(puts(), QStringList { catalogue[0].url });
    playerctl({ QStringLiteral("next") });
    playerctl({ QStringLiteral("previous") });
    QCOMPARE(puts(), (QStringList { catalogue[0].url, catalogue[1].url, catalogue[0].url }));
    QCOMPARE(list()->text(), catalogue[0].name);
    playerctl({ QStringLiteral("previous") }); // the first station: nothing before it
    QCOMPARE(puts().size(), 3);
    QCOMPARE(playerctl({ QStringLiteral("status") }), QStringLiteral("Stopped"));

    // The title as the player shows it, under the station's stable track.
    const QString format
        = QStringLiteral("{{mpris:trackid}}|{{artist}}|{{album}}|{{xesam:url}}|{{title}}");
    const QString track = QStringLiteral("'/org/tarvelin_radio/station/1'|%1|%1|%2|")
                              .arg(catalogue[0].name, catalogue[0].url);
    QCOMPARE(playerctl({ QStringLiteral("metadata"), QStringLiteral("--format"), format }), track);
    QCOMPARE(playerctl({ QStringLiteral("metadata"), QStringLiteral("--format"), format }), track);
    // A station started by hand, playing, with a title.
    wm->setUrl(QStringLiteral("mms://127.0.0.1/live"));
    wm->play();
    QVERIFY(waitForOpens(m_engine, 1));
    emit m_engine->playing();
    emit m_engine->titleChanged("Ekhon Gaan — এখন গান");
    const QString live = QStringLiteral("'/org/tarvelin_radio/station/0'|||mms://127.0.0.1/live|");
    QCOMPARE(playerctl({ QStringLiteral("metadata"), QStringLiteral("--format"), format }),
        live + QStringLiteral("Ekhon Gaan — এখন গান"));

    // Volume both ways; the same value again changes nothing. (playerctl sets a property without
    // waiting for the answer, so a read follows each write.)
    playerctl({ QStringLiteral("volume"), QStringLiteral("0.3") });
    QTRY_COMPARE(wm->volume(), 30);
    playerctl({ QStringLiteral("volume"), QStringLiteral("0.3") });
    QCOMPARE(playerctl({ QStringLiteral("volume") }).toDouble(), 0.3);
    wm->setVolume(80);
    QCOMPARE(playerctl({ QStringLiteral("volume") }).toDouble(), 0.8);

    // The transport does what the player's own buttons do: a live stream paused for a moment
    // resumes where it was.
    QCOMPARE(playerctl({ QStringLiteral("status") }), QStringLiteral("Playing"));
    m_engine->log.clear();
    playerctl({ QStringLiteral("play-pause") });
    QCOMPARE(playerctl({ QStringLiteral("status") }), QStringLiteral("Paused"));
    QCOMPARE(wm->state(), State::Paused);
    playerctl({ QStringLiteral("play") });
    QTRY_COMPARE(wm->state(), State::Playing);
    playerctl({ QStringLiteral("play") }); // playing already
    playerctl({ QStringLiteral("pause") });
    playerctl({ QStringLiteral("stop") });
    QCOMPARE(wm->state(), State::Stopped);
    QCOMPARE(m_engine->log, (QStringList { "pause", "resume", "pause", "stop" }));
    QCOMPARE(playerctl({ QStringLiteral("status") }), QStringLiteral("Stopped"));

    // At the end of the list there is no next station.
    list()->setCurrentIndex(int(catalogue.size()) - 2);
    playerctl({ QStringLiteral("next") });
    QCOMPARE(puts().last(), catalogue.back().url);
    const qsizetype tuned = puts().size();
    playerctl({ QStringLiteral("next") });
    QCOMPARE(puts().size(), tuned);

    // Every change is announced once, and nothing that did not change.
    QTRY_COMPARE(watcher.of(QStringLiteral("CanGoNext")), QStringList { "CanGoNext=false" });
    QCOMPARE(watcher.of(QStringLiteral("PlaybackStatus")),
        (QStringList { "PlaybackStatus=Playing", "PlaybackStatus=Paused", "PlaybackStatus=Playing",
            "PlaybackStatus=Paused", "PlaybackStatus=Stopped" }));
    QCOMPARE(watcher.of(QStringLiteral("CanGoPrevious")),
        (QStringList { "CanGoPrevious=true", "CanGoPrevious=false", "CanGoPrevious=true" }));
    QCOMPARE(watcher.of(QStringLiteral("Volume")), (QStringList { "Volume=0.3", "Volume=0.8" }));
    QCOMPARE(watcher.of(QStringLiteral("CanPlay")), QStringList { "CanPlay=true" });
    QCOMPARE(watcher.of(QStringLiteral("Metadata")),
        (QStringList { "Metadata=", "Metadata=", "Metadata=", "Metadata=",
            "Metadata=Ekhon Gaan — এখন গান", "Metadata=" }));

    // Raise brings Form1 back when it is minimised, and from the credits window.
    app::form1Image2Click();
    QTRY_VERIFY(form1()->isMinimized());
    run(QStringLiteral("gdbus"), gdbusCall(QStringLiteral("org.mpris.MediaPlayer2.Raise")));
    QTRY_VERIFY(!form1()->isMinimized() && form1()->isVisible());
    app::form1Label3Click();
    QWidget *form2 = platform::window(QStringLiteral("Form2"));
    QTRY_VERIFY(form2->isVisible() && !form1()->isVisible());
    run(QStringLiteral("gdbus"), gdbusCall(QStringLiteral("org.mpris.MediaPlayer2.Raise")));
    QTRY_VERIFY(form1()->isVisible() && !form2->isVisible());

    // Quit ends the program as its close picture does.
    QProcess quit;
    quit.start(QStringLiteral("gdbus"), gdbusCall(QStringLiteral("org.mpris.MediaPlayer2.Quit")));
    QTimer guard;
    guard.setSingleShot(true);
    connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(99); });
    guard.start(30000);
    QCOMPARE(QApplication::exec(), 0);
    QVERIFY(platform::isEnding());
    for (QWidget *w : QApplication::topLevelWidgets()) {
        QVERIFY(!w->isVisible());
    }
    QCOMPARE(puts().size(), tuned);
    quit.waitForFinished(10000);
}

void TestMpris::withoutBusOrNameTheProgramRunsQuietly()
{
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".*")));

    // No session bus announced: none is started or looked for.
    const QByteArray address = qgetenv("DBUS_SESSION_BUS_ADDRESS");
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    QTemporaryDir emptyRuntime;
    qunsetenv("DBUS_SESSION_BUS_ADDRESS");
    qputenv("XDG_RUNTIME_DIR", emptyRuntime.path().toUtf8());
    QVERIFY(!app::startMprisOnSessionBus());
    qputenv("DBUS_SESSION_BUS_ADDRESS", address);
    qputenv("XDG_RUNTIME_DIR", runtime);

    // A bus that cannot be reached.
    QVERIFY(!app::Mpris::start(QDBusConnection::connectToBus(
        QStringLiteral("unix:path=%1/none").arg(emptyRuntime.path()), QStringLiteral("gone"))));

    // Its own name taken: the name of this process's instance.
    QDBusConnection other = QDBusConnection::connectToBus(m_address, QStringLiteral("other"));
    QVERIFY(other.registerService(app::Mpris::busName));
    const QString instance = app::Mpris::busName + QStringLiteral(".instance")
        + QString::number(QCoreApplication::applicationPid());
    {
        std::unique_ptr<app::Mpris> mpris = app::startMprisOnSessionBus();
        QVERIFY(mpris);
        QCOMPARE(mpris->serviceName(), instance);
    }

    // Both names taken: the program stays off the bus.
    QVERIFY(other.registerService(instance));
    QVERIFY(!app::startMprisOnSessionBus());

    // And runs as before.
    list()->stepSelection(+1);
    QCOMPARE(puts(), QStringList { stations::catalogue()[0].url });
    other.unregisterService(instance);
    other.unregisterService(app::Mpris::busName);
}

QTEST_MAIN(TestMpris)
#include "tst_mpris.moc"
