#include "animation/swfreader.h"

#include <lzma.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>

namespace animation::swf {

namespace {

// What one decoder step produced and whether the stream can give more.
struct StepResult
{
    qsizetype written = 0;
    bool more = false;
};

// Grows the output in chunks of at most 64 KiB, never past maxOut, and lets step fill each
// chunk (step(dest, room) writes up to room bytes at dest). Stops at the cap or when step says
// the stream has no more; what came out so far is kept.
template <typename Step> QByteArray drainCapped(qsizetype maxOut, Step step)
{
    constexpr qsizetype chunk = 64 * 1024;
    QByteArray out;
    while (out.size() < maxOut) {
        const qsizetype old = out.size();
        const qsizetype room = std::min(chunk, maxOut - old);
        out.resize(old + room);
        const StepResult r = step(out.data() + old, room);
        out.resize(old + r.written);
        if (!r.more) {
            break;
        }
    }
    return out;
}

QByteArray inflateLzma(QByteArrayView data, qsizetype maxOut)
{
    // ZWS: u32 compressed length (ignored), 5 property bytes, raw LZMA data, maybe no end marker.
    if (data.size() < 9) {
        throw FormatError("LZMA header is truncated");
    }
    lzma_filter filters[2];
    filters[0].id = LZMA_FILTER_LZMA1;
    filters[0].options = nullptr;
    filters[1].id = LZMA_VLI_UNKNOWN;
    filters[1].options = nullptr;
    if (lzma_properties_decode(
            &filters[0], nullptr, reinterpret_cast<const uint8_t *>(data.data() + 4), 5)
        != LZMA_OK) {
        throw FormatError("bad LZMA properties");
    }
    // The properties name a dictionary size of up to 4 GiB; the output never exceeds maxOut,
    // so a dictionary that large is never needed.
    auto *lzmaOptions = static_cast<lzma_options_lzma *>(filters[0].options);
    const std::uint32_t dictCap
        = std::uint32_t(std::clamp<qsizetype>(maxOut, 4096, 64 * 1024 * 1024));
    lzmaOptions->dict_size = std::min(lzmaOptions->dict_size, dictCap);
    lzma_stream strm = LZMA_STREAM_INIT;
    const lzma_ret initRet = lzma_raw_decoder(&strm, filters);
    free(filters[0].options);
    if (initRet != LZMA_OK) {
        throw FormatError("cannot start LZMA decoder");
    }
    strm.next_in = reinterpret_cast<const uint8_t *>(data.data() + 9);
    strm.avail_in = static_cast<size_t>(data.size() - 9);
    QByteArray out = drainCapped(maxOut, [&strm](char *dest, qsizetype room) {
        strm.next_out = reinterpret_cast<uint8_t *>(dest);
        strm.avail_out = static_cast<size_t>(room);
        // End of stream, a data error or truncated input ends it: what came out is kept.
        const lzma_ret ret = lzma_code(&strm, LZMA_FINISH);
        const qsizetype written = room - qsizetype(strm.avail_out);
        return StepResult { written, ret == LZMA_OK && (written > 0 || strm.avail_in > 0) };
    });
    lzma_end(&strm);
    return out;
}

} // namespace

QByteArray inflateCapped(QByteArrayView data, qsizetype maxOut)
{
    z_stream strm {};
    if (inflateInit(&strm) != Z_OK) {
        return {};
    }
    strm.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.data()));
    strm.avail_in = static_cast<uInt>(std::min<qsizetype>(data.size(), 0x7fffffff));
    QByteArray out = drainCapped(maxOut, [&strm](char *dest, qsizetype room) {
        strm.next_out = reinterpret_cast<Bytef *>(dest);
        strm.avail_out = static_cast<uInt>(room);
        const int ret = inflate(&strm, Z_NO_FLUSH);
        const qsizetype written = room - qsizetype(strm.avail_out);
        return StepResult { written, ret == Z_OK && written > 0 };
    });
    inflateEnd(&strm);
    return out;
}

Container unpackContainer(QByteArrayView file, qsizetype maxBody)
{
    if (file.size() < 8) {
        throw FormatError("file is too short for a movie header");
    }
    const char k = file[0];
    if ((k != 'F' && k != 'C' && k != 'Z') || file[1] != 'W' || file[2] != 'S') {
        throw FormatError("not a movie file (bad signature)");
    }
    Container c;
    c.kind = k;
    c.version = static_cast<std::uint8_t>(file[3]);
    std::uint32_t len = 0;
    for (int i = 0; i < 4; ++i) {
        len |= std::uint32_t(static_cast<std::uint8_t>(file[4 + i])) << (8 * i);
    }
    c.declaredLength = len;
    // The declared length is a hint only: a body stops at the real data or the cap.
    const qsizetype declaredBody = len >= 8 ? qsizetype(len) - 8 : 0;
    const qsizetype want = declaredBody > 0 ? std::min(declaredBody, maxBody) : maxBody;
    const QByteArrayView rest = file.sliced(8);
    if (k == 'F') {
        c.body = rest.first(std::min(rest.size(), want)).toByteArray();
    } else if (k == 'C') {
        c.body = inflateCapped(rest, want);
    } else {
        c.body = inflateLzma(rest, want);
    }
    return c;
}

bool ColorTransform::isIdentity() const
{
    for (int i = 0; i < 4; ++i) {
        if (mult[i] != 1.0f || add[i] != 0.0f) {
            return false;
        }
    }
    return true;
}

QColor ColorTransform::apply(const QColor &c) const
{
    if (isIdentity()) {
        return c;
    }
    const float in[4] = { float(c.red()), float(c.green()), float(c.blue()), float(c.alpha()) };
    int out[4];
    for (int i = 0; i < 4; ++i) {
        out[i] = std::clamp(int(in[i] * mult[i] + add[i]), 0, 255);
    }
    return QColor(out[0], out[1], out[2], out[3]);
}

ColorTransform ColorTransform::concat(const ColorTransform &child) const
{
    ColorTransform r;
    for (int i = 0; i < 4; ++i) {
        r.mult[i] = mult[i] * child.mult[i];
        r.add[i] = add[i] + mult[i] * child.add[i];
    }
    return r;
}

void Reader::fail(const char *what) const
{
    throw FormatError(what);
}

void Reader::seek(qsizetype pos)
{
    if (pos < 0 || pos > m_data.size()) {
        fail("seek outside the data");
    }
    m_pos = pos;
    m_bitCount = 0;
}

void Reader::skip(qsizetype count)
{
    align();
    if (count < 0 || count > remaining()) {
        fail("skip past the end");
    }
    m_pos += count;
}

std::uint8_t Reader::u8()
{
    align();
    if (remaining() < 1) {
        fail("unexpected end of data");
    }
    return static_cast<std::uint8_t>(m_data[m_pos++]);
}

std::uint16_t Reader::u16()
{
    const std::uint16_t lo = u8();
    const std::uint16_t hi = u8();
    return std::uint16_t(lo | (hi << 8));
}

std::uint32_t Reader::u32()
{
    const std::uint32_t lo = u16();
    const std::uint32_t hi = u16();
    return lo | (hi << 16);
}

QByteArrayView Reader::bytes(qsizetype count)
{
    align();
    if (count < 0 || count > remaining()) {
        fail("byte run past the end");
    }
    const auto v = m_data.sliced(m_pos, count);
    m_pos += count;
    return v;
}

QByteArrayView Reader::rest()
{
    return bytes(std::max<qsizetype>(0, remaining()));
}

QString Reader::cstring()
{
    align();
    const qsizetype start = m_pos;
    while (m_pos < m_data.size() && m_data[m_pos] != 0) {
        ++m_pos;
    }
    if (m_pos >= m_data.size()) {
        fail("unterminated string");
    }
    const QString s = QString::fromUtf8(m_data.sliced(start, m_pos - start));
    ++m_pos;
    return s;
}

std::uint32_t Reader::ub(int bits)
{
    if (bits < 0 || bits > 32) {
        fail("bad bit count");
    }
    std::uint64_t v = 0;
    for (int i = 0; i < bits; ++i) {
        if (m_bitCount == 0) {
            if (remaining() < 1) {
                fail("bit field past the end");
            }
            m_bitBuf = static_cast<std::uint8_t>(m_data[m_pos++]);
            m_bitCount = 8;
        }
        --m_bitCount;
        v = (v << 1) | ((m_bitBuf >> m_bitCount) & 1u);
    }
    return static_cast<std::uint32_t>(v);
}

std::int32_t Reader::sb(int bits)
{
    if (bits == 0) {
        return 0;
    }
    const std::uint32_t v = ub(bits);
    if (bits >= 32) {
        return static_cast<std::int32_t>(v);
    }
    const std::uint32_t sign = 1u << (bits - 1);
    return static_cast<std::int32_t>(std::int64_t(v ^ sign) - std::int64_t(sign));
}

QRectF Reader::rect()
{
    align();
    const int n = int(ub(5));
    const double xmin = sb(n), xmax = sb(n), ymin = sb(n), ymax = sb(n);
    align();
    return QRectF(QPointF(xmin, ymin), QPointF(xmax, ymax));
}

QTransform Reader::matrix()
{
    align();
    double a = 1, d = 1, b = 0, c = 0;
    if (flag()) {
        const int n = int(ub(5));
        a = fb(n);
        d = fb(n);
    }
    if (flag()) {
        const int n = int(ub(5));
        b = fb(n);
        c = fb(n);
    }
    const int n = int(ub(5));
    const double tx = sb(n);
    const double ty = sb(n);
    align();
    return QTransform(a, b, c, d, tx, ty);
}

ColorTransform Reader::cxform(bool withAlpha)
{
    align();
    ColorTransform t;
    const bool hasAdd = flag();
    const bool hasMult = flag();
    const int n = int(ub(4));
    const int channels = withAlpha ? 4 : 3;
    if (hasMult) {
        for (int i = 0; i < channels; ++i) {
            t.mult[i] = sb(n) / 256.0f;
        }
    }
    if (hasAdd) {
        for (int i = 0; i < channels; ++i) {
            t.add[i] = float(sb(n));
        }
    }
    align();
    return t;
}

QColor Reader::rgb()
{
    const int r = u8(), g = u8(), b = u8();
    return QColor(r, g, b);
}

QColor Reader::rgba()
{
    const int r = u8(), g = u8(), b = u8(), a = u8();
    return QColor(r, g, b, a);
}

void Reader::checkCount(std::uint64_t count, qsizetype minItemBytes) const
{
    if (minItemBytes > 0
        && count
            > std::uint64_t(std::max<qsizetype>(0, remaining())) / std::uint64_t(minItemBytes)) {
        fail("count larger than the data that remains");
    }
}

} // namespace animation::swf
