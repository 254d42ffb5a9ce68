#include "network/httpbody.h"

#include <algorithm>

namespace network {

namespace {

constexpr qsizetype maxLineBytes = 1024; // a chunk's size line, a trailer line
constexpr int maxTrailerLines = 100;
constexpr qint64 maxChunkBytes = qint64(1) << 40;

int hexDigit(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

} // namespace

TransferCoding transferCodingOf(const HttpHead &head)
{
    bool chunked = false;
    for (const QByteArray &line : head.values("Transfer-Encoding")) {
        for (const QByteArray &item : line.split(',')) {
            const QByteArray coding = item.trimmed().toLower();
            if (coding.isEmpty()) {
                continue; // empty list items are allowed
            }
            if (chunked || (coding != "identity" && coding != "chunked")) {
                return TransferCoding::NotUnderstood; // chunked must come last
            }
            chunked = coding == "chunked";
        }
    }
    return chunked ? TransferCoding::Chunked : TransferCoding::None;
}

void HttpBodyDecoder::start(Framing framing, qint64 length)
{
    m_framing = framing;
    m_state = framing == Framing::Length && length <= 0 ? State::Done : State::Reading;
    m_step = Step::Size;
    m_left = length;
    m_line.clear();
    m_trailerLines = 0;
    m_error.clear();
}

qsizetype HttpBodyDecoder::decode(QByteArrayView in, QByteArray &out)
{
    if (m_state != State::Reading) {
        return 0;
    }
    if (m_framing == Framing::UntilClose) {
        out += in;
        return in.size();
    }
    if (m_framing == Framing::Length) {
        const qsizetype n = qsizetype(std::min<qint64>(m_left, in.size()));
        out += in.first(n);
        m_left -= n;
        if (m_left == 0) {
            m_state = State::Done;
        }
        return n;
    }
    qsizetype taken = 0;
    while (m_state == State::Reading && !in.isEmpty()) {
        if (m_step == Step::Data) {
            const qsizetype n = qsizetype(std::min<qint64>(m_left, in.size()));
            out += in.first(n);
            in = in.sliced(n);
            taken += n;
            m_left -= n;
            if (m_left == 0) {
                m_step = Step::DataEnd;
            }
            continue;
        }
        if (takeLine(in, taken)) {
            onLine();
        }
    }
    return taken;
}

// Moves bytes of `in` into the line being read; true when it is whole.
bool HttpBodyDecoder::takeLine(QByteArrayView &in, qsizetype &taken)
{
    const qsizetype end = in.indexOf('\n');
    const qsizetype n = end < 0 ? in.size() : end + 1;
    if (m_line.size() + n > maxLineBytes) {
        fail(QStringLiteral("chunk framing line longer than %1 bytes").arg(maxLineBytes));
        return false;
    }
    m_line += in.first(end < 0 ? n : end);
    in = in.sliced(n);
    taken += n;
    if (end < 0) {
        return false;
    }
    if (m_line.endsWith('\r')) {
        m_line.chop(1);
    }
    return true;
}

void HttpBodyDecoder::onLine()
{
    const QByteArray line = std::exchange(m_line, {});
    switch (m_step) {
    case Step::Size: {
        const qsizetype semicolon = line.indexOf(';'); // chunk extensions are not used
        const QByteArray digits = (semicolon < 0 ? line : line.left(semicolon)).trimmed();
        qint64 size = 0;
        for (char c : digits) {
            const int digit = hexDigit(c);
            if (digit < 0 || size >= maxChunkBytes) {
                fail(QStringLiteral("bad chunk size"));
                return;
            }
            size = size * 16 + digit;
        }
        if (digits.isEmpty()) {
            fail(QStringLiteral("bad chunk size"));
            return;
        }
        m_left = size;
        m_step = size > 0 ? Step::Data : Step::Trailer;
        return;
    }
    case Step::DataEnd:
        if (!line.isEmpty()) {
            fail(QStringLiteral("chunk longer than its size"));
            return;
        }
        m_step = Step::Size;
        return;
    case Step::Trailer:
        if (line.isEmpty()) {
            m_state = State::Done;
        } else if (++m_trailerLines > maxTrailerLines) {
            fail(QStringLiteral("too many trailer lines"));
        }
        return;
    case Step::Data:
        return;
    }
}

void HttpBodyDecoder::fail(const QString &why)
{
    m_state = State::Bad;
    m_error = why;
    m_line.clear();
}

} // namespace network
