#include "player/core/mpvcore.h"

#include "network/useragent.h"
#include "player/core/logging.h"

#include <mpv/client.h>

#include <clocale>
#include <cstring>
#include <malloc.h>
#include <mutex>

namespace player {

namespace {

// The libav protocols a network stream may use: HTTP (with TLS, a proxy and HLS's decryption),
// MMS over HTTP and TCP, and the TCP beneath them. No file, pipe, fd, udp, rtp, ftp, data, ...
const char *const networkProtocols
    = "protocol_whitelist=[http,https,tls,tcp,httpproxy,crypto,mmsh,mmst]";

// The engine's own options: audio only, nothing of mpv's own interface, a cache sized for live
// streams.
const char *const options[][2] = {
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
};

// Options that must take, or the engine does not run.
const char *const guards[][2] = {
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

} // namespace

// libmpv probes every stream it opens with a zero-filled buffer of 10 MiB on the thread that
// opens it. glibc's allocator, once the first of those (mapped on its own) is freed, raises its
// mapping and trimming thresholds past that size; from then on each probe buffer comes from the
// heap of the allocator arena of whichever thread opens the stream, and stays resident there
// when freed. Every station switch then leaves ten more MiB in another arena, until each arena
// holds one. Fixed thresholds keep large buffers mapped on their own and handed back whole when
// freed. A thread takes its arena when it first allocates, so the number of arenas counts only
// from then: set before the toolkit's threads start, two arenas serve every thread, and fewer
// arenas hold less freed memory between streams.
void setUpAllocator()
{
    static std::once_flag once;
    std::call_once(once, [] {
        mallopt(M_MMAP_THRESHOLD, 1024 * 1024);
        mallopt(M_TRIM_THRESHOLD, 2 * 1024 * 1024);
        mallopt(M_ARENA_MAX, 2);
    });
}

void returnFreedMemory()
{
    malloc_trim(0);
}

mpv_handle *createMpvCore(const QList<QPair<QByteArray, QByteArray>> &extraOptions)
{
    // mpv reads and writes numbers with the C locale's decimal point, and creates no core under
    // another. The numeric locale is the whole process's and may change only while no other
    // thread runs: main() sets it once, right after the application object took the user's.
    const char *numeric = std::setlocale(LC_NUMERIC, nullptr);
    if (!numeric || std::strcmp(numeric, "C") != 0) {
        qCritical("The sound engine needs LC_NUMERIC \"C\", set in main() before any thread starts"
                  " (it is \"%s\"): every stream will fail with \"no engine\".",
            numeric ? numeric : "");
        return nullptr;
    }
    setUpAllocator();
    mpv_handle *mpv = mpv_create();
    if (!mpv) {
        return nullptr;
    }
    for (const auto &option : options) {
        mpv_set_option_string(mpv, option[0], option[1]);
    }
    mpv_set_option_string(mpv, "user-agent", network::userAgent);
    for (const auto &guard : guards) {
        if (const int error = mpv_set_option_string(mpv, guard[0], guard[1]); error < 0) {
            qCWarning(lcEngine) << "engine not started: option" << guard[0]
                                << mpv_error_string(error);
            mpv_terminate_destroy(mpv);
            return nullptr;
        }
    }
    for (const auto &[name, value] : extraOptions) {
        mpv_set_option_string(mpv, name.constData(), value.constData());
    }
    if (mpv_initialize(mpv) < 0) {
        mpv_terminate_destroy(mpv);
        return nullptr;
    }
    mpv_observe_property(mpv, ObservePausedForCache, "paused-for-cache", MPV_FORMAT_FLAG);
    mpv_observe_property(mpv, ObserveBufferingState, "cache-buffering-state", MPV_FORMAT_INT64);
    // The position and the length are not observed: they change with every piece of audio
    // played (a live stream's length is what is cached of it). The event thread reads them at
    // whole seconds instead.
    mpv_observe_property(mpv, ObserveMetadata, "metadata", MPV_FORMAT_NODE);
    mpv_observe_property(mpv, ObserveAudioOutput, "current-ao", MPV_FORMAT_STRING);
    mpv_observe_property(mpv, ObserveSeekable, "seekable", MPV_FORMAT_FLAG);
    mpv_observe_property(mpv, ObserveFileSize, "file-size", MPV_FORMAT_INT64);
    return mpv;
}

} // namespace player
