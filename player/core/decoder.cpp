#include "player/core/decoder.h"

#include "player/core/averror.h"
#include "player/core/logging.h"
#include "player/core/streaminput.h"

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
constexpr int minRate = 1000;
constexpr int maxRate = 384000;

struct CodecFree
{
    void operator()(AVCodecContext *codec) const { avcodec_free_context(&codec); }
    void operator()(AVPacket *packet) const { av_packet_free(&packet); }
    void operator()(AVFrame *frame) const { av_frame_free(&frame); }
};

} // namespace

Decoder::Decoder(const QUrl &url, std::shared_ptr<network::OpenStream> opened, PulseOutput *output,
    const std::atomic<bool> &cancelled, Reporter report)
    : m_url(url)
    , m_opened(std::move(opened))
    , m_output(output)
    , m_cancelled(cancelled)
    , m_report(std::move(report))
{
}

Decoder::~Decoder()
{
    m_stream.reset(); // no more calls from the sound server's thread
    swr_free(&m_resampler);
    if (m_inLayout) {
        av_channel_layout_uninit(m_inLayout.get());
    }
}

void Decoder::post(DecoderReport::Kind kind, double number, const QByteArray &text)
{
    if (!m_cancelled) {
        m_report(DecoderReport { kind, number, text });
    }
}

void Decoder::fail(Failure failure)
{
    qCInfo(lcEngine) << "stream failed:" << failure;
    if (!m_cancelled) {
        m_report(DecoderReport { DecoderReport::Kind::Failed, 0, {}, failure });
    }
}

void Decoder::run()
{
    StreamInput input(m_cancelled);
    if (const auto failure = input.open(m_url, std::move(m_opened))) {
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
    if (m_cancelled) {
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
        if (m_cancelled) {
            return;
        }
        if (error == AVERROR_EOF) {
            break;
        }
        if (error < 0 || input.isBroken()) {
            qCInfo(lcEngine) << "reading failed:" << avErrorText(error);
            fail(input.isBroken()              ? Failure::BrokenStreamMetadata
                    : error == AVERROR(ENOMEM) ? Failure::EngineError
                                               : Failure::Unreachable);
            return;
        }
        if (const auto title = input.newTitle()) {
            post(DecoderReport::Kind::Title, 0, *title);
        }
        if (packet->stream_index == audio) {
            const int sent = avcodec_send_packet(codec.get(), packet.get());
            av_packet_unref(packet.get());
            if (sent < 0 && ++m_badPackets > maxBadPackets) {
                fail(m_heard ? Failure::EngineError : Failure::NoAudio);
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
        finish();
    }
}

// All the frames the codec has ready, played; false when the stream is over.
bool Decoder::decodeFrames(AVCodecContext *codec, AVFrame *frame)
{
    for (;;) {
        const int error = avcodec_receive_frame(codec, frame);
        if (error == AVERROR(EAGAIN) || error == AVERROR_EOF) {
            return true;
        }
        if (error < 0) {
            if (++m_badPackets > maxBadPackets) {
                fail(m_heard ? Failure::EngineError : Failure::NoAudio);
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

bool Decoder::play(const AVFrame *frame)
{
    if (!m_stream) {
        const int channels = frame->ch_layout.nb_channels;
        if (channels < 1 || frame->sample_rate < minRate || frame->sample_rate > maxRate) {
            fail(Failure::NoAudio);
            return false;
        }
        m_channels = std::min(channels, 2);
        m_stream = m_output->openStream(frame->sample_rate, m_channels, this, m_cancelled);
        if (!m_stream) {
            if (!m_cancelled) {
                fail(Failure::NoSoundDevice);
            }
            return false;
        }
        qCDebug(lcEngine) << "playing" << frame->sample_rate << "Hz," << channels << "channels";
    }
    if (!convert(frame)) {
        fail(Failure::EngineError);
        return false;
    }
    if (!m_stream->write(m_pending, false)) {
        if (!m_cancelled) {
            fail(Failure::NoSoundDevice);
        }
        return false;
    }
    return true;
}

// Appends the frame to m_pending in the output's format, at the rate of the stream's first
// frame (a later change of rate or layout is converted to it).
bool Decoder::convert(const AVFrame *frame)
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
        av_channel_layout_default(&outLayout, m_channels);
        const int outRate = m_stream->bytesPerSecond() / (2 * m_channels);
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
    const std::size_t frameBytes = std::size_t(2 * m_channels);
    const std::size_t had = m_pending.size();
    m_pending.resize(had + std::size_t(room) * frameBytes);
    std::uint8_t *out = m_pending.data() + had;
    const int converted = swr_convert(m_resampler, &out, room,
        const_cast<const std::uint8_t **>(frame->extended_data), frame->nb_samples);
    m_pending.resize(had + std::size_t(std::max(converted, 0)) * frameBytes);
    return converted >= 0;
}

// The end of the stream: what is left is played out; the end is reported once it was heard.
bool Decoder::finish()
{
    if (!m_stream) {
        fail(Failure::NoAudio);
        return false;
    }
    if (!m_stream->write(m_pending, true) || !m_stream->drain()) {
        if (!m_cancelled) {
            fail(Failure::NoSoundDevice);
        }
        return false;
    }
    qCInfo(lcEngine) << "stream ended";
    if (m_heard) {
        post(DecoderReport::Kind::Ended);
    } else {
        fail(Failure::NoAudio);
    }
    return true;
}

void Decoder::started()
{
    m_heard = true;
    post(DecoderReport::Kind::Playing);
}

void Decoder::underflow()
{
    m_fillPercent = 0;
    post(DecoderReport::Kind::Buffering, 0);
}

void Decoder::filling(int percent)
{
    if (percent != m_fillPercent) {
        m_fillPercent = percent;
        post(DecoderReport::Kind::Buffering, percent);
    }
}

void Decoder::played(double seconds)
{
    const double whole = std::floor(seconds);
    if (whole != m_shownSecond) {
        m_shownSecond = whole;
        post(DecoderReport::Kind::Position, whole);
    }
}

} // namespace player
