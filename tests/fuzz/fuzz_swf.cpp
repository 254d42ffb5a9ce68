// Parses a movie and draws a few small frames; any crash, hang or leak-sized allocation is a bug.
#include "animation/swfrenderer.h"

#include <QGuiApplication>
#include <QImage>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    using namespace animation::swf;
    Limits limits;
    limits.maxBodyBytes = 4 * 1024 * 1024;
    limits.maxTotalBitmapPixels = 4 * 1024 * 1024;
    limits.maxBitmapPixels = 2 * 1024 * 1024;
    std::shared_ptr<const Movie> movie;
    try {
        movie = parseMovie(
            QByteArrayView(reinterpret_cast<const char *>(data), qsizetype(size)), limits);
    } catch (const FormatError &) {
        return 0;
    }
    PlaybackBudget budget;
    TimelineInstance root(*movie, movie->root, budget, 0);
    root.start();
    Renderer renderer(*movie);
    renderer.setMaxPrimitives(2000);
    for (int i = 0; i < 3; ++i) {
        renderer.renderFrame(root, QSize(48, 16));
        root.tick();
    }
    return 0;
}
