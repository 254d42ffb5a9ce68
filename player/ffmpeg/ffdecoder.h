#pragma once

#include "network/addressclass.h"
#include "player/core/decoder.h"

#include <QUrl>

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

struct AVChannelLayout;
struct AVCodecContext;
struct AVFrame;
struct SwrContext;

namespace player {

class NetworkSource;

// A stream of any format FFmpeg reads: demuxed (StreamInput), decoded, and converted to 16-bit
// samples at the rate of its first frame, mono or stereo.
class FfDecoder : public Decoder
{
public:
    FfDecoder(const QUrl &url, std::unique_ptr<NetworkSource> source, network::Reach reach,
        PulseOutput *output, const std::atomic<bool> &cancelled, Reporter report);
    ~FfDecoder() override;

    void run() override;

private:
    bool decodeFrames(AVCodecContext *codec, AVFrame *frame);
    bool play(const AVFrame *frame);
    bool convert(const AVFrame *frame);

    QUrl m_url;
    std::unique_ptr<NetworkSource> m_source;
    network::Reach m_reach;
    SwrContext *m_resampler = nullptr;
    std::unique_ptr<AVChannelLayout> m_inLayout; // what m_resampler converts from
    int m_inFormat = -1;
    int m_inRate = 0;
    std::vector<std::uint8_t> m_pending; // converted, not yet written
    int m_badPackets = 0; // in a row, that gave no audio
};

} // namespace player
