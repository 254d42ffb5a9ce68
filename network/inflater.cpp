#include "network/inflater.h"

#include <zlib.h>

#include <algorithm>

namespace network {

Inflater::Inflater(Coding coding)
    : m_coding(coding)
    , m_stream(std::make_unique<z_stream>())
{
}

Inflater::~Inflater()
{
    if (m_begun) {
        inflateEnd(m_stream.get());
    }
}

// "deflate" is meant as zlib's format, yet some servers send the bare deflate data: the first
// two bytes tell.
bool Inflater::begin(const QByteArray &input)
{
    int windowBits = 15 + 32; // gzip or zlib, from the header
    if (m_coding == Coding::Deflate) {
        if (input.size() < 2) {
            return false;
        }
        const auto b0 = static_cast<unsigned char>(input[0]);
        const auto b1 = static_cast<unsigned char>(input[1]);
        const bool zlibHeader = (b0 & 0x0f) == 8 && (b0 * 256 + b1) % 31 == 0;
        windowBits = zlibHeader ? 15 : -15;
    }
    if (inflateInit2(m_stream.get(), windowBits) != Z_OK) {
        m_state = State::Bad;
        return false;
    }
    m_begun = true;
    return true;
}

void Inflater::inflate(QByteArray &input, QByteArray &out, qint64 maxOut)
{
    if (m_state != State::Reading || input.isEmpty() || maxOut <= 0
        || (!m_begun && !begin(input))) {
        return;
    }
    const qsizetype before = out.size();
    const auto room = static_cast<uInt>(std::min<qint64>(maxOut, 1 << 30));
    out.resize(before + room);
    m_stream->next_in = reinterpret_cast<Bytef *>(input.data());
    m_stream->avail_in = static_cast<uInt>(std::min<qsizetype>(input.size(), 1 << 30));
    m_stream->next_out = reinterpret_cast<Bytef *>(out.data() + before);
    m_stream->avail_out = room;
    const uInt inputBefore = m_stream->avail_in;
    const int result = ::inflate(m_stream.get(), Z_NO_FLUSH);
    out.resize(before + (room - m_stream->avail_out));
    input.remove(0, inputBefore - m_stream->avail_in);
    if (result == Z_STREAM_END) {
        m_state = State::Done;
    } else if (result != Z_OK && result != Z_BUF_ERROR) {
        m_state = State::Bad;
    }
}

} // namespace network
