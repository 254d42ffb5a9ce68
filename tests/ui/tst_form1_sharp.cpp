#include "../common/standins.h"

#include "ui/builder.h"
#include "ui/description.h"

#include <QApplication>
#include <QImage>
#include <QTest>

// The main window at a device pixel ratio of 2 (QT_SCALE_FACTOR=2), grabbed from the real
// widgets: its pictures are the ones drawn at twice the size, not the small ones blown up.
class TestForm1Sharp : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void picturesAtDevicePixels_data();
    void picturesAtDevicePixels();
    void bannerLetteringHasSharpEdges();

private:
    QWidget *m_form = nullptr;
    QImage m_shot;
};

void TestForm1Sharp::initTestCase()
{
    registerStandIns();
    m_form = ui::buildWindow(ui::form1Description({ QStringLiteral("Radio Foorti") }));
    m_form->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_form));
    QCOMPARE(m_form->devicePixelRatioF(), 2.0);
    m_shot = m_form->grab().toImage().convertToFormat(QImage::Format_RGB32);
    QCOMPARE(m_shot.size(), QSize(492, 650));
}

void TestForm1Sharp::cleanupTestCase()
{
    delete m_form;
}

void TestForm1Sharp::picturesAtDevicePixels_data()
{
    // Where a picture is seen (device pixels of the window), and which part of its "@2x" picture.
    QTest::addColumn<QString>("picture");
    QTest::addColumn<QRect>("seen");
    QTest::addColumn<QPoint>("from");
    QTest::newRow("banner") << "form1-banner@2x.jpg" << QRect(0, 80, 492, 102) << QPoint(0, 0);
    QTest::newRow("minimise, right of the title strip's label")
        << "form1-minimise@2x.jpg" << QRect(386, 0, 52, 34) << QPoint(2, 0);
    QTest::newRow("close, right of the minimise picture")
        << "form1-close@2x.jpg" << QRect(438, 0, 48, 34) << QPoint(6, 0);
    QTest::newRow("skin under the banner")
        << "form1-skin@2x.jpg" << QRect(0, 182, 492, 10) << QPoint(0, 182);
    QTest::newRow("skin, bottom strip")
        << "form1-skin@2x.jpg" << QRect(0, 570, 492, 80) << QPoint(0, 570);
}

void TestForm1Sharp::picturesAtDevicePixels()
{
    QFETCH(QString, picture);
    QFETCH(QRect, seen);
    QFETCH(QPoint, from);
    const QImage sharp
        = QImage(QStringLiteral(":/pictures/") + picture).convertToFormat(QImage::Format_RGB32);
    QVERIFY(!sharp.isNull());
    int differing = 0;
    for (int y = 0; y < seen.height(); ++y) {
        for (int x = 0; x < seen.width(); ++x) {
            const QRgb a = m_shot.pixel(seen.x() + x, seen.y() + y);
            const QRgb b = sharp.pixel(from.x() + x, from.y() + y);
            differing += std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b))
                    + std::abs(qBlue(a) - qBlue(b))
                > 6;
        }
    }
    QVERIFY2(differing == 0, qPrintable(QStringLiteral("%1 pixels differ").arg(differing)));
}

void TestForm1Sharp::bannerLetteringHasSharpEdges()
{
    // Along the rows of the brand word, the lettering's edges step from the black ground to the
    // gold within one device pixel, also between the two device pixels of one picture pixel.
    // A picture blown up from its own size has no such step (nearest: none at all; smooth: only
    // half steps), so this fails whenever the window shows the small banner scaled.
    int sharpSteps = 0;
    for (int y = 80; y < 80 + 54; ++y) {
        for (int x = 172; x < 446; x += 2) {
            sharpSteps
                += std::abs(qGray(m_shot.pixel(x + 1, y)) - qGray(m_shot.pixel(x, y))) >= 100;
        }
    }
    QVERIFY2(sharpSteps >= 40, qPrintable(QStringLiteral("%1 sharp steps").arg(sharpSteps)));
}

int main(int argc, char **argv)
{
    qputenv("QT_SCALE_FACTOR", "2");
    QApplication app(argc, argv);
    TestForm1Sharp test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_form1_sharp.moc"
