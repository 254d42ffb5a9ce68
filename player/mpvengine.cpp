#include "player/mpvengine.h"

#include "player/logging.h"
#include "player/resolver.h"

#include <QMetaObject>
#include <QTimer>

#include <mpv/client.h>

#include <algorithm>
#include <clocale>
#include <cmath>
#include <malloc.h>
#include <mutex>
#include <optional>
#include <utility>

namespace player {

namespace {

enum Observed : std::uint64_t {
    ObservePausedForCache = 1,
    ObserveBufferingState,
    ObserveTimePos,
    ObserveDuration,
    ObserveMetadata,
    ObserveAudioOutput,
    ObserveSeekable,
    ObserveFileSize,
};

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

// The libav protocols a network stream may use: HTTP (with TLS, a proxy and HLS's decryption),
// MMS over HTTP and TCP, and the TCP beneath them. No file, pipe, fd, udp, rtp, ftp, data, ...
const char *const networkProtocols
    = "protocol_whitelist=[http,https,tls,tcp,httpproxy,crypto,mmsh,mmst]";

// Looks a key up in a metadata map, ignoring case.
QByteArray metadataValue(const mpv_node &map, const char *key)
{
    if (map.format != MPV_FORMAT_NODE_MAP || !map.u.list) {
        return {};
    }
    const mpv_node_list *list = map.u.list;
    for (int i = 0; i < list->num; ++i) {
        if (qstricmp(list->keys[i], key) == 0 && list->values[i].format == MPV_FORMAT_STRING) {
            return QByteArray(list->values[i].u.string);
        }
    }
    return {};
}

// What the engine keeps of an event it acts on; nothing of the others.
std::optional<MpvEngine::Event> copyOf(const mpv_event &event)
{
    MpvEngine::Event copy;
    copy.id = event.event_id;
    copy.reply = event.reply_userdata;
    copy.error = event.error;
    switch (event.event_id) {
    case MPV_EVENT_COMMAND_REPLY:
    case MPV_EVENT_PLAYBACK_RESTART:
        return copy;
    case MPV_EVENT_START_FILE:
        copy.entry = static_cast<const mpv_event_start_file *>(event.data)->playlist_entry_id;
        return copy;
    case MPV_EVENT_END_FILE: {
        const auto *end = static_cast<const mpv_event_end_file *>(event.data);
        copy.entry = end->playlist_entry_id;
        copy.endReason = end->reason;
        copy.endError = end->error;
        return copy;
    }
    case MPV_EVENT_PROPERTY_CHANGE: {
        const auto *property = static_cast<const mpv_event_property *>(event.data);
        copy.valid = property->format != MPV_FORMAT_NONE && property->data;
        if (!copy.valid) {
            return copy;
        }
        switch (property->format) {
        case MPV_FORMAT_FLAG:
            copy.flag = *static_cast<const int *>(property->data) != 0;
            break;
        case MPV_FORMAT_INT64:
            copy.integer = *static_cast<const std::int64_t *>(property->data);
            break;
        case MPV_FORMAT_DOUBLE:
            copy.number = *static_cast<const double *>(property->data);
            break;
        case MPV_FORMAT_STRING:
            copy.text = QByteArray(*static_cast<char *const *>(property->data));
            break;
        case MPV_FORMAT_NODE: {
            const auto &node = *static_cast<const mpv_node *>(property->data);
            copy.text = metadataValue(node, "icy-title");
            if (copy.text.isEmpty()) {
                copy.text = metadataValue(node, "title");
            }
            copy.name = metadataValue(node, "icy-name");
            break;
        }
        default:
            copy.valid = false;
            break;
        }
        return copy;
    }
    default:
        return std::nullopt;
    }
}

// libmpv probes every stream it opens with a zero-filled buffer of 10 MiB on the thread that
// opens it. glibc's allocator, once the first of those (mapped on its own) is freed, raises its
// mapping and trimming thresholds past that size; from then on each probe buffer comes from the
// heap of the allocator arena of whichever thread opens the stream, and stays resident there
// when freed. Every station switch then leaves ten more MiB in another arena, until each arena
// holds one. Fixed thresholds keep large buffers mapped on their own and handed back whole when
// freed; two arenas are plenty for the few threads that allocate while a stream plays.
void keepLargeBuffersReturnable()
{
    static std::once_flag once;
    std::call_once(once, [] {
        mallopt(M_MMAP_THRESHOLD, 1024 * 1024);
        mallopt(M_TRIM_THRESHOLD, 2 * 1024 * 1024);
        mallopt(M_ARENA_MAX, 2);
    });
}

} // namespace

MpvEngine::MpvEngine(QObject *parent, const QList<QPair<QByteArray, QByteArray>> &extraOptions)
    : Engine(parent)
{
    // mpv reads and writes numbers with the C locale's decimal point; the application object
    // may have set the user's locale before.
    std::setlocale(LC_NUMERIC, "C");
    keepLargeBuffersReturnable();
    m_mpv = mpv_create();
    if (!m_mpv) {
        return;
    }
    const char *options[][2] = {
        { "vid", "no" },
        { "vo", "null" },
        { "idle", "yes" },
        { "terminal", "no" },
        { "input-default-bindings", "no" },
        { "input-vo-keyboard", "no" },
        { "osc", "no" },
        { "audio-display", "no" },
        { "network-timeout", "10" },
        // Ten seconds ahead carry a live stream over a short gap; 1 MiB holds that even at
        // 800 kbit/s. A little audio already played is kept: the stream's titles travel with
        // it (without it, they never arrive).
        { "cache", "yes" },
        { "cache-secs", "10" },
        { "demuxer-max-bytes", "1MiB" },
        { "demuxer-max-back-bytes", "512KiB" },
        { "demuxer-readahead-secs", "5" },
        { "cache-pause-wait", "2" },
        // The sound server holds 200 ms (mpv's defaults: 100 ms for PulseAudio, 20 ms for
        // PipeWire): the audio threads wake a half (a tenth) as often, and a mute or volume
        // change is heard within 200 ms, as with the GStreamer-based players.
        { "pulse-buffer", "200" },
        { "pipewire-buffer", "200" },
        { "volume-max", "100" },
        { "audio-client-name", "tarvelin-radio" },
        { "user-agent", "TarvelinRadio/1.0" },
    };
    for (const auto &option : options) {
        mpv_set_option_string(m_mpv, option[0], option[1]);
    }
    const char *guards[][2] = {
        // What we hand over is a network stream and nothing else. libav may open only network
        // protocols for it (the stream itself, redirects, nested opens of a demuxer such as the
        // segments of an HLS index), and mpv loads nothing else of its own: no external tracks,
        // chapters in other files, configuration, scripts or input from outside, and from a
        // playlist it reads (it never gets one from us, but a stream may turn out to be one) no
        // entry that is not a plain network address. References stay on: an HLS index, which
        // the resolver hands over as a stream, is one.
        { "stream-lavf-o", networkProtocols },
        { "demuxer-lavf-o", networkProtocols },
        { "ytdl", "no" },
        { "load-scripts", "no" },
        { "load-unsafe-playlists", "no" },
        { "autoload-files", "no" },
        { "audio-file-auto", "no" },
        { "sub-auto", "no" },
        { "cover-art-auto", "no" },
        { "ordered-chapters", "no" },
        { "config", "no" },
        { "load-stats-overlay", "no" },
        { "load-osd-console", "no" },
        { "load-auto-profiles", "no" },
        { "input-ipc-server", "" },
    };
    // Without its guards the engine does not run at all.
    for (const auto &guard : guards) {
        if (const int error = mpv_set_option_string(m_mpv, guard[0], guard[1]); error < 0) {
            qCWarning(lcEngine) << "engine not started: option" << guard[0]
                                << mpv_error_string(error);
            mpv_terminate_destroy(m_mpv);
            m_mpv = nullptr;
            return;
        }
    }
    for (const auto &[name, value] : extraOptions) {
        mpv_set_option_string(m_mpv, name.constData(), value.constData());
    }
    if (mpv_initialize(m_mpv) < 0) {
        mpv_terminate_destroy(m_mpv);
        m_mpv = nullptr;
        return;
    }
    mpv_observe_property(m_mpv, ObservePausedForCache, "paused-for-cache", MPV_FORMAT_FLAG);
    mpv_observe_property(m_mpv, ObserveBufferingState, "cache-buffering-state", MPV_FORMAT_INT64);
    // The position and the length are not observed: they change with every piece of audio
    // played (a live stream's length is what is cached of it). The event thread reads them at
    // whole seconds instead.
    mpv_observe_property(m_mpv, ObserveMetadata, "metadata", MPV_FORMAT_NODE);
    mpv_observe_property(m_mpv, ObserveAudioOutput, "current-ao", MPV_FORMAT_STRING);
    mpv_observe_property(m_mpv, ObserveSeekable, "seekable", MPV_FORMAT_FLAG);
    mpv_observe_property(m_mpv, ObserveFileSize, "file-size", MPV_FORMAT_INT64);
    m_reader = std::thread([this] { readEvents(); });
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
        QList<Event> batch;
        while (event && event->event_id != MPV_EVENT_NONE) {
            switch (event->event_id) {
            case MPV_EVENT_SHUTDOWN:
                return;
            case MPV_EVENT_PLAYBACK_RESTART:
                playing = true;
                break;
            case MPV_EVENT_START_FILE:
            case MPV_EVENT_END_FILE:
            case MPV_EVENT_IDLE:
                playing = false;
                shownPosition = shownDuration = -1;
                break;
            default:
                break;
            }
            if (std::optional<Event> copy = copyOf(*event)) {
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
double MpvEngine::readTimes(QList<Event> &batch, double &shownPosition, double &shownDuration)
{
    const auto report = [&batch](Observed id, double seconds) {
        Event event;
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
    QList<Event> events;
    {
        const std::lock_guard lock(m_eventsLock);
        events.swap(m_events);
        m_takePosted = false;
    }
    for (const Event &event : std::as_const(events)) {
        handleEvent(event);
    }
}

void MpvEngine::open(const QUrl &url)
{
    ++m_generation;
    m_live = false;
    m_entry = -1;
    m_started = false;
    m_restarted = false;
    m_pausedForCache = false;
    m_rawDuration = 0;
    m_seekable = false;
    m_sized = false;
    m_reportedDuration = 0;
    m_bufferPercent = 0;
    // Only a network stream reaches mpv, whatever the caller checked before.
    if (!m_mpv || !isPlayableAddress(url)) {
        const Failure refusal = !m_mpv ? Failure::NoEngine : Failure::UnsupportedAddress;
        qCWarning(lcEngine) << "not opened:" << url.toString() << "-" << refusal;
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
    qCDebug(lcEngine) << "loadfile" << address;
    const char *command[] = { "loadfile", address.constData(), "replace", nullptr };
    mpv_command_async(m_mpv, m_generation, command);
}

// Audio is heard once playback has (re)started and an output device took it.
void MpvEngine::reportPlayingIfHeard()
{
    if (m_restarted && m_haveOutput && !m_started) {
        m_started = true;
        if (!m_pausedForCache) {
            emit playing();
        }
    }
}

// A live stream's "duration" is only how much of it is cached; a length is reported only for
// a recording: what has a size (the server said how long it is) or can be sought in.
void MpvEngine::reportDuration()
{
    const double length = m_seekable || m_sized ? m_rawDuration : 0.0;
    if (length != m_reportedDuration) {
        m_reportedDuration = length;
        emit durationChanged(length);
    }
}

void MpvEngine::stop()
{
    ++m_generation;
    m_live = false;
    m_entry = -1;
    m_started = false;
    m_restarted = false;
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

void MpvEngine::handleEvent(const Event &event)
{
    switch (event.id) {
    case MPV_EVENT_COMMAND_REPLY:
        if (event.reply == m_generation && m_generation != 0) {
            if (event.error < 0) {
                qCInfo(lcEngine) << "loadfile failed:" << mpv_error_string(event.error);
                emit failed(failureOf(event.error));
                return;
            }
            m_live = true;
        }
        return;
    case MPV_EVENT_START_FILE:
        if (m_live) {
            m_entry = event.entry;
        }
        return;
    case MPV_EVENT_END_FILE:
        if (!m_live || event.entry != m_entry) {
            return;
        }
        qCInfo(lcEngine) << "stream ended, reason" << event.endReason << "error"
                         << mpv_error_string(event.endError) << "heard" << m_started;
        if (event.endReason == MPV_END_FILE_REASON_EOF) {
            m_live = false;
            if (m_started) {
                emit ended();
            } else {
                emit failed(
                    m_restarted && !m_haveOutput ? Failure::NoSoundDevice : Failure::NoAudio);
            }
        } else if (event.endReason == MPV_END_FILE_REASON_ERROR) {
            m_live = false;
            emit failed(
                m_restarted && !m_haveOutput ? Failure::NoSoundDevice : failureOf(event.endError));
        }
        return;
    case MPV_EVENT_PLAYBACK_RESTART:
        if (m_live && m_entry >= 0) {
            m_restarted = true;
            reportPlayingIfHeard();
        }
        return;
    case MPV_EVENT_PROPERTY_CHANGE:
        if (event.reply == ObserveAudioOutput) {
            // The output device lives across streams: track it whatever plays.
            m_haveOutput = event.valid && !event.text.isEmpty();
            if (m_live && m_entry >= 0) {
                reportPlayingIfHeard();
            }
            return;
        }
        if (!m_live || m_entry < 0) {
            return;
        }
        switch (event.reply) {
        case ObservePausedForCache:
            if (event.valid && event.flag != m_pausedForCache) {
                m_pausedForCache = event.flag;
                if (event.flag) {
                    emit buffering(m_bufferPercent);
                } else if (m_started) {
                    emit playing();
                }
            }
            return;
        case ObserveBufferingState:
            if (event.valid) {
                m_bufferPercent = int(std::clamp<std::int64_t>(event.integer, 0, 100));
                if (m_pausedForCache || !m_started) {
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
            m_rawDuration = event.valid ? event.number : 0.0;
            reportDuration();
            return;
        case ObserveFileSize:
            m_sized = event.valid && event.integer > 0;
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
    default:
        return;
    }
}

} // namespace player
