#include "player/core/decoder.h"

#include "player/core/logging.h"

#include <cmath>
#include <utility>

namespace player {

namespace {

constexpr int minRate = 1000;
constexpr int maxRate = 384000;

} // namespace

Decoder::Decoder(PulseOutput *output, const std::atomic<bool> &cancelled, Reporter report)
    : m_output(output)
    , m_cancelled(cancelled)
    , m_report(std::move(report))
{
}

Decoder::~Decoder()
{
    m_stream.reset(); // no more calls from the sound server's thread
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

bool Decoder::openOutput(int rate, int channels)
{
    if (channels < 1 || rate < minRate || rate > maxRate) {
        fail(Failure::NoAudio);
        return false;
    }
    m_rate = rate;
    m_channels = std::min(channels, 2);
    m_stream = m_output->openStream(m_rate, m_channels, this, m_cancelled);
    if (!m_stream) {
        if (!m_cancelled) {
            fail(Failure::NoSoundDevice);
        }
        return false;
    }
    qCDebug(lcEngine) << "playing" << rate << "Hz," << channels << "channels";
    return true;
}

bool Decoder::write(std::vector<std::uint8_t> &pending)
{
    if (!m_stream->write(pending, false)) {
        if (!m_cancelled) {
            fail(Failure::NoSoundDevice);
        }
        return false;
    }
    return true;
}

bool Decoder::drainOutput(std::vector<std::uint8_t> &pending)
{
    if (!m_stream->write(pending, true) || !m_stream->drain()) {
        if (!m_cancelled) {
            fail(Failure::NoSoundDevice);
        }
        return false;
    }
    m_stream.reset();
    return true;
}

bool Decoder::finish(std::vector<std::uint8_t> &pending)
{
    if (!m_stream) {
        fail(Failure::NoAudio);
        return false;
    }
    if (!drainOutput(pending)) {
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
    qCDebug(lcEngine) << "sound started";
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
