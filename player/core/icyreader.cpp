#include "player/core/icyreader.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <utility>

namespace player {

IcyReader::IcyReader(qint64 interval)
    : m_interval(interval)
    , m_audioLeft(interval)
    , m_broken(!validInterval(interval))
{
}

std::optional<qint64> IcyReader::intervalOf(const QList<QByteArray> &values)
{
    std::optional<qint64> interval;
    for (const QByteArray &value : values) {
        bool ok = false;
        const qint64 n = value.trimmed().toLongLong(&ok);
        if (!ok || (n != 0 && !validInterval(n)) || (interval && *interval != n)) {
            return std::nullopt;
        }
        interval = n;
    }
    return interval.value_or(0);
}

int IcyReader::strip(std::uint8_t *buf, int size)
{
    if (m_broken) {
        return -1;
    }
    int in = 0;
    int out = 0;
    while (in < size) {
        if (m_blockLeft < 0) {
            const int audio = int(std::min<qint64>(m_audioLeft, size - in));
            std::memmove(buf + out, buf + in, size_t(audio));
            in += audio;
            out += audio;
            m_audioLeft -= audio;
            if (m_audioLeft == 0 && in < size) {
                m_blockLeft = buf[in++] * 16;
                m_block.clear();
                if (m_blockLeft == 0 && !endBlock()) {
                    return -1;
                }
            }
            continue;
        }
        const int part = std::min(m_blockLeft, size - in);
        m_block.append(reinterpret_cast<const char *>(buf + in), part);
        in += part;
        m_blockLeft -= part;
        if (m_blockLeft == 0 && !endBlock()) {
            return -1;
        }
    }
    return out;
}

bool IcyReader::endBlock()
{
    m_blockLeft = -1;
    m_audioLeft = m_interval;
    const Block block = parseBlock(m_block);
    m_broken = !block.valid;
    if (block.title) {
        m_title = block.title;
    }
    return !m_broken;
}

std::optional<QByteArray> IcyReader::takeTitle()
{
    return std::exchange(m_title, std::nullopt);
}

namespace {

bool isKeyChar(char c)
{
    return std::isalnum(uchar(c)) || c == '_' || c == '-';
}

bool isPadding(char c)
{
    return c == '\0' || c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

} // namespace

IcyReader::Block IcyReader::parseBlock(QByteArrayView text)
{
    while (!text.isEmpty() && isPadding(text.back())) {
        text.chop(1);
    }
    Block block;
    qsizetype at = 0;
    while (at < text.size()) {
        const qsizetype keyStart = at;
        while (at < text.size() && isKeyChar(text[at])) {
            ++at;
        }
        if (at == keyStart || !text.sliced(at).startsWith("='")) {
            return {};
        }
        const QByteArrayView key = text.sliced(keyStart, at - keyStart);
        at += 2;
        // A value may hold quotes: it ends at "';" or at a quote ending the text.
        qsizetype end = text.indexOf("';", at);
        qsizetype next = end + 2;
        if (end < 0) {
            if (!text.endsWith('\'') || text.size() - 1 < at) {
                return {};
            }
            end = text.size() - 1;
            next = text.size();
        }
        if (key == "StreamTitle") {
            QByteArray title = text.sliced(at, end - at).toByteArray();
            std::replace_if(
                title.begin(), title.end(), [](char c) { return uchar(c) < 0x20; }, ' ');
            block.title = std::move(title);
        }
        at = next;
        while (at < text.size() && isPadding(text[at])) {
            ++at; // between pairs
        }
    }
    block.valid = true;
    return block;
}

} // namespace player
