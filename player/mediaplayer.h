#pragma once

#include "player/failure.h"
#include "player/settings.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QIcon>
#include <QString>
#include <QUrl>
#include <QWidget>

#include <memory>
#include <optional>

class QLabel;
class QMenu;
class QSlider;
class QTimer;
class QToolButton;

namespace player {

class Engine;
class EndpointResolver;

// Timings of the player, in milliseconds. Tests shorten them.
struct PlayerTimings
{
    // A stream that gives no audio within this time makes way for the next candidate.
    int noAudioTimeoutMs = 8000;
    // Buffering progress extends that wait, but a stream that has still not sounded this long
    // after it was opened never will (data trickling in a byte at a time, framing that leaves
    // almost no audio): it makes way too.
    int firstAudioCapMs = 30000;
    // Waits between reconnection attempts grow from the first to the cap.
    int reconnectFirstMs = 1000;
    int reconnectCapMs = 10000;
};

// The wait before reconnection attempt number `attempt` (counting from 0): doubling from the
// first wait, never more than the cap.
int reconnectDelayMs(int attempt, const PlayerTimings &timings = {});

// The embedded media player: a display of the station, the current title and the state, a
// transport row, the elapsed time, mute and volume. It never opens a dialog.
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
    Q_PROPERTY(State state READ state NOTIFY stateChanged)
    Q_PROPERTY(QString statusText READ statusText NOTIFY statusTextChanged)
    Q_PROPERTY(QString nowPlaying READ nowPlaying NOTIFY nowPlayingChanged)
    Q_PROPERTY(QString stationName READ stationName NOTIFY stationNameChanged)
    Q_PROPERTY(int volume READ volume WRITE setVolume NOTIFY volumeChanged)
    Q_PROPERTY(bool mute READ isMuted WRITE setMuted NOTIFY muteChanged)
public:
    enum class State {
        Idle,
        Connecting,
        Buffering,
        Playing,
        Paused,
        Stopped,
        Reconnecting,
        Failed
    };
    Q_ENUM(State)

    // Takes ownership of the engine.
    MediaPlayer(std::unique_ptr<Engine> engine, const MediaPlayerSettings &settings,
        QWidget *parent = nullptr, const PlayerTimings &timings = {});
    ~MediaPlayer() override;

    QString url() const { return m_url; }
    void setUrl(const QString &url);

    State state() const { return m_state; }
    QString statusText() const { return m_statusText; }
    QString nowPlaying() const { return m_nowPlaying; }
    QString stationName() const { return m_stationName; }
    int volume() const { return m_volume; }
    void setVolume(int volume);
    bool isMuted() const { return m_muted; }
    void setMuted(bool muted);

    // The built-in transport, also reachable by keyboard, the context menu and by name.
    Q_INVOKABLE void play();
    Q_INVOKABLE void pause();
    Q_INVOKABLE void togglePlayPause();
    Q_INVOKABLE void stop();

    // The context menu the player shows (null when the settings switch it off).
    QMenu *contextMenu() const { return m_menu; }
    // How many reconnection attempts the current drop has made so far.
    int reconnectAttempt() const { return m_reconnectAttempt; }
    // The wait before the next reconnection attempt while one is pending, else 0.
    int reconnectWaitMs() const;

signals:
    void stateChanged(player::MediaPlayer::State state);
    void statusTextChanged(const QString &text);
    void nowPlayingChanged(const QString &title);
    void stationNameChanged(const QString &name);
    void volumeChanged(int volume);
    void muteChanged(bool muted);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    void buildInterface();
    void startOpening(bool reconnecting);
    void openCandidate(const QUrl &stream, const QString &title);
    void candidateFailed(Failure failure);
    void allCandidatesFailed(Failure failure, int httpStatus);
    void onPlaying();
    void onBuffering(int percent);
    void streamEnded(std::optional<Failure> failure);
    void scheduleReconnect();
    void setState(State state, const QString &detail = QString());
    void setNowPlaying(const QString &title);
    void setStationName(const QString &name);
    void updatePosition(double seconds);
    void updateControls();

    std::unique_ptr<Engine> m_engine;
    EndpointResolver *m_resolver = nullptr;
    PlayerTimings m_timings;
    MediaPlayerSettings m_settings;

    QString m_url;
    QUrl m_stream; // the candidate being tried or played
    State m_state = State::Idle;
    QString m_statusText;
    QString m_nowPlaying;
    QString m_stationName;
    QString m_playlistTitle;
    int m_volume = 50;
    bool m_muted = false;
    bool m_heardAudio = false; // the current address has played at least once
    // The length of a recording (0 for live streams): a recording pauses in place and ends.
    double m_duration = 0;
    double m_position = 0;
    int m_reconnectAttempt = 0;
    std::optional<Failure> m_lastCandidateFailure;

    QTimer *m_noAudioTimer = nullptr;
    QElapsedTimer m_candidateClock; // since the current candidate was handed to the engine
    QTimer *m_reconnectTimer = nullptr;
    QTimer *m_steadyTimer = nullptr; // playing this long ends a run of reconnection attempts

    QLabel *m_stationLabel = nullptr;
    QLabel *m_titleLabel = nullptr;
    QLabel *m_statusLabel = nullptr;
    QLabel *m_timeLabel = nullptr;
    QToolButton *m_playButton = nullptr;
    QToolButton *m_stopButton = nullptr;
    QToolButton *m_muteButton = nullptr;
    QSlider *m_volumeSlider = nullptr;
    QMenu *m_menu = nullptr;
    QIcon m_playIcon;
    QIcon m_pauseIcon;
    QIcon m_soundIcon;
    QIcon m_mutedIcon;
};

// The component factory registered for "WMPLibCtl.WindowsMediaPlayer": decodes the settings
// block (throwing platform::SettingsError when it is malformed; an empty block means the default
// settings) and creates the player with the libmpv engine.
QWidget *createMediaPlayer(QWidget *parent, const QByteArray &settings);

// The class name the factory is registered under.
inline constexpr const char *mediaPlayerClassName = "WMPLibCtl.WindowsMediaPlayer";

// Registers the factory with platform::registerComponent.
void registerMediaPlayerComponent();

} // namespace player
