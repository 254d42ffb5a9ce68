#include "animation/swfmovie.h"

#include <cmath>
#include <map>
#include <utility>

namespace animation::swf {

namespace {

using PointKey = std::pair<double, double>;

PointKey keyOf(const QPointF &p)
{
    return { p.x(), p.y() };
}

struct Segment
{
    QPointF from;
    QPointF control;
    QPointF to;
    bool curve;
};

void addSegment(QPainterPath &path, const Segment &s)
{
    if (s.curve) {
        path.quadTo(s.control, s.to);
    } else {
        path.lineTo(s.to);
    }
}

// Joins the segments that bound one fill into closed contours by matching endpoints.
QPainterPath joinSegments(const std::vector<Segment> &segments)
{
    std::multimap<PointKey, int> byStart;
    for (int i = 0; i < int(segments.size()); ++i) {
        byStart.emplace(keyOf(segments[i].from), i);
    }
    std::vector<bool> used(segments.size(), false);
    QPainterPath path;
    for (int i = 0; i < int(segments.size()); ++i) {
        if (used[i]) {
            continue;
        }
        used[i] = true;
        const QPointF start = segments[i].from;
        path.moveTo(start);
        addSegment(path, segments[i]);
        QPointF end = segments[i].to;
        while (end != start) {
            int next = -1;
            auto range = byStart.equal_range(keyOf(end));
            for (auto it = range.first; it != range.second; ++it) {
                if (!used[it->second]) {
                    next = it->second;
                    break;
                }
            }
            if (next < 0) {
                break;
            }
            used[next] = true;
            addSegment(path, segments[next]);
            end = segments[next].to;
        }
        path.closeSubpath();
    }
    return path;
}

QColor lerpColor(const QColor &a, const QColor &b, double t)
{
    auto mix = [t](int x, int y) { return int(x + (y - x) * t + 0.5); };
    return QColor(mix(a.red(), b.red()), mix(a.green(), b.green()), mix(a.blue(), b.blue()),
        mix(a.alpha(), b.alpha()));
}

QPointF lerpPoint(const QPointF &a, const QPointF &b, double t)
{
    return a + (b - a) * t;
}

QTransform lerpMatrix(const QTransform &a, const QTransform &b, double t)
{
    auto mix = [t](double x, double y) { return x + (y - x) * t; };
    return QTransform(mix(a.m11(), b.m11()), mix(a.m12(), b.m12()), mix(a.m21(), b.m21()),
        mix(a.m22(), b.m22()), mix(a.dx(), b.dx()), mix(a.dy(), b.dy()));
}

FillStyle lerpFill(const FillStyle &a, const FillStyle &b, double t)
{
    FillStyle f = a;
    f.color = lerpColor(a.color, b.color, t);
    f.matrix = lerpMatrix(a.matrix, b.matrix, t);
    f.focal = a.focal + (b.focal - a.focal) * t;
    // A record's ratio is a whole ramp entry in between too: the reference player cuts the
    // mixed ratio down to one, so records one entry apart stay a hard step as the shape morphs.
    auto ratioOf = [](const GradientStop &s) { return std::round(s.position * 255.0); };
    for (std::size_t i = 0; i < f.stops.size() && i < b.stops.size(); ++i) {
        const double from = ratioOf(a.stops[i]);
        f.stops[i].position = std::floor(from + (ratioOf(b.stops[i]) - from) * t + 1e-9) / 255.0;
        f.stops[i].color = lerpColor(a.stops[i].color, b.stops[i].color, t);
    }
    return f;
}

} // namespace

BuiltLayer buildLayer(const ShapeLayer &layer)
{
    BuiltLayer built;
    const int fillCount = int(layer.fills.size());
    const int lineCount = int(layer.lines.size());
    std::vector<std::vector<Segment>> fillSegments(fillCount);
    built.linePaths.resize(lineCount);
    std::vector<QPointF> lineEnd(lineCount);
    std::vector<bool> lineStarted(lineCount, false);
    for (const Edge &e : layer.edges) {
        // fill1 lies on the edge's left as drawn; fill0's side is walked the other way.
        if (e.fill1 > 0 && e.fill1 <= fillCount) {
            fillSegments[e.fill1 - 1].push_back({ e.from, e.control, e.to, e.curve });
        }
        if (e.fill0 > 0 && e.fill0 <= fillCount && e.fill0 != e.fill1) {
            fillSegments[e.fill0 - 1].push_back({ e.to, e.control, e.from, e.curve });
        }
        if (e.line > 0 && e.line <= lineCount) {
            const int l = e.line - 1;
            QPainterPath &p = built.linePaths[l];
            if (!lineStarted[l] || lineEnd[l] != e.from) {
                p.moveTo(e.from);
                lineStarted[l] = true;
            }
            addSegment(p, { e.from, e.control, e.to, e.curve });
            lineEnd[l] = e.to;
        }
    }
    built.fillPaths.reserve(fillCount);
    for (const auto &segments : fillSegments) {
        built.fillPaths.push_back(joinSegments(segments));
    }
    return built;
}

ShapeLayer interpolateMorph(const MorphShape &morph, double t)
{
    ShapeLayer out;
    out.fills.reserve(morph.start.fills.size());
    for (std::size_t i = 0; i < morph.start.fills.size(); ++i) {
        const FillStyle &a = morph.start.fills[i];
        out.fills.push_back(i < morph.end.fills.size() ? lerpFill(a, morph.end.fills[i], t) : a);
    }
    for (std::size_t i = 0; i < morph.start.lines.size(); ++i) {
        LineStyle l = morph.start.lines[i];
        if (i < morph.end.lines.size()) {
            const LineStyle &b = morph.end.lines[i];
            l.width = l.width + (b.width - l.width) * t;
            l.color = lerpColor(l.color, b.color, t);
            if (l.hasFill) {
                l.fill = lerpFill(l.fill, b.fill, t);
            }
        }
        out.lines.push_back(l);
    }
    const std::size_t n = std::min(morph.start.edges.size(), morph.end.edges.size());
    out.edges.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        const Edge &a = morph.start.edges[i];
        const Edge &b = morph.end.edges[i];
        Edge e = a;
        e.from = lerpPoint(a.from, b.from, t);
        e.to = lerpPoint(a.to, b.to, t);
        e.curve = a.curve || b.curve;
        const QPointF ca = a.curve ? a.control : (a.from + a.to) / 2;
        const QPointF cb = b.curve ? b.control : (b.from + b.to) / 2;
        e.control = lerpPoint(ca, cb, t);
        out.edges.push_back(e);
    }
    return out;
}

} // namespace animation::swf
