#pragma once

#include "animation/swfmovie.h"

#include <QGradientStops>

namespace animation::swf {

// The colour ramp of a gradient fill, as stops over the gradient square's 0..1 span.
//
// A movie's gradient records are laid out on a ramp of 256 entries in record order, not in ratio
// order: the ramp moves on by at most one record per entry, and only once the entry lies past
// that record's ratio. So records whose ratios repeat each show as a one-entry band, a record
// whose ratio goes backwards still takes one entry, and past the last ratio the ramp holds the
// last record's colour. Between two records the colour is mixed by their ratios (in linear light
// when the gradient asks for it). The colour transform is applied to each record's colour.
// Records must not be empty.
QGradientStops gradientStops(
    const std::vector<GradientStop> &records, bool linearLight, const ColorTransform &cx);

} // namespace animation::swf
