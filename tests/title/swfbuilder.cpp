#include "swfbuilder.h"

#include <QRect>

#include <zlib.h>

void BitWriter::bits(std::uint32_t value, int count)
{
    for (int i = count - 1; i >= 0; --i) {
        m_acc = (m_acc << 1) | ((value >> i) & 1u);
        if (++m_count == 8) {
            m_data.append(char(m_acc & 0xFF));
            m_acc = 0;
            m_count = 0;
        }
    }
}

void BitWriter::flush()
{
    if (m_count > 0) {
        bits(0, 8 - m_count);
    }
}

void BitWriter::u8(int v)
{
    flush();
    m_data.append(char(v & 0xFF));
}

void BitWriter::u16(int v)
{
    u8(v);
    u8(v >> 8);
}

void BitWriter::u32(std::uint32_t v)
{
    u16(int(v & 0xFFFF));
    u16(int(v >> 16));
}

void BitWriter::bytes(const QByteArray &b)
{
    flush();
    m_data.append(b);
}

const QByteArray &BitWriter::data()
{
    flush();
    return m_data;
}

namespace {

void writeRect(BitWriter &w, int xmin, int xmax, int ymin, int ymax)
{
    const int n = 20;
    w.bits(n, 5);
    w.sbits(xmin, n);
    w.sbits(xmax, n);
    w.sbits(ymin, n);
    w.sbits(ymax, n);
    w.flush();
}

void writeTranslate(BitWriter &w, int tx, int ty)
{
    w.bits(0, 1);
    w.bits(0, 1);
    w.bits(20, 5);
    w.sbits(tx, 20);
    w.sbits(ty, 20);
    w.flush();
}

} // namespace

SwfBuilder::SwfBuilder(int widthPx, int heightPx, int fps)
    : m_width(widthPx)
    , m_height(heightPx)
    , m_fps(fps)
{
}

QByteArray SwfBuilder::tagBytes(int code, const QByteArray &body)
{
    BitWriter w;
    if (body.size() < 0x3F) {
        w.u16((code << 6) | int(body.size()));
    } else {
        w.u16((code << 6) | 0x3F);
        w.u32(std::uint32_t(body.size()));
    }
    w.bytes(body);
    return w.data();
}

void SwfBuilder::tag(int code, const QByteArray &body)
{
    m_tags += tagBytes(code, body);
}

void SwfBuilder::background(const QColor &c)
{
    BitWriter w;
    w.u8(c.red());
    w.u8(c.green());
    w.u8(c.blue());
    tag(9, w.data());
}

void SwfBuilder::rectShape(int id, QRect r, const QColor &fill)
{
    BitWriter w;
    w.u16(id);
    const int x0 = r.left() * 20, y0 = r.top() * 20;
    const int x1 = (r.left() + r.width()) * 20, y1 = (r.top() + r.height()) * 20;
    writeRect(w, x0, x1, y0, y1);
    w.u8(1); // one fill style
    w.u8(0x00);
    w.u8(fill.red());
    w.u8(fill.green());
    w.u8(fill.blue());
    w.u8(fill.alpha());
    w.u8(0); // no line styles
    w.bits(1, 4); // fill bits
    w.bits(0, 4); // line bits
    // style change: moveTo + fill1 = 1
    w.bits(0, 1);
    w.bits(0x05, 5);
    w.bits(20, 5);
    w.sbits(x0, 20);
    w.sbits(y0, 20);
    w.bits(1, 1);
    auto line = [&w](int dx, int dy) {
        w.bits(1, 1); // edge
        w.bits(1, 1); // straight
        w.bits(17 - 2, 4);
        w.bits(1, 1); // general
        w.sbits(dx, 17);
        w.sbits(dy, 17);
    };
    line(x1 - x0, 0);
    line(0, y1 - y0);
    line(x0 - x1, 0);
    line(0, y0 - y1);
    w.bits(0, 6); // end
    tag(32, w.data());
}

void SwfBuilder::place(int depth, int id, int xPx, int yPx)
{
    BitWriter w;
    w.u8(0x02 | 0x04);
    w.u16(depth);
    w.u16(id);
    writeTranslate(w, xPx * 20, yPx * 20);
    tag(26, w.data());
}

void SwfBuilder::move(int depth, int xPx, int yPx)
{
    BitWriter w;
    w.u8(0x01 | 0x04);
    w.u16(depth);
    writeTranslate(w, xPx * 20, yPx * 20);
    tag(26, w.data());
}

void SwfBuilder::remove(int depth)
{
    BitWriter w;
    w.u16(depth);
    tag(28, w.data());
}

void SwfBuilder::sprite(int id, const QByteArray &innerTags, int frames)
{
    BitWriter w;
    w.u16(id);
    w.u16(frames);
    w.bytes(innerTags);
    w.bytes(tagBytes(0, {}));
    tag(39, w.data());
}

void SwfBuilder::stopAction()
{
    tag(12, QByteArray("\x07\x00", 2));
}

void SwfBuilder::gotoFrameAction(int frame0)
{
    BitWriter w;
    w.u8(0x81);
    w.u16(2);
    w.u16(frame0);
    w.u8(0);
    tag(12, w.data());
}

void SwfBuilder::frameLabel(const QString &label)
{
    QByteArray b = label.toUtf8();
    b.append('\0');
    tag(43, b);
}

QByteArray SwfBuilder::header(int frameCount) const
{
    BitWriter w;
    writeRect(w, 0, m_width * 20, 0, m_height * 20);
    w.u16(m_fps << 8);
    w.u16(frameCount);
    return w.data();
}

QByteArray SwfBuilder::fws(int frameCount) const
{
    const QByteArray body = header(frameCount) + m_tags + tagBytes(0, {});
    BitWriter w;
    w.bytes("FWS");
    w.u8(10);
    w.u32(std::uint32_t(body.size() + 8));
    w.bytes(body);
    return w.data();
}

QByteArray SwfBuilder::cws(int frameCount) const
{
    const QByteArray body = header(frameCount) + m_tags + tagBytes(0, {});
    uLongf len = compressBound(uLong(body.size()));
    QByteArray z(qsizetype(len), '\0');
    compress(reinterpret_cast<Bytef *>(z.data()), &len,
        reinterpret_cast<const Bytef *>(body.constData()), uLong(body.size()));
    z.resize(qsizetype(len));
    BitWriter w;
    w.bytes("CWS");
    w.u8(10);
    w.u32(std::uint32_t(body.size() + 8));
    w.bytes(z);
    return w.data();
}
