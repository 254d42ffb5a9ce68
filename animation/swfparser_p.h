#pragma once

// The movie parser's own parts, shared by the files that read one kind of tag each:
//   swfparser.cpp        the tag stream, the timeline's tags, sprites and bitmaps
//   swfstyles.cpp        fill and line styles of shapes and morph shapes
//   swfshaperecords.cpp  shapes and morph shapes: their edges and style changes
//   swftext.cpp          fonts and static text
//   swfactions.cpp       the frame actions the timeline plays
// Everything here reads untrusted bytes through a bounded Reader: a read past the data throws
// FormatError, which drops the tag being read.

#include "animation/swfmovie.h"

#include <utility>
#include <vector>

namespace animation::swf::detail {

// Styles, as a shape tag of the given version (1 for DefineShape up to 4 for DefineShape4) writes
// them. smoothBitmaps: the movie smooths the bitmap fills that ask for it (movies of version 8 on).
std::vector<FillStyle> readFillStyles(Reader &r, int version, bool smoothBitmaps);
std::vector<LineStyle> readLineStyles(Reader &r, int version, bool smoothBitmaps);
// The fill and line styles of a morph shape (version 1 or 2), each record read into the start's
// styles and the end's.
void readMorphStyles(
    Reader &r, int version, bool smoothBitmaps, ShapeLayer &start, ShapeLayer &end);

// The actions of one DoAction tag that move the playhead. Reading ends at the first control flow:
// what follows it runs only on a condition.
std::vector<Action> readActions(Reader &r);

// The parse of one movie: reads its tags into the movie's dictionary and timelines, and keeps the
// counts that bound the whole movie.
class Parser
{
public:
    Parser(Movie &movie, const Limits &limits)
        : m_movie(movie)
        , m_limits(limits)
    {
    }

    // Reads tags up to the End tag or the end of the data into timeline; in a sprite, only the
    // control tags count. Damage ends the tag it is in, with a warning; past a movie-wide limit,
    // the rest is dropped.
    void parseTags(Reader &r, Timeline &timeline, bool inSprite);

private:
    // swfparser.cpp
    void controlTag(int code, Reader &r, Timeline &timeline, Frame &frame);
    void definitionTag(int code, Reader &r);
    void defineSprite(Reader &r);
    void defineBitmap(int id, QImage img);
    PlaceCommand placeObject(Reader &r, int version);
    void commandAdded();

    // swfshaperecords.cpp
    void defineShape(Reader &r, int version);
    void defineMorph(Reader &r, int version);
    void shapeRecords(Reader &r, int version, std::vector<ShapeLayer> &layers, bool allowNewStyles);
    void useEdges(qint64 count);

    // swftext.cpp
    void defineFont(Reader &r, int version);
    void defineText(Reader &r, int version);
    QPainterPath glyph(QByteArrayView data);

    bool smoothBitmaps() const { return m_movie.version >= 8; }
    // Enters a character of the given kind, held in the given member, into the movie's
    // dictionary; a later one of the same id takes its place.
    template <typename Value>
    void addCharacter(int id, Character::Kind kind, Value Character::*member, Value value)
    {
        Character c;
        c.kind = kind;
        c.*member = std::move(value);
        m_movie.characters.insert(id, std::move(c));
    }

    Movie &m_movie;
    const Limits &m_limits;
    QByteArray m_jpegTables;
    qint64 m_edges = 0;
    qint64 m_bitmapPixels = 0;
    int m_commands = 0;
};

} // namespace animation::swf::detail
