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

template <typename WriteFill> void SwfBuilder::rectShapeWith(int id, QRect r, WriteFill writeFill)
{
    BitWriter w;
    w.u16(id);
    const int x0 = r.left() * 20, y0 = r.top() * 20;
    const int x1 = (r.left() + r.width()) * 20, y1 = (r.top() + r.height()) * 20;
    writeRect(w, x0, x1, y0, y1);
    w.u8(1); // one fill style
    writeFill(w);
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

void SwfBuilder::rectShape(int id, QRect r, const QColor &fill)
{
    rectShapeWith(id, r, [&fill](BitWriter &w) {
        w.u8(0x00);
        w.u8(fill.red());
        w.u8(fill.green());
        w.u8(fill.blue());
        w.u8(fill.alpha());
    });
}

void SwfBuilder::bitmapRectShape(int id, QRect r, int bitmapId, int scale)
{
    rectShapeWith(id, r, [&](BitWriter &w) {
        w.u8(0x43); // clipped, not smoothed
        w.u16(bitmapId);
        // MATRIX: scale (16.16) then translate, in twips per bitmap pixel
        w.bits(1, 1);
        w.bits(31, 5);
        w.sbits(scale * 20 << 16, 31);
        w.sbits(scale * 20 << 16, 31);
        w.bits(0, 1);
        w.bits(20, 5);
        w.sbits(r.left() * 20, 20);
        w.sbits(r.top() * 20, 20);
        w.flush();
    });
}

void SwfBuilder::losslessBitmap(int id, const QImage &image)
{
    const QImage img = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QByteArray pixels;
    for (int y = 0; y < img.height(); ++y) {
        for (int x = 0; x < img.width(); ++x) {
            const QRgb p = img.pixel(x, y);
            pixels.append(char(qAlpha(p)));
            pixels.append(char(qRed(p)));
            pixels.append(char(qGreen(p)));
            pixels.append(char(qBlue(p)));
        }
    }
    uLongf len = compressBound(uLong(pixels.size()));
    QByteArray z(qsizetype(len), '\0');
    compress(reinterpret_cast<Bytef *>(z.data()), &len,
        reinterpret_cast<const Bytef *>(pixels.constData()), uLong(pixels.size()));
    z.resize(qsizetype(len));
    BitWriter w;
    w.u16(id);
    w.u8(5); // 32-bit pixels
    w.u16(img.width());
    w.u16(img.height());
    w.bytes(z);
    tag(36, w.data());
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

void SwfBuilder::placeTransformed(int depth, int id, const int mult[4], const int add[4])
{
    BitWriter w;
    w.u8(0x02 | 0x08);
    w.u16(depth);
    w.u16(id);
    // CXFORMWITHALPHA: HasAddTerms, HasMultTerms, Nbits, then mult terms before add terms
    w.bits(1, 1);
    w.bits(1, 1);
    w.bits(12, 4);
    for (int i = 0; i < 4; ++i) {
        w.sbits(mult[i], 12);
    }
    for (int i = 0; i < 4; ++i) {
        w.sbits(add[i], 12);
    }
    w.flush();
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
