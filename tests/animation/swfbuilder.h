#pragma once

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QRect>

#include <cstdint>

// Writes small movies for tests: tags, bit-packed records and the file header.
class BitWriter
{
public:
    void bits(std::uint32_t value, int count);
    void sbits(std::int32_t value, int count) { bits(std::uint32_t(value), count); }
    void flush();
    void u8(int v);
    void u16(int v);
    void u32(std::uint32_t v);
    void bytes(const QByteArray &b);
    const QByteArray &data();

private:
    QByteArray m_data;
    std::uint32_t m_acc = 0;
    int m_count = 0;
};

class SwfBuilder
{
public:
    SwfBuilder(int widthPx, int heightPx, int fps = 12);

    void tag(int code, const QByteArray &body);
    void background(const QColor &c);
    // A solid rectangle shape (DefineShape3, RGBA fill) covering x,y,w,h pixels.
    void rectShape(int id, QRect rectPx, const QColor &fill);
    // A lossless bitmap with alpha (DefineBitsLossless2, 32-bit pixels).
    void losslessBitmap(int id, const QImage &image);
    // A rectangle filled with a bitmap, clipped and unsmoothed, one bitmap pixel per scale pixels.
    void bitmapRectShape(int id, QRect rectPx, int bitmapId, int scale);
    void place(int depth, int id, int xPx = 0, int yPx = 0);
    // Places with a colour transform: mult in 1/256 units, add in 0..255 units, r g b a.
    void placeTransformed(int depth, int id, const int mult[4], const int add[4]);
    void move(int depth, int xPx, int yPx);
    void remove(int depth);
    void sprite(int id, const QByteArray &innerTags, int frames);
    void stopAction();
    void gotoFrameAction(int frame0);
    void showFrame() { tag(1, {}); }
    void frameLabel(const QString &label);

    QByteArray fws(int frameCount) const;
    QByteArray cws(int frameCount) const;
    const QByteArray &tags() const { return m_tags; }

    static QByteArray tagBytes(int code, const QByteArray &body);

private:
    QByteArray header(int frameCount) const;
    template <typename WriteFill> void rectShapeWith(int id, QRect rectPx, WriteFill writeFill);

    int m_width;
    int m_height;
    int m_fps;
    QByteArray m_tags;
};
