// Fill and line styles. A shape's style record holds one style; a morph shape's holds two, the
// start's and the end's, written value by value (the start's value, then the end's). One reader
// serves both: it reads each value once for every style it fills.
#include "animation/swfparser_p.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <span>

namespace animation::swf::detail {

namespace {

enum class FillType : std::uint8_t {
    Solid = 0x00,
    LinearGradient = 0x10,
    RadialGradient = 0x12,
    FocalGradient = 0x13,
    RepeatingBitmap = 0x40,
    ClippedBitmap = 0x41,
    RepeatingHardBitmap = 0x42, // never smoothed
    ClippedHardBitmap = 0x43,
};

// The codes of line caps and joins in the newer line styles (DefineShape4, DefineMorphShape2).
enum CapCode { CapRound = 0, CapFlat = 1, CapSquare = 2 };
enum JoinCode { JoinRound = 0, JoinBevel = 1, JoinMiter = 2 };

Qt::PenCapStyle capStyle(int code)
{
    return code == CapFlat ? Qt::FlatCap : code == CapSquare ? Qt::SquareCap : Qt::RoundCap;
}

Qt::PenJoinStyle joinStyle(int code)
{
    return code == JoinBevel ? Qt::BevelJoin : code == JoinMiter ? Qt::MiterJoin : Qt::RoundJoin;
}

// Sets what a fill's type alone decides: its kind and, for a bitmap, whether it repeats and is
// smoothed. Returns false for a type that names no fill.
bool setFillType(FillStyle &fill, std::uint8_t type, bool smoothBitmaps)
{
    const auto t = FillType(type);
    switch (t) {
    case FillType::Solid:
        fill.kind = FillStyle::Solid;
        return true;
    case FillType::LinearGradient:
    case FillType::RadialGradient:
    case FillType::FocalGradient:
        fill.kind = t == FillType::LinearGradient ? FillStyle::Linear
            : t == FillType::RadialGradient       ? FillStyle::Radial
                                                  : FillStyle::Focal;
        return true;
    case FillType::RepeatingBitmap:
    case FillType::ClippedBitmap:
    case FillType::RepeatingHardBitmap:
    case FillType::ClippedHardBitmap:
        fill.kind = FillStyle::Bitmap;
        fill.repeat = t == FillType::RepeatingBitmap || t == FillType::RepeatingHardBitmap;
        fill.smooth
            = (t == FillType::RepeatingBitmap || t == FillType::ClippedBitmap) && smoothBitmaps;
        return true;
    }
    return false;
}

// Colours carry alpha from DefineShape3 on (and always in morph shapes, read as version 3).
QColor readColor(Reader &r, int version)
{
    return version >= 3 ? r.rgba() : r.rgb();
}

// A style array's length: one byte, or 0xFF and two more where the tag allows it.
int readCount(Reader &r, bool extended)
{
    int count = r.u8();
    if (count == 0xFF && extended) {
        count = r.u16();
    }
    return count;
}

// One fill style record into each of fills (one style, or a morph's start and end).
void readFill(Reader &r, int version, bool smoothBitmaps, std::span<FillStyle *const> fills)
{
    const std::uint8_t type = r.u8();
    for (FillStyle *fill : fills) {
        if (!setFillType(*fill, type, smoothBitmaps)) {
            throw FormatError(
                fills.size() == 1 ? "unknown fill style type" : "unknown morph fill type");
        }
    }
    switch (fills.front()->kind) {
    case FillStyle::Solid:
        for (FillStyle *fill : fills) {
            fill->color = readColor(r, version);
        }
        break;
    case FillStyle::Linear:
    case FillStyle::Radial:
    case FillStyle::Focal: {
        for (FillStyle *fill : fills) {
            fill->matrix = r.matrix();
        }
        const int flags = r.u8();
        for (FillStyle *fill : fills) {
            fill->spread = std::min((flags >> 6) & 3, 2);
            fill->linearRgb = ((flags >> 4) & 3) == 1;
        }
        const int count = flags & 0x0F;
        for (int i = 0; i < count; ++i) {
            for (FillStyle *fill : fills) {
                const double ratio = r.u8() / 255.0;
                const QColor color = readColor(r, version);
                fill->stops.push_back({ ratio, color });
            }
        }
        if (fills.front()->kind == FillStyle::Focal) {
            for (FillStyle *fill : fills) {
                fill->focal = std::clamp(r.fixed8(), -0.98, 0.98);
            }
        }
        break;
    }
    case FillStyle::Bitmap: {
        const int bitmapId = r.u16();
        for (FillStyle *fill : fills) {
            fill->bitmapId = bitmapId;
            fill->matrix = r.matrix();
        }
        break;
    }
    }
}

// One line style record into each of lines. lineStyle2: the newer record, with cap, join and
// perhaps a fill; the older one holds a width and a colour only.
void readLine(
    Reader &r, int version, bool lineStyle2, bool smoothBitmaps, std::span<LineStyle *const> lines)
{
    for (LineStyle *line : lines) {
        line->width = r.u16();
    }
    if (!lineStyle2) {
        for (LineStyle *line : lines) {
            line->color = readColor(r, version);
        }
        return;
    }
    const int cap = int(r.ub(2)); // of the start of a line
    const int join = int(r.ub(2));
    const bool hasFill = r.flag();
    r.ub(3); // no horizontal scaling, no vertical scaling, pixel hinting
    r.ub(8); // reserved (5), no close (1), the cap of the end of a line (2)
    const std::optional<double> miterLimit
        = join == JoinMiter ? std::optional(std::max(1.0, r.fixed8())) : std::nullopt;
    FillStyle *fills[2] = {};
    for (std::size_t i = 0; i < lines.size(); ++i) {
        LineStyle *line = lines[i];
        line->cap = capStyle(cap);
        line->join = joinStyle(join);
        if (miterLimit) {
            line->miterLimit = *miterLimit;
        }
        line->hasFill = hasFill;
        fills[i] = &line->fill;
    }
    if (hasFill) {
        readFill(r, version, smoothBitmaps, std::span(fills, lines.size()));
        for (LineStyle *line : lines) {
            line->color = line->fill.color;
        }
    } else {
        for (LineStyle *line : lines) {
            line->color = r.rgba();
        }
    }
}

} // namespace

std::vector<FillStyle> readFillStyles(Reader &r, int version, bool smoothBitmaps)
{
    const int count = readCount(r, version >= 2);
    r.checkCount(std::uint64_t(count), 2);
    std::vector<FillStyle> fills(count);
    for (FillStyle &fill : fills) {
        FillStyle *one[] = { &fill };
        readFill(r, version, smoothBitmaps, one);
    }
    return fills;
}

std::vector<LineStyle> readLineStyles(Reader &r, int version, bool smoothBitmaps)
{
    const int count = readCount(r, true);
    r.checkCount(std::uint64_t(count), 4);
    std::vector<LineStyle> lines(count);
    for (LineStyle &line : lines) {
        LineStyle *one[] = { &line };
        readLine(r, version, version >= 4, smoothBitmaps, one);
    }
    return lines;
}

void readMorphStyles(Reader &r, int version, bool smoothBitmaps, ShapeLayer &start, ShapeLayer &end)
{
    // Colours with alpha, as in DefineShape3.
    constexpr int colorVersion = 3;
    const int fillCount = readCount(r, true);
    r.checkCount(std::uint64_t(fillCount), 3);
    for (int i = 0; i < fillCount; ++i) {
        FillStyle a, b;
        FillStyle *pair[] = { &a, &b };
        readFill(r, colorVersion, smoothBitmaps, pair);
        start.fills.push_back(a);
        end.fills.push_back(b);
    }
    const int lineCount = readCount(r, true);
    r.checkCount(std::uint64_t(lineCount), 10);
    for (int i = 0; i < lineCount; ++i) {
        LineStyle a, b;
        LineStyle *pair[] = { &a, &b };
        readLine(r, colorVersion, version == 2, smoothBitmaps, pair);
        start.lines.push_back(a);
        end.lines.push_back(b);
    }
}

} // namespace animation::swf::detail
