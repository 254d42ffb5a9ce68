// The tag stream: the movie's header, the tags of its timelines (placing, removing, actions,
// labels, frames) and the dispatch of the definition tags to their readers.
#include "animation/swfparser_p.h"

#include <algorithm>
#include <cmath>

namespace animation::swf {

namespace detail {

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

// Tags that act on a timeline; all others define something, and only the movie's own timeline
// may do that.
bool isControlTag(int code)
{
    return code == PlaceObject || code == PlaceObject2 || code == PlaceObject3
        || code == RemoveObject || code == RemoveObject2 || code == DoAction || code == FrameLabel;
}

// PlaceObject2/3 flags.
enum PlaceFlag {
    PlaceMove = 0x01,
    PlaceHasCharacter = 0x02,
    PlaceHasMatrix = 0x04,
    PlaceHasColorTransform = 0x08,
    PlaceHasRatio = 0x10,
    PlaceHasName = 0x20,
    PlaceHasClipDepth = 0x40,
};
// PlaceObject3's second flags byte.
constexpr int placeHasClassName = 0x08;

} // namespace

void Parser::commandAdded()
{
    if (++m_commands > m_limits.maxCommandsPerMovie) {
        throw FormatError("too many timeline commands");
    }
}

void Parser::defineSprite(Reader &r)
{
    const int id = r.u16();
    r.u16(); // declared frame count; the tags decide
    auto timeline = std::make_shared<Timeline>();
    parseTags(r, *timeline, true);
    addCharacter(id, Character::SpriteKind, &Character::sprite, std::move(timeline));
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
    addCharacter(id, Character::BitmapKind, &Character::bitmap, std::move(img));
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
    cmd.move = (flags & PlaceMove) != 0;
    if (flags2 & placeHasClassName) {
        r.cstring();
    }
    if (flags & PlaceHasCharacter) {
        cmd.characterId = r.u16();
    }
    if (flags & PlaceHasMatrix) {
        cmd.matrix = r.matrix();
    }
    if (flags & PlaceHasColorTransform) {
        cmd.cxform = r.cxform(true);
    }
    if (flags & PlaceHasRatio) {
        cmd.ratio = r.u16();
    }
    if (flags & PlaceHasName) {
        r.cstring();
    }
    if (flags & PlaceHasClipDepth) {
        cmd.clipDepth = r.u16();
    }
    // Filters, blend modes and clip actions are not drawn.
    return cmd;
}

void Parser::controlTag(int code, Reader &r, Timeline &timeline, Frame &frame)
{
    switch (code) {
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
        r.u16(); // character id
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
        auto actions = readActions(r);
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
        break;
    }
}

void Parser::definitionTag(int code, Reader &r)
{
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
            if (isControlTag(code)) {
                controlTag(code, body, timeline, frame);
            } else if (!inSprite) {
                definitionTag(code, body);
            }
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

} // namespace detail

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
    detail::Parser parser(*movie, limits);
    parser.parseTags(r, movie->root, false);
    return movie;
}

} // namespace animation::swf
