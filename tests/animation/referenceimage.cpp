#include "referenceimage.h"

#include <QFile>
#include <QPainter>

#include <algorithm>
#include <cstdlib>

using namespace animation::swf;

ReferenceRun startMovie(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        return {};
    }
    ReferenceRun run;
    run.movie = parseMovie(f.readAll());
    run.budget = std::make_unique<PlaybackBudget>();
    run.root = std::make_unique<TimelineInstance>(*run.movie, run.movie->root, *run.budget, 0);
    run.root->start();
    return run;
}

QImage renderOpaque(ReferenceRun &run, QSize size)
{
    Renderer renderer(*run.movie);
    const QImage frame = renderer.renderFrame(*run.root, size);
    QImage out(size, QImage::Format_ARGB32_Premultiplied);
    out.fill(run.movie->background.value_or(Qt::white));
    QPainter p(&out);
    p.drawImage(0, 0, frame);
    p.end();
    return out;
}

ImageDiff compareImages(const QImage &a, const QImage &b, int threshold)
{
    ImageDiff d;
    if (a.size() != b.size()) {
        d.pixels = 1;
        d.outliers = 1;
        d.maxDelta = 255;
        return d;
    }
    const QImage x = a.convertToFormat(QImage::Format_ARGB32);
    const QImage y = b.convertToFormat(QImage::Format_ARGB32);
    for (int row = 0; row < x.height(); ++row) {
        const auto *p = reinterpret_cast<const QRgb *>(x.constScanLine(row));
        const auto *q = reinterpret_cast<const QRgb *>(y.constScanLine(row));
        for (int col = 0; col < x.width(); ++col) {
            const int delta = std::max({ std::abs(qRed(p[col]) - qRed(q[col])),
                std::abs(qGreen(p[col]) - qGreen(q[col])), std::abs(qBlue(p[col]) - qBlue(q[col])),
                std::abs(qAlpha(p[col]) - qAlpha(q[col])) });
            d.maxDelta = std::max(d.maxDelta, delta);
            if (delta > threshold) {
                ++d.outliers;
            }
            ++d.pixels;
        }
    }
    return d;
}
