#include "animation/swfmovie.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace animation::swf {

namespace {

enum Tag {
    End = 0,
    ShowFrame = 1,
    DefineShape = 2,
    PlaceObject = 4,
    RemoveObject = 5,
    DefineBits = 6,
    JpegTables = 8,
    SetBackgroundColor = 9,
    DefineFont = 10,
    DefineText = 11,
    DoAction = 12,
    DefineBitsLossless = 20,
    DefineBitsJpeg2 = 21,
    DefineShape2 = 22,
    PlaceObject2 = 26,
    RemoveObject2 = 28,
    DefineShape3 = 32,
    DefineText2 = 33,
    DefineBitsJpeg3 = 35,
    DefineBitsLossless2 = 36,
    DefineSprite = 39,
    FrameLabel = 43,
    DefineMorphShape = 46,
    DefineFont2 = 48,
    PlaceObject3 = 70,
    DefineFont3 = 75,
    DefineShape4 = 83,
    DefineMorphShape2 = 84,
};

Action makeAction(Action::Kind kind)
{
    Action a;
    a.kind = kind;
    return a;
}

constexpr qint64 coordLimit = qint64(1) << 30;

class Parser
{
public:
    Parser(Movie &movie, const Limits &limits)
        : m_movie(movie)
        , m_limits(limits)
    {
    }

    void parseTags(Reader &r, Timeline &timeline, bool inSprite);

private:
    void handleTag(int code, Reader &r, Timeline &timeline, Frame &frame, bool inSprite);
    void defineShape(Reader &r, int version);
    void defineMorph(Reader &r, int version);
    void defineFont(Reader &r, int version);
    void defineText(Reader &r, int version);
    void defineSprite(Reader &r);
    void defineBitmap(int id, QImage img);
    PlaceCommand placeObject(Reader &r, int version);
    std::vector<Action> doAction(Reader &r);

    FillStyle fillStyle(Reader &r, int version);
    std::vector<FillStyle> fillStyles(Reader &r, int version);
    std::vector<LineStyle> lineStyles(Reader &r, int version);
    std::vector<GradientStop> gradient(Reader &r, int version, FillStyle &fill);
    void morphFill(Reader &r, FillStyle &a, FillStyle &b);
    void morphLines(Reader &r, int version, ShapeLayer &a, ShapeLayer &b);
    void shapeRecords(Reader &r, int version, std::vector<ShapeLayer> &layers, bool allowNewStyles);
    QPainterPath glyph(QByteArrayView data);

    void useEdges(qint64 count);
    void commandAdded();

    Movie &m_movie;
    const Limits &m_limits;
    QByteArray m_jpegTables;
    qint64 m_edges = 0;
    qint64 m_bitmapPixels = 0;
    int m_commands = 0;
};

void Parser::useEdges(qint64 count)
{
    m_edges += count;
    if (m_edges > m_limits.maxEdgesPerMovie) {
        throw FormatError("too many edges in the movie");
    }
}

void Parser::commandAdded()
{
    if (++m_commands > m_limits.maxCommandsPerMovie) {
        throw FormatError("too many timeline commands");
    }
}

std::vector<GradientStop> Parser::gradient(Reader &r, int version, FillStyle &fill)
{
    const int flags = r.u8();
    fill.spread = std::min((flags >> 6) & 3, 2);
    fill.linearRgb = ((flags >> 4) & 3) == 1;
    const int count = flags & 0x0F;
    std::vector<GradientStop> stops;
    for (int i = 0; i < count; ++i) {
        const double ratio = r.u8() / 255.0;
        const QColor c = version >= 3 ? r.rgba() : r.rgb();
        stops.push_back({ ratio, c });
    }
    return stops;
}

FillStyle Parser::fillStyle(Reader &r, int version)
{
    FillStyle f;
    const int type = r.u8();
    switch (type) {
    case 0x00:
        f.kind = FillStyle::Solid;
        f.color = version >= 3 ? r.rgba() : r.rgb();
        break;
    case 0x10:
    case 0x12:
    case 0x13:
        f.kind = type == 0x10 ? FillStyle::Linear
            : type == 0x12    ? FillStyle::Radial
                              : FillStyle::Focal;
        f.matrix = r.matrix();
        f.stops = gradient(r, version, f);
        if (type == 0x13) {
            f.focal = std::clamp(r.fixed8(), -0.98, 0.98);
        }
        break;
    case 0x40:
    case 0x41:
    case 0x42:
    case 0x43:
        f.kind = FillStyle::Bitmap;
        f.bitmapId = r.u16();
        f.matrix = r.matrix();
        f.repeat = type == 0x40 || type == 0x42;
        f.smooth = (type == 0x40 || type == 0x41) && m_movie.version >= 8;
        break;
    default:
        throw FormatError("unknown fill style type");
    }
    return f;
}

std::vector<FillStyle> Parser::fillStyles(Reader &r, int version)
{
    int count = r.u8();
    if (count == 0xFF && version >= 2) {
        count = r.u16();
    }
    r.checkCount(std::uint64_t(count), 2);
    std::vector<FillStyle> fills;
    fills.reserve(count);
    for (int i = 0; i < count; ++i) {
        fills.push_back(fillStyle(r, version));
    }
    return fills;
}

std::vector<LineStyle> Parser::lineStyles(Reader &r, int version)
{
    int count = r.u8();
    if (count == 0xFF) {
        count = r.u16();
    }
    r.checkCount(std::uint64_t(count), 4);
    std::vector<LineStyle> lines;
    lines.reserve(count);
    for (int i = 0; i < count; ++i) {
        LineStyle l;
        l.width = r.u16();
        if (version >= 4) {
            const int capStart = int(r.ub(2));
            const int join = int(r.ub(2));
            l.hasFill = r.flag();
            r.ub(3); // no-h-scale, no-v-scale, pixel hinting
            r.ub(5); // reserved
            r.ub(1); // no close
            r.ub(2); // end cap
            l.cap = capStart == 1 ? Qt::FlatCap : capStart == 2 ? Qt::SquareCap : Qt::RoundCap;
            l.join = join == 1 ? Qt::BevelJoin : join == 2 ? Qt::MiterJoin : Qt::RoundJoin;
            if (join == 2) {
                l.miterLimit = std::max(1.0, r.fixed8());
            }
            if (l.hasFill) {
                l.fill = fillStyle(r, version);
                l.color = l.fill.color;
            } else {
                l.color = r.rgba();
            }
        } else {
            l.color = version >= 3 ? r.rgba() : r.rgb();
        }
        lines.push_back(l);
    }
    return lines;
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
        if (flags & 0x01) {
            const int n = int(r.ub(5));
            x = r.sb(n);
            y = r.sb(n);
        }
        if (flags & 0x02) {
            fill0 = int(r.ub(fillBits));
        }
        if (flags & 0x04) {
            fill1 = int(r.ub(fillBits));
        }
        if (flags & 0x08) {
            line = int(r.ub(lineBits));
        }
        if (flags & 0x10) {
            if (!allowNewStyles) {
                throw FormatError("new styles where none are allowed");
            }
            ShapeLayer next;
            next.fills = fillStyles(r, version);
            next.lines = lineStyles(r, version);
            fillBits = int(r.ub(4));
            lineBits = int(r.ub(4));
            layers.push_back(std::move(next));
            if (!(flags & 0x02)) {
                fill0 = 0;
            }
            if (!(flags & 0x04)) {
                fill1 = 0;
            }
            if (!(flags & 0x08)) {
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
    shape->layers.back().fills = fillStyles(r, version);
    shape->layers.back().lines = lineStyles(r, version);
    shapeRecords(r, version, shape->layers, true);
    for (const ShapeLayer &layer : shape->layers) {
        shape->built.push_back(buildLayer(layer));
    }
    Character c;
    c.kind = Character::ShapeKind;
    c.shape = std::move(shape);
    m_movie.characters.insert(id, c);
}

void Parser::morphFill(Reader &r, FillStyle &a, FillStyle &b)
{
    const int type = r.u8();
    switch (type) {
    case 0x00:
        a.kind = b.kind = FillStyle::Solid;
        a.color = r.rgba();
        b.color = r.rgba();
        break;
    case 0x10:
    case 0x12:
    case 0x13: {
        a.kind = b.kind = type == 0x10 ? FillStyle::Linear
            : type == 0x12             ? FillStyle::Radial
                                       : FillStyle::Focal;
        a.matrix = r.matrix();
        b.matrix = r.matrix();
        const int flags = r.u8();
        a.spread = b.spread = std::min((flags >> 6) & 3, 2);
        a.linearRgb = b.linearRgb = ((flags >> 4) & 3) == 1;
        const int count = flags & 0x0F;
        for (int i = 0; i < count; ++i) {
            const double ra = r.u8() / 255.0;
            const QColor ca = r.rgba();
            const double rb = r.u8() / 255.0;
            const QColor cb = r.rgba();
            a.stops.push_back({ ra, ca });
            b.stops.push_back({ rb, cb });
        }
        if (type == 0x13) {
            a.focal = std::clamp(r.fixed8(), -0.98, 0.98);
            b.focal = std::clamp(r.fixed8(), -0.98, 0.98);
        }
        break;
    }
    case 0x40:
    case 0x41:
    case 0x42:
    case 0x43:
        a.kind = b.kind = FillStyle::Bitmap;
        a.bitmapId = b.bitmapId = r.u16();
        a.matrix = r.matrix();
        b.matrix = r.matrix();
        a.repeat = b.repeat = type == 0x40 || type == 0x42;
        a.smooth = b.smooth = (type == 0x40 || type == 0x41) && m_movie.version >= 8;
        break;
    default:
        throw FormatError("unknown morph fill type");
    }
}

void Parser::morphLines(Reader &r, int version, ShapeLayer &a, ShapeLayer &b)
{
    int count = r.u8();
    if (count == 0xFF) {
        count = r.u16();
    }
    r.checkCount(std::uint64_t(count), 10);
    for (int i = 0; i < count; ++i) {
        LineStyle la, lb;
        la.width = r.u16();
        lb.width = r.u16();
        if (version == 2) {
            const int cap = int(r.ub(2));
            const int join = int(r.ub(2));
            const bool hasFill = r.flag();
            r.ub(3);
            r.ub(8);
            la.cap = lb.cap = cap == 1 ? Qt::FlatCap : cap == 2 ? Qt::SquareCap : Qt::RoundCap;
            la.join = lb.join = join == 1 ? Qt::BevelJoin
                : join == 2               ? Qt::MiterJoin
                                          : Qt::RoundJoin;
            if (join == 2) {
                la.miterLimit = lb.miterLimit = std::max(1.0, r.fixed8());
            }
            if (hasFill) {
                la.hasFill = lb.hasFill = true;
                morphFill(r, la.fill, lb.fill);
                la.color = la.fill.color;
                lb.color = lb.fill.color;
            } else {
                la.color = r.rgba();
                lb.color = r.rgba();
            }
        } else {
            la.color = r.rgba();
            lb.color = r.rgba();
        }
        a.lines.push_back(la);
        b.lines.push_back(lb);
    }
}

void Parser::defineMorph(Reader &r, int version)
{
    const int id = r.u16();
    auto morph = std::make_shared<MorphShape>();
    morph->startBounds = r.rect();
    morph->endBounds = r.rect();
    if (version == 2) {
        r.rect();
        r.rect();
        r.u8();
    }
    const std::uint32_t offset = r.u32();
    const qsizetype endEdgesAt = r.pos() + qsizetype(std::min<std::uint32_t>(offset, 0x7fffffff));
    int count = r.u8();
    if (count == 0xFF) {
        count = r.u16();
    }
    r.checkCount(std::uint64_t(count), 3);
    for (int i = 0; i < count; ++i) {
        FillStyle a, b;
        morphFill(r, a, b);
        morph->start.fills.push_back(a);
        morph->end.fills.push_back(b);
    }
    morphLines(r, version, morph->start, morph->end);
    std::vector<ShapeLayer> startLayers(1);
    shapeRecords(r, 3, startLayers, false);
    morph->start.edges = std::move(startLayers[0].edges);
    r.seek(endEdgesAt);
    std::vector<ShapeLayer> endLayers(1);
    shapeRecords(r, 3, endLayers, false);
    morph->end.edges = std::move(endLayers[0].edges);
    Character c;
    c.kind = Character::MorphKind;
    c.morph = std::move(morph);
    m_movie.characters.insert(id, c);
}

QPainterPath Parser::glyph(QByteArrayView data)
{
    if (data.isEmpty()) {
        return {};
    }
    Reader r(data);
    std::vector<ShapeLayer> layers(1);
    layers[0].fills.push_back(FillStyle {});
    shapeRecords(r, 1, layers, false);
    QPainterPath p = buildLayer(layers[0]).fillPaths.front();
    p.setFillRule(Qt::WindingFill);
    return p;
}

void Parser::defineFont(Reader &r, int version)
{
    const int id = r.u16();
    auto font = std::make_shared<Font>();
    if (version == 1) {
        const qsizetype table = r.pos();
        if (r.atEnd()) {
            return;
        }
        const int first = r.u16();
        const int count = first / 2;
        r.checkCount(std::uint64_t(std::max(0, count - 1)), 2);
        std::vector<int> offsets { first };
        for (int i = 1; i < count; ++i) {
            offsets.push_back(r.u16());
        }
        const qsizetype total = r.pos() + r.remaining();
        for (int i = 0; i < count; ++i) {
            const qsizetype from = table + offsets[i];
            const qsizetype to = i + 1 < count ? table + offsets[i + 1] : total;
            if (from < table || to > total || from > to) {
                font->glyphs.emplace_back();
                continue;
            }
            r.seek(from);
            font->glyphs.push_back(glyph(r.bytes(to - from)));
        }
    } else {
        font->unitsPerEm = version == 3 ? 20480 : 1024;
        const int flags = r.u8();
        r.u8(); // language
        const int nameLength = r.u8();
        r.skip(nameLength);
        const int count = r.u16();
        const bool wide = (flags & 0x08) != 0;
        r.checkCount(std::uint64_t(count), wide ? 4 : 2);
        if (count > m_limits.maxGlyphsPerFont) {
            throw FormatError("too many glyphs");
        }
        const qsizetype table = r.pos();
        std::vector<qsizetype> offsets;
        for (int i = 0; i <= count; ++i) {
            if (r.atEnd()) {
                break;
            }
            offsets.push_back(wide ? qsizetype(r.u32()) : qsizetype(r.u16()));
        }
        const qsizetype total = r.pos() + r.remaining();
        for (int i = 0; i < count; ++i) {
            if (i + 1 >= int(offsets.size())) {
                font->glyphs.emplace_back();
                continue;
            }
            const qsizetype from = table + offsets[i];
            const qsizetype to = table + offsets[i + 1];
            if (from > to || to > total) {
                font->glyphs.emplace_back();
                continue;
            }
            r.seek(from);
            font->glyphs.push_back(glyph(r.bytes(to - from)));
        }
    }
    Character c;
    c.kind = Character::FontKind;
    c.font = std::move(font);
    m_movie.characters.insert(id, c);
}

void Parser::defineText(Reader &r, int version)
{
    const int id = r.u16();
    auto text = std::make_shared<Text>();
    text->bounds = r.rect();
    text->matrix = r.matrix();
    const int glyphBits = r.u8();
    const int advanceBits = r.u8();
    if (glyphBits > 32 || advanceBits > 32) {
        throw FormatError("bad glyph bit widths");
    }
    const Font *font = nullptr;
    double height = 0, x = 0, y = 0;
    QColor color = Qt::black;
    int glyphTotal = 0;
    for (;;) {
        const int flags = r.u8();
        if (flags == 0) {
            break;
        }
        if (flags & 0x08) {
            const Character *ch = m_movie.character(r.u16());
            font = ch && ch->kind == Character::FontKind ? ch->font.get() : nullptr;
        }
        if (flags & 0x04) {
            color = version == 2 ? r.rgba() : r.rgb();
        }
        if (flags & 0x01) {
            x = r.s16();
        }
        if (flags & 0x02) {
            y = r.s16();
        }
        if (flags & 0x08) {
            height = r.u16();
        }
        const int count = r.u8();
        glyphTotal += count;
        if (glyphTotal > m_limits.maxGlyphsPerText) {
            throw FormatError("too many glyphs in a text");
        }
        TextRun run;
        run.color = color;
        run.path.setFillRule(Qt::WindingFill);
        for (int i = 0; i < count; ++i) {
            const int index = int(r.ub(glyphBits));
            const int advance = r.sb(advanceBits);
            if (font && index >= 0 && index < int(font->glyphs.size())) {
                const double s = height / font->unitsPerEm;
                QTransform t(s, 0, 0, s, x, y);
                run.path.addPath(t.map(font->glyphs[index]));
            }
            x += advance;
        }
        r.align();
        if (!run.path.isEmpty()) {
            text->runs.push_back(std::move(run));
        }
    }
    Character c;
    c.kind = Character::TextKind;
    c.text = std::move(text);
    m_movie.characters.insert(id, c);
}

void Parser::defineSprite(Reader &r)
{
    const int id = r.u16();
    r.u16(); // declared frame count; the tags decide
    auto timeline = std::make_shared<Timeline>();
    parseTags(r, *timeline, true);
    Character c;
    c.kind = Character::SpriteKind;
    c.sprite = std::move(timeline);
    m_movie.characters.insert(id, c);
}

void Parser::defineBitmap(int id, QImage img)
{
    if (img.isNull()) {
        m_movie.warnings << QStringLiteral("bitmap %1 could not be decoded").arg(id);
        return;
    }
    m_bitmapPixels += qint64(img.width()) * img.height();
    if (m_bitmapPixels > m_limits.maxTotalBitmapPixels) {
        m_movie.warnings << QStringLiteral("bitmap %1 dropped: too many pixels").arg(id);
        return;
    }
    Character c;
    c.kind = Character::BitmapKind;
    c.bitmap = std::move(img);
    m_movie.characters.insert(id, c);
}

PlaceCommand Parser::placeObject(Reader &r, int version)
{
    PlaceCommand cmd;
    if (version == 1) {
        cmd.characterId = r.u16();
        cmd.depth = r.u16();
        cmd.matrix = r.matrix();
        if (!r.atEnd()) {
            cmd.cxform = r.cxform(false);
        }
        return cmd;
    }
    const int flags = r.u8();
    const int flags2 = version == 3 ? r.u8() : 0;
    cmd.depth = r.u16();
    cmd.move = (flags & 0x01) != 0;
    if (flags2 & 0x08) {
        r.cstring(); // class name
    }
    if (flags & 0x02) {
        cmd.characterId = r.u16();
    }
    if (flags & 0x04) {
        cmd.matrix = r.matrix();
    }
    if (flags & 0x08) {
        cmd.cxform = r.cxform(true);
    }
    if (flags & 0x10) {
        cmd.ratio = r.u16();
    }
    if (flags & 0x20) {
        r.cstring();
    }
    if (flags & 0x40) {
        cmd.clipDepth = r.u16();
    }
    // Filters, blend modes and clip actions are not drawn.
    return cmd;
}

std::vector<Action> Parser::doAction(Reader &r)
{
    std::vector<Action> actions;
    bool hasNumber = false;
    double number = 0;
    std::optional<QString> string;
    while (!r.atEnd()) {
        const int code = r.u8();
        if (code == 0) {
            break;
        }
        QByteArrayView data;
        if (code >= 0x80) {
            data = r.bytes(r.u16());
        }
        Reader d(data);
        const bool wasPush = code == 0x96;
        switch (code) {
        case 0x04:
            actions.push_back(makeAction(Action::NextFrame));
            break;
        case 0x05:
            actions.push_back(makeAction(Action::PrevFrame));
            break;
        case 0x06:
            actions.push_back(makeAction(Action::Play));
            break;
        case 0x07:
            actions.push_back(makeAction(Action::Stop));
            break;
        case 0x81: {
            Action a = makeAction(Action::GotoFrame);
            a.frame = d.u16();
            actions.push_back(a);
            break;
        }
        case 0x8C: {
            Action a = makeAction(Action::GotoLabel);
            a.label = d.cstring();
            actions.push_back(a);
            break;
        }
        case 0x96: {
            hasNumber = false;
            string.reset();
            const int type = d.u8();
            if (type == 0) {
                string = d.cstring();
            } else if (type == 1) {
                const std::uint32_t bits = d.u32();
                float f;
                std::memcpy(&f, &bits, 4);
                number = f;
                hasNumber = true;
            } else if (type == 7) {
                number = double(std::int32_t(d.u32()));
                hasNumber = true;
            } else if (type == 6) {
                const std::uint64_t hi = d.u32();
                const std::uint64_t lo = d.u32();
                const std::uint64_t bits = (hi << 32) | lo;
                double v;
                std::memcpy(&v, &bits, 8);
                number = v;
                hasNumber = true;
            }
            if (!d.atEnd()) {
                hasNumber = false; // more than one value: not a plain constant
                string.reset();
            }
            break;
        }
        case 0x9F: {
            const int flags = d.u8();
            const int bias = (flags & 0x02) ? d.u16() : 0;
            Action a;
            a.hasPlayFlag = true;
            a.andPlay = (flags & 0x01) != 0;
            const double value = number;
            if (hasNumber && std::isfinite(value) && value >= 1 && value < 65536) {
                a.kind = Action::GotoFrame;
                a.frame = int(value) - 1 + bias;
                actions.push_back(a);
            } else if (string) {
                bool ok = false;
                const int n = string->toInt(&ok);
                if (ok && n >= 1) {
                    a.kind = Action::GotoFrame;
                    a.frame = n - 1 + bias;
                } else {
                    a.kind = Action::GotoLabel;
                    a.label = *string;
                }
                actions.push_back(a);
            }
            break;
        }
        case 0x99: // jump
        case 0x9D: // if
        case 0x9E: // call
        case 0x9B: // function
        case 0x8E: // function2
        case 0x94: // with
        case 0x8F: // try
            // Control flow: what follows is conditional, so none of it is run.
            return actions;
        default:
            break;
        }
        if (!wasPush) {
            hasNumber = false;
            string.reset();
        }
    }
    return actions;
}

void Parser::handleTag(int code, Reader &r, Timeline &timeline, Frame &frame, bool inSprite)
{
    const bool definition = code != PlaceObject && code != PlaceObject2 && code != PlaceObject3
        && code != RemoveObject && code != RemoveObject2 && code != DoAction && code != FrameLabel;
    if (inSprite && definition) {
        return; // only control tags belong inside a sprite
    }
    switch (code) {
    case SetBackgroundColor:
        m_movie.background = r.rgb();
        break;
    case DefineShape:
        defineShape(r, 1);
        break;
    case DefineShape2:
        defineShape(r, 2);
        break;
    case DefineShape3:
        defineShape(r, 3);
        break;
    case DefineShape4:
        defineShape(r, 4);
        break;
    case DefineMorphShape:
        defineMorph(r, 1);
        break;
    case DefineMorphShape2:
        defineMorph(r, 2);
        break;
    case DefineFont:
        defineFont(r, 1);
        break;
    case DefineFont2:
        defineFont(r, 2);
        break;
    case DefineFont3:
        defineFont(r, 3);
        break;
    case DefineText:
        defineText(r, 1);
        break;
    case DefineText2:
        defineText(r, 2);
        break;
    case DefineSprite:
        defineSprite(r);
        break;
    case JpegTables:
        if (m_jpegTables.isEmpty()) {
            m_jpegTables = r.rest().toByteArray();
        }
        break;
    case DefineBits: {
        const int id = r.u16();
        defineBitmap(id, decodeJpegData(r.rest(), m_jpegTables, m_limits.maxBitmapPixels));
        break;
    }
    case DefineBitsJpeg2: {
        const int id = r.u16();
        defineBitmap(id, decodeJpegData(r.rest(), {}, m_limits.maxBitmapPixels));
        break;
    }
    case DefineBitsJpeg3: {
        const int id = r.u16();
        defineBitmap(id, decodeJpegWithAlpha(r.rest(), m_limits.maxBitmapPixels));
        break;
    }
    case DefineBitsLossless:
    case DefineBitsLossless2: {
        const int id = r.u16();
        defineBitmap(
            id, decodeLossless(r.rest(), code == DefineBitsLossless2, m_limits.maxBitmapPixels));
        break;
    }
    case PlaceObject:
        frame.commands.push_back(placeObject(r, 1));
        commandAdded();
        break;
    case PlaceObject2:
        frame.commands.push_back(placeObject(r, 2));
        commandAdded();
        break;
    case PlaceObject3:
        frame.commands.push_back(placeObject(r, 3));
        commandAdded();
        break;
    case RemoveObject: {
        PlaceCommand cmd;
        cmd.remove = true;
        r.u16();
        cmd.depth = r.u16();
        frame.commands.push_back(cmd);
        commandAdded();
        break;
    }
    case RemoveObject2: {
        PlaceCommand cmd;
        cmd.remove = true;
        cmd.depth = r.u16();
        frame.commands.push_back(cmd);
        commandAdded();
        break;
    }
    case DoAction: {
        auto actions = doAction(r);
        m_commands += int(actions.size());
        frame.actions.insert(frame.actions.end(), actions.begin(), actions.end());
        break;
    }
    case FrameLabel: {
        const QString label = r.cstring();
        if (!timeline.labels.contains(label)) {
            timeline.labels.insert(label, timeline.frameCount());
        }
        break;
    }
    default:
        break; // scripts, sound, video, buttons, edit text, filters: not played
    }
}

void Parser::parseTags(Reader &r, Timeline &timeline, bool inSprite)
{
    Frame frame;
    bool pending = false;
    while (r.remaining() >= 2) {
        const std::uint16_t header = r.u16();
        const int code = header >> 6;
        qsizetype length = header & 0x3F;
        if (length == 0x3F) {
            if (r.remaining() < 4) {
                break;
            }
            length = qsizetype(r.u32());
        }
        // A tag that runs past the data is cut to what remains.
        length = std::min(length, r.remaining());
        Reader body(r.bytes(length));
        if (code == End) {
            break;
        }
        if (code == ShowFrame) {
            timeline.frames.push_back(std::move(frame));
            frame = Frame {};
            pending = false;
            if (timeline.frameCount() >= m_limits.maxFramesPerTimeline) {
                m_movie.warnings << QStringLiteral("frame limit reached");
                return;
            }
            continue;
        }
        try {
            handleTag(code, body, timeline, frame, inSprite);
            pending = pending || !frame.commands.empty() || !frame.actions.empty();
        } catch (const FormatError &e) {
            m_movie.warnings << QStringLiteral("tag %1 skipped: %2").arg(code).arg(e.what());
            if (m_edges > m_limits.maxEdgesPerMovie || m_commands > m_limits.maxCommandsPerMovie) {
                break;
            }
        }
    }
    if (pending || timeline.frames.empty()) {
        timeline.frames.push_back(std::move(frame));
    }
}

} // namespace

std::shared_ptr<const Movie> parseMovie(QByteArrayView file, const Limits &limits)
{
    const Container container = unpackContainer(file, limits.maxBodyBytes);
    auto movie = std::make_shared<Movie>();
    movie->version = container.version;
    movie->container = container.kind;
    Reader r(container.body);
    try {
        movie->frameRect = r.rect();
        const double rate = r.u16() / 256.0;
        movie->frameRate = std::clamp(std::abs(rate), 1.0, 60.0);
        movie->declaredFrameCount = r.u16();
    } catch (const FormatError &) {
        throw FormatError("movie header is truncated");
    }
    Parser parser(*movie, limits);
    parser.parseTags(r, movie->root, false);
    return movie;
}

} // namespace animation::swf
