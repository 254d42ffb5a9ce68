#pragma once

#include "animation/swfreader.h"

#include <QByteArray>
#include <QColor>
#include <QHash>
#include <QImage>
#include <QPainterPath>
#include <QRectF>
#include <QString>
#include <QTransform>

#include <memory>
#include <optional>
#include <vector>

namespace animation::swf {

// Limits that keep a hostile file from using unbounded memory or time.
struct Limits
{
    qsizetype maxBodyBytes = maxMovieBytes;
    int maxEdgesPerShape = 300000;
    qint64 maxEdgesPerMovie = 3000000;
    qint64 maxBitmapPixels = 16 * 1024 * 1024; // one image
    qint64 maxTotalBitmapPixels = 64 * 1024 * 1024;
    int maxFramesPerTimeline = 16000;
    int maxCommandsPerMovie = 1000000;
    int maxGlyphsPerFont = 65535;
    int maxGlyphsPerText = 20000;
};

struct GradientStop
{
    double position; // 0..1
    QColor color;
};

struct FillStyle
{
    enum Kind { Solid, Linear, Radial, Focal, Bitmap };
    Kind kind = Solid;
    QColor color = Qt::black;
    QTransform matrix; // gradient square or bitmap pixels to shape twips
    std::vector<GradientStop> stops;
    int spread = 0; // 0 pad, 1 reflect, 2 repeat
    bool linearRgb = false; // interpolate in linear light
    double focal = 0;
    int bitmapId = 0;
    bool repeat = true;
    bool smooth = true;
};

struct LineStyle
{
    double width = 20; // twips
    QColor color = Qt::black;
    bool hasFill = false;
    FillStyle fill;
    Qt::PenCapStyle cap = Qt::RoundCap;
    Qt::PenJoinStyle join = Qt::RoundJoin;
    double miterLimit = 3;
};

struct Edge
{
    QPointF from;
    QPointF control;
    QPointF to;
    bool curve = false;
    int fill0 = 0; // 1-based into the layer's fills, 0 = none
    int fill1 = 0;
    int line = 0;
};

// One group of styles and the edges drawn with them (a NewStyles record starts the next).
struct ShapeLayer
{
    std::vector<FillStyle> fills;
    std::vector<LineStyle> lines;
    std::vector<Edge> edges;
};

// Closed fill paths and open stroke paths, ready to draw.
struct BuiltLayer
{
    std::vector<QPainterPath> fillPaths; // one per fill style
    std::vector<QPainterPath> linePaths; // one per line style
};

struct Shape
{
    QRectF bounds;
    bool nonZero = false;
    std::vector<ShapeLayer> layers;
    std::vector<BuiltLayer> built;
};

struct MorphShape
{
    QRectF startBounds;
    QRectF endBounds;
    ShapeLayer start; // styles at ratio 0 plus start edges
    ShapeLayer end; // styles at ratio 1 plus end edges
};

struct Font
{
    std::vector<QPainterPath> glyphs;
    double unitsPerEm = 1024; // 20480 for DefineFont3
};

struct TextRun
{
    QPainterPath path; // glyphs positioned in text space
    QColor color;
};

struct Text
{
    QRectF bounds;
    QTransform matrix;
    std::vector<TextRun> runs;
};

struct Action
{
    enum Kind { Play, Stop, NextFrame, PrevFrame, GotoFrame, GotoLabel };
    Kind kind = Stop;
    int frame = 0; // 0-based
    QString label;
    bool andPlay = false; // for GotoFrame from gotoFrame2
    bool hasPlayFlag = false;
};

struct PlaceCommand
{
    bool remove = false;
    int depth = 0;
    bool move = false;
    int characterId = -1; // -1: none given
    std::optional<QTransform> matrix;
    std::optional<ColorTransform> cxform;
    std::optional<int> ratio;
    int clipDepth = 0;
};

struct Frame
{
    std::vector<PlaceCommand> commands;
    std::vector<Action> actions;
};

struct Timeline
{
    std::vector<Frame> frames;
    QHash<QString, int> labels;
    int frameCount() const { return int(frames.size()); }
};

struct Character
{
    enum Kind { ShapeKind, MorphKind, BitmapKind, FontKind, TextKind, SpriteKind };
    Kind kind = ShapeKind;
    std::shared_ptr<Shape> shape;
    std::shared_ptr<MorphShape> morph;
    QImage bitmap; // ARGB32 premultiplied
    std::shared_ptr<Font> font;
    std::shared_ptr<Text> text;
    std::shared_ptr<Timeline> sprite;
};

struct Movie
{
    int version = 0;
    char container = 'F';
    QRectF frameRect; // twips
    double frameRate = 12; // clamped
    int declaredFrameCount = 0;
    std::optional<QColor> background;
    QHash<int, Character> characters;
    Timeline root;
    QStringList warnings;

    const Character *character(int id) const
    {
        auto it = characters.constFind(id);
        return it == characters.constEnd() ? nullptr : &it.value();
    }
};

// Parses a movie file. Throws FormatError when the file is not a movie at all; damage inside the
// tag stream ends parsing at that point and keeps what was read.
std::shared_ptr<const Movie> parseMovie(QByteArrayView file, const Limits &limits = {});

// Turns edges into drawable paths (fills joined into closed contours, fill-style order).
BuiltLayer buildLayer(const ShapeLayer &layer);
// The shape of a morph at ratio t in 0..1.
ShapeLayer interpolateMorph(const MorphShape &morph, double t);

// Bitmap decoding (JPEG/PNG/GIF via Qt, lossless formats by hand). Return a null image on error.
QImage decodeJpegData(QByteArrayView data, QByteArrayView tables, qint64 maxPixels);
QImage decodeLossless(QByteArrayView tagBody, bool withAlpha, qint64 maxPixels);
QImage decodeJpegWithAlpha(QByteArrayView tagBody, qint64 maxPixels);

} // namespace animation::swf
