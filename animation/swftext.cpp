// Fonts (their glyph outlines) and static text (runs of glyphs placed in a text's space).
#include "animation/swfparser_p.h"

#include <algorithm>

namespace animation::swf::detail {

namespace {

// DefineFont2/3 flags.
constexpr int wideOffsets = 0x08; // glyph offsets of 32 bits

// The flags of a text record.
enum TextRecordFlag {
    HasXOffset = 0x01,
    HasYOffset = 0x02,
    HasColor = 0x04,
    HasFont = 0x08, // a font and a height
};

} // namespace

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
        const bool wide = (flags & wideOffsets) != 0;
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
    addCharacter(id, Character::FontKind, &Character::font, std::move(font));
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
        if (flags & HasFont) {
            const Character *ch = m_movie.character(r.u16());
            font = ch && ch->kind == Character::FontKind ? ch->font.get() : nullptr;
        }
        if (flags & HasColor) {
            color = version == 2 ? r.rgba() : r.rgb();
        }
        if (flags & HasXOffset) {
            x = r.s16();
        }
        if (flags & HasYOffset) {
            y = r.s16();
        }
        if (flags & HasFont) {
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
    addCharacter(id, Character::TextKind, &Character::text, std::move(text));
}

} // namespace animation::swf::detail
