#include "animation/swfgradient.h"

#include <algorithm>
#include <cmath>

namespace animation::swf {

namespace {

// The ramp has 256 entries across the gradient square. Entry e holds the colour at ratio e and
// shows from just past span position (e-1)/256 up to e/256, so ratio x, read continuously between
// entries, lies at span position (x - 0.5) / 256.
constexpr int rampEntries = 256;
constexpr double rampEnd = rampEntries + 0.5; // ratio at span position 1
constexpr double nudge = 1e-6; // Qt keeps one stop per position: a hard step needs two

double spanOf(double x)
{
    return std::clamp((x - 0.5) / rampEntries, 0.0, 1.0);
}

double toLinear(double c)
{
    c /= 255.0;
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

int fromLinear(double c)
{
    c = c <= 0.0031308 ? c * 12.92 : 1.055 * std::pow(c, 1 / 2.4) - 0.055;
    return std::clamp(int(c * 255.0 + 0.5), 0, 255);
}

QColor mix(const QColor &a, const QColor &b, double t, bool linearLight)
{
    auto channel = [&](int x, int y) {
        return linearLight ? fromLinear(toLinear(x) + (toLinear(y) - toLinear(x)) * t)
                           : int(x + (y - x) * t + 0.5);
    };
    return QColor(channel(a.red(), b.red()), channel(a.green(), b.green()),
        channel(a.blue(), b.blue()), int(a.alpha() + (b.alpha() - a.alpha()) * t + 0.5));
}

// Qt interpolates stops in sRGB; for linear-light gradients insert intermediate stops.
QGradientStops linearLightStops(const QGradientStops &in)
{
    constexpr int steps = 8;
    QGradientStops out;
    for (qsizetype i = 0; i + 1 < in.size(); ++i) {
        const auto &[p0, c0] = in[i];
        const auto &[p1, c1] = in[i + 1];
        out.append(in[i]);
        if (p1 - p0 < 1e-3 || c0 == c1) {
            continue;
        }
        for (int k = 1; k < steps; ++k) {
            const double t = double(k) / steps;
            out.append({ p0 + (p1 - p0) * t, mix(c0, c1, t, true) });
        }
    }
    if (!in.isEmpty()) {
        out.append(in.back());
    }
    return out;
}

struct Record
{
    double ratio; // 0..255
    QColor color;
};

// The colour between record k and k+1 at ramp position x.
QColor between(const Record &a, const Record &b, double x, bool linearLight)
{
    if (b.ratio <= a.ratio) {
        return a.color;
    }
    return mix(
        a.color, b.color, std::clamp((x - a.ratio) / (b.ratio - a.ratio), 0.0, 1.0), linearLight);
}

} // namespace

QGradientStops gradientStops(
    const std::vector<GradientStop> &records, bool linearLight, const ColorTransform &cx)
{
    std::vector<Record> rs;
    rs.reserve(records.size());
    for (const GradientStop &s : records) {
        rs.push_back({ std::clamp(s.position, 0.0, 1.0) * 255.0, cx.apply(s.color) });
    }
    QGradientStops stops;
    if (rs.empty()) {
        return stops;
    }
    auto add = [&stops](double pos, const QColor &c) {
        if (!stops.isEmpty() && pos <= stops.back().first) {
            pos = stops.back().first + nudge;
        }
        if (pos <= 1.0) {
            stops.append({ pos, c });
        }
    };
    // A hard step at ramp position x from one colour to the next.
    auto step = [&](double x, const QColor &before, const QColor &after) {
        if (before != after) {
            add(spanOf(x) - nudge, before);
        }
        add(spanOf(x), after);
    };
    add(0.0, rs[0].color);
    // The ramp reaches record k at the first entry past its ratio and past the entry that
    // reached record k-1; until then it holds the colour it had.
    int reached = int(rs[0].ratio) + 1;
    QColor held = rs[0].color;
    for (std::size_t k = 0; k + 1 < rs.size() && reached < rampEntries; ++k) {
        const Record &a = rs[k];
        const Record &b = rs[k + 1];
        const int next = std::max(reached + 1, int(b.ratio) + 1);
        const double from = reached - 0.5;
        const double to = std::min(next - 0.5, rampEnd);
        step(from, held, between(a, b, from, linearLight));
        if (b.ratio > from && b.ratio < to) {
            add(spanOf(b.ratio), b.color);
        }
        held = between(a, b, to, linearLight);
        reached = next;
    }
    if (reached < rampEntries) {
        step(reached - 0.5, held, rs.back().color);
    } else {
        add(1.0, held);
    }
    return linearLight ? linearLightStops(stops) : stops;
}

} // namespace animation::swf
