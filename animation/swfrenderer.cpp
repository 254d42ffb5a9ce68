#include "animation/swfrenderer.h"

#include "animation/swfgradient.h"

#include <QPainter>

#include <algorithm>
#include <cmath>
#include <vector>

namespace animation::swf {

namespace {

constexpr double gradientHalf = 16384.0;
constexpr qint64 maxTransformedBitmapPixels = 4 * 1024 * 1024;

double deviceScale(const QTransform &m)
{
    return std::sqrt(std::abs(m.determinant()));
}

} // namespace

Renderer::Renderer(const Movie &movie)
    : m_movie(movie)
{
}

QTransform Renderer::showAllTransform(const QRectF &stage, QSizeF size)
{
    const double w = stage.width() / 20.0;
    const double h = stage.height() / 20.0;
    if (w <= 0 || h <= 0 || size.isEmpty()) {
        return QTransform::fromScale(0, 0);
    }
    const double s = std::min(size.width() / w, size.height() / h);
    const double ox = (size.width() - w * s) / 2;
    const double oy = (size.height() - h * s) / 2;
    return QTransform::fromTranslate(-stage.left(), -stage.top())
        * QTransform::fromScale(s / 20.0, s / 20.0) * QTransform::fromTranslate(ox, oy);
}

QImage Renderer::renderFrame(const TimelineInstance &root, QSize size)
{
    QImage img(size, QImage::Format_ARGB32_Premultiplied);
    if (img.isNull()) {
        return img;
    }
    img.fill(Qt::transparent);
    QPainter p(&img);
    render(p, root, showAllTransform(m_movie.frameRect, QSizeF(size)));
    p.end();
    return img;
}

void Renderer::render(QPainter &painter, const TimelineInstance &root, const QTransform &m)
{
    m_primitives = 0;
    m_visits = 0;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, m_antialias);
    painter.setPen(Qt::NoPen);
    drawList(painter, root, m, ColorTransform {}, 0);
    painter.restore();
}

bool Renderer::spend()
{
    return ++m_primitives <= m_maxPrimitives;
}

void Renderer::drawList(QPainter &painter, const TimelineInstance &timeline, const QTransform &m,
    const ColorTransform &cx, int nesting)
{
    struct Mask
    {
        int untilDepth;
        QPainterPath path; // device space
    };
    std::vector<Mask> masks;
    for (const auto &[depth, obj] : timeline.displayList()) {
        if (m_primitives > m_maxPrimitives || ++m_visits > maxVisits) {
            return;
        }
        while (!masks.empty() && masks.back().untilDepth < depth) {
            masks.pop_back();
        }
        const QTransform local = obj.matrix * m;
        if (obj.clipDepth > 0) {
            // A mask object is not drawn; it clips the depths up to its clip depth.
            if (obj.clipDepth > depth && masks.size() < 16) {
                masks.push_back({ obj.clipDepth, clipPathOf(obj, local, nesting) });
            }
            continue;
        }
        if (masks.empty()) {
            drawObject(painter, obj, local, cx.concat(obj.cxform), nesting);
            continue;
        }
        painter.save();
        painter.setTransform(QTransform());
        for (const Mask &mask : masks) {
            painter.setClipPath(mask.path, Qt::IntersectClip);
        }
        drawObject(painter, obj, local, cx.concat(obj.cxform), nesting);
        painter.restore();
    }
}

QPainterPath Renderer::clipPathOf(const DisplayObject &obj, const QTransform &m, int nesting)
{
    QPainterPath out;
    const Character *ch = m_movie.character(obj.characterId);
    if (!ch || nesting > 16 || ++m_visits > maxVisits) {
        return out;
    }
    auto addLayers = [&](const std::vector<BuiltLayer> &layers) {
        for (const BuiltLayer &layer : layers) {
            for (const QPainterPath &p : layer.fillPaths) {
                out.addPath(m.map(p));
            }
        }
    };
    switch (ch->kind) {
    case Character::ShapeKind:
        addLayers(ch->shape->built);
        break;
    case Character::MorphKind:
        if (const MorphCache *c = morphAt(obj.characterId, *ch->morph, obj.ratio)) {
            addLayers({ c->built });
        }
        break;
    case Character::TextKind:
        for (const TextRun &run : ch->text->runs) {
            out.addPath((ch->text->matrix * m).map(run.path));
        }
        break;
    case Character::SpriteKind:
        if (obj.sprite) {
            for (const auto &[d, child] : obj.sprite->displayList()) {
                if (child.clipDepth == 0) {
                    out.addPath(clipPathOf(child, child.matrix * m, nesting + 1));
                }
            }
        }
        break;
    default:
        break;
    }
    out.setFillRule(Qt::WindingFill);
    return out;
}

void Renderer::drawObject(QPainter &painter, const DisplayObject &obj, const QTransform &m,
    const ColorTransform &cx, int nesting)
{
    const Character *ch = m_movie.character(obj.characterId);
    if (!ch) {
        return;
    }
    switch (ch->kind) {
    case Character::ShapeKind: {
        const Shape &shape = *ch->shape;
        const Qt::FillRule rule = shape.nonZero ? Qt::WindingFill : Qt::OddEvenFill;
        for (std::size_t i = 0; i < shape.layers.size(); ++i) {
            drawLayer(painter, shape.layers[i], shape.built[i], rule, m, cx);
        }
        break;
    }
    case Character::MorphKind:
        if (const MorphCache *c = morphAt(obj.characterId, *ch->morph, obj.ratio)) {
            drawLayer(painter, c->layer, c->built, Qt::OddEvenFill, m, cx);
        }
        break;
    case Character::TextKind: {
        painter.setTransform(ch->text->matrix * m);
        painter.setPen(Qt::NoPen);
        for (const TextRun &run : ch->text->runs) {
            if (!spend()) {
                return;
            }
            painter.setBrush(cx.apply(run.color));
            painter.drawPath(run.path);
        }
        break;
    }
    case Character::BitmapKind: {
        if (!spend()) {
            return;
        }
        painter.setTransform(QTransform::fromScale(20, 20) * m);
        painter.drawImage(QPointF(0, 0), bitmapFor(obj.characterId, cx));
        break;
    }
    case Character::SpriteKind:
        if (obj.sprite) {
            drawList(painter, *obj.sprite, m, cx, nesting + 1);
        }
        break;
    case Character::FontKind:
        break;
    }
}

const Renderer::MorphCache *Renderer::morphAt(int id, const MorphShape &morph, int ratio)
{
    MorphCache &c = m_morphs[id];
    if (c.ratio != ratio) {
        c.ratio = ratio;
        c.layer = interpolateMorph(morph, ratio / 65535.0);
        c.built = buildLayer(c.layer);
    }
    return &c;
}

void Renderer::drawLayer(QPainter &painter, const ShapeLayer &layer, const BuiltLayer &built,
    Qt::FillRule rule, const QTransform &m, const ColorTransform &cx)
{
    painter.setTransform(m);
    for (std::size_t i = 0; i < built.fillPaths.size() && i < layer.fills.size(); ++i) {
        const QPainterPath &path = built.fillPaths[i];
        if (path.isEmpty()) {
            continue;
        }
        if (!spend()) {
            return;
        }
        QPainterPath p = path;
        p.setFillRule(rule);
        fillPath(painter, p, layer.fills[i], m, cx);
    }
    const double scale = deviceScale(m);
    for (std::size_t i = 0; i < built.linePaths.size() && i < layer.lines.size(); ++i) {
        const QPainterPath &path = built.linePaths[i];
        if (path.isEmpty()) {
            continue;
        }
        if (!spend()) {
            return;
        }
        const LineStyle &line = layer.lines[i];
        QPen pen;
        if (line.hasFill && line.fill.kind != FillStyle::Solid) {
            pen.setBrush(brushFor(line.fill, cx));
        } else {
            pen.setColor(cx.apply(line.hasFill ? line.fill.color : line.color));
        }
        // Strokes are never thinner than one device pixel.
        if (line.width * scale < 1.0 || scale <= 0) {
            pen.setCosmetic(true);
            pen.setWidthF(1.0);
        } else {
            pen.setWidthF(line.width);
        }
        pen.setCapStyle(line.cap);
        pen.setJoinStyle(line.join);
        pen.setMiterLimit(line.miterLimit);
        painter.setTransform(m);
        painter.strokePath(path, pen);
    }
}

QBrush Renderer::brushFor(const FillStyle &fill, const ColorTransform &cx)
{
    switch (fill.kind) {
    case FillStyle::Solid:
        return QBrush(cx.apply(fill.color));
    case FillStyle::Linear:
    case FillStyle::Radial:
    case FillStyle::Focal: {
        if (fill.stops.empty()) {
            return QBrush(cx.apply(QColor(Qt::black)));
        }
        QGradient g;
        if (fill.kind == FillStyle::Linear) {
            g = QLinearGradient(-gradientHalf, 0, gradientHalf, 0);
        } else {
            g = QRadialGradient(QPointF(0, 0), gradientHalf,
                QPointF(fill.kind == FillStyle::Focal ? fill.focal * gradientHalf : 0, 0));
        }
        g.setStops(gradientStops(fill.stops, fill.linearRgb, cx));
        g.setSpread(fill.spread == 1 ? QGradient::ReflectSpread
                : fill.spread == 2   ? QGradient::RepeatSpread
                                     : QGradient::PadSpread);
        QBrush b(g);
        b.setTransform(fill.matrix);
        return b;
    }
    case FillStyle::Bitmap: {
        const QImage img = bitmapFor(fill.bitmapId, cx);
        if (img.isNull()) {
            return QBrush(Qt::transparent);
        }
        QBrush b(img);
        b.setTransform(fill.matrix);
        return b;
    }
    }
    return QBrush();
}

void Renderer::fillPath(QPainter &painter, const QPainterPath &path, const FillStyle &fill,
    const QTransform &m, const ColorTransform &cx)
{
    if (fill.kind == FillStyle::Bitmap) {
        const QImage img = bitmapFor(fill.bitmapId, cx);
        if (img.isNull()) {
            return;
        }
        painter.save();
        painter.setRenderHint(QPainter::SmoothPixmapTransform, fill.smooth);
        if (fill.repeat) {
            QBrush b(img);
            b.setTransform(fill.matrix);
            painter.fillPath(path, b);
        } else {
            // A clipped bitmap: drawn once inside the shape, its edge pixels extended outward.
            painter.setClipPath(path, Qt::IntersectClip);
            painter.setTransform(fill.matrix * m);
            const QRectF bounds = path.boundingRect();
            const QRectF imgRect = fill.matrix.inverted().mapRect(bounds);
            // Stretch the border copy over whatever the shape covers outside the image.
            const QRectF cover = imgRect.united(QRectF(0, 0, img.width(), img.height()));
            const bool needsExtend = cover != QRectF(0, 0, img.width(), img.height());
            if (needsExtend && cover.width() < 1e6 && cover.height() < 1e6) {
                // Edge rows and columns stretched outward.
                painter.drawImage(QRectF(cover.left(), 0, -cover.left(), img.height()), img,
                    QRectF(0, 0, 1, img.height()));
                painter.drawImage(QRectF(img.width(), 0, cover.right() - img.width(), img.height()),
                    img, QRectF(img.width() - 1, 0, 1, img.height()));
                painter.drawImage(QRectF(0, cover.top(), img.width(), -cover.top()), img,
                    QRectF(0, 0, img.width(), 1));
                painter.drawImage(
                    QRectF(0, img.height(), img.width(), cover.bottom() - img.height()), img,
                    QRectF(0, img.height() - 1, img.width(), 1));
            }
            painter.drawImage(QPointF(0, 0), img);
        }
        painter.restore();
        painter.setTransform(m);
        return;
    }
    painter.fillPath(path, brushFor(fill, cx));
}

QImage Renderer::bitmapFor(int id, const ColorTransform &cx)
{
    const Character *ch = m_movie.character(id);
    if (!ch || ch->kind != Character::BitmapKind) {
        return {};
    }
    if (cx.isIdentity()) {
        return ch->bitmap;
    }
    const QImage &src = ch->bitmap;
    if (qint64(src.width()) * src.height() > maxTransformedBitmapPixels) {
        return src;
    }
    auto it = m_bitmaps.find(id);
    if (it != m_bitmaps.end() && it->cx == cx) {
        return it->image;
    }
    // The transform works on each pixel's own colour; a fully transparent pixel has none and
    // stays transparent whatever the transform adds.
    QImage out = src.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < out.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x) {
            if (qAlpha(line[x]) == 0) {
                continue;
            }
            const QColor c = cx.apply(QColor::fromRgba(line[x]));
            line[x] = c.rgba();
        }
    }
    out = out.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    m_bitmaps.insert(id, { cx, out });
    return out;
}

} // namespace animation::swf
