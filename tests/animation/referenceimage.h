#pragma once

#include "animation/swfrenderer.h"

#include <QImage>
#include <QString>

#include <memory>

// Renders a corpus movie the way the reference images were captured: at stage size, after a
// number of frames, composited over the movie's background colour.
struct ReferenceRun
{
    std::shared_ptr<const animation::swf::Movie> movie;
    std::unique_ptr<animation::swf::PlaybackBudget> budget;
    std::unique_ptr<animation::swf::TimelineInstance> root;
};

ReferenceRun startMovie(const QString &path);
QImage renderOpaque(ReferenceRun &run, QSize size);

struct ImageDiff
{
    qint64 pixels = 0;
    qint64 outliers = 0; // pixels whose largest channel difference exceeds the threshold
    int maxDelta = 0;
    double outlierFraction() const { return pixels ? double(outliers) / double(pixels) : 1.0; }
};

ImageDiff compareImages(const QImage &a, const QImage &b, int threshold);
