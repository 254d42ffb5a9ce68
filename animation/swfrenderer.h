#pragma once

#include "animation/swftimeline.h"

#include <QHash>
#include <QImage>

class QPainter;

namespace animation::swf {

// Draws a display list with QPainter. Colour transforms reach every primitive (fill colours,
// gradient stops, bitmap copies) instead of being applied to flattened groups.
class Renderer
{
public:
    explicit Renderer(const Movie &movie);

    void setAntialiasing(bool on) { m_antialias = on; }
    // Most primitives drawn per frame; the rest of a too-busy frame is dropped.
    void setMaxPrimitives(int max) { m_maxPrimitives = max; }

    // Draws the timeline with stageToDevice mapping twips to device pixels.
    void render(QPainter &painter, const TimelineInstance &root, const QTransform &stageToDevice);

    // A transparent ARGB32-premultiplied frame of the given size, the stage fitted whole
    // ("show all": aspect kept, centred).
    QImage renderFrame(const TimelineInstance &root, QSize size);

    // Maps the stage into a rectangle of the given size, aspect kept, centred.
    static QTransform showAllTransform(const QRectF &stageTwips, QSizeF size);

private:
    struct MorphCache
    {
        int ratio = -1;
        ShapeLayer layer;
        BuiltLayer built;
    };

    void drawList(QPainter &painter, const TimelineInstance &timeline, const QTransform &m,
        const ColorTransform &cx, int nesting);
    void drawObject(QPainter &painter, const DisplayObject &obj, const QTransform &m,
        const ColorTransform &cx, int nesting);
    void drawLayer(QPainter &painter, const ShapeLayer &layer, const BuiltLayer &built,
        Qt::FillRule rule, const QTransform &m, const ColorTransform &cx);
    void fillPath(QPainter &painter, const QPainterPath &path, const FillStyle &fill,
        const QTransform &m, const ColorTransform &cx);
    QBrush brushFor(const FillStyle &fill, const ColorTransform &cx);
    QImage bitmapFor(int id, const ColorTransform &cx);
    const MorphCache *morphAt(int id, const MorphShape &morph, int ratio);
    QPainterPath clipPathOf(const DisplayObject &obj, const QTransform &m, int nesting);
    bool spend();

    const Movie &m_movie;
    bool m_antialias = true;
    int m_maxPrimitives = 50000;
    int m_primitives = 0;
    int m_visits = 0; // display objects walked this frame
    static constexpr int maxVisits = 200000;
    QHash<int, MorphCache> m_morphs;
    struct BitmapCacheEntry
    {
        ColorTransform cx;
        QImage image;
    };
    QHash<int, BitmapCacheEntry> m_bitmaps;
};

} // namespace animation::swf
