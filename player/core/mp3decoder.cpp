#include "player/core/mp3decoder.h"

#include "player/core/logging.h"
#include "player/core/networksource.h"

#include <mpg123.h>

#include <cmath>

namespace player {

namespace {

constexpr int readBytes = 16 * 1024;
constexpr qint64 maxSilentBytes = 256 * 1024;
constexpr int maxErrorsInARow = 64;

} // namespace

Mp3Decoder::Mp3Decoder(std::unique_ptr<NetworkSource> source, PulseOutput *output,
    const std::atomic<bool> &cancelled, Reporter report)
    : Decoder(output, cancelled, std::move(report))
    , m_source(std::move(source))
{
}

Mp3Decoder::~Mp3Decoder()
{
    mpg123_delete(m_handle);
}

void Mp3Decoder::run()
{
    int error = MPG123_OK;
    m_handle = mpg123_new(nullptr, &error);
    if (!m_handle) {
        fail(Failure::EngineError);
        return;
    }
    // 16-bit samples at the stream's own rate; titles come from the ICY blocks, not ID3 tags.
    mpg123_param(m_handle, MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_SKIP_ID3V2, 0);
    mpg123_param(m_handle, MPG123_RESYNC_LIMIT, -1, 0);
    mpg123_format_none(m_handle);
    const long *rates = nullptr;
    std::size_t count = 0;
    mpg123_rates(&rates, &count);
    for (std::size_t i = 0; i < count; ++i) {
        mpg123_format(m_handle, rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);
    }
    if (mpg123_open_feed(m_handle) != MPG123_OK) {
        fail(Failure::EngineError);
        return;
    }
    if (m_source->size() > 0) {
        mpg123_set_filesize(m_handle, off_t(m_source->size()));
    }
    post(DecoderReport::Kind::Buffering, 0);
    if (!m_source->stationName().isEmpty()) {
        post(DecoderReport::Kind::StationName, 0, m_source->stationName());
    }
    std::vector<std::uint8_t> buffer(readBytes);
    for (;;) {
        const int n = m_source->read(buffer.data(), readBytes);
        if (cancelled()) {
            return;
        }
        if (n < 0) {
            fail(m_source->isBroken() ? Failure::BrokenStreamMetadata : Failure::Unreachable);
            return;
        }
        if (n == 0) {
            break;
        }
        if (const auto title = m_source->takeTitle()) {
            post(DecoderReport::Kind::Title, 0, *title);
        }
        if (mpg123_feed(m_handle, buffer.data(), std::size_t(n)) != MPG123_OK) {
            fail(Failure::EngineError);
            return;
        }
        m_silentBytes += n;
        if (!decodeFed()) {
            return;
        }
        if (m_silentBytes > maxSilentBytes) {
            fail(heard() ? Failure::EngineError : Failure::NoAudio);
            return;
        }
    }
    finish(m_pending);
}

// Everything the fed bytes hold, decoded and played; false when the stream is over.
bool Mp3Decoder::decodeFed()
{
    for (int errors = 0; errors < maxErrorsInARow;) {
        off_t frame = 0;
        unsigned char *audio = nullptr;
        std::size_t bytes = 0;
        const int result = mpg123_decode_frame(m_handle, &frame, &audio, &bytes);
        if (result == MPG123_NEED_MORE || result == MPG123_DONE) {
            break;
        }
        if (result == MPG123_NEW_FORMAT) {
            if (!takeFormat()) {
                return false;
            }
            continue;
        }
        if (result != MPG123_OK) {
            // A frame it could not decode: it resyncs by itself; too many in a row end it.
            qCDebug(lcEngine) << "mpg123:" << mpg123_strerror(m_handle);
            ++errors;
            continue;
        }
        errors = 0;
        if (bytes == 0 || !hasOutput()) {
            continue;
        }
        m_silentBytes = 0;
        m_pending.insert(m_pending.end(), audio, audio + bytes);
        reportLength();
    }
    return m_pending.empty() || write(m_pending);
}

// The output for the stream's format; a later change of format is played through a new one,
// after what the old one holds.
bool Mp3Decoder::takeFormat()
{
    long rate = 0;
    int channels = 0;
    int encoding = 0;
    if (mpg123_getformat(m_handle, &rate, &channels, &encoding) != MPG123_OK
        || encoding != MPG123_ENC_SIGNED_16) {
        fail(Failure::Unsupported);
        return false;
    }
    if (hasOutput()) {
        if (rate == outputRate() && channels == outputChannels()) {
            return true;
        }
        if (!drainOutput(m_pending)) {
            return false;
        }
    }
    return openOutput(int(rate), channels);
}

// A recording's length, from its size and its frames', once the decoder can tell.
void Mp3Decoder::reportLength()
{
    if (m_lengthKnown || m_source->size() <= 0) {
        return;
    }
    const off_t samples = mpg123_length(m_handle);
    if (samples > 0) {
        m_lengthKnown = true;
        post(DecoderReport::Kind::Duration, std::floor(double(samples) / double(outputRate())));
    }
}

} // namespace player
