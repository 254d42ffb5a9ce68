#include "player/ffmpeg/ffdecoder.h"

#include "player/core/logging.h"
#include "player/core/networksource.h"
#include "player/ffmpeg/averror.h"
#include "player/ffmpeg/streaminput.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}

#include <cmath>
#include <utility>

namespace player {

namespace {

// Packets in a row that decode to nothing but errors: not audio of this codec.
constexpr int maxBadPackets = 200;

struct CodecFree
{
    void operator()(AVCodecContext *codec) const { avcodec_free_context(&codec); }
    void operator()(AVPacket *packet) const { av_packet_free(&packet); }
    void operator()(AVFrame *frame) const { av_frame_free(&frame); }
};

} // namespace

FfDecoder::FfDecoder(const QUrl &url, std::unique_ptr<NetworkSource> source, network::Reach reach,
    PulseOutput *output, const std::atomic<bool> &cancelled, Reporter report)
    : Decoder(output, cancelled, std::move(report))
    , m_url(url)
    , m_source(std::move(source))
    , m_reach(reach)
{
}

FfDecoder::~FfDecoder()
{
    swr_free(&m_resampler);
    if (m_inLayout) {
        av_channel_layout_uninit(m_inLayout.get());
    }
}

void FfDecoder::run()
{
    StreamInput input(cancelFlag(), m_reach);
    const auto failure = input.open(m_url, std::move(m_source));
    if (input.reach() != m_reach) {
        // Set by where the stream's server is: it binds the station's other streams too.
        post(DecoderReport::Kind::Reached, double(int(input.reach())));
    }
    if (failure) {
        fail(*failure);
        return;
    }
    post(DecoderReport::Kind::Buffering, 0);
    if (!input.stationName().isEmpty()) {
        post(DecoderReport::Kind::StationName, 0, input.stationName());
    }
    AVFormatContext *format = input.format();
    // Within the probe's bounds (32 KiB, a second): the audio's rate and channels, which
    // some demuxers learn only from the first frames, and a recording's length.
    avformat_find_stream_info(format, nullptr);
    if (cancelled()) {
        return;
    }
    const AVCodec *codecType = nullptr;
    const int audio = av_find_best_stream(format, AVMEDIA_TYPE_AUDIO, -1, -1, &codecType, 0);
    if (audio < 0) {
        fail(audio == AVERROR_DECODER_NOT_FOUND ? Failure::Unsupported : Failure::NoAudio);
        return;
    }
    const std::unique_ptr<AVCodecContext, CodecFree> codec(avcodec_alloc_context3(codecType));
    const std::unique_ptr<AVPacket, CodecFree> packet(av_packet_alloc());
    const std::unique_ptr<AVFrame, CodecFree> frame(av_frame_alloc());
    if (!codec || !packet || !frame
        || avcodec_parameters_to_context(codec.get(), format->streams[audio]->codecpar) < 0
        || avcodec_open2(codec.get(), codecType, nullptr) < 0) {
        fail(Failure::Unsupported);
        return;
    }
    if (input.hasSize() && format->duration > 0) {
        post(DecoderReport::Kind::Duration, std::floor(double(format->duration) / AV_TIME_BASE));
    }
    for (;;) {
        const int error = av_read_frame(format, packet.get());
        if (cancelled()) {
            return;
        }
        if (error == AVERROR_EOF) {
            break;
        }
        if (error < 0 || input.isBroken()) {
            qCInfo(lcEngine) << "reading failed:" << avErrorText(error);
            fail(input.isBroken() ? Failure::BrokenStreamMetadata
                    : error == AVERROR(ENOMEM)
                    ? Failure::EngineError
                    : input.nestedFailure().value_or(Failure::Unreachable));
            return;
        }
        if (const auto title = input.newTitle()) {
            post(DecoderReport::Kind::Title, 0, *title);
        }
        if (packet->stream_index == audio) {
            input.audioArrived();
            const int sent = avcodec_send_packet(codec.get(), packet.get());
            av_packet_unref(packet.get());
            if (sent < 0 && ++m_badPackets > maxBadPackets) {
                fail(heard() ? Failure::EngineError : Failure::NoAudio);
                return;
            }
            if (!decodeFrames(codec.get(), frame.get())) {
                return;
            }
        } else {
            av_packet_unref(packet.get());
        }
    }
    avcodec_send_packet(codec.get(), nullptr);
    if (decodeFrames(codec.get(), frame.get())) {
        finish(m_pending);
    }
}

// All the frames the codec has ready, played; false when the stream is over.
bool FfDecoder::decodeFrames(AVCodecContext *codec, AVFrame *frame)
{
    for (;;) {
        const int error = avcodec_receive_frame(codec, frame);
        if (error == AVERROR(EAGAIN) || error == AVERROR_EOF) {
            return true;
        }
        if (error < 0) {
            if (++m_badPackets > maxBadPackets) {
                fail(heard() ? Failure::EngineError : Failure::NoAudio);
                return false;
            }
            return true;
        }
        m_badPackets = 0;
        const bool playing = play(frame);
        av_frame_unref(frame);
        if (!playing) {
            return false;
        }
    }
}

bool FfDecoder::play(const AVFrame *frame)
{
    if (!hasOutput() && !openOutput(frame->sample_rate, frame->ch_layout.nb_channels)) {
        return false;
    }
    if (!convert(frame)) {
        fail(Failure::EngineError);
        return false;
    }
    return write(m_pending);
}

// Appends the frame to m_pending in the output's format, at the rate of the stream's first
// frame (a later change of rate or layout is converted to it).
bool FfDecoder::convert(const AVFrame *frame)
{
    AVChannelLayout inLayout {};
    if (frame->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC) {
        av_channel_layout_default(&inLayout, frame->ch_layout.nb_channels);
    } else if (av_channel_layout_copy(&inLayout, &frame->ch_layout) < 0) {
        return false;
    }
    if (!m_resampler || m_inFormat != frame->format || m_inRate != frame->sample_rate
        || av_channel_layout_compare(m_inLayout.get(), &inLayout) != 0) {
        swr_free(&m_resampler);
        AVChannelLayout outLayout {};
        av_channel_layout_default(&outLayout, outputChannels());
        const int outRate = outputRate();
        const int error = swr_alloc_set_opts2(&m_resampler, &outLayout, AV_SAMPLE_FMT_S16, outRate,
            &inLayout, AVSampleFormat(frame->format), frame->sample_rate, 0, nullptr);
        av_channel_layout_uninit(&outLayout);
        if (error < 0 || swr_init(m_resampler) < 0) {
            av_channel_layout_uninit(&inLayout);
            return false;
        }
        if (!m_inLayout) {
            m_inLayout = std::make_unique<AVChannelLayout>();
        }
        av_channel_layout_uninit(m_inLayout.get());
        *m_inLayout = inLayout;
        m_inFormat = frame->format;
        m_inRate = frame->sample_rate;
    } else {
        av_channel_layout_uninit(&inLayout);
    }
    const int room = swr_get_out_samples(m_resampler, frame->nb_samples);
    if (room < 0) {
        return false;
    }
    const std::size_t frameBytes = std::size_t(2 * outputChannels());
    const std::size_t had = m_pending.size();
    m_pending.resize(had + std::size_t(room) * frameBytes);
    std::uint8_t *out = m_pending.data() + had;
    const int converted = swr_convert(m_resampler, &out, room,
        const_cast<const std::uint8_t **>(frame->extended_data), frame->nb_samples);
    m_pending.resize(had + std::size_t(std::max(converted, 0)) * frameBytes);
    return converted >= 0;
}

} // namespace player
