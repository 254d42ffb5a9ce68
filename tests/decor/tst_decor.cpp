#include "../common/standins.h"

#include "decor/colourcycle.h"
#include "decor/datetimelabel.h"
#include "platform/datetime.h"
#include "platform/random.h"
#include "platform/windowregistry.h"
#include "ui/builder.h"
#include "ui/controls.h"

#include <QLineEdit>
#include <QRegularExpression>
#include <QTest>

#include <cmath>

class TestDecor : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void componentRounding_data();
    void componentRounding();
    void componentsCoverTheRange();
    void sequenceIsTheSameEveryRun();
    void timer3WritesTheNextColour();
    void sixBlanksWhateverTheDate_data();
    void sixBlanksWhateverTheDate();
    void textFollowsTheLocale();
    void timer1WritesTheCurrentTime();
};

void TestDecor::initTestCase()
{
    registerStandIns();
    platform::registerWindow(QStringLiteral("Form1"), [] {
        return ui::buildWindow(
            ui::form1Description(QStringList { QStringLiteral("Radio Foorti") }));
    });
}

void TestDecor::componentRounding_data()
{
    QTest::addColumn<float>("r");
    QTest::addColumn<int>("component");
    QTest::addColumn<int>("inColour");
    QTest::newRow("0") << 0.0f << 0 << 0;
    QTest::newRow("0.5 -> 0") << 0.5f / 256 << 0 << 0;
    QTest::newRow("just over 0.5 -> 1") << std::nextafter(0.5f / 256, 1.0f) << 1 << 1;
    QTest::newRow("1.5 -> 2") << 1.5f / 256 << 2 << 2;
    QTest::newRow("2.5 -> 2") << 2.5f / 256 << 2 << 2;
    QTest::newRow("127.5 -> 128") << 127.5f / 256 << 128 << 128;
    QTest::newRow("254.5 -> 254") << 254.5f / 256 << 254 << 254;
    QTest::newRow("just over 254.5 -> 255") << std::nextafter(254.5f / 256, 1.0f) << 255 << 255;
    QTest::newRow("255.5 -> 256 -> 255") << 255.5f / 256 << 256 << 255;
    QTest::newRow("just below 1 -> 256 -> 255") << std::nextafter(1.0f, 0.0f) << 256 << 255;
}

void TestDecor::componentRounding()
{
    QFETCH(float, r);
    QFETCH(int, component);
    QFETCH(int, inColour);
    QCOMPARE(int(decor::colourComponent(r)), component);
    // As red, green and blue alike.
    const auto c = decor::colourComponent(r);
    QCOMPARE(platform::rgbColour(c, c, c), platform::rgbColour(inColour, inColour, inColour));
}

void TestDecor::componentsCoverTheRange()
{
    // Over many draws every component from 0 to 255 turns up, and nothing else; 0 about half
    // as often as a middle value and 255 about one and a half times as often.
    platform::RandomSource source;
    int counts[256] = {};
    const int colours = 256 * 400;
    for (int i = 0; i < colours; ++i) {
        const platform::ColourValue c = decor::nextColour(source);
        QCOMPARE(c & 0xFF000000u, 0u);
        ++counts[c & 0xFF];
        ++counts[(c >> 8) & 0xFF];
        ++counts[(c >> 16) & 0xFF];
    }
    const double middle = 3.0 * colours / 256;
    for (int v = 0; v < 256; ++v) {
        QVERIFY2(counts[v] > 0, qPrintable(QString::number(v)));
    }
    QVERIFY(std::abs(counts[0] / middle - 0.5) < 0.1);
    QVERIFY(std::abs(counts[128] / middle - 1.0) < 0.1);
    QVERIFY(std::abs(counts[255] / middle - 1.5) < 0.1);
}

void TestDecor::sequenceIsTheSameEveryRun()
{
    platform::RandomSource first;
    platform::RandomSource second;
    QList<platform::ColourValue> a;
    QList<platform::ColourValue> b;
    for (int i = 0; i < 50; ++i) {
        a << decor::nextColour(first);
        b << decor::nextColour(second);
    }
    QCOMPARE(a, b);
    // Not one colour over and over.
    QVERIFY(QSet<platform::ColourValue>(a.begin(), a.end()).size() > 45);
}

void TestDecor::timer3WritesTheNextColour()
{
    auto *combo = qobject_cast<ui::ComboBox *>(
        platform::control(QStringLiteral("Form1"), QStringLiteral("Combo1")));
    QCOMPARE(combo->foreColour(), platform::rgbColour(255, 0, 0));
    platform::RandomSource expected = platform::RandomSource::instance();
    for (int tick = 0; tick < 5; ++tick) {
        decor::timer3Timer();
        const platform::ColourValue colour = decor::nextColour(expected);
        QCOMPARE(combo->foreColour(), colour);
        // The text field draws its text in it.
        const QImage field = combo->lineEdit()->grab().toImage();
        int inColour = 0;
        for (int y = 0; y < field.height(); ++y) {
            for (int x = 0; x < field.width(); ++x) {
                inColour += field.pixelColor(x, y) == platform::toQColor(colour);
            }
        }
        QVERIFY2(inColour > 20, qPrintable(QString::number(inColour)));
    }
}

void TestDecor::sixBlanksWhateverTheDate_data()
{
    QTest::addColumn<QDate>("date");
    QTest::addColumn<QTime>("time");
    QTest::newRow("short date") << QDate(2026, 1, 5) << QTime(0, 0, 0);
    QTest::newRow("long date") << QDate(2026, 12, 25) << QTime(23, 59, 59);
    QTest::newRow("leap day") << QDate(2028, 2, 29) << QTime(12, 30, 5);
}

void TestDecor::sixBlanksWhateverTheDate()
{
    QFETCH(QDate, date);
    QFETCH(QTime, time);
    for (const QLocale &locale : { QLocale::c(), QLocale(QLocale::English, QLocale::UnitedStates),
             QLocale(QLocale::German, QLocale::Germany) }) {
        const QString text = decor::dateTimeText(date, time, locale);
        const QString dateText = platform::dateText(date, locale);
        const QString timeText = platform::timeText(time, locale);
        QCOMPARE(text, dateText + QStringLiteral("      ") + timeText);
        QVERIFY(!dateText.endsWith(u' ') && !timeText.startsWith(u' '));
        QVERIFY(!text.startsWith(u' ') && !text.endsWith(u' '));
        QVERIFY(text.contains(QString::number(time.second()).rightJustified(2, u'0')));
    }
}

void TestDecor::textFollowsTheLocale()
{
    const QDate date(2026, 12, 8);
    const QTime time(17, 5, 9);
    const QString us
        = decor::dateTimeText(date, time, QLocale(QLocale::English, QLocale::UnitedStates));
    const QString german
        = decor::dateTimeText(date, time, QLocale(QLocale::German, QLocale::Germany));
    QCOMPARE(us, QStringLiteral("12/8/26      5:05:09 PM"));
    QCOMPARE(german, QStringLiteral("08.12.26      17:05:09"));
}

void TestDecor::timer1WritesTheCurrentTime()
{
    auto *label = qobject_cast<ui::Label *>(
        platform::control(QStringLiteral("Form1"), QStringLiteral("Label1")));
    QVERIFY(label->caption().isEmpty());
    const QTime before = QTime::currentTime();
    decor::timer1Timer();
    const QTime after = QTime::currentTime();
    const QString text = label->caption();
    const QStringList parts = text.split(QStringLiteral("      "));
    QCOMPARE(parts.size(), 2);
    QCOMPARE(parts[0], platform::dateText(QDate::currentDate()));
    QVERIFY(parts[1] == platform::timeText(before) || parts[1] == platform::timeText(after));
}

QTEST_MAIN(TestDecor)
#include "tst_decor.moc"
