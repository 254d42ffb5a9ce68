#pragma once

#include "player/core/playback.h"
#include "ui/controls.h"

#include <QDBusConnection>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QVariantMap>
#include <QWidget>

#include <memory>

namespace app {

// The program on a message bus as a media player the desktop can drive (MPRIS 2): the media keys,
// the panel's sound menu and scripts reach the playback of the player `wm` and the station list
// `Combo1` of Form1 through it, by the playback's own signals and methods. Next and Previous step
// the list as an arrow key does, so the station is tuned by the list's own Click; Raise and Quit
// are the program's own commands.
class Mpris : public QObject
{
    Q_OBJECT

public:
    static inline const QString objectPath = QStringLiteral("/org/mpris/MediaPlayer2");
    // The name the program asks for first; when it is taken, the same with ".instance<pid>".
    static inline const QString busName = QStringLiteral("org.mpris.MediaPlayer2.tarvelin_radio");

    // Serves Form1, which must exist already, on the bus. Returns null, quietly, when the bus is
    // not connected or refuses both names; the program then runs as it would without.
    static std::unique_ptr<Mpris> start(const QDBusConnection &bus);
    ~Mpris() override;

    // The name this instance owns.
    QString serviceName() const { return m_serviceName; }

    QWidget *form1() const { return m_form1; }
    player::Playback *playback() const { return m_playback; }
    ui::ComboBox *list() const { return m_list; }

private:
    Mpris(
        const QDBusConnection &bus, QWidget *form1, player::Playback *playback, ui::ComboBox *list);
    bool publish();
    void watch();
    // Sends PropertiesChanged for the Player properties whose values differ from those last
    // announced; nothing when none does.
    void announceChanges();
    QVariantMap playerValues() const;

    QDBusConnection m_bus;
    QString m_serviceName;
    QPointer<QWidget> m_form1;
    QPointer<player::Playback> m_playback;
    QPointer<ui::ComboBox> m_list;
    QObject *m_playerAdaptor = nullptr;
    QVariantMap m_announced;
    // Changes that come together (a put of URL moves state, title and station at once) are
    // announced together once the event that made them is done.
    QTimer m_pending;
};

// Serves the program on the session bus when there is one. Without a session bus the program
// runs as before, and nothing is started to provide one.
std::unique_ptr<Mpris> startMprisOnSessionBus();

} // namespace app
