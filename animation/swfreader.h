#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QColor>
#include <QRectF>
#include <QString>
#include <QTransform>

#include <cstdint>
#include <stdexcept>

namespace animation::swf {

// Thrown for data that cannot be read; the caller drops the tag or the movie.
class FormatError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// Largest body a movie may inflate to; the header's length field is not trusted.
inline constexpr qsizetype maxMovieBytes = 32 * 1024 * 1024;

struct Container
{
    char kind = 'F'; // F, C or Z
    int version = 0;
    std::uint32_t declaredLength = 0;
    QByteArray body; // everything after the 8-byte header, decompressed
};

// Unpacks an FWS, CWS or ZWS file. Throws FormatError for anything that is not one.
Container unpackContainer(QByteArrayView file, qsizetype maxBody = maxMovieBytes);

// Inflates a zlib stream, stopping at maxOut bytes; returns what was produced (may be short).
QByteArray inflateCapped(QByteArrayView data, qsizetype maxOut);

// A colour transform: c' = clamp(c * mult + add). Mults are factors (1.0 = unchanged), adds are
// in 0..255 units.
struct ColorTransform
{
    float mult[4] = { 1, 1, 1, 1 }; // r g b a
    float add[4] = { 0, 0, 0, 0 };

    bool isIdentity() const;
    QColor apply(const QColor &c) const;
    // this (parent) applied after child
    ColorTransform concat(const ColorTransform &child) const;
    bool operator==(const ColorTransform &) const = default;
};

// Bounded little-endian byte and MSB-first bit reader over one tag's bytes. Reads past the end
// throw FormatError; nothing is read outside the view.
class Reader
{
public:
    explicit Reader(QByteArrayView data)
        : m_data(data)
    {
    }

    qsizetype remaining() const { return m_data.size() - m_pos; }
    qsizetype pos() const { return m_pos; }
    bool atEnd() const { return remaining() <= 0; }
    void seek(qsizetype pos);
    void skip(qsizetype count);

    std::uint8_t u8();
    std::uint16_t u16();
    std::uint32_t u32();
    std::int16_t s16() { return static_cast<std::int16_t>(u16()); }
    double fixed8() { return s16() / 256.0; }
    QByteArrayView bytes(qsizetype count);
    QByteArrayView rest();
    QString cstring();

    // Bit access; align() drops the rest of a partly read byte.
    void align() { m_bitCount = 0; }
    std::uint32_t ub(int bits);
    std::int32_t sb(int bits);
    double fb(int bits) { return sb(bits) / 65536.0; }
    bool flag() { return ub(1) != 0; }

    QRectF rect(); // in twips
    QTransform matrix(); // in twips
    ColorTransform cxform(bool withAlpha);
    QColor rgb();
    QColor rgba();

    // Ensures a count of items of at least minItemBytes each can fit in what remains.
    void checkCount(std::uint64_t count, qsizetype minItemBytes) const;

private:
    [[noreturn]] void fail(const char *what) const;

    QByteArrayView m_data;
    qsizetype m_pos = 0;
    std::uint32_t m_bitBuf = 0;
    int m_bitCount = 0;
};

} // namespace animation::swf
