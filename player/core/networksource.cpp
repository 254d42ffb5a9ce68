#include "player/core/networksource.h"

#include "network/openstream.h"
#include "player/core/logging.h"

#include <cstring>
#include <utility>

namespace player {

NetworkSource::NetworkSource(std::shared_ptr<network::OpenStream> stream)
    : m_stream(std::move(stream))
{
    const QList<QByteArray> metaint = m_stream->rawHeaders("icy-metaint");
    if (!metaint.isEmpty()) {
        const std::optional<qint64> interval = IcyReader::intervalOf(metaint);
        if (interval && *interval > 0) {
            m_icy.emplace(*interval);
        }
        m_broken = !interval;
        return;
    }
    bool ok = false;
    const qint64 length = m_stream->rawHeader("content-length").trimmed().toLongLong(&ok);
    m_size = ok && length > 0 ? length : -1;
}

NetworkSource::~NetworkSource() = default;

int NetworkSource::readAudio(std::uint8_t *buf, int max)
{
    if (m_broken) {
        return -1;
    }
    for (;;) {
        const qint64 n = m_stream->read(reinterpret_cast<char *>(buf), max);
        if (n <= 0) {
            return n == 0 ? 0 : -1;
        }
        if (!m_icy) {
            return int(n);
        }
        const int audio = m_icy->strip(buf, int(n));
        if (audio < 0) {
            qCInfo(lcEngine) << "stream metadata framing broken";
            m_broken = true;
            return -1;
        }
        if (audio > 0) {
            return audio;
        }
        // Only metadata arrived: read on.
    }
}

int NetworkSource::read(std::uint8_t *buf, int max)
{
    if (m_peeked.isEmpty()) {
        if (m_peekEnd <= 0) {
            return std::exchange(m_peekEnd, 1);
        }
        return readAudio(buf, max);
    }
    const int n = int(std::min<qsizetype>(max, m_peeked.size()));
    std::memcpy(buf, m_peeked.constData(), std::size_t(n));
    m_peeked.remove(0, n);
    return n;
}

QByteArray NetworkSource::peek(int bytes)
{
    std::uint8_t buf[4096];
    while (m_peeked.size() < bytes && m_peekEnd > 0) {
        const int n = readAudio(buf, int(sizeof buf));
        if (n <= 0) {
            m_peekEnd = n;
        } else {
            m_peeked.append(reinterpret_cast<const char *>(buf), n);
        }
    }
    return m_peeked;
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
    if (!m_icy) {
        return std::nullopt;
    }
    if (auto title = m_icy->takeTitle()) {
        m_heldTitle = std::move(title);
    }
    if (!m_heldTitle || (m_titleClock.isValid() && m_titleClock.elapsed() < titleIntervalMs)) {
        return std::nullopt;
    }
    m_titleClock.start();
    return std::exchange(m_heldTitle, std::nullopt);
}

} // namespace player
