#pragma once

#include "platform/alarm.h"
#include "player/core/playback.h"

#include <QIcon>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <memory>

class QAction;
class QLabel;
class QMenu;
class QSlider;
class QToolButton;

namespace player {

struct MediaPlayerSettings;

// The embedded media player: a display of the station, the current title and the state, a
// transport row, the elapsed time, mute and volume, over the playback it shows and drives. It
// shows what the playback holds and keeps nothing of its own; it never opens a dialog.
//
// Properties readable by name at run time (QObject::property / platform::getProperty):
//   URL         (QString, writable) the playback's address: the one contract the windows have
//               with the player. Writing it returns at once; what played stops and the new
//               address is opened and played by itself (even when it equals the current one,
//               which is then reopened). An empty address stops and idles.
//   statusText  (QString, read-only, notify statusTextChanged) the status line as shown:
//               "Ready", "Connecting", "Buffering 40%", "Playing", "Paused", "Stopped",
//               "Reconnecting", or "Could not open: <reason>" (reasons such as "no answer",
//               "refused", "not found", "not a stream", "no audio", "unreadable playlist").
// Everything else (state, titles, volume, the transport) is the playback's: playback().
class MediaPlayer : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(QString URL READ url WRITE setUrl)
    Q_PROPERTY(QString statusText READ statusText NOTIFY statusTextChanged)
public:
    // Shows and drives the playback; takes it as a child when it has none. Of the settings it
    // takes the look: the interface mode, the context menu, whether it is enabled.
    MediaPlayer(Playback *playback, const MediaPlayerSettings &settings, QWidget *parent = nullptr);
    ~MediaPlayer() override;

    Playback *playback() const { return m_playback; }

    QString url() const { return m_playback->url(); }
    void setUrl(const QString &url);
    QString statusText() const { return m_statusText; }

    // The context menu the player shows (null when the settings switch it off).
    QMenu *contextMenu() const { return m_menu; }

signals:
    void statusTextChanged(const QString &text);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    QWidget *buildDisplay();
    QLayout *buildTransport(bool visible);
    void buildMenu();
    void bindPlayback();
    void showStatus();
    void showTitle(const QString &title);
    void showStationName(const QString &name);
    void showVolume(int volume);
    void showMute(bool muted);
    void showTime();
    void setTimeText();
    void updateControls();

    QPointer<Playback> m_playback;
    QString m_statusText;

    QLabel *m_stationLabel = nullptr;
    QLabel *m_titleLabel = nullptr;
    QLabel *m_statusLabel = nullptr;
    QLabel *m_timeLabel = nullptr;
    platform::WallClockAlarm *m_timeAlarm = nullptr; // the time shown at the clock's second
    QToolButton *m_playButton = nullptr;
    QToolButton *m_stopButton = nullptr;
    QToolButton *m_muteButton = nullptr;
    QSlider *m_volumeSlider = nullptr;
    QMenu *m_menu = nullptr;
    QAction *m_playAction = nullptr;
    QAction *m_pauseAction = nullptr;
    QAction *m_stopAction = nullptr;
    QAction *m_muteAction = nullptr;
    QIcon m_playIcon;
    QIcon m_pauseIcon;
    QIcon m_soundIcon;
    QIcon m_mutedIcon;
};

// A media player with a playback of its own on this engine, set up from the settings: the
// address, whether it starts by itself, the volume and mute, and the look.
MediaPlayer *makeMediaPlayer(std::unique_ptr<Engine> engine, const MediaPlayerSettings &settings,
    QWidget *parent = nullptr, const PlayerTimings &timings = {});

} // namespace player
