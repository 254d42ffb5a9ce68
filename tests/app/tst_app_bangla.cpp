#include "../player/fakeengine.h"

#include "app/translations.h"
#include "player/view/failuretext.h"
#include "player/view/mediaplayer.h"
#include "player/view/settings.h"

#include <QApplication>
#include <QFontDatabase>
#include <QGlyphRun>
#include <QLabel>
#include <QLocale>
#include <QMetaEnum>
#include <QRawFont>
#include <QRegularExpression>
#include <QTest>
#include <QTextLayout>
#include <QTranslator>

using player::MediaPlayer;

namespace {

std::unique_ptr<MediaPlayer> makePlayer(FakeEngine **engine)
{
    auto e = std::make_unique<FakeEngine>();
    *engine = e.get();
    std::unique_ptr<MediaPlayer> widget(
        player::makeMediaPlayer(std::move(e), player::MediaPlayerSettings {}));
    widget->resize(249, 153);
    return widget;
}

QLabel *label(MediaPlayer *player, const char *name)
{
    return player->findChild<QLabel *>(QLatin1String(name));
}

} // namespace

// The player's own texts for a user whose locale is Bangla (Bangladesh): the program started
// under LANG=bn_BD.UTF-8 loads the Bangla translation, and its status line shows Bangla drawn in
// a Bengali font. Other languages keep the English texts.
class TestAppBangla : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void statusLineInBangla();
    void reasonsInBangla_data();
    void reasonsInBangla();
    void everyFailureHasBanglaWords();
    void drawnWithABengaliFont();
    void otherLanguagesStayEnglish_data();
    void otherLanguagesStayEnglish();

private:
    QTranslator *m_translator = nullptr;
};

void TestAppBangla::initTestCase()
{
    QCOMPARE(QLocale().name(), QStringLiteral("bn_BD"));
    m_translator = app::installTranslations(QLocale());
    QVERIFY(m_translator);
}

void TestAppBangla::statusLineInBangla()
{
    FakeEngine *engine = nullptr;
    auto widget = makePlayer(&engine);
    QCOMPARE(widget->statusText(), QStringLiteral("প্রস্তুত"));
    QCOMPARE(label(widget.get(), "station")->text(), QStringLiteral("কোনো স্টেশন নেই"));
    widget->setUrl(QStringLiteral("mms://127.0.0.1/a"));
    QCOMPARE(widget->statusText(), QStringLiteral("সংযোগ হচ্ছে"));
    // Both ways to the MMS stream fail: the last one's reason is shown, in Bangla too.
    QTRY_COMPARE(engine->opens().size(), 1);
    emit engine->failed(player::Failure::UnknownFormat);
    QTRY_COMPARE(engine->opens().size(), 2);
    emit engine->failed(player::Failure::Unsupported);
    QTRY_COMPARE(widget->statusText(), QStringLiteral("খোলা গেল না: অসমর্থিত"));
}

void TestAppBangla::reasonsInBangla_data()
{
    QTest::addColumn<player::Failure>("failure");
    QTest::addColumn<int>("httpStatus");
    QTest::addColumn<QString>("shown");
    QTest::newRow("server error") << player::Failure::ServerError << 503 << "সার্ভারে সমস্যা (503)";
    QTest::newRow("refused") << player::Failure::Refused << 0 << "সংযোগ প্রত্যাখ্যাত";
    QTest::newRow("unsupported address")
        << player::Failure::UnsupportedAddress << 0 << "অসমর্থিত ঠিকানা";
    QTest::newRow("too many entries")
        << player::Failure::TooManyEntries << 0 << "প্লেলিস্টে এন্ট্রি অনেক বেশি";
    QTest::newRow("broken stream metadata")
        << player::Failure::BrokenStreamMetadata << 0 << "স্ট্রিমের মেটাডেটা ত্রুটিপূর্ণ";
}

void TestAppBangla::reasonsInBangla()
{
    QFETCH(player::Failure, failure);
    QFETCH(int, httpStatus);
    QFETCH(QString, shown);
    QCOMPARE(player::failureText(failure, httpStatus), shown);
}

// A failure added without its translation, or whose English words no longer match the
// translation's source text, would show in English.
void TestAppBangla::everyFailureHasBanglaWords()
{
    const QMetaEnum failures = QMetaEnum::fromType<player::Failure>();
    static const QRegularExpression latin(QStringLiteral("[A-Za-z]"));
    for (int i = 0; i < failures.keyCount(); ++i) {
        const QString text = player::failureText(player::Failure(failures.value(i)), 503);
        QVERIFY2(!text.isEmpty() && !text.contains(latin),
            qPrintable(QLatin1String(failures.key(i)) + QLatin1String(": ") + text));
    }
}

void TestAppBangla::drawnWithABengaliFont()
{
    FakeEngine *engine = nullptr;
    auto widget = makePlayer(&engine);
    widget->setUrl(QStringLiteral("mms://127.0.0.1/a"));
    widget->show();
    QVERIFY(QTest::qWaitForWindowExposed(widget.get()));
    QLabel *status = label(widget.get(), "status");
    QCOMPARE(status->text(), QStringLiteral("সংযোগ হচ্ছে"));

    // Every glyph comes from a font that writes Bengali; glyph 0 is the missing-glyph box.
    QTextLayout layout(status->text(), status->font());
    layout.beginLayout();
    layout.createLine();
    layout.endLayout();
    const QList<QGlyphRun> runs = layout.glyphRuns();
    QVERIFY(!runs.isEmpty());
    for (const QGlyphRun &run : runs) {
        const QString family = run.rawFont().familyName();
        QVERIFY2(QFontDatabase::writingSystems(family).contains(QFontDatabase::Bengali),
            qPrintable(family));
        QVERIFY2(!run.glyphIndexes().contains(0), qPrintable(family + " lacks a glyph"));
    }

    // And the grab shows the text drawn at its full width, where the box glyphs of a font
    // without Bengali would be narrow and far apart.
    const QImage shot = status->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QRgb ground = shot.pixel(shot.width() - 1, shot.height() / 2);
    int left = shot.width();
    int right = -1;
    for (int x = 0; x < shot.width(); ++x) {
        for (int y = 0; y < shot.height(); ++y) {
            if (qAbs(qGray(shot.pixel(x, y)) - qGray(ground)) > 60) {
                left = std::min(left, x);
                right = std::max(right, x);
            }
        }
    }
    const qreal width = layout.lineAt(0).naturalTextWidth();
    QVERIFY2(right - left + 1 >= 0.8 * width && right - left + 1 <= width + 2,
        qPrintable(QStringLiteral("ink %1..%2, text %3 wide").arg(left).arg(right).arg(width)));
}

void TestAppBangla::otherLanguagesStayEnglish_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("ready");
    QTest::newRow("bn") << "bn"
                        << "প্রস্তুত";
    QTest::newRow("bn_IN") << "bn_IN"
                           << "প্রস্তুত";
    QTest::newRow("en_US") << "en_US"
                           << "Ready";
    QTest::newRow("fr_FR") << "fr_FR"
                           << "Ready";
    QTest::newRow("C") << "C"
                       << "Ready";
}

void TestAppBangla::otherLanguagesStayEnglish()
{
    QFETCH(QString, locale);
    QFETCH(QString, ready);
    QCoreApplication::removeTranslator(m_translator);
    QTranslator *other = app::installTranslations(QLocale(locale));
    FakeEngine *engine = nullptr;
    const QString shown = makePlayer(&engine)->statusText();
    if (other) {
        QCoreApplication::removeTranslator(other);
        delete other;
    }
    QCoreApplication::installTranslator(m_translator);
    QCOMPARE(shown, ready);
}

int main(int argc, char **argv)
{
    // The user's locale, as a desktop session sets it. Qt reads it from the environment, so the
    // system need not have generated it.
    qunsetenv("LC_ALL");
    qunsetenv("LC_MESSAGES");
    qunsetenv("LANGUAGE");
    qputenv("LANG", "bn_BD.UTF-8");
    QApplication application(argc, argv);
    TestAppBangla test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_app_bangla.moc"
