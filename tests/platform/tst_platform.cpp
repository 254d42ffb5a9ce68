#include "platform/colour.h"
#include "platform/datetime.h"
#include "platform/random.h"
#include "platform/rounding.h"
#include "platform/runtime.h"
#include "platform/settingsblock.h"
#include "platform/twips.h"
#include "platform/windowregistry.h"

#include <QApplication>
#include <QLabel>
#include <QRegularExpression>
#include <QTest>

#include <set>

class Writable : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString Caption READ caption WRITE setCaption)
    Q_PROPERTY(int ReadOnly READ readOnly)

public:
    QString caption() const { return m_caption; }
    void setCaption(const QString &c) { m_caption = c; }
    int readOnly() const { return 7; }
    QString m_caption;
};

class TestPlatform : public QObject
{
    Q_OBJECT

private slots:
    void settingsValuesRoundTrip();
    void settingsReaderRejectsMalformedBlocks_data();
    void settingsReaderRejectsMalformedBlocks();
    void settingsReaderAcceptsBothEmptyStringForms();
    void twipsAndExtents();
    void colourValues();
    void systemColoursFollowThePalette();
    void roundingHalvesToEven();
    void randomSourceIsFixedAndUniform();
    void dateAndTimeTexts();
    void propertyPutsByName();
    void handlerErrorsReachTheReport();
    void windowsAreCreatedOnceOnFirstReference();
};

void TestPlatform::settingsValuesRoundTrip()
{
    using namespace platform;
    const std::vector<StoredValue> values { std::int32_t(-5), 1.0, true, false,
        storedString(QStringLiteral("full")), storedString(QString()), bareString(),
        storedString(QString::fromUtf8("বাংলা")), ObjectSlot {} };
    SettingsWriter writer;
    writer.u32(0x300);
    for (const auto &v : values) {
        writer.value(v);
    }
    // tag + int, tag + double, 2 x (tag + bool), strings: tag + count + (chars + 1) * 2 ...
    QCOMPARE(writer.bytes().size(), 4 + 6 + 10 + 4 + 4 + (6 + 10) + (6 + 2) + 6 + (6 + 12) + 18);

    SettingsReader reader(writer.bytes());
    QCOMPARE(reader.u32(), 0x300u);
    for (const auto &v : values) {
        QCOMPARE(reader.value(), v);
    }
    QVERIFY(reader.atEnd());
    reader.expectEnd();
}

void TestPlatform::settingsReaderRejectsMalformedBlocks_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("half a tag") << QByteArray::fromHex("08");
    QTest::newRow("unknown tag") << QByteArray::fromHex("0700");
    QTest::newRow("truncated int") << QByteArray::fromHex("0300010203");
    QTest::newRow("truncated double") << QByteArray::fromHex("0500000000000000");
    QTest::newRow("bool neither 0 nor ffff") << QByteArray::fromHex("0b003412");
    QTest::newRow("odd string count") << QByteArray::fromHex("08000300000041004200");
    QTest::newRow("string past the end") << QByteArray::fromHex("0800ffffff7f4100");
    QTest::newRow("string count over limit")
        << QByteArray::fromHex("080000000200") + QByteArray(1 << 17, 'a');
    QTest::newRow("short object slot") << QByteArray::fromHex("0d000000");
}

void TestPlatform::settingsReaderRejectsMalformedBlocks()
{
    QFETCH(QByteArray, bytes);
    platform::SettingsReader reader(bytes);
    QVERIFY_THROWS_EXCEPTION(platform::SettingsError, reader.value());
}

void TestPlatform::settingsReaderAcceptsBothEmptyStringForms()
{
    platform::SettingsReader reader(QByteArray::fromHex("080000000000"
                                                        "080002000000"
                                                        "0000"));
    const auto bare = std::get<platform::StoredString>(reader.value());
    const auto terminated = std::get<platform::StoredString>(reader.value());
    QVERIFY(bare.text.isEmpty() && bare.bare);
    QVERIFY(terminated.text.isEmpty() && !terminated.bare);
    QVERIFY(reader.atEnd());

    platform::SettingsReader trailing(QByteArray::fromHex("0b00ffff00"));
    trailing.value();
    QVERIFY_THROWS_EXCEPTION(platform::SettingsError, trailing.expectEnd());
}

void TestPlatform::twipsAndExtents()
{
    using namespace platform;
    QCOMPARE(twipsToPixels(3690), 246);
    QCOMPARE(twipsToPixels(4875), 325);
    // The stored extents of the embedded components and the twips they stand for.
    QCOMPARE(himetricToTwips(6588), 3735);
    QCOMPARE(himetricToTwips(4048), 2295);
    QCOMPARE(himetricToTwips(5106), 2895);
    QCOMPARE(himetricToTwips(450), 255);
    QCOMPARE(himetricToTwips(1296), 735);
    QCOMPARE(twipsToHimetric(3735), 6588u);
    QCOMPARE(twipsToHimetric(2295), 4048u);
    QCOMPARE(twipsToHimetric(2895), 5106u);
    QCOMPARE(twipsToHimetric(255), 450u);
}

void TestPlatform::colourValues()
{
    using namespace platform;
    QCOMPARE(rgbColour(255, 0, 0), 255u);
    QCOMPARE(rgbColour(0, 0, 255), 255u * 65536u);
    QCOMPARE(rgbColour(256, 256, 256), 0xFFFFFFu);
    QCOMPARE(rgbColour(1, 2, 3), 1u + 2u * 256u + 3u * 65536u);
    QCOMPARE(toQColor(rgbColour(10, 20, 30)), QColor(10, 20, 30));
    QVERIFY(!isSystemColour(rgbColour(255, 255, 255)));
    QVERIFY(isSystemColour(systemColour(SystemColour::MenuText)));
    QCOMPARE(systemColour(SystemColour::HighlightText), 0x8000000Eu);
}

void TestPlatform::systemColoursFollowThePalette()
{
    using namespace platform;
    const QPalette saved = QApplication::palette();
    QPalette p = saved;
    p.setColor(QPalette::WindowText, QColor(1, 2, 3));
    p.setColor(QPalette::HighlightedText, QColor(4, 5, 6));
    QApplication::setPalette(p);
    QCOMPARE(toQColor(systemColour(SystemColour::MenuText)), QColor(1, 2, 3));
    QCOMPARE(toQColor(systemColour(SystemColour::HighlightText)), QColor(4, 5, 6));
    QApplication::setPalette(saved);
    // The standard scheme: menu text black, highlight text white.
    QCOMPARE(toQColor(systemColour(SystemColour::MenuText)), QColor(Qt::black));
    QCOMPARE(toQColor(systemColour(SystemColour::HighlightText)), QColor(Qt::white));
    // An index the platform does not know resolves to black rather than failing.
    QCOMPARE(toQColor(0x800000FFu), QColor(Qt::black));
}

void TestPlatform::roundingHalvesToEven()
{
    using platform::roundToInt16;
    QCOMPARE(roundToInt16(0.5), std::int16_t(0));
    QCOMPARE(roundToInt16(1.5), std::int16_t(2));
    QCOMPARE(roundToInt16(2.5), std::int16_t(2));
    QCOMPARE(roundToInt16(254.5), std::int16_t(254));
    QCOMPARE(roundToInt16(255.5), std::int16_t(256));
    QCOMPARE(roundToInt16(-0.5), std::int16_t(0));
    QCOMPARE(roundToInt16(-1.5), std::int16_t(-2));
    QCOMPARE(roundToInt16(32767.4), std::int16_t(32767));
    QVERIFY_THROWS_EXCEPTION(platform::RuntimeError, roundToInt16(32767.5));
    QVERIFY_THROWS_EXCEPTION(platform::RuntimeError, roundToInt16(-32768.6));
}

void TestPlatform::randomSourceIsFixedAndUniform()
{
    platform::RandomSource a;
    platform::RandomSource b;
    int buckets[16] = {};
    std::set<float> distinct;
    for (int i = 0; i < 160000; ++i) {
        const float r = a.next();
        QCOMPARE(b.next(), r);
        QVERIFY(r >= 0.0f && r < 1.0f);
        // Every value is a whole number of 2^-24 steps.
        QCOMPARE(float(double(r) * 16777216.0), std::floor(r * 16777216.0f));
        ++buckets[int(r * 16)];
        distinct.insert(r);
    }
    for (int count : buckets) {
        QVERIFY2(count > 9000 && count < 11000, "values are not spread evenly over [0, 1)");
    }
    QVERIFY(distinct.size() > 150000);
}

void TestPlatform::dateAndTimeTexts()
{
    const QDate date(2026, 12, 8);
    const QTime time(17, 5, 9);
    // Without regional settings: a numeric date and hh:mm:ss.
    QCOMPARE(platform::dateText(date, QLocale::c()), QStringLiteral("2026-12-08"));
    QCOMPARE(platform::timeText(time, QLocale::c()), QStringLiteral("17:05:09"));

    const QLocale us(QLocale::English, QLocale::UnitedStates);
    QCOMPARE(platform::dateText(date, us), us.toString(date, QLocale::ShortFormat));
    const QString usTime = platform::timeText(time, us);
    QVERIFY2(usTime.contains(QStringLiteral("5:05:09")), qPrintable(usTime));
    QVERIFY2(usTime.contains(QStringLiteral("PM")), qPrintable(usTime));

    const QLocale german(QLocale::German, QLocale::Germany);
    QCOMPARE(platform::timeText(time, german), QStringLiteral("17:05:09"));
    QCOMPARE(platform::dateText(date, german), german.toString(date, QLocale::ShortFormat));

    // No time-zone name in any locale's time text.
    for (const QLocale &l : { us, german, QLocale(QLocale::Bengali, QLocale::Bangladesh),
             QLocale(QLocale::French, QLocale::France) }) {
        const QString format = platform::timeFormatWithSeconds(l);
        QVERIFY2(!format.contains(u't'), qPrintable(format));
        QVERIFY2(format.contains(u's'), qPrintable(format));
    }
}

void TestPlatform::propertyPutsByName()
{
    Writable object;
    platform::putProperty(&object, "Caption", QStringLiteral("hello"));
    QCOMPARE(object.caption(), QStringLiteral("hello"));
    QCOMPARE(platform::getProperty(&object, "Caption").toString(), QStringLiteral("hello"));

    auto errorOf = [](auto &&call) {
        try {
            call();
        } catch (const platform::RuntimeError &e) {
            return e.number();
        }
        return 0;
    };
    QCOMPARE(errorOf([&] { platform::putProperty(&object, "Missing", 1); }), 438);
    QCOMPARE(errorOf([&] { platform::putProperty(&object, "ReadOnly", 1); }), 383);
    QCOMPARE(errorOf([&] {
        platform::putProperty(&object, "Caption", QVariant::fromValue(QRect(1, 2, 3, 4)));
    }),
        380);
    QCOMPARE(errorOf([&] { platform::putProperty(nullptr, "Caption", 1); }), 424);
    QCOMPARE(errorOf([&] { platform::getProperty(&object, "Missing"); }), 438);
    // A failed put creates no dynamic property behind the caller's back.
    QVERIFY(object.dynamicPropertyNames().isEmpty());
}

void TestPlatform::handlerErrorsReachTheReport()
{
    QList<int> reported;
    platform::setErrorReporter(
        [&](const platform::RuntimeError &e) { reported.append(e.number()); });
    bool after = false;
    Writable object;
    platform::runHandler([&] {
        platform::putProperty(&object, "Missing", 1);
        after = true;
    });
    QCOMPARE(reported, QList<int> { 438 });
    QVERIFY2(!after, "the handler went on after the failing put");
    platform::setErrorReporter({});

    // Once the program is ending no handler runs, until the run's windows are gone.
    platform::setEnding(true);
    bool ran = false;
    platform::runHandler([&] { ran = true; });
    QVERIFY(!ran);
    platform::destroyWindows();
    platform::runHandler([&] { ran = true; });
    QVERIFY(ran);

    const QString text
        = platform::runtimeErrorText(platform::RuntimeError(438, QStringLiteral("Nope")));
    QVERIFY(text.contains(QStringLiteral("438")) && text.contains(QStringLiteral("Nope")));
}

void TestPlatform::windowsAreCreatedOnceOnFirstReference()
{
    int made = 0;
    platform::registerWindow(QStringLiteral("FormX"), [&] {
        ++made;
        auto *w = new QWidget;
        auto *child = new QLabel(w);
        child->setObjectName(QStringLiteral("Label1"));
        return w;
    });
    QVERIFY(!platform::existingWindow(QStringLiteral("FormX")));
    QCOMPARE(made, 0);
    QWidget *first = platform::window(QStringLiteral("FormX"));
    QCOMPARE(platform::window(QStringLiteral("FormX")), first);
    QCOMPARE(platform::existingWindow(QStringLiteral("FormX")), first);
    QCOMPARE(made, 1);
    QVERIFY(qobject_cast<QLabel *>(
        platform::control(QStringLiteral("FormX"), QStringLiteral("Label1"))));
    QVERIFY_THROWS_EXCEPTION(platform::RuntimeError,
        platform::control(QStringLiteral("FormX"), QStringLiteral("Nothing")));
    // A control destroyed is not found again; one made in its place under its name is.
    delete platform::control(QStringLiteral("FormX"), QStringLiteral("Label1"));
    QVERIFY_THROWS_EXCEPTION(platform::RuntimeError,
        platform::control(QStringLiteral("FormX"), QStringLiteral("Label1")));
    auto *again = new QLabel(first);
    again->setObjectName(QStringLiteral("Label1"));
    QCOMPARE(platform::control(QStringLiteral("FormX"), QStringLiteral("Label1")), again);
    QVERIFY_THROWS_EXCEPTION(
        platform::RuntimeError, platform::window(QStringLiteral("Unregistered")));
    platform::destroyWindows();
    QVERIFY(!platform::existingWindow(QStringLiteral("FormX")));
}

QTEST_MAIN(TestPlatform)
#include "tst_platform.moc"
