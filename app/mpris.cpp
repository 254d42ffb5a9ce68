#include "app/mpris.h"

#include "app/mprisadaptors.h"

#include "platform/windowregistry.h"
#include "player/view/mediaplayer.h"
#include "ui/controls.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QFileInfo>

namespace app {

namespace {

// Where the session bus is announced: its address in the environment, or the per-user bus
// socket. Without either, libdbus would launch a bus of its own, which the program does not want.
bool sessionBusAnnounced()
{
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) {
        return true;
    }
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return !runtime.isEmpty() && QFileInfo::exists(runtime + QStringLiteral("/bus"));
}

} // namespace

Mpris::Mpris(
    const QDBusConnection &bus, QWidget *form1, player::Playback *playback, ui::ComboBox *list)
    : m_bus(bus)
    , m_form1(form1)
    , m_playback(playback)
    , m_list(list)
{
    new MprisRootAdaptor(this);
    m_playerAdaptor = new MprisPlayerAdaptor(this);
}

Mpris::~Mpris()
{
    m_bus.unregisterObject(objectPath);
    if (!m_serviceName.isEmpty()) {
        m_bus.unregisterService(m_serviceName);
    }
}

std::unique_ptr<Mpris> Mpris::start(const QDBusConnection &bus)
{
    QWidget *form1 = platform::existingWindow(QStringLiteral("Form1"));
    if (!bus.isConnected() || !form1) {
        return nullptr;
    }
    auto *wm
        = form1->findChild<player::MediaPlayer *>(QStringLiteral("wm"), Qt::FindDirectChildrenOnly);
    auto *list
        = form1->findChild<ui::ComboBox *>(QStringLiteral("Combo1"), Qt::FindDirectChildrenOnly);
    std::unique_ptr<Mpris> mpris(new Mpris(bus, form1, wm ? wm->playback() : nullptr, list));
    if (!mpris->publish()) {
        return nullptr;
    }
    mpris->watch();
    return mpris;
}

bool Mpris::publish()
{
    if (!m_bus.registerObject(objectPath, this, QDBusConnection::ExportAdaptors)) {
        return false;
    }
    const QString names[] = { busName,
        busName + QStringLiteral(".instance")
            + QString::number(QCoreApplication::applicationPid()) };
    for (const QString &name : names) {
        if (m_bus.registerService(name)) {
            m_serviceName = name;
            return true;
        }
    }
    m_bus.unregisterObject(objectPath);
    return false;
}

void Mpris::watch()
{
    m_pending.setSingleShot(true);
    m_pending.setInterval(0);
    connect(&m_pending, &QTimer::timeout, this, &Mpris::announceChanges);
    const auto schedule = [this] { m_pending.start(); };
    if (player::Playback *p = m_playback) {
        connect(p, &player::Playback::stateChanged, &m_pending, schedule);
        connect(p, &player::Playback::nowPlayingChanged, &m_pending, schedule);
        connect(p, &player::Playback::stationNameChanged, &m_pending, schedule);
        connect(p, &player::Playback::volumeChanged, &m_pending, schedule);
    }
    if (m_list) {
        connect(m_list, &QComboBox::currentIndexChanged, &m_pending, schedule);
    }
    m_announced = playerValues();
}

QVariantMap Mpris::playerValues() const
{
    QVariantMap values;
    for (const QString &name : MprisPlayerAdaptor::changingProperties()) {
        values.insert(name, m_playerAdaptor->property(name.toLatin1().constData()));
    }
    return values;
}

void Mpris::announceChanges()
{
    const QVariantMap now = playerValues();
    QVariantMap changed;
    for (auto it = now.cbegin(); it != now.cend(); ++it) {
        if (m_announced.value(it.key()) != it.value()) {
            changed.insert(it.key(), it.value());
        }
    }
    m_announced = now;
    if (changed.isEmpty()) {
        return;
    }
    QDBusMessage signal = QDBusMessage::createSignal(objectPath,
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("PropertiesChanged"));
    signal << QStringLiteral("org.mpris.MediaPlayer2.Player") << changed << QStringList();
    m_bus.send(signal);
}

std::unique_ptr<Mpris> startMprisOnSessionBus()
{
    if (!sessionBusAnnounced()) {
        return nullptr;
    }
    return Mpris::start(QDBusConnection::sessionBus());
}

} // namespace app
