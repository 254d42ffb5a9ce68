// Prints parse times of the largest corpus movies and draw times per frame at the two strip
// sizes. Usage: bench_animation [corpus-dir]   (default: $RADIO_SHARED_DIR/swf-corpus)
#include "animation/swfrenderer.h"

#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPainter>

#include <algorithm>
#include <cstdio>

using namespace animation::swf;

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QString dir
        = argc > 1 ? QString(argv[1]) : qEnvironmentVariable("RADIO_SHARED_DIR") + "/swf-corpus";
    QList<QFileInfo> files;
    QDirIterator it(dir, { "*.swf" }, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        files << QFileInfo(it.next());
    }
    if (files.isEmpty()) {
        std::fprintf(stderr, "no movies under %s\n", qPrintable(dir));
        return 1;
    }
    std::sort(files.begin(), files.end(),
        [](const QFileInfo &a, const QFileInfo &b) { return a.size() > b.size(); });
    files = files.mid(0, 8);
    // A few small movies typical of title strips as well.
    for (const char *small :
        { "shumway/gradientTransform/test.swf", "gnash/simple_loop_test/test.swf",
            "shumway/acid-text-6/test.swf", "shumway/acid-child/test.swf" }) {
        const QFileInfo fi(dir + "/" + small);
        if (fi.exists()) {
            files << fi;
        }
    }
    std::printf("%-58s %9s %9s %10s %12s %12s\n", "movie", "bytes", "parse ms", "frames",
        "193x17 ms/f", "249x49 ms/f");
    for (const QFileInfo &fi : files) {
        QFile f(fi.filePath());
        if (!f.open(QIODevice::ReadOnly)) {
            continue;
        }
        const QByteArray bytes = f.readAll();
        QElapsedTimer t;
        t.start();
        std::shared_ptr<const Movie> movie;
        const int parseRuns = 3;
        try {
            for (int i = 0; i < parseRuns; ++i) {
                movie = parseMovie(bytes);
            }
        } catch (const FormatError &e) {
            std::printf("%-58s %9lld rejected: %s\n", qPrintable(fi.filePath().mid(dir.size() + 1)),
                qint64(bytes.size()), e.what());
            continue;
        }
        const double parseMs = t.nsecsElapsed() / 1e6 / parseRuns;
        double perFrame[2] = { 0, 0 };
        const QSize sizes[2] = { QSize(193, 17), QSize(249, 49) };
        const int frames = 60;
        for (int s = 0; s < 2; ++s) {
            PlaybackBudget budget;
            TimelineInstance root(*movie, movie->root, budget, 0);
            root.start();
            Renderer renderer(*movie);
            QImage target(sizes[s], QImage::Format_ARGB32_Premultiplied);
            QElapsedTimer rt;
            rt.start();
            for (int i = 0; i < frames; ++i) {
                target.fill(Qt::transparent);
                QPainter p(&target);
                renderer.render(
                    p, root, Renderer::showAllTransform(movie->frameRect, QSizeF(sizes[s])));
                p.end();
                root.tick();
            }
            perFrame[s] = rt.nsecsElapsed() / 1e6 / frames;
        }
        std::printf("%-58s %9lld %9.2f %10d %12.3f %12.3f\n",
            qPrintable(fi.filePath().mid(dir.size() + 1)), qint64(bytes.size()), parseMs,
            movie->root.frameCount(), perFrame[0], perFrame[1]);
    }
    return 0;
}
