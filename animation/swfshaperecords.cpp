// Shapes and morph shapes: their styles and the records that draw their edges.
#include "animation/swfparser_p.h"

#include <algorithm>

namespace animation::swf::detail {

namespace {

// Coordinates are kept within this many twips, whatever the deltas add up to.
constexpr qint64 coordLimit = qint64(1) << 30;

// The flags of a style-change record.
enum StyleChange {
    MoveTo = 0x01,
    NewFill0 = 0x02,
    NewFill1 = 0x04,
    NewLine = 0x08,
    NewStyles = 0x10,
};

} // namespace

void Parser::useEdges(qint64 count)
{
    m_edges += count;
    if (m_edges > m_limits.maxEdgesPerMovie) {
        throw FormatError("too many edges in the movie");
    }
}

void Parser::shapeRecords(
    Reader &r, int version, std::vector<ShapeLayer> &layers, bool allowNewStyles)
{
    r.align();
    int fillBits = int(r.ub(4));
    int lineBits = int(r.ub(4));
    qint64 x = 0, y = 0;
    int fill0 = 0, fill1 = 0, line = 0;
    int edges = 0;
    auto clampCoord = [](qint64 v) { return std::clamp(v, -coordLimit, coordLimit); };
    for (;;) {
        if (r.flag()) {
            const bool straight = r.flag();
            const int n = int(r.ub(4)) + 2;
            Edge e;
            e.from = QPointF(double(x), double(y));
            if (straight) {
                qint64 dx = 0, dy = 0;
                if (r.flag()) {
                    dx = r.sb(n);
                    dy = r.sb(n);
                } else if (r.flag()) {
                    dy = r.sb(n);
                } else {
                    dx = r.sb(n);
                }
                x = clampCoord(x + dx);
                y = clampCoord(y + dy);
            } else {
                const qint64 cdx = r.sb(n), cdy = r.sb(n), adx = r.sb(n), ady = r.sb(n);
                const qint64 cx = clampCoord(x + cdx), cy = clampCoord(y + cdy);
                x = clampCoord(cx + adx);
                y = clampCoord(cy + ady);
                e.curve = true;
                e.control = QPointF(double(cx), double(cy));
            }
            e.to = QPointF(double(x), double(y));
            e.fill0 = fill0;
            e.fill1 = fill1;
            e.line = line;
            if (++edges > m_limits.maxEdgesPerShape) {
                throw FormatError("too many edges in one shape");
            }
            layers.back().edges.push_back(e);
            continue;
        }
        const int flags = int(r.ub(5));
        if (flags == 0) {
            break;
        }
        if (flags & MoveTo) {
            const int n = int(r.ub(5));
            x = r.sb(n);
            y = r.sb(n);
        }
        if (flags & NewFill0) {
            fill0 = int(r.ub(fillBits));
        }
        if (flags & NewFill1) {
            fill1 = int(r.ub(fillBits));
        }
        if (flags & NewLine) {
            line = int(r.ub(lineBits));
        }
        if (flags & NewStyles) {
            if (!allowNewStyles) {
                throw FormatError("new styles where none are allowed");
            }
            ShapeLayer next;
            next.fills = readFillStyles(r, version, smoothBitmaps());
            next.lines = readLineStyles(r, version, smoothBitmaps());
            fillBits = int(r.ub(4));
            lineBits = int(r.ub(4));
            layers.push_back(std::move(next));
            if (!(flags & NewFill0)) {
                fill0 = 0;
            }
            if (!(flags & NewFill1)) {
                fill1 = 0;
            }
            if (!(flags & NewLine)) {
                line = 0;
            }
        }
    }
    useEdges(edges);
}

void Parser::defineShape(Reader &r, int version)
{
    const int id = r.u16();
    auto shape = std::make_shared<Shape>();
    shape->bounds = r.rect();
    if (version == 4) {
        r.rect(); // edge bounds
        const int flags = r.u8();
        shape->nonZero = (flags & 0x04) != 0;
    }
    shape->layers.emplace_back();
    shape->layers.back().fills = readFillStyles(r, version, smoothBitmaps());
    shape->layers.back().lines = readLineStyles(r, version, smoothBitmaps());
    shapeRecords(r, version, shape->layers, true);
    for (const ShapeLayer &layer : shape->layers) {
        shape->built.push_back(buildLayer(layer));
    }
    addCharacter(id, Character::ShapeKind, &Character::shape, std::move(shape));
}

void Parser::defineMorph(Reader &r, int version)
{
    const int id = r.u16();
    auto morph = std::make_shared<MorphShape>();
    morph->startBounds = r.rect();
    morph->endBounds = r.rect();
    if (version == 2) {
        r.rect(); // start edge bounds
        r.rect(); // end edge bounds
        r.u8(); // flags
    }
    const std::uint32_t offset = r.u32();
    const qsizetype endEdgesAt = r.pos() + qsizetype(std::min<std::uint32_t>(offset, 0x7fffffff));
    readMorphStyles(r, version, smoothBitmaps(), morph->start, morph->end);
    // The start's edges, then the end's from where the offset says; neither may change styles.
    std::vector<ShapeLayer> startLayers(1);
    shapeRecords(r, 3, startLayers, false);
    morph->start.edges = std::move(startLayers[0].edges);
    r.seek(endEdgesAt);
    std::vector<ShapeLayer> endLayers(1);
    shapeRecords(r, 3, endLayers, false);
    morph->end.edges = std::move(endLayers[0].edges);
    addCharacter(id, Character::MorphKind, &Character::morph, std::move(morph));
}

} // namespace animation::swf::detail
