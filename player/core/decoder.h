#pragma once

#include "player/core/failure.h"
#include "player/core/pulseoutput.h"

#include <QByteArray>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace player {

// What the decoder tells the engine about its stream, from whichever thread learnt it.
struct DecoderReport
{
    enum class Kind {
        Buffering,
        Playing,
        Title,
        StationName,
        Position,
        Duration,
        Ended,
        Failed,
        Reached, // a stream opened without a reach set one (number: the network::Reach)
    };
    Kind kind;
    double number = 0; // percent, seconds
    QByteArray text;
    Failure failure = Failure::EngineError;
};

// One stream played to its end, on a thread of its own: a decoder of the stream's format (MP3
// here, every other format in the FFmpeg module) turns it into 16-bit samples, mono or stereo,
// and this part writes them to a PulseAudio stream opened for the first frame's format and
// reports what becomes of the stream through report, called on the decoder's thread and on the
// sound server's; nothing once cancelled is set.
class Decoder : private PulseListener
{
public:
    using Reporter = std::function<void(const DecoderReport &)>;
    Decoder(PulseOutput *output, const std::atomic<bool> &cancelled, Reporter report);
    ~Decoder() override;
    Decoder(const Decoder &) = delete;
    Decoder &operator=(const Decoder &) = delete;

    virtual void run() = 0;

protected:
    bool cancelled() const { return m_cancelled; }
    // For what waits on the stream's behalf (the demuxer's interrupt callback).
    const std::atomic<bool> &cancelFlag() const { return m_cancelled; }
    void post(DecoderReport::Kind kind, double number = 0, const QByteArray &text = {});
    void fail(Failure failure);

    // The sound server's stream for audio of this rate and channel count (more than two are
    // mixed down to two by the decoder); false, and the stream failed, when it is no audio or the
    // server refuses it.
    bool openOutput(int rate, int channels);
    bool hasOutput() const { return bool(m_stream); }
    int outputRate() const { return m_rate; }
    int outputChannels() const { return m_channels; }
    // Plays samples of the output's format from the front of pending: false once the stream is
    // over (stopped, or the sound server failed: reported).
    bool write(std::vector<std::uint8_t> &pending);
    // Plays out pending and what the server holds, and closes the output (for one of another
    // format): false once the stream is over.
    bool drainOutput(std::vector<std::uint8_t> &pending);
    // The end of the stream: what pending holds and the server's buffer are played out and the
    // end is reported once heard (a stream that never sounded failed).
    bool finish(std::vector<std::uint8_t> &pending);
    bool heard() const { return m_heard; }

private:
    void started() override;
    void underflow() override;
    void filling(int percent) override;
    void played(double seconds) override;

    PulseOutput *m_output;
    const std::atomic<bool> &m_cancelled;
    Reporter m_report;
    std::shared_ptr<PulseStream> m_stream;
    int m_rate = 0;
    int m_channels = 0;
    std::atomic<bool> m_heard { false };
    int m_fillPercent = -1;
    double m_shownSecond = -1;
};

} // namespace player
