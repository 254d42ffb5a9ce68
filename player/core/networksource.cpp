#include "player/core/networksource.h"

#include "network/openstream.h"
#include "player/core/logging.h"

extern "C" {
#include <libavutil/error.h>
}

namespace player {

NetworkSource::NetworkSource(std::shared_ptr<network::OpenStream> stream)
    : m_stream(std::move(stream))
{
    const QByteArray metaint = m_stream->rawHeader("icy-metaint").trimmed();
    if (!metaint.isEmpty()) {
        bool ok = false;
        const qint64 interval = metaint.toLongLong(&ok);
        // 0 means no metadata at all.
        if (ok && interval > 0) {
            m_icy.emplace(interval);
        }
        m_broken = !ok || interval < 0 || (m_icy && !m_icy->validInterval());
        return;
    }
    bool ok = false;
    const qint64 length = m_stream->rawHeader("content-length").trimmed().toLongLong(&ok);
    m_size = ok && length > 0 ? length : -1;
}

NetworkSource::~NetworkSource() = default;

int NetworkSource::read(std::uint8_t *buf, int max)
{
    if (m_broken) {
        return AVERROR_INVALIDDATA;
    }
    for (;;) {
        const qint64 n = m_stream->read(reinterpret_cast<char *>(buf), max);
        if (n <= 0) {
            return n == 0 ? 0 : AVERROR(EIO);
        }
        if (!m_icy) {
            return int(n);
        }
        const int audio = m_icy->strip(buf, int(n));
        if (audio < 0) {
            qCInfo(lcEngine) << "stream metadata framing broken";
            m_broken = true;
            return AVERROR_INVALIDDATA;
        }
        if (audio > 0) {
            return audio;
        }
        // Only metadata arrived: read on.
    }
}

void NetworkSource::interrupt()
{
    m_stream->interrupt();
}

QByteArray NetworkSource::contentType() const
{
    return m_stream->rawHeader("content-type");
}

QByteArray NetworkSource::stationName() const
{
    return m_stream->rawHeader("icy-name");
}

std::optional<QByteArray> NetworkSource::takeTitle()
{
    return m_icy ? m_icy->takeTitle() : std::nullopt;
}

} // namespace player
