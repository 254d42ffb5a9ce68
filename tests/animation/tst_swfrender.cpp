#include "animation/swfgradient.h"
#include "corpus.h"
#include "referenceimage.h"
#include "swfbuilder.h"

#include <QPainter>
#include <QTest>

#include <algorithm>
#include <cstdlib>

using namespace animation::swf;

namespace {

QColor pixel(const QImage &img, int x, int y)
{
    return QColor::fromRgba(img.convertToFormat(QImage::Format_ARGB32).pixel(x, y));
}

// The gradient's colours across a 256-pixel strip, one pixel per ramp entry.
QImage rampStrip(const std::vector<GradientStop> &records)
{
    QLinearGradient g(0, 0, 256, 0);
    g.setStops(gradientStops(records, false, ColorTransform {}));
    QImage img(256, 1, QImage::Format_ARGB32);
    QPainter p(&img);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    p.fillRect(img.rect(), g);
    return img;
}

std::shared_ptr<const Movie> build(const SwfBuilder &b, int frames)
{
    return parseMovie(b.fws(frames));
}

} // namespace

class TestSwfRender : public QObject
{
    Q_OBJECT

private slots:
    // Each row: a corpus reference image, the frame it was captured at (1-based), and the
    // largest fraction of pixels allowed to differ by more than 64 in some channel.
    void matchesReferenceImages_data()
    {
        QTest::addColumn<QString>("movie");
        QTest::addColumn<QString>("png");
        QTest::addColumn<int>("frame");
        QTest::addColumn<double>("allowed");
        auto row
            = [](const char *name, const char *movie, const char *png, int frame, double allowed) {
                  QTest::newRow(name) << QString(movie) << QString(png) << frame << allowed;
              };
        row("shape overlaps", "ruffle/overlaps/test.swf", "ruffle/overlaps/output.expected.png", 1,
            0.01);
        row("winding rule", "ruffle/winding_rule/test.swf",
            "ruffle/winding_rule/output.expected.png", 1, 0.01);
        row("sprite layers", "ruffle/layers/test.swf", "ruffle/layers/output.expected.png", 1,
            0.01);
        row("clip depth masks", "ruffle/masks/test.swf", "ruffle/masks/output.expected.png", 1,
            0.025);
        row("linear gradients", "ruffle/gradients_linear/test.swf",
            "ruffle/gradients_linear/output.expected.png", 1, 0.015);
        row("radial gradients", "ruffle/gradients_radial/test.swf",
            "ruffle/gradients_radial/output.expected.png", 1, 0.015);
        row("focal gradient", "ruffle/gradients_focal/test.swf",
            "ruffle/gradients_focal/output.expected.png", 1, 0.02);
        row("reflect spread", "ruffle/gradients_reflect/test.swf",
            "ruffle/gradients_reflect/output.expected.png", 1, 0.015);
        row("repeat spread", "ruffle/gradients_repeat/test.swf",
            "ruffle/gradients_repeat/output.expected.png", 1, 0.02);
        row("equal ratios", "ruffle/gradient_same_ratios/test.swf",
            "ruffle/gradient_same_ratios/output.expected.png", 1, 0.005);
        row("equal radial ratios", "ruffle/gradient_radial_same_ratios/test.swf",
            "ruffle/gradient_radial_same_ratios/output.expected.png", 1, 0.027);
        row("decreasing ratios", "ruffle/gradient_nonsequential_ratios/test.swf",
            "ruffle/gradient_nonsequential_ratios/output.expected.png", 1, 0.005);
        row("shape1 vs shape4 gradients", "ruffle/gradient_issue_9892/test.swf",
            "ruffle/gradient_issue_9892/output.expected.png", 1, 0.0025);
        row("colour transform", "ruffle/color_transform_issue_9698/test.swf",
            "ruffle/color_transform_issue_9698/output.expected.png", 1, 0.005);
        row("heavy tessellation", "ruffle/heavy_tesselation/test.swf",
            "ruffle/heavy_tesselation/output.expected.png", 1, 0.01);
        row("strokes under scaling", "ruffle/strokes_scale/test.swf",
            "ruffle/strokes_scale/output.expected.png", 1, 0.03);
        row("gradient transform (title-strip sized)", "shumway/gradientTransform/test.swf",
            "shumway/gradientTransform/output.expected.png", 1, 0.005);
        row("shape1 gradients", "shumway/gradient/test.swf", "shumway/gradient/output.expected.png",
            1, 0.005);
        row("acid gradient", "shumway/acid-gradient/test.swf",
            "shumway/acid-gradient/output.expected.png", 1, 0.015);
        row("gradients in sprites", "shumway/acid-gradient-0/test.swf",
            "shumway/acid-gradient-0/output.expected.png", 1, 0.005);
        row("gradient in sprite", "shumway/acid-gradient-1/test.swf",
            "shumway/acid-gradient-1/output.expected.png", 1, 0.005);
        row("shape4 gradient in sprite", "shumway/acid-gradient-2/test.swf",
            "shumway/acid-gradient-2/output.expected.png", 1, 0.005);
        row("matrix scale", "shumway/acid-scale/test.swf", "shumway/acid-scale/output.expected.png",
            1, 0.015);
        row("clip depth", "shumway/acid-clip-2/test.swf", "shumway/acid-clip-2/output.expected.png",
            1, 0.005);
        row("static text", "shumway/acid-text-3/test.swf",
            "shumway/acid-text-3/output.expected.png", 1, 0.005);
        row("text and shapes", "shumway/acid-chars/test.swf",
            "shumway/acid-chars/output.expected.png", 1, 0.01);
        row("animated text frame 1", "shumway/acid-text-6/test.swf",
            "shumway/acid-text-6/frame5.expected.png", 1, 0.005);
        row("animated text frame 20", "shumway/acid-text-6/test.swf",
            "shumway/acid-text-6/output.expected.png", 20, 0.005);
        row("looping sprite frame 1", "shumway/acid-small/test.swf",
            "shumway/acid-small/output.01.expected.png", 1, 0.01);
        row("looping sprite frame 5", "shumway/acid-small/test.swf",
            "shumway/acid-small/output.05.expected.png", 5, 0.01);
        row("nested sprites frame 5", "shumway/acid-child/test.swf",
            "shumway/acid-child/frame5.expected.png", 5, 0.01);
        row("nested sprites frame 10", "shumway/acid-child/test.swf",
            "shumway/acid-child/output.expected.png", 10, 0.01);
        row("morph with ratios", "shumway/invalidClipDepth/test.swf",
            "shumway/invalidClipDepth/output.expected.png", 1, 0.005);
        row("bitmap fills", "shumway/acid-bitmap-fill/test.swf",
            "shumway/acid-bitmap-fill/output.expected.png", 1, 0.015);
        row("large JPEG in a sprite, frame 500", "real/acid-large/test.swf",
            "real/acid-large/output.expected.png", 500, 0.005);
        row("bitmap fill matrix", "shumway/acid-bitmap-fill-2/test.swf",
            "shumway/acid-bitmap-fill-2/output.expected.png", 1, 0.005);
        for (int i = 1; i <= 6; ++i) {
            const QByteArray name = "morph frame " + QByteArray::number(i + 1);
            const QByteArray png
                = "gnash/morph_test1/frame" + QByteArray::number(i) + ".expected.png";
            QTest::newRow(name.constData())
                << QString("gnash/morph_test1/test.swf") << QString(png) << i + 1 << 0.005;
        }
        for (int i = 1; i <= 7; ++i) {
            const QByteArray name = "loop frame " + QByteArray::number(i + 1);
            const QByteArray png
                = "gnash/simple_loop_test/frame" + QByteArray::number(i) + ".expected.png";
            QTest::newRow(name.constData())
                << QString("gnash/simple_loop_test/test.swf") << QString(png) << i + 1 << 0.002;
        }
    }

    void matchesReferenceImages()
    {
        const QString dir = corpusDir();
        if (dir.isEmpty()) {
            QSKIP("movie corpus not available");
        }
        QFETCH(QString, movie);
        QFETCH(QString, png);
        QFETCH(int, frame);
        QFETCH(double, allowed);
        ReferenceRun run = startMovie(dir + "/" + movie);
        QVERIFY(run.movie);
        for (int i = 1; i < frame; ++i) {
            run.root->tick();
        }
        const QImage expected(dir + "/" + png);
        QVERIFY(!expected.isNull());
        const QImage got = renderOpaque(run, expected.size());
        const ImageDiff diff = compareImages(got, expected, 64);
        if (diff.outlierFraction() > allowed) {
            got.save(QDir::temp().filePath(
                "animation-" + QString(QTest::currentDataTag()).replace(' ', '_') + ".png"));
        }
        QVERIFY2(diff.outlierFraction() <= allowed,
            qPrintable(QString("%1 of pixels differ").arg(diff.outlierFraction())));
    }

    // Gradient records are laid on the ramp in their own order: a repeated ratio still shows
    // its colour for one entry, and a record whose ratio goes backwards is mixed from its own
    // ratio onward. Pixel x shows ramp entry x + 1.
    void gradientRampFollowsRecordOrder_data()
    {
        QTest::addColumn<std::vector<GradientStop>>("records");
        QTest::addColumn<int>("x");
        QTest::addColumn<QColor>("expected");
        auto at = [](int ratio, QColor c) { return GradientStop { ratio / 255.0, c }; };
        const std::vector<GradientStop> backwards { at(0, Qt::red), at(128, Qt::green),
            at(64, Qt::blue), at(255, Qt::white) };
        QTest::newRow("backwards ratio: mixed from its own ratio")
            << backwards << 191 << QColor(171, 171, 255);
        const std::vector<GradientStop> repeated { at(0, Qt::red), at(100, Qt::green),
            at(100, Qt::blue), at(100, Qt::black), at(255, Qt::white) };
        QTest::newRow("repeated ratio: first held one entry past it")
            << repeated << 100 << QColor(Qt::green);
        QTest::newRow("repeated ratio: middle gets its own entry")
            << repeated << 101 << QColor(Qt::blue);
        const std::vector<GradientStop> atTheEnd { at(0, Qt::red), at(250, Qt::green),
            at(250, Qt::blue), at(250, Qt::white) };
        QTest::newRow("repeated ratio near the end") << atTheEnd << 251 << QColor(Qt::blue);
        // At 0.55 through a morph the pair lies at 105.5 and 106.5: whole ratios keep the step.
        MorphShape morph;
        morph.start.fills.resize(1);
        morph.start.fills[0].stops = { at(100, Qt::red), at(101, Qt::blue) };
        morph.end.fills = { morph.start.fills[0] };
        morph.end.fills[0].stops = { at(110, Qt::red), at(111, Qt::blue) };
        QTest::newRow("morph in between: hard step kept")
            << interpolateMorph(morph, 0.55).fills[0].stops << 105 << QColor(Qt::blue);
    }

    void gradientRampFollowsRecordOrder()
    {
        QFETCH(std::vector<GradientStop>, records);
        QFETCH(int, x);
        QFETCH(QColor, expected);
        const QColor got = pixel(rampStrip(records), x, 0);
        const int delta = std::max({ std::abs(got.red() - expected.red()),
            std::abs(got.green() - expected.green()), std::abs(got.blue() - expected.blue()) });
        QVERIFY2(delta <= 3, qPrintable(QString("got %1").arg(got.name())));
    }

    void loopWrapsToTheFirstFrame()
    {
        const QString dir = corpusDir();
        if (dir.isEmpty()) {
            QSKIP("movie corpus not available");
        }
        // Four frames: after the last comes the first again, looking the same as before.
        ReferenceRun run = startMovie(dir + "/gnash/simple_loop_test/test.swf");
        QCOMPARE(run.root->frameCount(), 4);
        const QImage first = renderOpaque(run, QSize(200, 150));
        for (int i = 0; i < 3; ++i) {
            run.root->tick();
        }
        QCOMPARE(run.root->currentFrame(), 3);
        QVERIFY(compareImages(renderOpaque(run, QSize(200, 150)), first, 8).outliers > 0);
        run.root->tick();
        QCOMPARE(run.root->currentFrame(), 0);
        QCOMPARE(compareImages(renderOpaque(run, QSize(200, 150)), first, 0).outliers, 0);
    }

    void transparentWhereNothingIsDrawn()
    {
        SwfBuilder b(100, 20);
        b.background(Qt::green); // kept, but a transparent player does not paint it
        b.rectShape(1, QRect(10, 5, 20, 10), Qt::red);
        b.place(1, 1);
        b.showFrame();
        const auto movie = build(b, 1);
        QCOMPARE(movie->background.value(), QColor(Qt::green));
        PlaybackBudget budget;
        TimelineInstance root(*movie, movie->root, budget, 0);
        root.start();
        Renderer r(*movie);
        const QImage img = r.renderFrame(root, QSize(100, 20));
        QCOMPARE(img.format(), QImage::Format_ARGB32_Premultiplied);
        QCOMPARE(pixel(img, 2, 2).alpha(), 0);
        QCOMPARE(pixel(img, 20, 10), QColor(Qt::red));
    }

    void colourTransformLeavesTransparentBitmapPixelsTransparent()
    {
        // A bitmap of a transparent, a half-covered green and an opaque blue pixel, placed
        // with a transform that adds red and alpha: only pixels with some cover take it.
        QImage bits(3, 1, QImage::Format_ARGB32);
        bits.setPixel(0, 0, qRgba(0, 0, 0, 0));
        bits.setPixel(1, 0, qRgba(0, 255, 0, 128));
        bits.setPixel(2, 0, qRgba(0, 0, 255, 255));
        SwfBuilder b(30, 10);
        b.losslessBitmap(1, bits);
        b.bitmapRectShape(2, QRect(0, 0, 30, 10), 1, 10);
        const int mult[4] = { 256, 256, 256, 256 };
        const int add[4] = { 100, 0, 0, 128 };
        b.placeTransformed(1, 2, mult, add);
        b.showFrame();
        const auto movie = build(b, 1);
        PlaybackBudget budget;
        TimelineInstance root(*movie, movie->root, budget, 0);
        root.start();
        Renderer r(*movie);
        const QImage img = r.renderFrame(root, QSize(30, 10));
        QCOMPARE(pixel(img, 5, 5).alpha(), 0);
        QCOMPARE(pixel(img, 15, 5), QColor(100, 255, 0));
        QCOMPARE(pixel(img, 25, 5), QColor(100, 0, 255));
    }

    void showAllKeepsAspectAndCentres()
    {
        // A 100x20 stage into 249x49: scale min(2.49, 2.45) = 2.45, centred horizontally.
        SwfBuilder b(100, 20);
        b.rectShape(1, QRect(0, 0, 100, 20), Qt::blue);
        b.place(1, 1);
        b.showFrame();
        const auto movie = build(b, 1);
        PlaybackBudget budget;
        TimelineInstance root(*movie, movie->root, budget, 0);
        root.start();
        Renderer r(*movie);
        const QImage img = r.renderFrame(root, QSize(249, 49));
        const double w = 100 * 2.45;
        const int left = int((249 - w) / 2);
        QCOMPARE(pixel(img, 0, 24).alpha(), 0);
        QCOMPARE(pixel(img, 248, 24).alpha(), 0);
        QCOMPARE(pixel(img, left + 3, 24), QColor(Qt::blue));
        QCOMPARE(pixel(img, 124, 1), QColor(Qt::blue));
        QCOMPARE(pixel(img, 124, 47), QColor(Qt::blue));
    }

    void stopActionHaltsTheTimeline()
    {
        SwfBuilder b(40, 40);
        b.rectShape(1, QRect(0, 0, 10, 10), Qt::red);
        b.place(1, 1);
        b.showFrame();
        b.move(1, 20, 0);
        b.stopAction();
        b.showFrame();
        b.move(1, 20, 20);
        b.showFrame();
        const auto movie = build(b, 3);
        PlaybackBudget budget;
        TimelineInstance root(*movie, movie->root, budget, 0);
        root.start();
        QVERIFY(root.isPlaying());
        root.tick();
        QCOMPARE(root.currentFrame(), 1);
        QVERIFY(!root.isPlaying());
        for (int i = 0; i < 5; ++i) {
            root.tick();
        }
        QCOMPARE(root.currentFrame(), 1);
        Renderer r(*movie);
        const QImage img = r.renderFrame(root, QSize(40, 40));
        QCOMPARE(pixel(img, 25, 5), QColor(Qt::red));
        QCOMPARE(pixel(img, 5, 5).alpha(), 0);
    }

    void gotoFrameJumpsAndSpritesLoopOnTheirOwn()
    {
        // Root: frame 3 jumps back to frame 2 (index 1), so frames 2-3 repeat.
        SwfBuilder inner(0, 0);
        inner.place(1, 1, 0, 0);
        inner.showFrame();
        inner.move(1, 10, 0);
        inner.showFrame();
        inner.move(1, 20, 0);
        inner.showFrame();
        SwfBuilder b(40, 40);
        b.rectShape(1, QRect(0, 0, 5, 5), Qt::red);
        b.sprite(2, inner.tags(), 3);
        b.place(1, 2);
        b.showFrame();
        b.showFrame();
        b.gotoFrameAction(1);
        b.showFrame();
        b.showFrame();
        const auto movie = build(b, 4);
        PlaybackBudget budget;
        TimelineInstance root(*movie, movie->root, budget, 0);
        root.start();
        std::vector<int> rootFrames, spriteFrames;
        for (int i = 0; i < 6; ++i) {
            rootFrames.push_back(root.currentFrame());
            const auto &list = root.displayList();
            QCOMPARE(list.size(), std::size_t(1));
            spriteFrames.push_back(list.begin()->second.sprite->currentFrame());
            root.tick();
        }
        QCOMPARE(rootFrames, (std::vector<int> { 0, 1, 1, 1, 1, 1 }));
        QCOMPARE(spriteFrames, (std::vector<int> { 0, 1, 2, 0, 1, 2 }));
    }

    void removedObjectsDisappear()
    {
        SwfBuilder b(40, 40);
        b.rectShape(1, QRect(0, 0, 40, 40), Qt::red);
        b.place(1, 1);
        b.showFrame();
        b.remove(1);
        b.showFrame();
        const auto movie = build(b, 2);
        PlaybackBudget budget;
        TimelineInstance root(*movie, movie->root, budget, 0);
        root.start();
        Renderer r(*movie);
        QCOMPARE(pixel(r.renderFrame(root, QSize(40, 40)), 20, 20), QColor(Qt::red));
        root.tick();
        QCOMPARE(pixel(r.renderFrame(root, QSize(40, 40)), 20, 20).alpha(), 0);
        root.tick(); // loops: placed again
        QCOMPARE(pixel(r.renderFrame(root, QSize(40, 40)), 20, 20), QColor(Qt::red));
    }
};

QTEST_MAIN(TestSwfRender)
#include "tst_swfrender.moc"
