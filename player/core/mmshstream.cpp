#include "player/core/mmshstream.h"

#include "network/waitingopen.h"
#include "player/core/fetch.h"
#include "player/core/logging.h"

#include <QtEndian>

#include <cstring>

namespace player {

namespace {

constexpr std::uint16_t asfHeaderChunk = 0x4824; // "$H"
constexpr std::uint16_t asfDataChunk = 0x4424; // "$D"
constexpr std::uint16_t streamEndChunk = 0x4524; // "$E"
constexpr std::uint16_t streamChangeChunk = 0x4324; // "$C"

// The GUIDs of the ASF objects read, as stored.
constexpr unsigned char headerObject[16] = { 0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11, 0xA6,
    0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C };
constexpr unsigned char filePropertiesObject[16] = { 0xA1, 0xDC, 0xAB, 0x8C, 0x47, 0xA9, 0xCF, 0x11,
    0x8E, 0xE4, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65 };
constexpr unsigned char streamPropertiesObject[16] = { 0x91, 0x07, 0xDC, 0xB7, 0xB7, 0xA9, 0xCF,
    0x11, 0x8E, 0xE6, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65 };
constexpr qsizetype objectHead = 24; // GUID and 64-bit size
constexpr qsizetype maxFirstAnswer = 1024 * 1024;

// Any client GUID will do; servers tell their clients apart by it.
constexpr char clientGuid[] = "xClientGUID={3300ad50-2c39-46c0-ae0a-4a5f1fd06e8a}";

bool isGuid(QByteArrayView bytes, const unsigned char (&guid)[16])
{
    return bytes.size() >= 16 && std::memcmp(bytes.data(), guid, 16) == 0;
}

quint32 le32(QByteArrayView bytes, qsizetype at)
{
    return qFromLittleEndian<quint32>(bytes.data() + at);
}

network::Fetch::Headers requestHeaders(int context)
{
    return { { "User-Agent", "NSPlayer/7.10.0.3059" },
        { "Pragma",
            "no-cache,rate=1.000000,stream-time=0,stream-offset=0:0,request-context="
                + QByteArray::number(context) + ",max-duration=0" },
        { "Pragma", clientGuid } };
}

// An MMS address as the HTTP request it falls back to (the port it names, else HTTP's).
QUrl httpAddress(const QUrl &url)
{
    QUrl http = url;
    http.setScheme(QStringLiteral("http"));
    return http;
}

// The ASF file on a play request's connection.
class MmshStream final : public network::OpenStream
{
public:
    explicit MmshStream(std::unique_ptr<network::OpenStream> stream)
        : m_stream(std::move(stream))
    {
    }

    QUrl url() const override { return m_stream->url(); }
    QByteArray rawHeader(QByteArrayView name) const override
    {
        // What the demuxer is told the stream is.
        return name.compare("Content-Type", Qt::CaseInsensitive) == 0 ? "video/x-ms-asf"
                                                                      : QByteArray();
    }
    QList<QByteArray> rawHeaders(QByteArrayView name) const override
    {
        const QByteArray value = rawHeader(name);
        return value.isEmpty() ? QList<QByteArray>() : QList<QByteArray> { value };
    }
    qint64 read(char *data, qint64 maxSize) override
    {
        char raw[4096];
        while (m_out.size() - m_at == 0) {
            m_out.clear();
            m_at = 0;
            if (m_framing.state() == MmshFraming::State::Ended) {
                return 0;
            }
            if (m_framing.state() == MmshFraming::State::Bad) {
                return -1;
            }
            const qint64 n = m_stream->read(raw, sizeof raw);
            if (n <= 0) {
                return n;
            }
            m_framing.feed(QByteArrayView(raw, n), m_out);
        }
        const qint64 n = std::min<qint64>(maxSize, m_out.size() - m_at);
        std::memcpy(data, m_out.constData() + m_at, size_t(n));
        m_at += n;
        return n;
    }
    void interrupt() override { m_stream->interrupt(); }
    void stopWhen(const std::atomic<bool> *flag) override { m_stream->stopWhen(flag); }

private:
    std::unique_ptr<network::OpenStream> m_stream;
    MmshFraming m_framing;
    QByteArray m_out;
    qsizetype m_at = 0;
};

} // namespace

std::optional<AsfHeaderInfo> asfHeaderInfo(QByteArrayView header)
{
    if (!isGuid(header, headerObject) || header.size() < 30) {
        return std::nullopt;
    }
    AsfHeaderInfo info;
    for (qsizetype at = 30; at + objectHead <= header.size();) {
        const QByteArrayView object = header.sliced(at);
        const quint64 size = qFromLittleEndian<quint64>(object.data() + 16);
        if (size < quint64(objectHead) || size > quint64(object.size())) {
            break;
        }
        if (isGuid(object, filePropertiesObject) && size >= 100) {
            const quint32 minimum = le32(object, 92);
            const quint32 maximum = le32(object, 96);
            if (minimum == maximum && minimum > 0 && minimum <= 0xffff) {
                info.packetSize = int(minimum);
            }
        } else if (isGuid(object, streamPropertiesObject) && size >= 74) {
            const int number = qFromLittleEndian<quint16>(object.data() + 72) & 0x7f;
            if (number > 0 && !info.streams.contains(number)) {
                info.streams.append(number);
            }
        }
        at += qsizetype(size);
    }
    if (info.packetSize == 0) {
        return std::nullopt;
    }
    return info;
}

void MmshFraming::feed(QByteArrayView in, QByteArray &out)
{
    while (m_state == State::Reading && !in.isEmpty()) {
        if (m_head.size() < m_headBytes) {
            const qsizetype n = std::min(in.size(), m_headBytes - m_head.size());
            m_head += in.first(n);
            in = in.sliced(n);
            if (m_head.size() == 4) {
                m_type = qFromLittleEndian<quint16>(m_head.constData());
                const int extended = m_type == asfHeaderChunk || m_type == asfDataChunk ? 8
                    : m_type == streamEndChunk || m_type == streamChangeChunk           ? 4
                                                                                        : -1;
                const int length = qFromLittleEndian<quint16>(m_head.constData() + 2);
                if (extended < 0 || length < extended) {
                    m_state = State::Bad;
                    return;
                }
                m_headBytes = 4 + extended;
                m_left = length - extended;
            }
            if (m_head.size() == m_headBytes && m_left == 0) {
                endChunk(out);
            }
            continue;
        }
        const qsizetype n = std::min(in.size(), m_left);
        m_payload += in.first(n);
        in = in.sliced(n);
        m_left -= n;
        if (m_left == 0) {
            endChunk(out);
        }
    }
}

void MmshFraming::endChunk(QByteArray &out)
{
    const QByteArray payload = std::exchange(m_payload, {});
    m_head.clear();
    m_headBytes = 4;
    switch (m_type) {
    case asfHeaderChunk:
        if (m_info) {
            return; // sent again: the one read stands
        }
        m_header += payload;
        if (m_header.size() > maxHeaderBytes) {
            m_state = State::Bad;
        }
        return;
    case asfDataChunk:
        if (!startData(out)) {
            return;
        }
        if (payload.size() > m_info->packetSize) {
            m_state = State::Bad;
            return;
        }
        out += payload;
        out.append(m_info->packetSize - payload.size(), '\0');
        return;
    default: // the end, or another stream: this one is over
        startData(out);
        m_state = m_state == State::Bad ? State::Bad : State::Ended;
        return;
    }
}

// The header ends where the first packet begins: it goes out first.
bool MmshFraming::startData(QByteArray &out)
{
    if (m_info) {
        return true;
    }
    m_info = asfHeaderInfo(m_header);
    if (!m_info) {
        m_state = State::Bad;
        return false;
    }
    out += m_header;
    return true;
}

MmshOpen openMmsh(const QUrl &url, network::Reach reach, const std::atomic<bool> &cancelled)
{
    MmshOpen result;
    result.reach = reach;
    const QUrl address = httpAddress(url);
    // The first request is answered with the header alone, which names the streams.
    network::WaitingOpen described
        = network::openWaiting(address, network::Use::Stream, reach, requestHeaders(1), cancelled);
    result.reach = described.reach;
    if (!described.stream) {
        result.failure = failureOf(described.error, described.httpStatus);
        return result;
    }
    MmshFraming framing;
    QByteArray ignored;
    char raw[4096];
    qsizetype total = 0;
    while (framing.state() == MmshFraming::State::Reading && !framing.header()
        && total < maxFirstAnswer) {
        const qint64 n = described.stream->read(raw, sizeof raw);
        if (n <= 0) {
            break;
        }
        total += n;
        framing.feed(QByteArrayView(raw, n), ignored);
        ignored.clear();
    }
    const std::optional<AsfHeaderInfo> info = asfHeaderInfo(framing.headerBytes());
    if (cancelled) {
        return result;
    }
    if (!info) {
        qCInfo(lcEngine) << "no MMS header from" << url.toDisplayString(QUrl::RemovePassword);
        result.failure = Failure::NotAStream;
        return result;
    }
    const QUrl where = described.stream->url();
    described.stream.reset();
    network::Fetch::Headers play = requestHeaders(2);
    play.append(qMakePair(QByteArray("Pragma"), QByteArray("xPlayStrm=1")));
    play.append(qMakePair(
        QByteArray("Pragma"), "stream-switch-count=" + QByteArray::number(info->streams.size())));
    QByteArray entries;
    for (const int stream : info->streams) {
        entries += (entries.isEmpty() ? "" : " ") + QByteArray("ffff:") + QByteArray::number(stream)
            + ":0";
    }
    play.append(qMakePair(QByteArray("Pragma"), "stream-switch-entry=" + entries));
    network::WaitingOpen playing
        = network::openWaiting(where, network::Use::Stream, result.reach, play, cancelled);
    if (!playing.stream) {
        result.failure = failureOf(playing.error, playing.httpStatus);
        return result;
    }
    result.stream = std::make_unique<MmshStream>(std::move(playing.stream));
    return result;
}

} // namespace player
