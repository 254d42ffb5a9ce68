#include "player/core/httpsource.h"

#include "network/gate.h"
#include "network/useragent.h"
#include "player/core/averror.h"
#include "player/core/logging.h"

extern "C" {
#include <libavformat/avio.h>
#include <libavutil/dict.h>
#include <libavutil/error.h>
#include <libavutil/mem.h>
#include <libavutil/opt.h>
}

namespace player {

namespace {

// Every nested connection of the http protocol (TLS, TCP beneath it, those of redirects).
const char *const httpProtocols = "http,https,tls,tcp";

QByteArray headerValue(const QByteArray &headers, const QByteArray &name)
{
    for (const QByteArray &line : headers.split('\n')) {
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).trimmed().compare(name, Qt::CaseInsensitive) == 0) {
            return line.mid(colon + 1).trimmed();
        }
    }
    return {};
}

} // namespace

HttpSource::HttpSource(const std::atomic<bool> &cancelled)
    : m_cancelled(cancelled)
{
}

HttpSource::~HttpSource()
{
    avio_closep(&m_io);
}

int HttpSource::interrupted(void *source)
{
    const auto *self = static_cast<const HttpSource *>(source);
    return self->m_interrupted || self->m_cancelled ? 1 : 0;
}

std::optional<Failure> HttpSource::open(const QUrl &url)
{
    AVDictionary *options = nullptr;
    av_dict_set(&options, "user_agent", network::userAgent, 0);
    av_dict_set(&options, "icy", "1", 0);
    av_dict_set(&options, "reconnect", "0", 0);
    av_dict_set(&options, "multiple_requests", "0", 0);
    av_dict_set(&options, "seekable", "0", 0);
    av_dict_set(&options, "rw_timeout", "10000000", 0);
    av_dict_set(&options, "protocol_whitelist", httpProtocols, 0);
    const AVIOInterruptCB interrupt { &HttpSource::interrupted, this };
    const int error
        = avio_open2(&m_io, url.toEncoded().constData(), AVIO_FLAG_READ, &interrupt, &options);
    av_dict_free(&options);
    if (error < 0) {
        qCInfo(lcEngine) << "connection failed:" << avErrorText(error);
        return error == AVERROR_PROTOCOL_NOT_FOUND ? Failure::UnsupportedAddress
                                                   : Failure::Unreachable;
    }
    const QByteArray location = option("location");
    if (!location.isEmpty()
        && !network::mayOpen(QUrl::fromEncoded(location, QUrl::StrictMode), network::Use::Stream)) {
        qCWarning(lcEngine) << "redirected to a refused address";
        return Failure::UnsupportedAddress;
    }
    m_contentType = option("mime_type");
    m_stationName = headerValue(option("icy_metadata_headers"), "icy-name");
    const int64_t size = avio_size(m_io);
    m_size = size > 0 ? size : -1;
    return std::nullopt;
}

int HttpSource::read(std::uint8_t *buf, int max)
{
    if (!m_io) {
        return AVERROR(EINVAL);
    }
    const int n = avio_read_partial(m_io, buf, max);
    return n == AVERROR_EOF ? 0 : n;
}

QByteArray HttpSource::metadataBlock() const
{
    return option("icy_metadata_packet");
}

QByteArray HttpSource::option(const char *name) const
{
    uint8_t *value = nullptr;
    if (!m_io || av_opt_get(m_io, name, AV_OPT_SEARCH_CHILDREN, &value) < 0 || !value) {
        return {};
    }
    QByteArray text(reinterpret_cast<const char *>(value));
    av_free(value);
    return text;
}

} // namespace player
