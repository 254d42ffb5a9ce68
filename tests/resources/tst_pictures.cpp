#include "resources/pictures.h"

#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QRect>
#include <QSet>
#include <QtEndian>
#include <QtTest>

#include <algorithm>
#include <functional>
#include <initializer_list>

using resources::Picture;
using resources::picturePath;

namespace {

QImage load(Picture picture)
{
    QImage image(picturePath(picture));
    return image.convertToFormat(QImage::Format_RGB32);
}

int maxChannel(QRgb c)
{
    return std::max({ qRed(c), qGreen(c), qBlue(c) });
}

bool near(QRgb c, int r, int g, int b, int tolerance)
{
    return std::abs(qRed(c) - r) <= tolerance && std::abs(qGreen(c) - g) <= tolerance
        && std::abs(qBlue(c) - b) <= tolerance;
}

QString describe(QRgb c)
{
    return QStringLiteral("(%1,%2,%3)").arg(qRed(c)).arg(qGreen(c)).arg(qBlue(c));
}

// Share of the pixels in `area` (both ends included) that satisfy `test`.
double share(const QImage &image, QRect area, const std::function<bool(QRgb)> &test)
{
    int hits = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            hits += test(image.pixel(x, y)) ? 1 : 0;
    return double(hits) / double(area.width() * area.height());
}

int brightest(const QImage &image, QRect area)
{
    int most = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            most = std::max(most, maxChannel(image.pixel(x, y)));
    return most;
}

// Rectangle from inclusive pixel ranges, as the layout gives them.
QRect span(int left, int top, int right, int bottom)
{
    return QRect(QPoint(left, top), QPoint(right, bottom));
}

// The start-of-frame marker of a JPEG file: 0xC0 baseline, 0xC2 progressive.
int startOfFrameMarker(const QByteArray &data)
{
    int i = 2;
    while (i + 4 <= data.size()) {
        if (uchar(data[i]) != 0xFF)
            return -1;
        const int marker = uchar(data[i + 1]);
        if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC)
            return marker;
        i += 2 + qFromBigEndian<quint16>(data.constData() + i + 2);
    }
    return -1;
}

const QRgb charcoal = qRgb(52, 51, 47);

} // namespace

class TestPictures : public QObject
{
    Q_OBJECT

private slots:
    void everyPictureEmbedded();
    void formatAndSize_data();
    void formatAndSize();
    void skinBands();
    void skinPanelGlow();
    void closeButton();
    void minimiseButton();
    void banner();
    void icon();
    void iconFile();
    void credits();
    void creditsClose();
};

void TestPictures::everyPictureEmbedded()
{
    QSet<QString> paths;
    for (Picture picture : resources::allPictures) {
        const QString path = picturePath(picture);
        QVERIFY2(path.startsWith(QLatin1String(":/pictures/")), qPrintable(path));
        QVERIFY2(QFile::exists(path), qPrintable(path));
        paths.insert(path);
    }
    QCOMPARE(paths.size(), int(std::size(resources::allPictures)));
}

void TestPictures::formatAndSize_data()
{
    QTest::addColumn<Picture>("picture");
    QTest::addColumn<QByteArray>("format");
    QTest::addColumn<QSize>("size");
    QTest::newRow("skin") << Picture::Form1Skin << QByteArray("jpeg") << QSize(246, 325);
    QTest::newRow("close") << Picture::Form1Close << QByteArray("jpeg") << QSize(27, 17);
    QTest::newRow("minimise") << Picture::Form1Minimise << QByteArray("jpeg") << QSize(27, 17);
    QTest::newRow("banner") << Picture::Form1Banner << QByteArray("jpeg") << QSize(251, 51);
    QTest::newRow("icon") << Picture::Icon << QByteArray("png") << QSize(120, 130);
    QTest::newRow("credits") << Picture::Form2Credits << QByteArray("jpeg") << QSize(431, 311);
    QTest::newRow("credits close") << Picture::Form2Close << QByteArray("jpeg") << QSize(21, 19);
}

void TestPictures::formatAndSize()
{
    QFETCH(Picture, picture);
    QFETCH(QByteArray, format);
    QFETCH(QSize, size);

    QFile file(picturePath(picture));
    QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(file.fileName()));
    const QByteArray data = file.readAll();
    QImageReader reader(picturePath(picture));
    QCOMPARE(reader.format(), format);
    QCOMPARE(reader.size(), size);
    const QImage image = reader.read();
    QVERIFY2(!image.isNull(), qPrintable(reader.errorString()));
    QCOMPARE(image.size(), size);
    QVERIFY(!image.hasAlphaChannel());
    if (format == "jpeg")
        QCOMPARE(startOfFrameMarker(data), 0xC0); // baseline, not progressive
}

// The skin holds its horizontal bands row for row, across the full width.
void TestPictures::skinBands()
{
    const QImage skin = load(Picture::Form1Skin);
    const int columns[] = { 0, 1, 37, 90, 123, 170, 211, 244, 245 };
    const int jpegTolerance = 3;
    auto rowBrightness = [&](int y) {
        int sum = 0;
        for (int x : columns)
            sum += qRed(skin.pixel(x, y)) + qGreen(skin.pixel(x, y)) + qBlue(skin.pixel(x, y));
        return sum / (3 * int(std::size(columns)));
    };

    for (int y = 0; y < skin.height(); ++y) {
        for (int x : columns) {
            const QRgb c = skin.pixel(x, y);
            const QString where
                = QStringLiteral("row %1 column %2: %3").arg(y).arg(x).arg(describe(c));
            if (y <= 40 || y >= 232) {
                QVERIFY2(near(c, 52, 51, 47, jpegTolerance), qPrintable(where));
            } else if (y <= 47) {
                // The shadow: darker than the charcoal, not yet quite black.
                QVERIFY2(maxChannel(c) < qRed(charcoal) - jpegTolerance, qPrintable(where));
            } else if (y <= 229) {
                QVERIFY2(maxChannel(c) <= 8, qPrintable(where));
            } else {
                // The lip back to the charcoal: at least as light as the charcoal.
                QVERIFY2(qRed(c) >= qRed(charcoal) - jpegTolerance && maxChannel(c) < 128,
                    qPrintable(where));
            }
        }
    }
    // The shadow fades from the charcoal into black, row by row.
    QVERIFY(rowBrightness(41) >= 30);
    for (int y = 42; y <= 47; ++y)
        QVERIFY2(rowBrightness(y) < rowBrightness(y - 1), qPrintable(QString::number(y)));
    QVERIFY(rowBrightness(47) <= 8);
    // The edges are sharp: black right up to row 229, charcoal from row 230.
    QVERIFY(rowBrightness(229) <= 2);
    QVERIFY(rowBrightness(230) >= 48);
}

// The whole panel, not just sampled columns: never above 8, with a faint
// purple glow at the right edge high and low, and none in the middle.
void TestPictures::skinPanelGlow()
{
    const QImage skin = load(Picture::Form1Skin);
    const QRect panel = span(0, 48, 245, 229);
    QVERIFY(brightest(skin, panel) <= 8);

    auto purple = [](QRgb c) { return qBlue(c) >= 3 && qRed(c) >= 2 && qGreen(c) < qBlue(c); };
    QVERIFY2(share(skin, span(236, 60, 245, 100), purple) > 0.5, "no glow high on the right");
    QVERIFY2(share(skin, span(236, 185, 245, 215), purple) > 0.5, "no glow low on the right");
    QVERIFY2(brightest(skin, span(236, 135, 245, 145)) <= 2, "glow in the middle of the panel");
    QVERIFY2(brightest(skin, span(0, 48, 150, 229)) <= 2, "glow away from the right edge");
}

void TestPictures::closeButton()
{
    const QImage button = load(Picture::Form1Close);
    const QRect cross = span(10, 6, 16, 12);
    // The cross: its four arms' ends and its centre are light grey.
    for (QPoint p : { QPoint(10, 6), QPoint(16, 6), QPoint(13, 9), QPoint(10, 12), QPoint(16, 12),
             QPoint(11, 7), QPoint(15, 11) }) {
        const QRgb c = button.pixel(p);
        QVERIFY2(qRed(c) >= 130 && qAbs(qRed(c) - qBlue(c)) < 20,
            qPrintable(
                QStringLiteral("cross at %1,%2: %3").arg(p.x()).arg(p.y()).arg(describe(c))));
    }
    QVERIFY(brightest(button, cross) >= 200 && brightest(button, cross) <= 230);
    // Between the arms the tile shows through.
    for (QPoint p : { QPoint(13, 6), QPoint(10, 9), QPoint(16, 9), QPoint(13, 12) })
        QVERIFY2(maxChannel(button.pixel(p)) < 80, qPrintable(describe(button.pixel(p))));
    // Nothing light outside the cross and the left edge.
    QVERIFY(brightest(button, span(2, 1, 8, 16)) < 80);
    QVERIFY(brightest(button, span(18, 1, 26, 16)) < 80);
    // The tile is dark charcoal, warmer at the top, with a brown top line
    // and a lighter left edge.
    QVERIFY(near(button.pixel(22, 14), 41, 40, 38, 6));
    for (int x = 2; x < 27; x += 4)
        QVERIFY2(
            near(button.pixel(x, 0), 90, 73, 66, 12), qPrintable(describe(button.pixel(x, 0))));
    const QRgb top = button.pixel(22, 1);
    QVERIFY(qRed(top) - qBlue(top) > qRed(button.pixel(22, 14)) - qBlue(button.pixel(22, 14)));
    QVERIFY(qRed(button.pixel(0, 10)) > qRed(button.pixel(5, 10)) + 15);
}

void TestPictures::minimiseButton()
{
    const QImage button = load(Picture::Form1Minimise);
    // A downward chevron: its arms start at the top corners and meet at the
    // bottom middle; the notch above the point stays dark.
    for (QPoint p : { QPoint(11, 6), QPoint(17, 6), QPoint(14, 9), QPoint(12, 7), QPoint(16, 7) }) {
        const QRgb c = button.pixel(p);
        QVERIFY2(qRed(c) >= 130,
            qPrintable(
                QStringLiteral("chevron at %1,%2: %3").arg(p.x()).arg(p.y()).arg(describe(c))));
    }
    QVERIFY(maxChannel(button.pixel(14, 5)) < 80);
    QVERIFY(maxChannel(button.pixel(14, 6)) < 80);
    const QRect chevron = span(10, 5, 18, 9);
    QVERIFY(brightest(button, chevron) >= 180 && brightest(button, chevron) <= 210);
    QVERIFY(brightest(button, span(2, 0, 8, 16)) < 100);
    QVERIFY(brightest(button, span(20, 0, 26, 16)) < 100);
    QVERIFY(brightest(button, span(10, 0, 18, 3)) < 80);
    // Dark charcoal tile, lighter left edge.
    QVERIFY(near(button.pixel(23, 3), 38, 38, 36, 6));
    QVERIFY(qRed(button.pixel(0, 3)) > qRed(button.pixel(5, 3)) + 15);
    // The lower six rows shade into brown, down to a brown bottom line.
    for (int x = 2; x < 27; x += 4)
        QVERIFY2(
            near(button.pixel(x, 16), 90, 73, 66, 12), qPrintable(describe(button.pixel(x, 16))));
    auto warmth = [&](int y) {
        int sum = 0;
        for (int x = 20; x < 27; ++x)
            sum += qRed(button.pixel(x, y)) - qBlue(button.pixel(x, y)) + qRed(button.pixel(x, y));
        return sum;
    };
    QVERIFY(warmth(13) > warmth(10));
    QVERIFY(warmth(15) > warmth(13));
    QVERIFY(warmth(16) > warmth(15));
}

void TestPictures::banner()
{
    const QImage banner = load(Picture::Form1Banner);
    auto golden = [](QRgb c) {
        return qRed(c) > 170 && qGreen(c) > 100 && qRed(c) - qBlue(c) > 100 && qRed(c) >= qGreen(c);
    };
    auto pinkishBrown = [](QRgb c) {
        return qRed(c) > 130 && qRed(c) - qGreen(c) >= 20 && qRed(c) - qGreen(c) <= 90
            && qAbs(qGreen(c) - qBlue(c)) <= 30;
    };
    auto flagGreen = [](QRgb c) { return qGreen(c) > qRed(c) + 30 && qGreen(c) > 50; };
    auto flagRed = [](QRgb c) { return qRed(c) > 150 && qGreen(c) < 90 && qBlue(c) < 110; };

    // The brand word: golden, in the top rows of the title columns only.
    QVERIFY(share(banner, span(86, 0, 222, 26), golden) > 0.15);
    QCOMPARE(share(banner, span(86, 29, 222, 50), golden), 0.0);
    // The product line: pinkish brown, under the brand word.
    QVERIFY(share(banner, span(86, 29, 222, 50), pinkishBrown) > 0.12);
    QVERIFY(share(banner, span(86, 0, 222, 26), pinkishBrown) < 0.01);
    // The title spans its columns: ink near both ends of both lines.
    QVERIFY(brightest(banner, span(86, 0, 92, 26)) > 150);
    QVERIFY(brightest(banner, span(214, 0, 222, 26)) > 150);
    QVERIFY(brightest(banner, span(86, 29, 92, 50)) > 150);
    QVERIFY(brightest(banner, span(214, 29, 222, 50)) > 150);
    // The flag: dark green with a red disc, in columns 9 to 83.
    QVERIFY(share(banner, span(12, 4, 83, 28), flagGreen) > 0.55);
    QVERIFY(share(banner, span(30, 8, 60, 26), flagRed) > 0.15);
    QCOMPARE(share(banner, span(84, 0, 250, 50), flagGreen), 0.0);
    // The figure: grey, in the bottom left corner.
    auto grey = [](QRgb c) {
        return maxChannel(c) > 100
            && std::max({ qRed(c), qGreen(c), qBlue(c) })
                - std::min({ qRed(c), qGreen(c), qBlue(c) })
            < 20;
    };
    QVERIFY(share(banner, span(0, 33, 30, 50), grey) > 0.15);
    QVERIFY(share(banner, span(0, 0, 30, 20), grey) < 0.01);
    // A black banner: the right end and the gap between flag and title.
    QVERIFY(brightest(banner, span(225, 0, 250, 50)) <= 16);
    QVERIFY(brightest(banner, span(30, 44, 83, 50)) <= 16);
}

void TestPictures::icon()
{
    const QImage icon(picturePath(Picture::Icon));
    QCOMPARE(icon.size(), QSize(120, 130));
    QVERIFY(!icon.hasAlphaChannel());
    QCOMPARE(icon.depth() == 32 ? 24 : icon.depth(), 24); // RGB, 8 bits a channel
    const QImage rgb = icon.convertToFormat(QImage::Format_RGB32);
    // White ground: the borders are white all round.
    auto white = [](QRgb c) { return qRed(c) >= 250 && qGreen(c) >= 250 && qBlue(c) >= 250; };
    QCOMPARE(share(rgb, span(0, 0, 119, 2), white), 1.0);
    QCOMPARE(share(rgb, span(0, 127, 119, 129), white), 1.0);
    QCOMPARE(share(rgb, span(0, 0, 2, 129), white), 1.0);
    QCOMPARE(share(rgb, span(117, 0, 119, 129), white), 1.0);
    QVERIFY(share(rgb, span(0, 0, 119, 129), white) > 0.5);
    // The flag of Bangladesh in the upper part, the stick figure lower left,
    // and brown lettering lower right.
    auto green = [](QRgb c) { return qGreen(c) > qRed(c) + 40 && qGreen(c) > qBlue(c); };
    auto red = [](QRgb c) { return qRed(c) > 180 && qGreen(c) < 80 && qBlue(c) < 100; };
    auto brown = [](QRgb c) {
        return qRed(c) < 200 && qRed(c) > qGreen(c) + 25 && qGreen(c) > qBlue(c) && qBlue(c) < 120;
    };
    auto dark = [](QRgb c) { return maxChannel(c) < 90; };
    QVERIFY(share(rgb, span(16, 8, 76, 46), green) > 0.5);
    QVERIFY(share(rgb, span(30, 16, 56, 40), red) > 0.3);
    QVERIFY(share(rgb, span(14, 58, 40, 124), dark) > 0.05);
    QVERIFY(share(rgb, span(42, 78, 116, 121), brown) > 0.12);
    QCOMPARE(share(rgb, span(42, 78, 116, 121), green), 0.0);
}

// The .ico holds the same single image: 120 x 130, 24 bits, nothing transparent.
void TestPictures::iconFile()
{
    QFile file(QStringLiteral(RESOURCES_PICTURE_DIR "/icon.ico"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray data = file.readAll();
    QVERIFY(data.size() > 6 + 16 + 40);
    const auto *bytes = reinterpret_cast<const uchar *>(data.constData());
    QCOMPARE(qFromLittleEndian<quint16>(bytes + 2), quint16(1)); // icon
    QCOMPARE(qFromLittleEndian<quint16>(bytes + 4), quint16(1)); // one image
    QCOMPARE(int(bytes[6]), 120);
    QCOMPARE(int(bytes[7]), 130);
    QCOMPARE(qFromLittleEndian<quint16>(bytes + 6 + 6), quint16(24));
    const quint32 offset = qFromLittleEndian<quint32>(bytes + 6 + 12);
    const quint32 length = qFromLittleEndian<quint32>(bytes + 6 + 8);
    QCOMPARE(qsizetype(offset + length), data.size());
    const uchar *dib = bytes + offset;
    QCOMPARE(qFromLittleEndian<qint32>(dib + 4), 120);
    QCOMPARE(qFromLittleEndian<qint32>(dib + 8), 260); // colour rows plus mask rows
    QCOMPARE(qFromLittleEndian<quint16>(dib + 14), quint16(24));
    const int colourBytes = (120 * 3 + 3) / 4 * 4 * 130;
    const int maskBytes = (120 + 31) / 32 * 4 * 130;
    QCOMPARE(int(length), 40 + colourBytes + maskBytes);
    const QByteArray mask = data.mid(offset + 40 + colourBytes, maskBytes);
    QCOMPARE(mask.count('\0'), maskBytes); // no transparent pixel

    QImage decoded;
    QVERIFY(decoded.loadFromData(data, "ICO"));
    const QImage png = QImage(picturePath(Picture::Icon)).convertToFormat(QImage::Format_RGB32);
    QCOMPARE(decoded.size(), png.size());
    QCOMPARE(decoded.convertToFormat(QImage::Format_RGB32), png);
}

void TestPictures::credits()
{
    const QImage credits = load(Picture::Form2Credits);
    struct Area
    {
        const char *what;
        QRect rect;
        std::function<bool(QRgb)> colour;
        bool reachesBottom = true; // false: no descenders, sits on the line's baseline
    };
    auto lit = [](QRgb c) { return maxChannel(c) > 100; };
    auto green = [](QRgb c) {
        return qGreen(c) > 100 && qGreen(c) > qRed(c) + 40 && qGreen(c) > qBlue(c) + 40;
    };
    auto blue = [](QRgb c) {
        return qBlue(c) > 120 && qBlue(c) > qRed(c) + 50 && qBlue(c) > qGreen(c) + 30;
    };
    auto white = [](QRgb c) { return qRed(c) > 200 && qGreen(c) > 200 && qBlue(c) > 200; };
    const Area areas[] = {
        { "title", span(32, 28, 345, 50), green },
        { "version mark", span(354, 28, 405, 50), green, false },
        { "thanks, first line", span(146, 80, 371, 101), blue },
        { "thanks, second line", span(146, 109, 327, 130), blue },
        { "creator", span(172, 163, 278, 179), green },
        { "author", span(286, 204, 341, 216), lit },
        { "mail address", span(132, 225, 415, 240), lit },
        { "first web address", span(132, 265, 378, 280), white },
        { "second web address", span(137, 286, 381, 301), green },
    };
    for (const Area &area : areas) {
        const double coloured = share(credits, area.rect, area.colour);
        QVERIFY2(coloured > 0.1, qPrintable(QStringLiteral("%1: %2").arg(area.what).arg(coloured)));
        // The lettering fills its area: ink near the left and right ends and
        // in the top and bottom rows of it.
        const QRect r = area.rect;
        QVERIFY2(brightest(credits, QRect(r.left(), r.top(), 4, r.height())) > 100, area.what);
        QVERIFY2(brightest(credits, QRect(r.right() - 3, r.top(), 4, r.height())) > 100, area.what);
        QVERIFY2(brightest(credits, QRect(r.left(), r.top(), r.width(), 2)) > 100, area.what);
        if (area.reachesBottom)
            QVERIFY2(
                brightest(credits, QRect(r.left(), r.bottom() - 1, r.width(), 2)) > 100, area.what);
        else
            QVERIFY2(
                brightest(credits, QRect(r.left(), r.top() + r.height() / 2, r.width(), 2)) > 100,
                area.what);
    }
    // The second line's first word ends at column 207 and the next word
    // starts after a gap, so a patch over columns 144..216 hides exactly it.
    QVERIFY(brightest(credits, span(205, 109, 207, 130)) > 100);
    QVERIFY(brightest(credits, span(209, 109, 213, 130)) <= 24);

    // Black everywhere else, apart from the microphone at the left.
    QImage rest = credits;
    const QRect microphone = span(0, 56, 127, 310);
    for (const Area &area : areas)
        for (int y = area.rect.top() - 2; y <= area.rect.bottom() + 2; ++y)
            for (int x = area.rect.left() - 2; x <= area.rect.right() + 2; ++x)
                if (rest.rect().contains(x, y))
                    rest.setPixel(x, y, qRgb(0, 0, 0));
    for (int y = microphone.top(); y <= microphone.bottom(); ++y)
        for (int x = microphone.left(); x <= microphone.right(); ++x)
            rest.setPixel(x, y, qRgb(0, 0, 0));
    QVERIFY2(brightest(rest, rest.rect()) <= 24, "stray ink outside the text areas");
    // The microphone is there: a lit, mostly grey shape on the left.
    auto metal = [](QRgb c) {
        return maxChannel(c) > 60
            && std::max({ qRed(c), qGreen(c), qBlue(c) })
                - std::min({ qRed(c), qGreen(c), qBlue(c) })
            < 40;
    };
    QVERIFY(share(credits, microphone, metal) > 0.2);
    QVERIFY(brightest(credits, span(0, 0, 431 - 1, 20)) <= 24);
}

void TestPictures::creditsClose()
{
    const QImage button = load(Picture::Form2Close);
    auto orangeRed = [](QRgb c) {
        return qRed(c) > 170 && qGreen(c) > 30 && qGreen(c) < 140 && qBlue(c) < 90;
    };
    auto white = [](QRgb c) { return qRed(c) > 220 && qGreen(c) > 220 && qBlue(c) > 220; };
    // A square button: orange-red across the face, up to its corners.
    for (QPoint p : { QPoint(3, 3), QPoint(17, 3), QPoint(3, 15), QPoint(17, 15), QPoint(10, 2),
             QPoint(10, 16), QPoint(2, 9), QPoint(18, 9) })
        QVERIFY2(orangeRed(button.pixel(p)), qPrintable(describe(button.pixel(p))));
    // The white cross: both diagonals through the centre.
    for (QPoint p : { QPoint(10, 9), QPoint(7, 6), QPoint(13, 12), QPoint(13, 6), QPoint(7, 12) })
        QVERIFY2(white(button.pixel(p)), qPrintable(describe(button.pixel(p))));
    QVERIFY(share(button, span(0, 0, 20, 18), white) > 0.1);
    QVERIFY(share(button, span(0, 0, 20, 18), orangeRed) > 0.4);
}

QTEST_MAIN(TestPictures)
#include "tst_pictures.moc"
