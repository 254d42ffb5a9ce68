#pragma once

#include "player/core/failure.h"
#include "player/core/pulseoutput.h"

#include <QByteArray>
#include <QUrl>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

struct AVChannelLayout;
struct AVCodecContext;
struct AVFrame;
struct SwrContext;

namespace network {
class OpenStream;
}

namespace player {

// What the decoder tells the engine about its stream, from whichever thread learnt it.
struct DecoderReport
{
    enum class Kind { Buffering, Playing, Title, StationName, Position, Duration, Ended, Failed };
    Kind kind;
    double number = 0; // percent, seconds
    QByteArray text;
    Failure failure = Failure::EngineError;
};

// One stream played to its end, on a thread of its own: opens it as far as its demuxer (an
// HTTP(S) stream comes open, on the connection the program made; StreamInput), decodes its audio,
// converts it to 16-bit samples at its own rate (mono or stereo) and writes them to a PulseAudio
// stream. Reports what becomes of it through report, called on this thread and on the sound
// server's; nothing once cancelled is set.
class Decoder : private PulseListener
{
public:
    using Reporter = std::function<void(const DecoderReport &)>;
    Decoder(const QUrl &url, std::shared_ptr<network::OpenStream> opened, PulseOutput *output,
        const std::atomic<bool> &cancelled, Reporter report);
    ~Decoder() override;

    void run();

private:
    bool decodeFrames(AVCodecContext *codec, AVFrame *frame);
    bool play(const AVFrame *frame);
    bool convert(const AVFrame *frame);
    bool finish();
    void fail(Failure failure);
    void post(DecoderReport::Kind kind, double number = 0, const QByteArray &text = {});

    void started() override;
    void underflow() override;
    void filling(int percent) override;
    void played(double seconds) override;

    QUrl m_url;
    std::shared_ptr<network::OpenStream> m_opened;
    PulseOutput *m_output;
    const std::atomic<bool> &m_cancelled;
    Reporter m_report;
    std::shared_ptr<PulseStream> m_stream;
    SwrContext *m_resampler = nullptr;
    std::unique_ptr<AVChannelLayout> m_inLayout; // what m_resampler converts from
    int m_inFormat = -1;
    int m_inRate = 0;
    int m_channels = 0; // of the output
    std::vector<std::uint8_t> m_pending; // converted, not yet written
    int m_badPackets = 0; // in a row, that gave no audio
    std::atomic<bool> m_heard { false };
    int m_fillPercent = -1;
    double m_shownSecond = -1;
};

} // namespace player
