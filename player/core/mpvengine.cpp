#include "player/core/mpvengine.h"

#include "network/gate.h"
#include "player/core/logging.h"
#include "player/core/mpvcore.h"

#include <QMetaObject>
#include <QTimer>

#include <mpv/client.h>

#include <algorithm>
#include <cmath>
#include <mutex>
#include <optional>
#include <utility>

namespace player {

namespace {

Failure failureOf(int error)
{
    switch (error) {
    case MPV_ERROR_LOADING_FAILED:
        return Failure::Unreachable;
    case MPV_ERROR_UNKNOWN_FORMAT:
        return Failure::UnknownFormat;
    case MPV_ERROR_NOTHING_TO_PLAY:
        return Failure::NoAudio;
    case MPV_ERROR_AO_INIT_FAILED:
        return Failure::NoSoundDevice;
    case MPV_ERROR_UNSUPPORTED:
        return Failure::Unsupported;
    default:
        return Failure::EngineError;
    }
}

} // namespace

MpvEngine::MpvEngine(QObject *parent, const QList<QPair<QByteArray, QByteArray>> &extraOptions)
    : Engine(parent)
    , m_mpv(createMpvCore(extraOptions))
{
    if (m_mpv) {
        m_reader = std::thread([this] { readEvents(); });
    }
}

MpvEngine::~MpvEngine()
{
    if (m_mpv) {
        m_quitting = true;
        mpv_wakeup(m_mpv);
        m_reader.join();
        mpv_terminate_destroy(m_mpv);
    }
}

// Runs on the engine's event thread: waits for mpv's events, copies what the engine needs of
// each, and hands them to the GUI thread, with at most one call queued there at a time.
void MpvEngine::readEvents()
{
    bool playing = false; // a stream plays: its position is read at whole seconds
    double nextRead = -1; // seconds to wait for events before the next reading
    double shownPosition = -1;
    double shownDuration = -1;
    while (!m_quitting) {
        const mpv_event *event = mpv_wait_event(m_mpv, playing ? nextRead : -1);
        QList<MpvEvent> batch;
        while (event && event->event_id != MPV_EVENT_NONE) {
            switch (event->event_id) {
            case MPV_EVENT_SHUTDOWN:
                return;
            case MPV_EVENT_PLAYBACK_RESTART:
                // A new stream plays: the previous one's buffers are all freed by now.
                if (!playing) {
                    returnFreedMemory();
                }
                playing = true;
                break;
            case MPV_EVENT_IDLE:
                returnFreedMemory();
                [[fallthrough]];
            case MPV_EVENT_START_FILE:
            case MPV_EVENT_END_FILE:
                playing = false;
                shownPosition = shownDuration = -1;
                break;
            default:
                break;
            }
            if (std::optional<MpvEvent> copy = copyOf(*event)) {
                batch.append(std::move(*copy));
            }
            event = mpv_wait_event(m_mpv, 0);
        }
        if (playing) {
            nextRead = readTimes(batch, shownPosition, shownDuration);
        }
        if (batch.isEmpty()) {
            continue;
        }
        const std::lock_guard lock(m_eventsLock);
        m_events.append(std::move(batch));
        if (!m_takePosted) {
            m_takePosted = true;
            QMetaObject::invokeMethod(this, &MpvEngine::takeEvents, Qt::QueuedConnection);
        }
    }
}

// On the event thread: reads the position and the length, adds a report of each whose whole
// seconds changed to the batch, and returns how long to wait until the position reaches its
// next whole second (a little past it).
double MpvEngine::readTimes(QList<MpvEvent> &batch, double &shownPosition, double &shownDuration)
{
    const auto report = [&batch](MpvObserved id, double seconds) {
        MpvEvent event;
        event.id = MPV_EVENT_PROPERTY_CHANGE;
        event.reply = id;
        event.valid = true;
        event.number = seconds;
        batch.append(event);
    };
    double duration = 0;
    const bool haveDuration
        = mpv_get_property(m_mpv, "duration", MPV_FORMAT_DOUBLE, &duration) >= 0;
    // A length that is gone is no news: it goes while the stream is being unloaded, before the
    // end of the stream is reported, and the end of a recording is told by its length.
    if (haveDuration && std::floor(duration) != shownDuration) {
        shownDuration = std::floor(duration);
        report(ObserveDuration, shownDuration);
    }
    double position = 0;
    if (mpv_get_property(m_mpv, "time-pos", MPV_FORMAT_DOUBLE, &position) < 0) {
        return 1.0;
    }
    const double whole = std::floor(std::max(0.0, position));
    if (whole != shownPosition) {
        shownPosition = whole;
        report(ObserveTimePos, whole);
    }
    return std::clamp(whole + 1.0 - position, 0.0, 1.0) + 0.01;
}

void MpvEngine::takeEvents()
{
    QList<MpvEvent> events;
    {
        const std::lock_guard lock(m_eventsLock);
        events.swap(m_events);
        m_takePosted = false;
    }
    for (const MpvEvent &event : std::as_const(events)) {
        handleEvent(event);
    }
}

void MpvEngine::open(const QUrl &url)
{
    ++m_generation;
    m_streamOpen = false;
    m_streamEntry = -1;
    m_heardReported = false;
    m_playbackBegan = false;
    m_pausedForCache = false;
    m_mpvDuration = 0;
    m_seekable = false;
    m_sizeKnown = false;
    m_reportedDuration = 0;
    m_bufferPercent = 0;
    // Only a network stream reaches mpv, whatever the caller checked before.
    if (!m_mpv || !network::mayOpen(url, network::Use::Stream)) {
        const Failure refusal = !m_mpv ? Failure::NoEngine : Failure::UnsupportedAddress;
        qCWarning(lcEngine) << "not opened:" << url.toDisplayString(QUrl::RemovePassword) << "-"
                            << refusal;
        if (m_mpv) {
            const char *command[] = { "stop", nullptr };
            mpv_command_async(m_mpv, 0, command);
        }
        QTimer::singleShot(0, this, [this, refusal, generation = m_generation] {
            if (generation == m_generation) {
                emit failed(refusal);
            }
        });
        return;
    }
    setFlag("pause", false);
    const QByteArray address = url.toEncoded();
    qCDebug(lcEngine) << "loadfile" << url.toDisplayString(QUrl::RemovePassword);
    const char *command[] = { "loadfile", address.constData(), "replace", nullptr };
    mpv_command_async(m_mpv, m_generation, command);
}

// Audio is heard once playback has (re)started and an output device took it.
void MpvEngine::reportPlayingIfHeard()
{
    if (m_playbackBegan && m_outputDeviceOpen && !m_heardReported) {
        m_heardReported = true;
        if (!m_pausedForCache) {
            emit playing();
        }
    }
}

// A live stream's "duration" is only how much of it is cached; a length is reported only for
// a recording: what has a size (the server said how long it is) or can be sought in.
void MpvEngine::reportDuration()
{
    const double length = m_seekable || m_sizeKnown ? m_mpvDuration : 0.0;
    if (length != m_reportedDuration) {
        m_reportedDuration = length;
        emit durationChanged(length);
    }
}

void MpvEngine::stop()
{
    ++m_generation;
    m_streamOpen = false;
    m_streamEntry = -1;
    m_heardReported = false;
    m_playbackBegan = false;
    if (m_mpv) {
        const char *command[] = { "stop", nullptr };
        mpv_command_async(m_mpv, 0, command);
    }
}

void MpvEngine::setFlag(const char *name, bool value)
{
    int flag = value ? 1 : 0;
    mpv_set_property_async(m_mpv, 0, name, MPV_FORMAT_FLAG, &flag);
}

void MpvEngine::setPaused(bool paused)
{
    if (m_mpv) {
        setFlag("pause", paused);
    }
}

void MpvEngine::setVolume(int volume)
{
    if (m_mpv) {
        double v = std::clamp(volume, 0, 100);
        mpv_set_property_async(m_mpv, 0, "volume", MPV_FORMAT_DOUBLE, &v);
    }
}

void MpvEngine::setMuted(bool muted)
{
    if (m_mpv) {
        setFlag("mute", muted);
    }
}

void MpvEngine::handleEvent(const MpvEvent &event)
{
    switch (event.id) {
    case MPV_EVENT_COMMAND_REPLY:
        if (event.reply == m_generation && m_generation != 0) {
            if (event.error < 0) {
                qCInfo(lcEngine) << "loadfile failed:" << mpv_error_string(event.error);
                emit failed(failureOf(event.error));
                return;
            }
            m_streamOpen = true;
        }
        return;
    case MPV_EVENT_START_FILE:
        if (m_streamOpen) {
            m_streamEntry = event.entry;
        }
        return;
    case MPV_EVENT_END_FILE:
        if (m_streamOpen && event.entry == m_streamEntry) {
            streamEnded(event);
        }
        return;
    case MPV_EVENT_PLAYBACK_RESTART:
        if (m_streamOpen && m_streamEntry >= 0) {
            m_playbackBegan = true;
            reportPlayingIfHeard();
        }
        return;
    case MPV_EVENT_PROPERTY_CHANGE:
        propertyChanged(event);
        return;
    default:
        return;
    }
}

// The current stream's end: reached, or broken off.
void MpvEngine::streamEnded(const MpvEvent &event)
{
    qCInfo(lcEngine) << "stream ended, reason" << event.endReason << "error"
                     << mpv_error_string(event.endError) << "heard" << m_heardReported;
    if (event.endReason == MPV_END_FILE_REASON_EOF) {
        m_streamOpen = false;
        if (m_heardReported) {
            emit ended();
        } else {
            emit failed(
                m_playbackBegan && !m_outputDeviceOpen ? Failure::NoSoundDevice : Failure::NoAudio);
        }
    } else if (event.endReason == MPV_END_FILE_REASON_ERROR) {
        m_streamOpen = false;
        emit failed(m_playbackBegan && !m_outputDeviceOpen ? Failure::NoSoundDevice
                                                           : failureOf(event.endError));
    }
}

void MpvEngine::propertyChanged(const MpvEvent &event)
{
    if (event.reply == ObserveAudioOutput) {
        // The output device lives across streams: track it whatever plays.
        m_outputDeviceOpen = event.valid && !event.text.isEmpty();
        if (m_streamOpen && m_streamEntry >= 0) {
            reportPlayingIfHeard();
        }
        return;
    }
    if (!m_streamOpen || m_streamEntry < 0) {
        return;
    }
    switch (event.reply) {
    case ObservePausedForCache:
        if (event.valid && event.flag != m_pausedForCache) {
            m_pausedForCache = event.flag;
            if (event.flag) {
                emit buffering(m_bufferPercent);
            } else if (m_heardReported) {
                emit playing();
            }
        }
        return;
    case ObserveBufferingState:
        if (event.valid) {
            m_bufferPercent = int(std::clamp<std::int64_t>(event.integer, 0, 100));
            if (m_pausedForCache || !m_heardReported) {
                emit buffering(m_bufferPercent);
            }
        }
        return;
    case ObserveTimePos:
        if (event.valid) {
            emit positionChanged(event.number);
        }
        return;
    case ObserveDuration:
        m_mpvDuration = event.valid ? event.number : 0.0;
        reportDuration();
        return;
    case ObserveFileSize:
        m_sizeKnown = event.valid && event.integer > 0;
        reportDuration();
        return;
    case ObserveSeekable:
        m_seekable = event.valid && event.flag;
        reportDuration();
        return;
    case ObserveMetadata:
        if (event.valid) {
            emit titleChanged(event.text);
            emit stationNameChanged(event.name);
        }
        return;
    default:
        return;
    }
}

} // namespace player
