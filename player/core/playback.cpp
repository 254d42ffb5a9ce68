#include "player/core/playback.h"

#include "network/openstream.h"
#include "player/core/engine.h"
#include "player/core/logging.h"
#include "player/core/resolver.h"
#include "player/core/titletext.h"

#include "network/networkwatch.h"

#include <QTimer>

#include <algorithm>

#include <time.h>

namespace player {

namespace {

// The sleep clock moving this far between two looks means the machine slept: the connection
// most likely died meanwhile, and the sound still buffered is old.
constexpr qint64 sleepMs = 2000;

// The time spent suspended since boot: the boot-time clock counts it, the monotonic one does not.
qint64 sleptMsecs()
{
    timespec boot {};
    timespec monotonic {};
    clock_gettime(CLOCK_BOOTTIME, &boot);
    clock_gettime(CLOCK_MONOTONIC, &monotonic);
    return qint64(boot.tv_sec - monotonic.tv_sec) * 1000
        + (qint64(boot.tv_nsec) - qint64(monotonic.tv_nsec)) / 1000000;
}

} // namespace

Playback::Playback(std::unique_ptr<Engine> engine, const PlayerTimings &timings, QObject *parent)
    : QObject(parent)
    , m_engine(std::move(engine))
    , m_resolver(new EndpointResolver(this))
    , m_timings(timings)
    , m_noAudioTimer(new QTimer(this))
    , m_reconnectTimer(new QTimer(this))
    , m_steadyTimer(new QTimer(this))
    , m_pauseHoldTimer(new QTimer(this))
    , m_stallTimer(new QTimer(this))
    , m_networkWatch(new network::NetworkWatch(this))
    , m_sleepClock(sleptMsecs)
    , m_slept(m_sleepClock())
{
    connect(m_networkWatch, &network::NetworkWatch::changed, this, &Playback::networkChanged);
    m_steadyTimer->setSingleShot(true);
    connect(m_steadyTimer, &QTimer::timeout, this, [this] { m_reconnectAttempt = 0; });
    m_noAudioTimer->setSingleShot(true);
    connect(m_noAudioTimer, &QTimer::timeout, this, [this] { candidateFailed(Failure::NoAudio); });
    m_reconnectTimer->setSingleShot(true);
    connect(m_reconnectTimer, &QTimer::timeout, this, [this] { startOpening(true); });
    m_stallTimer->setSingleShot(true);
    // A stream that brings a share r of what it plays spends 1 - r of its time refilling: more
    // than half the time since it first ran dry means less than half of what it plays.
    connect(m_stallTimer, &QTimer::timeout, this, [this] {
        const qint64 buffered
            = m_bufferedMs + (m_state == State::Buffering ? m_bufferingClock.elapsed() : 0);
        if (buffered * 2 > m_timings.stallMs) {
            qCInfo(lcPlayer) << "the stream brings less than it plays: reconnecting";
            scheduleReconnect();
        }
    });
    m_pauseHoldTimer->setSingleShot(true);
    connect(m_pauseHoldTimer, &QTimer::timeout, this, [this] {
        if (m_state == State::Paused) {
            qCInfo(lcPlayer) << "paused longer than the buffers hold: letting the stream go";
            dropStream();
        }
    });

    connect(m_resolver, &EndpointResolver::streamFound, this, &Playback::openCandidate);
    connect(m_resolver, &EndpointResolver::failed, this, &Playback::allCandidatesFailed);
    connect(m_resolver, &EndpointResolver::playlistTitle, this, [this](const QString &title) {
        m_playlistTitle = title;
        setStationName(title);
    });

    connectEngine();

    m_engine->setVolume(m_volume);
    m_engine->setMuted(m_muted);
}

void Playback::connectEngine()
{
    Engine *e = m_engine.get();
    connect(e, &Engine::playing, this, &Playback::onPlaying);
    connect(e, &Engine::buffering, this, &Playback::onBuffering);
    connect(e, &Engine::ended, this, [this] { streamEnded(std::nullopt); });
    connect(e, &Engine::failed, this, &Playback::streamEnded);
    connect(e, &Engine::reached, m_resolver, &EndpointResolver::learnReach);
    connect(e, &Engine::positionChanged, this, [this](double seconds) {
        setPosition(seconds);
        checkSleep();
    });
    connect(e, &Engine::durationChanged, this, &Playback::setDuration);
    connect(e, &Engine::titleChanged, this,
        [this](const QByteArray &raw) { setNowPlaying(repairTitle(raw)); });
    connect(e, &Engine::stationNameChanged, this, [this](const QByteArray &raw) {
        const QString name = repairTitle(raw);
        if (!name.isEmpty() && m_playlistTitle.isEmpty()) {
            setStationName(name);
        }
    });
}

Playback::~Playback()
{
    m_resolver->cancel();
    // Nothing the engine reports in its last moments reaches a half-destroyed playback.
    m_engine->disconnect(this);
    m_engine.reset();
}

void Playback::setUrl(const QString &url)
{
    m_steadyTimer->stop();
    m_url = url;
    m_heardAudio = false;
    m_reconnectAttempt = 0;
    m_playlistTitle.clear();
    setDuration(0);
    setPosition(0);
    setNowPlaying(QString());
    setStationName(shownAddress(url));
    if (!url.isEmpty() && m_autoStart) {
        startOpening(false); // which lets go of what played first
        return;
    }
    dropStream();
    setState(url.isEmpty() ? State::Idle : State::Stopped);
}

// Lets go of the stream being tried or played: the engine is silenced, the timers that watch
// the stream stop, and, unless the next candidate is wanted, the resolution ends too.
void Playback::dropStream(Candidates candidates)
{
    m_noAudioTimer->stop();
    m_reconnectTimer->stop();
    m_pauseHoldTimer->stop();
    if (candidates == Candidates::Forget) {
        m_resolver->cancel();
    }
    m_engine->stop();
    m_stream = QUrl();
}

void Playback::startOpening(bool reconnecting)
{
    // A reconnection is the same pick: what it may lead to stays as its first connection set it.
    const network::Reach reach = reconnecting ? m_resolver->reach() : network::Reach::Unset;
    dropStream();
    m_lastCandidateFailure.reset();
    setState(reconnecting ? State::Reconnecting : State::Connecting);
    m_resolver->start(QUrl(m_url, QUrl::TolerantMode), reach);
}

void Playback::openCandidate(const QUrl &stream, const QString &title)
{
    qCDebug(lcPlayer) << "trying" << stream.toDisplayString(QUrl::RemovePassword);
    m_stream = stream;
    if (!title.isEmpty() && m_playlistTitle.isEmpty()) {
        setStationName(title);
    }
    setDuration(0);
    setPosition(0);
    m_engine->setReach(m_resolver->reach());
    m_engine->openStream(stream, m_resolver->takeOpened());
    m_candidateClock.start();
    m_noAudioTimer->start(m_timings.noAudioTimeoutMs);
}

void Playback::candidateFailed(Failure failure)
{
    qCInfo(lcPlayer) << "candidate failed:" << m_stream.toDisplayString(QUrl::RemovePassword) << "-"
                     << failure;
    m_lastCandidateFailure = failure;
    dropStream(Candidates::Keep);
    m_resolver->next();
}

void Playback::allCandidatesFailed(Failure failure, int httpStatus)
{
    dropStream();
    // When every stream found failed, the stream's own failure says more than the resolver's.
    if (failure == Failure::NothingToPlay && m_lastCandidateFailure) {
        failure = *m_lastCandidateFailure;
        httpStatus = 0;
    }
    if (m_state == State::Reconnecting && attemptFailed(failure, httpStatus)) {
        return;
    }
    if (m_state == State::Reconnecting || m_heardAudio) {
        scheduleReconnect();
        return;
    }
    fail(failure, httpStatus);
}

// A reconnection attempt failed: a reason met twice in a row is shown, and ends the reconnecting
// (returns true) when no retry changes it.
bool Playback::attemptFailed(Failure failure, int httpStatus)
{
    const std::pair<Failure, int> reason { failure, httpStatus };
    const bool again = m_attemptFailure == reason;
    m_attemptFailure = reason;
    if (!again) {
        if (std::exchange(m_reconnectFailureKnown, false)) {
            emit stateChanged(m_state); // what was shown is no longer why
        }
        return false;
    }
    if (!retryMayMend(failure)) {
        fail(failure, httpStatus);
        return true;
    }
    if (!m_reconnectFailureKnown || m_failure != failure || m_failureHttpStatus != httpStatus) {
        m_failure = failure;
        m_failureHttpStatus = httpStatus;
        m_reconnectFailureKnown = true;
        qCInfo(lcPlayer) << "reconnecting fails again:" << failure << httpStatus;
        emit stateChanged(m_state);
    }
    return false;
}

void Playback::scheduleReconnect()
{
    m_steadyTimer->stop();
    dropStream();
    const int delay = reconnectDelayMs(m_reconnectAttempt, m_timings);
    ++m_reconnectAttempt;
    setState(State::Reconnecting);
    m_reconnectTimer->start(delay);
}

void Playback::onPlaying()
{
    if (!isRunning()) {
        return;
    }
    m_noAudioTimer->stop();
    m_resolver->cancel();
    m_heardAudio = true;
    // A stream that drops again soon after coming back goes on with growing waits; one that
    // keeps playing starts over from the first wait when it next drops.
    if (m_reconnectAttempt > 0 && !m_steadyTimer->isActive()) {
        m_steadyTimer->start(m_timings.reconnectCapMs);
    }
    setState(State::Playing);
}

void Playback::onBuffering(int percent)
{
    checkSleep();
    if (m_state != State::Connecting && m_state != State::Playing && m_state != State::Buffering) {
        return;
    }
    if (m_noAudioTimer->isActive()) {
        // Data is arriving: wait on, up to the cap.
        const qint64 left = m_timings.firstAudioCapMs - m_candidateClock.elapsed();
        m_noAudioTimer->start(int(std::clamp<qint64>(left, 0, m_timings.noAudioTimeoutMs)));
    }
    if (m_state == State::Playing) {
        // Ran dry: no longer playing steadily, and a stall may begin.
        m_steadyTimer->stop();
        if (!m_stallTimer->isActive()) {
            m_bufferedMs = 0;
            m_stallTimer->start(m_timings.stallMs);
        }
        m_bufferingClock.start();
    }
    percent = std::clamp(percent, 0, 100);
    const bool percentChanges = percent != m_bufferPercent;
    m_bufferPercent = percent;
    setState(State::Buffering);
    if (percentChanges) {
        emit bufferPercentChanged(percent);
    }
}

// The engine's last word on the stream: no failure when it reached its end.
void Playback::streamEnded(std::optional<Failure> failure)
{
    if (m_stream.isEmpty()) {
        return;
    }
    switch (m_state) {
    case State::Connecting:
        if (m_heardAudio) {
            scheduleReconnect();
        } else {
            candidateFailed(failure.value_or(Failure::NoAudio));
        }
        return;
    case State::Reconnecting:
        candidateFailed(failure.value_or(Failure::NoAudio));
        return;
    case State::Buffering:
        if (!m_heardAudio) {
            candidateFailed(failure.value_or(Failure::NoAudio));
            return;
        }
        [[fallthrough]];
    case State::Playing:
        if (!failure && m_duration > 0 && m_position >= m_duration - 2) {
            // A recording that played to its end.
            dropStream();
            setState(State::Stopped);
            return;
        }
        scheduleReconnect();
        return;
    case State::Paused:
        // A paused stream whose connection dropped: resuming reconnects.
        dropStream();
        return;
    case State::Idle:
    case State::Stopped:
    case State::Failed:
        return;
    }
}

void Playback::play()
{
    switch (m_state) {
    case State::Paused:
        if (m_stream.isEmpty() || (m_duration <= 0 && m_sleepClock() - m_sleptAtPause >= sleepMs)) {
            // Let go of (a live stream paused long, or dropped while paused), or slept through
            // (its connection most likely died meanwhile): connect again.
            m_reconnectAttempt = 0;
            startOpening(m_heardAudio);
        } else {
            m_pauseHoldTimer->stop();
            m_engine->setPaused(false);
            setState(State::Playing);
        }
        return;
    case State::Idle:
    case State::Stopped:
    case State::Failed:
        if (!m_url.isEmpty()) {
            m_reconnectAttempt = 0;
            m_heardAudio = false;
            startOpening(false);
        }
        return;
    case State::Connecting:
    case State::Buffering:
    case State::Playing:
    case State::Reconnecting:
        return;
    }
}

void Playback::pause()
{
    switch (m_state) {
    case State::Playing:
    case State::Buffering:
        if (m_heardAudio) {
            // In place: a recording for as long as it takes, a live stream for a short while.
            m_noAudioTimer->stop();
            m_engine->setPaused(true);
            if (m_duration <= 0) {
                m_pauseHoldTimer->start(m_timings.livePauseHoldMs);
                m_sleptAtPause = m_sleepClock();
            }
        } else {
            // Nothing heard yet: let go; resuming connects again.
            dropStream();
        }
        setState(State::Paused);
        return;
    case State::Connecting:
    case State::Reconnecting:
        dropStream();
        setState(State::Paused);
        return;
    case State::Idle:
    case State::Paused:
    case State::Stopped:
    case State::Failed:
        return;
    }
}

void Playback::togglePlayPause()
{
    if (isRunning()) {
        pause();
    } else {
        play();
    }
}

void Playback::stop()
{
    if (m_state == State::Idle) {
        return;
    }
    dropStream();
    m_reconnectAttempt = 0;
    setPosition(0);
    setState(State::Stopped);
}

void Playback::setVolume(int volume)
{
    volume = std::clamp(volume, 0, 100);
    if (volume == m_volume) {
        return;
    }
    m_volume = volume;
    m_engine->setVolume(volume);
    emit volumeChanged(volume);
}

void Playback::setMuted(bool muted)
{
    if (muted == m_muted) {
        return;
    }
    m_muted = muted;
    m_engine->setMuted(muted);
    emit muteChanged(muted);
}

bool Playback::retryMayMend(Failure failure)
{
    switch (failure) {
    case Failure::BadAddress:
    case Failure::UnsupportedAddress:
    case Failure::RefusedScheme:
    case Failure::RefusedPort:
    case Failure::RefusedReach:
    case Failure::Certificate:
    case Failure::InsecureRedirect:
    case Failure::UnknownCoding:
    case Failure::Unsupported:
        return false;
    default:
        return true;
    }
}

bool Playback::networkMayMend(Failure failure)
{
    switch (failure) {
    case Failure::UnknownHost:
    case Failure::NoAnswer:
    case Failure::TooSlow:
    case Failure::ConnectionClosed:
    case Failure::NetworkError:
    case Failure::Unreachable:
    case Failure::WebPage:
        return true;
    default:
        return false;
    }
}

void Playback::networkChanged()
{
    switch (m_state) {
    case State::Reconnecting:
        // However long the waits have grown, the network's return is the moment to try.
        qCInfo(lcPlayer) << "the network changed: reconnecting now";
        m_reconnectAttempt = 0;
        startOpening(true);
        return;
    case State::Failed:
        if (networkMayMend(m_failure) && !m_url.isEmpty()) {
            qCInfo(lcPlayer) << "the network changed: trying again";
            m_reconnectAttempt = 0;
            startOpening(m_heardAudio);
        }
        return;
    default:
        return;
    }
}

void Playback::setSleepClock(std::function<qint64()> clock)
{
    m_sleepClock = std::move(clock);
    m_slept = m_sleepClock();
}

// Looked at whenever the engine reports (every second while a stream plays): a live stream that
// was playing when the machine went to sleep is reconnected at once on waking, without waiting
// for its dead connection to be noticed.
void Playback::checkSleep()
{
    const qint64 slept = m_sleepClock();
    const bool woke = slept - m_slept >= sleepMs;
    m_slept = slept;
    if (!woke || m_duration > 0) {
        return;
    }
    if (m_state == State::Playing || m_state == State::Buffering) {
        qCInfo(lcPlayer) << "the machine slept: reconnecting";
        m_reconnectAttempt = 0;
        startOpening(m_heardAudio);
    }
}

void Playback::updateNetworkWatch()
{
    if (m_state == State::Reconnecting || (m_state == State::Failed && networkMayMend(m_failure))) {
        m_networkWatch->start();
    } else {
        m_networkWatch->stop();
    }
}

void Playback::fail(Failure failure, int httpStatus)
{
    const bool news
        = m_state == State::Failed && (failure != m_failure || httpStatus != m_failureHttpStatus);
    m_failure = failure;
    m_failureHttpStatus = httpStatus;
    qCInfo(lcPlayer) << "failed:" << failure << httpStatus;
    setState(State::Failed);
    updateNetworkWatch();
    if (news) {
        emit stateChanged(m_state);
    }
}

void Playback::setState(State state)
{
    if (m_state == State::Buffering && state != State::Buffering && m_stallTimer->isActive()) {
        m_bufferedMs += m_bufferingClock.elapsed();
    }
    if (state != State::Buffering && state != State::Playing) {
        m_stallTimer->stop();
    }
    if (state != State::Reconnecting) {
        m_attemptFailure.reset();
        m_reconnectFailureKnown = false;
    }
    if (state == m_state) {
        return;
    }
    m_state = state;
    qCDebug(lcPlayer) << "state:" << state;
    updateNetworkWatch();
    emit stateChanged(state);
}

void Playback::setNowPlaying(const QString &text)
{
    const QString title = withoutDirectionControls(text);
    if (title != m_nowPlaying) {
        m_nowPlaying = title;
        emit nowPlayingChanged(title);
    }
}

void Playback::setStationName(const QString &text)
{
    const QString name = withoutDirectionControls(text);
    if (name != m_stationName) {
        m_stationName = name;
        emit stationNameChanged(name);
    }
}

void Playback::setPosition(double seconds)
{
    if (seconds != m_position) {
        m_position = seconds;
        emit positionChanged(seconds);
    }
}

void Playback::setDuration(double seconds)
{
    if (seconds != m_duration) {
        m_duration = seconds;
        emit durationChanged(seconds);
    }
}

} // namespace player
