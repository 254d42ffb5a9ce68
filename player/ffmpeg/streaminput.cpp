#include "player/ffmpeg/streaminput.h"

#include "network/gate.h"
#include "network/reach.h"
#include "network/waitingopen.h"
#include "player/core/fetch.h"
#include "player/core/logging.h"
#include "player/core/networksource.h"
#include "player/ffmpeg/averror.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/avstring.h>
#include <libavutil/mem.h>
}

namespace player {

namespace {

// 32 KiB tell a stream's format (a second or two of a radio stream): libavformat would read
// up to 5 MB, and libmpv probed with 10 MiB.
constexpr int probeBytes = 32 * 1024;
constexpr int ioBufferBytes = 16 * 1024;
// Nested opens that fail with no audio between them: the stream is given up (a live HLS
// playlist whose every segment fails would otherwise be reloaded for ever).
constexpr int maxFailedOpens = 3;

// The demuxers the stations need: MP3, AAC, Ogg, FLAC, WAV, ASF (MMS), HLS and what its
// segments are (MPEG-TS, packed audio, fragmented MP4). No other format is even tried.
constexpr char formats[] = "mp3,aac,ogg,flac,wav,asf,hls,mpegts,mov,mp4";
// libavformat connects nowhere by itself: its nested opens are the program's (openNested), and
// only MMS over TCP goes through its own protocols, to the one address that was checked.
constexpr char noProtocols[] = "none";
constexpr char mmsOverTcp[] = "mmst,tcp";

// The demuxer the content type names, for when probing is unsure.
const AVInputFormat *formatOfType(const QByteArray &contentType)
{
    const QByteArray type = contentType.split(';').first().trimmed().toLower();
    const char *name = nullptr;
    if (type == "audio/mpeg" || type == "audio/mp3" || type == "audio/x-mpeg") {
        name = "mp3";
    } else if (type == "audio/aac" || type == "audio/aacp" || type == "audio/x-aac") {
        name = "aac";
    } else if (type == "audio/ogg" || type == "application/ogg" || type == "audio/opus") {
        name = "ogg";
    } else if (type == "audio/wav" || type == "audio/x-wav" || type == "audio/wave") {
        name = "wav";
    } else if (type == "audio/flac") {
        name = "flac";
    } else if (type == "video/x-ms-asf" || type == "audio/x-ms-wma") {
        name = "asf";
    }
    return name ? av_find_input_format(name) : nullptr;
}

bool isRefusal(network::FetchError error)
{
    using network::FetchError;
    return error == FetchError::RefusedAddress || error == FetchError::RefusedScheme
        || error == FetchError::RefusedPort || error == FetchError::RefusedReach;
}

Failure failureOfDemuxing(int error)
{
    switch (error) {
    case AVERROR_INVALIDDATA:
        return Failure::UnknownFormat;
    case AVERROR_EOF:
        return Failure::NoAudio;
    case AVERROR(ENOMEM):
        return Failure::EngineError;
    default:
        return Failure::Unreachable;
    }
}

} // namespace

StreamInput::StreamInput(const std::atomic<bool> &cancelled, network::Reach reach)
    : m_cancelled(cancelled)
    , m_reach(reach)
{
}

StreamInput::~StreamInput()
{
    avformat_close_input(&m_format);
    if (m_io) {
        av_freep(&m_io->buffer);
        avio_context_free(&m_io);
    }
}

int StreamInput::interrupted(void *input)
{
    const auto *self = static_cast<StreamInput *>(input);
    return self->m_cancelled || self->m_failedOpens >= maxFailedOpens ? 1 : 0;
}

int StreamInput::readPacket(void *input, std::uint8_t *buf, int size)
{
    NetworkSource &source = *static_cast<StreamInput *>(input)->m_source;
    const int n = source.read(buf, size);
    if (n < 0) {
        return source.isBroken() ? AVERROR_INVALIDDATA : AVERROR(EIO);
    }
    return n == 0 ? AVERROR_EOF : n;
}

// Only the size is asked for (for a recording's length): the stream is read once, in order.
std::int64_t StreamInput::seek(void *input, std::int64_t, int whence)
{
    const qint64 size = static_cast<StreamInput *>(input)->m_source->size();
    return whence == AVSEEK_SIZE && size > 0 ? size : AVERROR(ENOSYS);
}

// Every nested open (an HLS playlist's variant playlists, segments, keys, init sections) is
// served by the program's own client on the decoder's thread, read through an I/O context of
// ours: the gate, the station's reach on the resolved addresses at every hop, TLS verified, the
// same bounds, ended at once by a stop.
int StreamInput::openNested(
    AVFormatContext *format, AVIOContext **io, const char *url, int flags, AVDictionary **options)
{
    auto *self = static_cast<StreamInput *>(format->opaque);
    const QUrl address = QUrl::fromEncoded(QByteArray(url), QUrl::StrictMode);
    const network::Refusal refused = network::refusal(address, network::Use::Stream);
    if ((flags & AVIO_FLAG_WRITE) || !network::isHttp(address)
        || refused != network::Refusal::None) {
        qCWarning(lcEngine) << "refused to open" << address.toDisplayString(QUrl::RemovePassword);
        self->m_nestedFailure
            = refused == network::Refusal::None ? Failure::RefusedScheme : refusalOf(address);
        ++self->m_failedOpens;
        return AVERROR(EPERM);
    }
    network::Fetch::Headers headers;
    // A byte range of the address (HLS byte-range segments), end exclusive.
    const AVDictionaryEntry *offset
        = options ? av_dict_get(*options, "offset", nullptr, 0) : nullptr;
    const AVDictionaryEntry *end
        = options ? av_dict_get(*options, "end_offset", nullptr, 0) : nullptr;
    if (offset || end) {
        const qint64 from = offset ? QByteArray(offset->value).toLongLong() : 0;
        const qint64 to = end ? QByteArray(end->value).toLongLong() : 0;
        headers.append({ "Range",
            "bytes=" + QByteArray::number(from) + '-'
                + (to > from ? QByteArray::number(to - 1) : "") });
    }
    network::WaitingOpen opened = network::openWaiting(
        address, network::Use::Stream, self->m_reach, headers, self->m_cancelled);
    if (!opened.stream) {
        const Failure failure = failureOf(opened.error, opened.httpStatus);
        qCInfo(lcEngine) << "nested open failed:" << address.toDisplayString(QUrl::RemovePassword)
                         << failure;
        self->m_nestedFailure = failure;
        ++self->m_failedOpens;
        return isRefusal(opened.error) ? AVERROR(EPERM) : AVERROR(EIO);
    }
    if (!headers.isEmpty() && opened.httpStatus != 206) {
        // The whole resource instead of the range asked for: not the segment's bytes.
        qCInfo(lcEngine) << "range not served:" << address.toDisplayString(QUrl::RemovePassword);
        self->m_nestedFailure = Failure::Unsupported;
        ++self->m_failedOpens;
        return AVERROR(EIO);
    }
    auto *buffer = static_cast<std::uint8_t *>(av_malloc(ioBufferBytes));
    *io = buffer ? avio_alloc_context(buffer, ioBufferBytes, 0, opened.stream.get(),
              &StreamInput::readNested, nullptr, nullptr)
                 : nullptr;
    if (!*io) {
        av_free(buffer);
        return AVERROR(ENOMEM);
    }
    (*io)->seekable = 0;
    opened.stream.release(); // the context's now, until closeNested
    return 0;
}

void StreamInput::closeNested(AVFormatContext *, AVIOContext *io)
{
    if (!io) {
        return;
    }
    delete static_cast<network::OpenStream *>(io->opaque);
    av_freep(&io->buffer);
    avio_context_free(&io);
}

int StreamInput::readNested(void *stream, std::uint8_t *buf, int size)
{
    const qint64 n
        = static_cast<network::OpenStream *>(stream)->read(reinterpret_cast<char *>(buf), size);
    return n < 0 ? AVERROR(EIO) : n == 0 ? AVERROR_EOF : int(n);
}

bool StreamInput::newFormat()
{
    m_format = avformat_alloc_context();
    if (!m_format) {
        return false;
    }
    m_format->interrupt_callback = { &StreamInput::interrupted, this };
    m_format->opaque = this;
    m_format->io_open = &StreamInput::openNested;
    m_format->io_close = &StreamInput::closeNested;
    m_format->probesize = probeBytes;
    m_format->format_probesize = probeBytes;
    m_format->max_analyze_duration = AV_TIME_BASE;
    return true;
}

std::optional<Failure> StreamInput::open(const QUrl &url, std::unique_ptr<NetworkSource> source)
{
    if (source) {
        m_source = std::move(source);
        return openSource(url);
    }
    if (url.scheme().compare(QLatin1String("mmst"), Qt::CaseInsensitive) == 0) {
        return openMmsOverTcp(url);
    }
    qCWarning(lcEngine) << "refused to open" << url.toDisplayString(QUrl::RemovePassword);
    return Failure::UnsupportedAddress;
}

std::optional<Failure> StreamInput::openSource(const QUrl &url)
{
    if (m_source->isBroken()) {
        return Failure::BrokenStreamMetadata;
    }
    auto *buffer = static_cast<std::uint8_t *>(av_malloc(ioBufferBytes));
    m_io = buffer ? avio_alloc_context(buffer, ioBufferBytes, 0, this, &StreamInput::readPacket,
               nullptr, &StreamInput::seek)
                  : nullptr;
    if (!m_io) {
        av_free(buffer);
        return Failure::EngineError;
    }
    m_io->seekable = 0;
    const QByteArray address = url.toEncoded();
    const AVInputFormat *format = nullptr;
    const int score
        = av_probe_input_buffer2(m_io, &format, address.constData(), nullptr, 0, probeBytes);
    if (score < 0) {
        qCInfo(lcEngine) << "no known format:" << avErrorText(score);
        if (m_source->isBroken()) {
            return Failure::BrokenStreamMetadata;
        }
        return m_cancelled ? Failure::EngineError : failureOfDemuxing(score);
    }
    const AVInputFormat *named = formatOfType(m_source->contentType());
    if (named && named != format && score <= AVPROBE_SCORE_RETRY) {
        format = named;
    }
    if (av_match_list(format->name, formats, ',') <= 0) {
        qCInfo(lcEngine) << "not a format of the stations:" << format->name;
        return Failure::UnknownFormat;
    }
    if (!newFormat()) {
        return Failure::EngineError;
    }
    m_format->pb = m_io;
    m_format->flags |= AVFMT_FLAG_CUSTOM_IO;
    AVDictionary *options = nullptr;
    av_dict_set(&options, "format_whitelist", formats, 0);
    av_dict_set(&options, "protocol_whitelist", noProtocols, 0);
    // HLS: one request at a time, each on a connection the program opens (libavformat's own
    // keep-alive would reuse a connection of its own protocol, which ours is not).
    av_dict_set(&options, "http_persistent", "0", 0);
    av_dict_set(&options, "http_multiple", "0", 0);
    // A segment's address need not end in a known extension (many servers' do not): what its
    // bytes may be is the format list's to say.
    av_dict_set(&options, "extension_picky", "0", 0);
    const int error = avformat_open_input(&m_format, address.constData(), format, &options);
    av_dict_free(&options);
    if (error < 0) {
        qCInfo(lcEngine) << "demuxer failed:" << avErrorText(error);
        return m_nestedFailure.value_or(failureOfDemuxing(error));
    }
    qCDebug(lcEngine) << "format" << format->name << "score" << score << "type"
                      << m_source->contentType();
    return std::nullopt;
}

// MMS over TCP, spoken by libavformat: the host is looked up here, once, and libavformat is
// handed the address that passed, so that it connects where the check looked, whatever the name
// answers next (the protocol has no redirects; the name is only a note in its first message).
std::optional<Failure> StreamInput::openMmsOverTcp(const QUrl &url)
{
    if (!network::mayOpen(url, network::Use::Stream)) {
        qCWarning(lcEngine) << "refused to open" << url.toDisplayString(QUrl::RemovePassword);
        return refusalOf(url);
    }
    const auto found = network::reachableAddresses(url, m_reach, m_cancelled);
    if (const network::FetchError *error = std::get_if<network::FetchError>(&found)) {
        return failureOf(*error, 0);
    }
    const QHostAddress server = std::get<QList<QHostAddress>>(found).constFirst();
    if (m_reach == network::Reach::Unset) {
        m_reach = network::reachOf(network::classOf(server));
    }
    QUrl address = url;
    address.setHost(server.toString());
    if (!newFormat()) {
        return Failure::EngineError;
    }
    AVDictionary *options = nullptr;
    av_dict_set(&options, "format_whitelist", "asf", 0);
    av_dict_set(&options, "protocol_whitelist", mmsOverTcp, 0);
    av_dict_set(&options, "rw_timeout", "5000000", 0);
    const int error
        = avformat_open_input(&m_format, address.toEncoded().constData(), nullptr, &options);
    av_dict_free(&options);
    if (error < 0) {
        qCInfo(lcEngine) << "MMS over TCP failed:" << avErrorText(error);
        return failureOfDemuxing(error);
    }
    return std::nullopt;
}

QByteArray StreamInput::stationName() const
{
    return m_source ? m_source->stationName() : QByteArray();
}

bool StreamInput::hasSize() const
{
    return m_source && m_source->size() > 0;
}

std::optional<QByteArray> StreamInput::newTitle()
{
    return m_source ? m_source->takeTitle() : std::nullopt;
}

bool StreamInput::isBroken() const
{
    return m_source && m_source->isBroken();
}

} // namespace player
