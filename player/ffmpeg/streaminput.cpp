#include "player/ffmpeg/streaminput.h"

#include "network/gate.h"
#include "player/core/logging.h"
#include "player/core/networksource.h"
#include "player/ffmpeg/averror.h"
#include "player/ffmpeg/hostcheck.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/mem.h>
}

namespace player {

namespace {

// 32 KiB tell a stream's format (a second or two of a radio stream): libavformat would read
// up to 5 MB, and libmpv probed with 10 MiB.
constexpr int probeBytes = 32 * 1024;
constexpr int ioBufferBytes = 16 * 1024;

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
    return static_cast<StreamInput *>(input)->m_cancelled ? 1 : 0;
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

int StreamInput::openNested(
    AVFormatContext *format, AVIOContext **io, const char *url, int flags, AVDictionary **options)
{
    auto *self = static_cast<StreamInput *>(format->opaque);
    const QUrl address = QUrl::fromEncoded(QByteArray(url), QUrl::StrictMode);
    if (!network::mayOpen(address, network::Use::Stream)) {
        qCWarning(lcEngine) << "refused to open" << address.toDisplayString(QUrl::RemovePassword);
        return AVERROR(EPERM);
    }
    // The name stays in what libavformat opens (a nested HTTP address needs it for its Host
    // header and TLS), and libavformat looks it up again.
    const auto found = reachableAddresses(address, self->m_reach, self->m_cancelled);
    if (const Failure *failure = std::get_if<Failure>(&found)) {
        return *failure == Failure::UnsupportedAddress ? AVERROR(EPERM) : AVERROR(EIO);
    }
    return self->m_defaultOpen(format, io, url, flags, options);
}

bool StreamInput::newFormat()
{
    m_format = avformat_alloc_context();
    if (!m_format) {
        return false;
    }
    m_format->interrupt_callback = { &StreamInput::interrupted, this };
    m_format->opaque = this;
    m_defaultOpen = m_format->io_open;
    m_format->io_open = &StreamInput::openNested;
    m_format->probesize = probeBytes;
    m_format->format_probesize = probeBytes;
    m_format->max_analyze_duration = AV_TIME_BASE;
    return true;
}

std::optional<Failure> StreamInput::open(const QUrl &url, std::unique_ptr<NetworkSource> source)
{
    if (network::isHttp(url)) {
        m_source = std::move(source);
        return m_source ? openHttp(url) : Failure::Unreachable;
    }
    return openMms(url);
}

std::optional<Failure> StreamInput::openHttp(const QUrl &url)
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
    if (!newFormat()) {
        return Failure::EngineError;
    }
    m_format->pb = m_io;
    m_format->flags |= AVFMT_FLAG_CUSTOM_IO;
    AVDictionary *options = nullptr;
    av_dict_set(&options, "protocol_whitelist", "http,https,tls,tcp", 0);
    const int error = avformat_open_input(&m_format, address.constData(), format, &options);
    av_dict_free(&options);
    if (error < 0) {
        qCInfo(lcEngine) << "demuxer failed:" << avErrorText(error);
        return failureOfDemuxing(error);
    }
    qCDebug(lcEngine) << "format" << format->name << "score" << score << "type"
                      << m_source->contentType();
    return std::nullopt;
}

// mms:// is MMS over HTTP first (what servers still speak), then over TCP.
std::optional<Failure> StreamInput::openMms(const QUrl &url)
{
    const QString scheme = url.scheme().toLower();
    QStringList schemes;
    if (scheme == QLatin1String("mms")) {
        schemes = { QStringLiteral("mmsh"), QStringLiteral("mmst") };
    } else {
        schemes = { scheme };
    }
    QList<QUrl> addresses;
    for (const QString &protocol : std::as_const(schemes)) {
        QUrl address = url;
        address.setScheme(protocol);
        if (network::mayOpen(address, network::Use::Stream)) {
            addresses.append(address);
        } else {
            qCWarning(lcEngine) << "refused to open"
                                << address.toDisplayString(QUrl::RemovePassword);
        }
    }
    if (addresses.isEmpty()) {
        return Failure::UnsupportedAddress;
    }
    // The host is looked up here, once, and libavformat is handed the address that passed, so
    // that it connects where the check looked, whatever the name answers next. Over TCP the
    // name is only a note in the client's first message. Over HTTP it becomes the request's Host
    // header: a server that told its sites apart by name alone would not find the stream, the
    // price of a name that cannot lead elsewhere between the check and the connection.
    const auto found = reachableAddresses(url, m_reach, m_cancelled);
    if (const Failure *failure = std::get_if<Failure>(&found)) {
        return *failure;
    }
    const QHostAddress server = std::get<QList<QHostAddress>>(found).constFirst();
    if (m_reach == network::Reach::Unset) {
        m_reach = network::reachOf(network::classOf(server));
    }
    Failure failure = Failure::Unreachable;
    for (QUrl &address : addresses) {
        const QString protocol = address.scheme();
        address.setHost(server.toString());
        if (!newFormat()) {
            return Failure::EngineError;
        }
        AVDictionary *options = nullptr;
        av_dict_set(&options, "protocol_whitelist", "mmsh,mmst,tcp,http", 0);
        av_dict_set(&options, "rw_timeout", "10000000", 0);
        const int error
            = avformat_open_input(&m_format, address.toEncoded().constData(), nullptr, &options);
        av_dict_free(&options);
        if (error >= 0) {
            return std::nullopt;
        }
        qCInfo(lcEngine) << protocol << "failed:" << avErrorText(error);
        failure = failureOfDemuxing(error);
        if (m_cancelled) {
            break;
        }
    }
    return failure;
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
