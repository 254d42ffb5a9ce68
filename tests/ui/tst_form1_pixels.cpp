#include "../common/standins.h"

#include "ui/builder.h"
#include "ui/controls.h"
#include "ui/description.h"

#include <QImage>
#include <QLineEdit>
#include <QPainter>
#include <QScreen>
#include <QTest>

// What the main window shows, grabbed from the real widgets with the real pictures, against the
// band table of its layout. Stand-in components draw nothing, so the skin shows through them.
class TestForm1Pixels : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void skinBands_data();
    void skinBands();
    void pictureButtons();
    void banner();
    void titleStripIsBlackUnderTheMovie();
    void stationListIsRedOnBlack();
    void newTextColourChangesOnlyTheText();
    void newTextColourReachesTheScreenWhole();
    void clockCaptionAsTextIsDrawn();

private:
    static bool near(QRgb a, QColor b, int tolerance);
    QWidget *m_form = nullptr;
    QImage m_shot;
};

bool TestForm1Pixels::near(QRgb a, QColor b, int tolerance)
{
    return std::abs(qRed(a) - b.red()) <= tolerance && std::abs(qGreen(a) - b.green()) <= tolerance
        && std::abs(qBlue(a) - b.blue()) <= tolerance;
}

void TestForm1Pixels::initTestCase()
{
    registerStandIns();
    m_form = ui::buildWindow(ui::form1Description({ QStringLiteral("Radio Foorti") }));
    m_form->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_form));
    m_shot = m_form->grab().toImage().convertToFormat(QImage::Format_RGB32);
    QCOMPARE(m_shot.size(), QSize(246, 325));
}

void TestForm1Pixels::cleanupTestCase()
{
    delete m_form;
}

void TestForm1Pixels::skinBands_data()
{
    QTest::addColumn<QRect>("area");
    QTest::addColumn<QColor>("colour");
    const QColor charcoal(52, 51, 47);
    const QColor black(0, 0, 0);
    QTest::newRow("right of the close picture") << QRect(243, 0, 3, 17) << charcoal;
    QTest::newRow("date line, no text yet") << QRect(0, 17, 246, 23) << charcoal;
    QTest::newRow("under the banner") << QRect(0, 91, 246, 5) << black;
    QTest::newRow("right of the list") << QRect(241, 96, 5, 27) << black;
    QTest::newRow("under the list") << QRect(0, 123, 246, 5) << black;
    QTest::newRow("bottom strip") << QRect(0, 285, 246, 40) << charcoal;
}

void TestForm1Pixels::skinBands()
{
    QFETCH(QRect, area);
    QFETCH(QColor, colour);
    // The black panel holds no channel above 8 apart from its faint glow; JPEG wobbles a little.
    const int tolerance = colour == QColor(0, 0, 0) ? 10 : 6;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            const QRgb p = m_shot.pixel(x, y);
            QVERIFY2(near(p, colour, tolerance),
                qPrintable(QStringLiteral("(%1, %2) is %3").arg(x).arg(y).arg(QColor(p).name())));
        }
    }
}

void TestForm1Pixels::pictureButtons()
{
    const QImage minimise = QImage(QStringLiteral(":/pictures/form1-minimise.jpg"))
                                .convertToFormat(QImage::Format_RGB32);
    const QImage close = QImage(QStringLiteral(":/pictures/form1-close.jpg"))
                             .convertToFormat(QImage::Format_RGB32);
    QCOMPARE(minimise.size(), QSize(27, 17));
    QCOMPARE(close.size(), QSize(27, 17));
    // Columns 193 to 218 show the minimise picture (its column 192 lies behind the title strip),
    // columns 219 to 242 the close picture from its fourth column on.
    for (int y = 0; y < 17; ++y) {
        for (int x = 193; x <= 218; ++x) {
            QVERIFY(near(m_shot.pixel(x, y), minimise.pixel(x - 192, y), 2));
        }
        for (int x = 219; x <= 242; ++x) {
            QVERIFY(near(m_shot.pixel(x, y), close.pixel(x - 216, y), 2));
        }
    }
    // The chevron and the cross are light grey on a dark tile.
    auto lightest = [&](QRect r) {
        int best = 0;
        for (int y = r.top(); y <= r.bottom(); ++y) {
            for (int x = r.left(); x <= r.right(); ++x) {
                best = std::max(best, qGray(m_shot.pixel(x, y)));
            }
        }
        return best;
    };
    QVERIFY(lightest(QRect(192 + 10, 5, 9, 5)) > 150);
    QVERIFY(lightest(QRect(216 + 10, 6, 7, 7)) > 150);
    QVERIFY(qGray(m_shot.pixel(192 + 4, 12)) < 80);
}

void TestForm1Pixels::banner()
{
    const QImage banner = QImage(QStringLiteral(":/pictures/form1-banner.jpg"))
                              .convertToFormat(QImage::Format_RGB32);
    QCOMPARE(banner.size(), QSize(251, 51));
    for (int y = 40; y <= 90; ++y) {
        for (int x = 0; x < 246; ++x) {
            QVERIFY(near(m_shot.pixel(x, y), banner.pixel(x, y - 40), 2));
        }
    }
}

void TestForm1Pixels::titleStripIsBlackUnderTheMovie()
{
    // Where the title movie draws nothing, the black label behind it shows.
    for (int y = 0; y < 17; ++y) {
        for (int x = 0; x <= 192; x += 3) {
            QVERIFY(near(m_shot.pixel(x, y), QColor(0, 0, 0), 0));
        }
    }
}

void TestForm1Pixels::stationListIsRedOnBlack()
{
    int red = 0;
    int black = 0;
    int other = 0;
    for (int y = 99; y <= 119; ++y) {
        for (int x = 3; x <= 200; ++x) {
            const QRgb p = m_shot.pixel(x, y);
            if (qRed(p) > 120 && qGreen(p) < 60 && qBlue(p) < 60) {
                ++red;
            } else if (qRed(p) < 20 && qGreen(p) < 20 && qBlue(p) < 20) {
                ++black;
            } else if (qRed(p) < qGreen(p) || qRed(p) < qBlue(p)) {
                ++other;
            }
        }
    }
    QVERIFY2(red > 60, qPrintable(QString::number(red)));
    QVERIFY2(black > 2000, qPrintable(QString::number(black)));
    // No text in any other hue: everything is red, black, or red blended into black.
    QCOMPARE(other, 0);
}

void TestForm1Pixels::newTextColourChangesOnlyTheText()
{
    // The list's fore colour is its text's colour: the frame and the drop-down button stay as
    // they are, whatever colour the text takes.
    auto *combo = m_form->findChild<ui::ComboBox *>(QStringLiteral("Combo1"));
    QVERIFY(combo && combo->lineEdit());
    const QRect box = combo->lineEdit()->geometry().translated(combo->geometry().topLeft());
    const QRect text = combo->lineEdit()->geometry().translated(box.topLeft());
    combo->setForeColour(platform::rgbColour(0, 0, 255));
    const QImage after = m_form->grab().toImage().convertToFormat(QImage::Format_RGB32);
    int changedOutside = 0;
    int blue = 0;
    for (int y = box.top(); y <= box.bottom(); ++y) {
        for (int x = box.left(); x <= box.right(); ++x) {
            const QRgb p = after.pixel(x, y);
            if (text.contains(x, y)) {
                blue += qBlue(p) > 120 && qRed(p) < 60 && qGreen(p) < 60;
            } else if (p != m_shot.pixel(x, y)) {
                ++changedOutside;
            }
        }
    }
    combo->setForeColour(platform::rgbColour(255, 0, 0));
    QVERIFY2(blue > 60, qPrintable(QString::number(blue)));
    QCOMPARE(changedOutside, 0);
}

void TestForm1Pixels::newTextColourReachesTheScreenWhole()
{
    // A new colour repaints only part of the list; on the screen no pixel of the text, not even
    // of its blended edges, is left in an old one.
    auto *combo = m_form->findChild<ui::ComboBox *>(QStringLiteral("Combo1"));
    combo->lineEdit()->clearFocus(); // at rest, as while nobody edits it
    combo->lineEdit()->deselect();
    const QRect box = combo->lineEdit()->geometry().translated(combo->geometry().topLeft());
    const auto onScreen = [this, box](auto isWanted) {
        const QImage shown = m_form->screen()->grabWindow(m_form->winId()).toImage();
        int n = 0;
        for (int y = box.top(); y <= box.bottom(); ++y) {
            for (int x = box.left(); x <= box.right(); ++x) {
                n += isWanted(QColor(shown.pixel(x, y)));
            }
        }
        return n;
    };
    const auto green = [](const QColor &c) { return c == QColor(0, 255, 0); };
    // Magenta, blended into the black or not, has as much red as blue and no green.
    const auto stale = [](const QColor &c) { return c.red() != c.blue() || c.green() > 0; };
    const auto magenta = [](const QColor &c) { return c == QColor(255, 0, 255); };
    combo->setForeColour(platform::rgbColour(0, 255, 0));
    QTRY_VERIFY(onScreen(green) > 20);
    combo->setForeColour(platform::rgbColour(255, 0, 255));
    QTRY_VERIFY(onScreen(magenta) > 20);
    QCOMPARE(onScreen(stale), 0);
    // What the text's stretch alone repainted shows is what the whole window repainted shows.
    const QImage ticked = m_form->screen()->grabWindow(m_form->winId()).toImage();
    m_form->repaint();
    QCOMPARE(m_form->screen()->grabWindow(m_form->winId()).toImage(), ticked);
    combo->setForeColour(platform::rgbColour(255, 0, 0));
}

void TestForm1Pixels::clockCaptionAsTextIsDrawn()
{
    // The clock keeps its caption shaped from one draw to the next, and draws it as the painter
    // draws a line of text, pixel for pixel.
    auto *clock = m_form->findChild<ui::Label *>(QStringLiteral("Label1"));
    ui::Label label;
    label.setFont(clock->font());
    label.resize(120, clock->height()); // too narrow for it: clipped as the painter clips
    label.setOpaque(true, Qt::black);
    label.setTextColour(Qt::yellow);
    label.setCaption(QStringLiteral("Wednesday, 9 December 2026      9:41:08 PM"));
    QImage drawn(label.size(), QImage::Format_RGB32);
    drawn.fill(Qt::black);
    QPainter painter(&drawn);
    painter.setPen(Qt::yellow);
    painter.setFont(clock->font());
    painter.drawText(
        drawn.rect(), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, label.caption());
    painter.end();
    QCOMPARE(label.grab().toImage().convertToFormat(QImage::Format_RGB32), drawn);
    // On the screen, a new time repaints only the digits that changed, and shows what a repaint
    // of the whole window shows.
    for (const QString &caption :
        { QStringLiteral("9/12/2026      21:41:07"), QStringLiteral("9/12/2026      21:41:18"),
            QStringLiteral("9/12/2026      9:41:18") }) {
        clock->setCaption(caption);
        QCoreApplication::processEvents();
        const QImage ticked = m_form->screen()->grabWindow(m_form->winId()).toImage();
        m_form->repaint();
        QCOMPARE(m_form->screen()->grabWindow(m_form->winId()).toImage(), ticked);
    }
}

QTEST_MAIN(TestForm1Pixels)
#include "tst_form1_pixels.moc"
