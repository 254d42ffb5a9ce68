#pragma once

#include "player/playback.h"

#include <QIcon>
#include <QString>
#include <QWidget>

#include <memory>

class QAction;
class QLabel;
class QMenu;
class QSlider;
class QToolButton;

namespace player {

class Engine;

// The embedded media player: a display of the station, the current title and the state, a
// transport row, the elapsed time, mute and volume, over the playback it shows and drives. It
// never opens a dialog.
//
// Properties, all readable by name at run time (QObject::property / platform::getProperty):
//   URL         (QString, writable) the address to play. Writing it returns at once; what played
//               stops and the new address is opened and played by itself (even when it equals
//               the current one, which is then reopened). An empty address stops and idles.
//   state       (player::MediaPlayer::State, read-only, notify stateChanged) one of Idle,
//               Connecting, Buffering, Playing, Paused, Stopped, Reconnecting, Failed. Reads as
//               int through QVariant::toInt() (Idle = 0 ... Failed = 7).
//   statusText  (QString, read-only, notify statusTextChanged) the status line as shown: "Ready",
//               "Connecting", "Buffering 40%", "Playing", "Paused", "Stopped", "Reconnecting",
//               or "Could not open: <reason>" (reasons such as "no answer", "refused",
//               "not found", "not a stream", "no audio", "unreadable playlist").
//   nowPlaying  (QString, read-only, notify nowPlayingChanged) the stream's current title, repaired
//               for display; empty when the stream sends none.
//   stationName (QString, read-only, notify stationNameChanged) the station's own name when the
//               stream or playlist gives one, else the address being played.
//   volume      (int 0..100, writable, notify volumeChanged) starts at the settings' value (50).
//   mute        (bool, writable, notify muteChanged).
class MediaPlayer : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(QString URL READ url WRITE setUrl)
    Q_PROPERTY(player::Playback::State state READ state NOTIFY stateChanged)
    Q_PROPERTY(QString statusText READ statusText NOTIFY statusTextChanged)
    Q_PROPERTY(QString nowPlaying READ nowPlaying NOTIFY nowPlayingChanged)
    Q_PROPERTY(QString stationName READ stationName NOTIFY stationNameChanged)
    Q_PROPERTY(int volume READ volume WRITE setVolume NOTIFY volumeChanged)
    Q_PROPERTY(bool mute READ isMuted WRITE setMuted NOTIFY muteChanged)
public:
    // The playback's states (the same type).
    using State = Playback::State;

    // Takes ownership of the engine.
    MediaPlayer(std::unique_ptr<Engine> engine, const MediaPlayerSettings &settings,
        QWidget *parent = nullptr, const PlayerTimings &timings = {});
    ~MediaPlayer() override;

    QString url() const { return m_playback->url(); }
    void setUrl(const QString &url);

    State state() const { return m_playback->state(); }
    QString statusText() const { return m_playback->statusText(); }
    QString nowPlaying() const { return m_playback->nowPlaying(); }
    QString stationName() const { return m_playback->stationName(); }
    int volume() const { return m_playback->volume(); }
    void setVolume(int volume) { m_playback->setVolume(volume); }
    bool isMuted() const { return m_playback->isMuted(); }
    void setMuted(bool muted) { m_playback->setMuted(muted); }

    // The built-in transport, also reachable by keyboard, the context menu and by name.
    Q_INVOKABLE void play() { m_playback->play(); }
    Q_INVOKABLE void pause() { m_playback->pause(); }
    Q_INVOKABLE void togglePlayPause() { m_playback->togglePlayPause(); }
    Q_INVOKABLE void stop() { m_playback->stop(); }

    // The context menu the player shows (null when the settings switch it off).
    QMenu *contextMenu() const { return m_menu; }
    // How many reconnection attempts the current drop has made so far.
    int reconnectAttempt() const { return m_playback->reconnectAttempt(); }
    // The wait before the next reconnection attempt while one is pending, else 0.
    int reconnectWaitMs() const { return m_playback->reconnectWaitMs(); }

signals:
    void stateChanged(player::Playback::State state);
    void statusTextChanged(const QString &text);
    void nowPlayingChanged(const QString &title);
    void stationNameChanged(const QString &name);
    void volumeChanged(int volume);
    void muteChanged(bool muted);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    QWidget *buildDisplay();
    QLayout *buildTransport(bool visible);
    void buildMenu();
    void bindPlayback();
    void showStatus(const QString &text);
    void showTitle(const QString &title);
    void showStationName(const QString &name);
    void showVolume(int volume);
    void showMute(bool muted);
    void showTime();
    void updateControls();

    std::unique_ptr<Playback> m_playback;

    QLabel *m_stationLabel = nullptr;
    QLabel *m_titleLabel = nullptr;
    QLabel *m_statusLabel = nullptr;
    QLabel *m_timeLabel = nullptr;
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

} // namespace player
