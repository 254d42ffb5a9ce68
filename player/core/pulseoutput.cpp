#include "player/core/pulseoutput.h"

#include "player/core/logging.h"

#include <pulse/context.h>
#include <pulse/error.h>
#include <pulse/introspect.h>
#include <pulse/stream.h>
#include <pulse/thread-mainloop.h>
#include <pulse/volume.h>

#include <algorithm>
#include <utility>

namespace player {

namespace {

// The volume control's value (0 to 100) on every channel, on the server's cubic scale.
pa_cvolume volumeOf(int channels, int value)
{
    pa_cvolume volume;
    pa_cvolume_set(
        &volume, unsigned(channels), pa_volume_t(PA_VOLUME_NORM * std::int64_t(value) / 100));
    return volume;
}

constexpr double bufferSeconds = 2.0;
constexpr double startSeconds = 0.25;

// Holds the main loop's lock for a scope.
class Locked
{
public:
    explicit Locked(pa_threaded_mainloop *mainloop)
        : m_mainloop(mainloop)
    {
        pa_threaded_mainloop_lock(m_mainloop);
    }
    ~Locked() { pa_threaded_mainloop_unlock(m_mainloop); }
    Locked(const Locked &) = delete;
    Locked &operator=(const Locked &) = delete;

private:
    pa_threaded_mainloop *m_mainloop;
};

void wakeWaiters(pa_threaded_mainloop *mainloop)
{
    pa_threaded_mainloop_signal(mainloop, 0);
}

void unref(pa_operation *operation)
{
    if (operation) {
        pa_operation_unref(operation);
    }
}

} // namespace

PulseOutput::PulseOutput()
    : m_mainloop(pa_threaded_mainloop_new())
{
    if (m_mainloop && pa_threaded_mainloop_start(m_mainloop) < 0) {
        pa_threaded_mainloop_free(m_mainloop);
        m_mainloop = nullptr;
    }
}

PulseOutput::~PulseOutput()
{
    if (!m_mainloop) {
        return;
    }
    {
        const Locked lock(m_mainloop);
        for (PulseStream *stream : std::vector(m_streams)) {
            stream->close();
        }
        if (m_context) {
            pa_context_set_state_callback(m_context, nullptr, nullptr);
            pa_context_disconnect(m_context);
            pa_context_unref(m_context);
            m_context = nullptr;
        }
    }
    pa_threaded_mainloop_stop(m_mainloop);
    pa_threaded_mainloop_free(m_mainloop);
}

// Under the lock: the context connected, connecting it (again, after the server went away)
// when needed.
bool PulseOutput::connectContext(const std::atomic<bool> &cancelled)
{
    if (m_context) {
        const pa_context_state_t state = pa_context_get_state(m_context);
        if (state == PA_CONTEXT_FAILED || state == PA_CONTEXT_TERMINATED) {
            pa_context_set_state_callback(m_context, nullptr, nullptr);
            pa_context_unref(m_context);
            m_context = nullptr;
        }
    }
    if (!m_context) {
        m_context = pa_context_new(pa_threaded_mainloop_get_api(m_mainloop), "tarvelin-radio");
        if (!m_context) {
            return false;
        }
        pa_context_set_state_callback(
            m_context,
            [](pa_context *, void *mainloop) {
                wakeWaiters(static_cast<pa_threaded_mainloop *>(mainloop));
            },
            m_mainloop);
        if (pa_context_connect(m_context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
            qCInfo(lcEngine) << "no sound server:" << pa_strerror(pa_context_errno(m_context));
            return false;
        }
    }
    for (;;) {
        const pa_context_state_t state = pa_context_get_state(m_context);
        if (state == PA_CONTEXT_READY) {
            return true;
        }
        if (!PA_CONTEXT_IS_GOOD(state) || cancelled) {
            if (!PA_CONTEXT_IS_GOOD(state)) {
                qCInfo(lcEngine) << "no sound server:" << pa_strerror(pa_context_errno(m_context));
            }
            return false;
        }
        pa_threaded_mainloop_wait(m_mainloop);
    }
}

std::shared_ptr<PulseStream> PulseOutput::openStream(
    int rate, int channels, PulseListener *listener, const std::atomic<bool> &cancelled)
{
    if (!m_mainloop) {
        return nullptr;
    }
    const pa_sample_spec format { PA_SAMPLE_S16LE, std::uint32_t(rate), std::uint8_t(channels) };
    if (!pa_sample_spec_valid(&format)) {
        return nullptr;
    }
    const Locked lock(m_mainloop);
    if (cancelled || !connectContext(cancelled)) {
        return nullptr;
    }
    pa_stream *raw = pa_stream_new(m_context, "Radio", &format, nullptr);
    if (!raw) {
        return nullptr;
    }
    std::shared_ptr<PulseStream> stream(new PulseStream(this, raw, listener));
    m_streams.push_back(stream.get());
    const auto bytesPerSecond = std::uint32_t(pa_bytes_per_second(&format));
    const auto frame = std::uint32_t(pa_frame_size(&format));
    pa_buffer_attr attributes {};
    attributes.maxlength = std::uint32_t(-1);
    attributes.tlength = std::uint32_t(bytesPerSecond * bufferSeconds) / frame * frame;
    attributes.prebuf = std::uint32_t(bytesPerSecond * startSeconds) / frame * frame;
    // Well below half the buffer: at half or more the server runs at its minimum latency.
    attributes.minreq = attributes.tlength / 4 / frame * frame;
    attributes.fragsize = std::uint32_t(-1);
    const pa_cvolume volume = volumeOf(format.channels, m_volume);
    const int volumeAsked = m_volume;
    const bool mutedAsked = m_muted;
    const auto flags = pa_stream_flags_t(PA_STREAM_NOT_MONOTONIC | PA_STREAM_ADJUST_LATENCY
        | (m_muted ? PA_STREAM_START_MUTED : PA_STREAM_START_UNMUTED));
    if (pa_stream_connect_playback(raw, nullptr, &attributes, flags, &volume, nullptr) < 0) {
        return nullptr;
    }
    for (;;) {
        if (!stream->m_stream || cancelled) {
            return nullptr;
        }
        const pa_stream_state_t state = pa_stream_get_state(raw);
        if (state == PA_STREAM_READY) {
            break;
        }
        if (!PA_STREAM_IS_GOOD(state)) {
            qCInfo(lcEngine) << "no sound stream:" << pa_strerror(pa_context_errno(m_context));
            return nullptr;
        }
        pa_threaded_mainloop_wait(m_mainloop);
    }
    if (const pa_buffer_attr *granted = pa_stream_get_buffer_attr(raw)) {
        stream->m_minRequest = std::max<std::size_t>(granted->minreq, frame);
        stream->m_startBytes = std::max<std::size_t>(granted->prebuf, frame);
    }
    stream->m_bytesPerSecond = int(bytesPerSecond);
    stream->m_frameBytes = frame;
    if (volumeAsked != m_volume || mutedAsked != m_muted) {
        applyVolume(raw);
    }
    return stream;
}

void PulseOutput::closeAll()
{
    if (!m_mainloop) {
        return;
    }
    const Locked lock(m_mainloop);
    for (PulseStream *stream : std::vector(m_streams)) {
        stream->close();
    }
    wakeWaiters(m_mainloop);
}

void PulseOutput::applyVolume(pa_stream *stream)
{
    const uint32_t input = pa_stream_get_index(stream);
    const pa_sample_spec *format = pa_stream_get_sample_spec(stream);
    if (input == PA_INVALID_INDEX || !format) {
        return;
    }
    const pa_cvolume volume = volumeOf(format->channels, m_volume);
    unref(pa_context_set_sink_input_volume(m_context, input, &volume, nullptr, nullptr));
    unref(pa_context_set_sink_input_mute(m_context, input, m_muted, nullptr, nullptr));
}

void PulseOutput::setVolume(int volume)
{
    if (!m_mainloop) {
        return;
    }
    const Locked lock(m_mainloop);
    m_volume = std::clamp(volume, 0, 100);
    for (PulseStream *stream : m_streams) {
        if (stream->ready()) {
            applyVolume(stream->m_stream);
        }
    }
}

void PulseOutput::setMuted(bool muted)
{
    if (!m_mainloop) {
        return;
    }
    const Locked lock(m_mainloop);
    m_muted = muted;
    for (PulseStream *stream : m_streams) {
        if (stream->ready()) {
            applyVolume(stream->m_stream);
        }
    }
}

void PulseOutput::setCorked(bool corked)
{
    if (!m_mainloop) {
        return;
    }
    const Locked lock(m_mainloop);
    for (PulseStream *stream : m_streams) {
        if (stream->ready()) {
            unref(pa_stream_cork(stream->m_stream, corked ? 1 : 0, nullptr, nullptr));
        }
    }
}

void PulseOutput::forget(PulseStream *stream)
{
    m_streams.erase(std::remove(m_streams.begin(), m_streams.end(), stream), m_streams.end());
}

PulseStream::PulseStream(PulseOutput *output, pa_stream *stream, PulseListener *listener)
    : m_output(output)
    , m_stream(stream)
    , m_listener(listener)
{
    pa_stream_set_state_callback(m_stream, &PulseStream::stateChanged, this);
    pa_stream_set_write_callback(m_stream, &PulseStream::writable, this);
    pa_stream_set_started_callback(m_stream, &PulseStream::startedPlaying, this);
    pa_stream_set_underflow_callback(m_stream, &PulseStream::ranDry, this);
}

PulseStream::~PulseStream()
{
    const Locked lock(m_output->m_mainloop);
    close();
}

bool PulseStream::ready() const
{
    return m_stream && pa_stream_get_state(m_stream) == PA_STREAM_READY;
}

// Under the lock. Disconnecting removes the stream from the server with whatever it held: the
// sound stops at once.
void PulseStream::close()
{
    if (!m_stream) {
        return;
    }
    pa_stream_set_state_callback(m_stream, nullptr, nullptr);
    pa_stream_set_write_callback(m_stream, nullptr, nullptr);
    pa_stream_set_started_callback(m_stream, nullptr, nullptr);
    pa_stream_set_underflow_callback(m_stream, nullptr, nullptr);
    // Their answers may still come before the server has let go of the stream.
    for (pa_operation **operation : { &m_timing, &m_draining }) {
        if (*operation && pa_operation_get_state(*operation) == PA_OPERATION_RUNNING) {
            pa_operation_cancel(*operation);
        }
        unref(std::exchange(*operation, nullptr));
    }
    pa_stream_disconnect(m_stream);
    pa_stream_unref(m_stream);
    m_stream = nullptr;
    m_output->forget(this);
    wakeWaiters(m_output->m_mainloop);
}

bool PulseStream::write(std::vector<std::uint8_t> &pending, bool all)
{
    const Locked lock(m_output->m_mainloop);
    for (;;) {
        if (!ready()) {
            return false;
        }
        // Once playing, the decoder holds no more than the server will ask for next and then
        // sleeps until it asks: what arrived meanwhile is read and decoded in one go, and the
        // decoder wakes with the server's requests rather than with every piece the network
        // brings.
        const std::size_t highWater = m_playing ? m_minRequest : std::size_t(m_bytesPerSecond);
        const std::size_t writable
            = pa_stream_writable_size(m_stream) / m_frameBytes * m_frameBytes;
        // Once playing, the server is written when it asks, with whatever is pending: at a
        // steady pace that is what arrived since it last asked, in one write.
        const std::size_t wanted = m_playing ? m_minRequest : m_frameBytes;
        if (!pending.empty() && writable >= std::min(wanted, pending.size())) {
            const std::size_t n = std::min(writable, pending.size());
            if (pa_stream_write(m_stream, pending.data(), n, nullptr, 0, PA_SEEK_RELATIVE) < 0) {
                return false;
            }
            pending.erase(pending.begin(), pending.begin() + std::ptrdiff_t(n));
            m_written += n;
            if (m_playing) {
                requestTime();
            } else if (m_reportFill) {
                m_fillBytes += n;
                m_listener->filling(
                    int(std::min<std::size_t>(100, m_fillBytes * 100 / m_startBytes)));
            }
        }
        if (all ? pending.empty() : pending.size() < highWater) {
            return true;
        }
        pa_threaded_mainloop_wait(m_output->m_mainloop);
    }
}

bool PulseStream::drain()
{
    const Locked lock(m_output->m_mainloop);
    if (!ready()) {
        return false;
    }
    m_ending = true;
    if (!m_playing) {
        unref(pa_stream_trigger(m_stream, nullptr, nullptr));
    }
    m_draining = pa_stream_drain(m_stream, &PulseStream::drained, this);
    while (ready() && m_draining && !m_drained) {
        pa_threaded_mainloop_wait(m_output->m_mainloop);
    }
    if (m_drained) {
        m_listener->played(double(m_written) / m_bytesPerSecond);
    }
    return m_drained;
}

// One question at a time: a write while the last one is unanswered asks nothing.
void PulseStream::requestTime()
{
    if (m_timing && pa_operation_get_state(m_timing) == PA_OPERATION_RUNNING) {
        return;
    }
    unref(std::exchange(
        m_timing, pa_stream_update_timing_info(m_stream, &PulseStream::timeKnown, this)));
}

void PulseStream::stateChanged(pa_stream *, void *self)
{
    wakeWaiters(static_cast<PulseStream *>(self)->m_output->m_mainloop);
}

void PulseStream::writable(pa_stream *, std::size_t, void *self)
{
    wakeWaiters(static_cast<PulseStream *>(self)->m_output->m_mainloop);
}

void PulseStream::startedPlaying(pa_stream *, void *self)
{
    auto *stream = static_cast<PulseStream *>(self);
    stream->m_playing = true;
    if (stream->m_playedAt == std::chrono::steady_clock::time_point {}) {
        stream->m_playedAt = std::chrono::steady_clock::now(); // nothing played before this
    }
    if (stream->m_reportFill) {
        stream->m_reportFill = false;
        stream->m_listener->started();
    }
    stream->requestTime();
    wakeWaiters(stream->m_output->m_mainloop);
}

void PulseStream::ranDry(pa_stream *, void *self)
{
    auto *stream = static_cast<PulseStream *>(self);
    if (stream->m_ending) {
        return;
    }
    stream->m_playing = false;
    stream->m_fillBytes = 0;
    // A sink renders ahead of what is heard (up to its latency, for a null sink the whole
    // buffer): the stream's own queue runs dry whenever the sink took all of it, while the
    // sink still holds audio. Only when what was written is about all played is it a refill
    // the listener hears of.
    const double sinceReading
        = std::chrono::duration<double>(std::chrono::steady_clock::now() - stream->m_playedAt)
              .count();
    const double held
        = double(stream->m_written) / stream->m_bytesPerSecond - (stream->m_played + sinceReading);
    stream->m_reportFill = held < 0.1;
    if (stream->m_reportFill) {
        stream->m_listener->underflow();
    }
    wakeWaiters(stream->m_output->m_mainloop);
}

void PulseStream::timeKnown(pa_stream *raw, int success, void *self)
{
    pa_usec_t time = 0;
    if (success && pa_stream_get_time(raw, &time) == 0) {
        auto *stream = static_cast<PulseStream *>(self);
        stream->m_played = double(time) / 1e6;
        stream->m_playedAt = std::chrono::steady_clock::now();
        stream->m_listener->played(stream->m_played);
    }
}

void PulseStream::drained(pa_stream *, int success, void *self)
{
    auto *stream = static_cast<PulseStream *>(self);
    stream->m_drained = success != 0;
    unref(std::exchange(stream->m_draining, nullptr));
    wakeWaiters(stream->m_output->m_mainloop);
}

} // namespace player
