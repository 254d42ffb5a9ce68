#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <vector>

struct pa_context;
struct pa_operation;
struct pa_stream;
struct pa_threaded_mainloop;

namespace player {

class PulseStream;

// What becomes of a playing stream's sound. Called on the sound server's thread, except
// filling(), which the decoder's writes call on its own thread.
class PulseListener
{
public:
    virtual ~PulseListener() = default;
    // Sound comes out: the start threshold was reached, first or after running dry.
    virtual void started() = 0;
    // The server's buffer ran dry before the end of the stream.
    virtual void underflow() = 0;
    // While (re)filling: how much of the start threshold is buffered, 0 to 100.
    virtual void filling(int percent) = 0;
    // Seconds of the stream's audio played so far.
    virtual void played(double seconds) = 0;
};

// The program's sound output: one PulseAudio client (a threaded main loop and one context) for
// the engine's life, and a playback stream per stream played. The server holds 2 s of audio; a
// stream starts once a quarter second is there and is written when the server asks for a
// quarter of its buffer, so the server's thread, and ours, wake a few times a second. Volume,
// mute and pause are the server's own (its sink input's volume and mute, cork): heard at once,
// whatever the buffer holds.
class PulseOutput
{
public:
    PulseOutput();
    ~PulseOutput();
    PulseOutput(const PulseOutput &) = delete;
    PulseOutput &operator=(const PulseOutput &) = delete;

    // On a decoder thread: a playback stream of 16-bit samples at this rate and channel count,
    // ready for writing; null when the server cannot be reached or refuses the stream, or once
    // cancelled is set (closeAll() wakes the wait).
    std::shared_ptr<PulseStream> openStream(
        int rate, int channels, PulseListener *listener, const std::atomic<bool> &cancelled);
    // Silences and closes every stream at once and wakes whoever waits on one.
    void closeAll();

    // 0 to 100, on the server's cubic scale.
    void setVolume(int volume);
    void setMuted(bool muted);
    void setCorked(bool corked);

private:
    friend class PulseStream;
    bool connectContext(const std::atomic<bool> &cancelled);
    void applyVolume(pa_stream *stream);
    void forget(PulseStream *stream);

    pa_threaded_mainloop *m_mainloop = nullptr;
    // Guarded by the main loop's lock:
    pa_context *m_context = nullptr;
    std::vector<PulseStream *> m_streams; // open ones
    int m_volume = 100;
    bool m_muted = false;
};

// One playback stream. Written by one decoder thread; closed by it or by closeAll().
class PulseStream
{
public:
    ~PulseStream();

    // Writes from the front of pending (whole frames of the stream's format) what the server
    // takes: while filling, at once; once playing, when it has room for a quarter of its buffer.
    // Waits while pending holds a second or more, once playing as much as the server asks for at
    // a time (or, with all, until all is written).
    // False once the stream is closed or failed.
    bool write(std::vector<std::uint8_t> &pending, bool all);
    // Plays out what the server holds, even less than the start threshold: true once it has
    // all been heard.
    bool drain();
    int bytesPerSecond() const { return m_bytesPerSecond; }

private:
    friend class PulseOutput;
    PulseStream(PulseOutput *output, pa_stream *stream, PulseListener *listener);
    bool ready() const;
    void close();
    void requestTime();

    static void stateChanged(pa_stream *stream, void *self);
    static void writable(pa_stream *stream, std::size_t bytes, void *self);
    static void startedPlaying(pa_stream *stream, void *self);
    static void ranDry(pa_stream *stream, void *self);
    static void timeKnown(pa_stream *stream, int success, void *self);
    static void drained(pa_stream *stream, int success, void *self);

    PulseOutput *m_output;
    pa_stream *m_stream; // null once closed
    PulseListener *m_listener;
    int m_bytesPerSecond = 0;
    std::size_t m_frameBytes = 1;
    std::size_t m_minRequest = 0;
    std::size_t m_startBytes = 0;
    std::size_t m_fillBytes = 0; // written since the last (re)fill began
    std::uint64_t m_written = 0;
    bool m_playing = false;
    bool m_reportFill = true; // the (re)fill under way is heard of: the first, a real one
    double m_played = 0; // seconds, at the latest reading
    std::chrono::steady_clock::time_point m_playedAt;
    bool m_ending = false; // draining: running dry is the end
    bool m_drained = false;
    pa_operation *m_timing = nullptr; // the latest question for the played time
    pa_operation *m_draining = nullptr; // while draining
};

} // namespace player
