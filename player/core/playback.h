#pragma once

#include "player/core/failure.h"
#include "player/core/timings.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>
#include <utility>

class QTimer;

namespace network {
class NetworkWatch;
}

namespace player {

class Engine;
class EndpointResolver;

// The media player's playback, without any widget: the address it plays and what becomes of it.
// It owns the engine that plays the sound, the resolver that finds the streams of an address,
// and the timers that watch them: the candidates are tried one after another, one that stays
// silent makes way for the next, and a stream that played and dropped is reconnected, with
// growing waits, for as long as it takes. While it waits to reconnect, or failed for a reason
// the network may mend, a change of the machine's network (see network::NetworkWatch) tries
// again at once; after the machine slept, a stream that was playing is reconnected at once.
//
// Each property notifies a change once, and only when its value changed: what a view shows of
// it (the station, the title, the state and why it failed, the time, the volume) and what the
// desktop's media controls announce.
class Playback : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString url READ url WRITE setUrl)
    Q_PROPERTY(State state READ state NOTIFY stateChanged)
    Q_PROPERTY(int bufferPercent READ bufferPercent NOTIFY bufferPercentChanged)
    Q_PROPERTY(QString nowPlaying READ nowPlaying NOTIFY nowPlayingChanged)
    Q_PROPERTY(QString stationName READ stationName NOTIFY stationNameChanged)
    Q_PROPERTY(int volume READ volume WRITE setVolume NOTIFY volumeChanged)
    Q_PROPERTY(bool mute READ isMuted WRITE setMuted NOTIFY muteChanged)
    Q_PROPERTY(double position READ position NOTIFY positionChanged)
    Q_PROPERTY(double duration READ duration NOTIFY durationChanged)
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

    // Takes ownership of the engine. A new playback is idle, at volume 50, not muted, and starts
    // a new address by itself.
    explicit Playback(std::unique_ptr<Engine> engine, const PlayerTimings &timings = {},
        QObject *parent = nullptr);
    ~Playback() override;

    // Whether a new address is opened and played by itself (or waits for play()).
    void setAutoStart(bool autoStart) { m_autoStart = autoStart; }

    QString url() const { return m_url; }
    // Returns at once: what played stops, and the new address is opened and played by itself
    // unless autoStart is off (even when it equals the current one, which is then reopened).
    // An empty address stops and idles.
    void setUrl(const QString &url);

    State state() const { return m_state; }
    // Connecting, buffering, playing or reconnecting: pausing is what the transport offers.
    bool isRunning() const
    {
        return m_state == State::Connecting || m_state == State::Buffering
            || m_state == State::Playing || m_state == State::Reconnecting;
    }
    // How full the buffer is, 0 to 100, while Buffering.
    int bufferPercent() const { return m_bufferPercent; }
    // Why the address could not be played, while Failed, or while Reconnecting once two
    // attempts in a row failed alike (failureKnown()); the HTTP status of a ServerError (else 0).
    // Reconnecting gives up when they failed for a reason that no retry changes.
    Failure failure() const { return m_failure; }
    bool failureKnown() const { return m_state == State::Failed || m_reconnectFailureKnown; }
    int failureHttpStatus() const { return m_failureHttpStatus; }
    QString nowPlaying() const { return m_nowPlaying; }
    QString stationName() const { return m_stationName; }
    int volume() const { return m_volume; }
    void setVolume(int volume);
    bool isMuted() const { return m_muted; }
    void setMuted(bool muted);
    // Seconds played of the current stream, and its length (0 for live streams).
    double position() const { return m_position; }
    double duration() const { return m_duration; }

    void play();
    void pause();
    void togglePlayPause();
    void stop();

    // The machine's network may have come back: what waits for it tries again at once.
    void networkChanged();
    // Milliseconds the machine has spent asleep, from any fixed start (by default the boot-time
    // clock less the monotonic one); tests move a clock of their own.
    void setSleepClock(std::function<qint64()> clock);
    // Failures the network may mend, as opposed to what the station itself answered.
    static bool networkMayMend(Failure failure);
    // Failures another attempt may mend, as opposed to a refusal that stays what it is.
    static bool retryMayMend(Failure failure);

signals:
    // Also when a new failure is met while Failed, and when why reconnecting fails becomes known
    // or no longer holds.
    void stateChanged(player::Playback::State state);
    void bufferPercentChanged(int percent);
    void nowPlayingChanged(const QString &title);
    void stationNameChanged(const QString &name);
    void volumeChanged(int volume);
    void muteChanged(bool muted);
    void positionChanged(double seconds);
    void durationChanged(double seconds);

private:
    // What dropStream() keeps of the address's resolution.
    enum class Candidates { Forget, Keep };

    void connectEngine();
    void startOpening(bool reconnecting);
    void openCandidate(const QUrl &stream, const QString &title);
    void candidateFailed(Failure failure);
    void allCandidatesFailed(Failure failure, int httpStatus);
    void dropStream(Candidates candidates = Candidates::Forget);
    void scheduleReconnect();
    bool attemptFailed(Failure failure, int httpStatus);
    void onPlaying();
    void onBuffering(int percent);
    void streamEnded(std::optional<Failure> failure);
    void fail(Failure failure, int httpStatus = 0);
    void checkSleep();
    void updateNetworkWatch();
    void setState(State state);
    void setNowPlaying(const QString &title);
    void setStationName(const QString &name);
    void setPosition(double seconds);
    void setDuration(double seconds);

    std::unique_ptr<Engine> m_engine;
    EndpointResolver *m_resolver = nullptr;
    PlayerTimings m_timings;
    bool m_autoStart = true;

    QString m_url;
    QUrl m_stream; // the candidate being tried or played
    State m_state = State::Idle;
    int m_bufferPercent = 0; // while Buffering
    Failure m_failure = Failure::NothingToPlay; // while Failed
    int m_failureHttpStatus = 0;
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
    // While Reconnecting: why the last attempt failed, and whether the one before failed alike.
    std::optional<std::pair<Failure, int>> m_attemptFailure;
    bool m_reconnectFailureKnown = false;

    QTimer *m_noAudioTimer = nullptr;
    QElapsedTimer m_candidateClock; // since the current candidate was handed to the engine
    QTimer *m_reconnectTimer = nullptr;
    QTimer *m_steadyTimer = nullptr; // playing this long ends a run of reconnection attempts
    QTimer *m_pauseHoldTimer = nullptr; // a paused live stream's connection is let go then
    // Buffering more than half of this long since the stream first ran dry is a stall.
    QTimer *m_stallTimer = nullptr;
    QElapsedTimer m_bufferingClock; // since the stream last ran dry
    qint64 m_bufferedMs = 0; // spent buffering since the stall timer started, until the last play
    network::NetworkWatch *m_networkWatch = nullptr;
    std::function<qint64()> m_sleepClock;
    qint64 m_slept = 0; // the sleep clock when last looked at
    qint64 m_sleptAtPause = 0;
};

} // namespace player
