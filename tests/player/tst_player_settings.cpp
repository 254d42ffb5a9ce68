#include "player/view/settings.h"

#include "platform/settingsblock.h"

#include <QTest>

using player::MediaPlayerSettings;

namespace {

// The block as the main window stores it, written value by value from the table with the
// generic writer (not with the codec under test).
QByteArray tableBlock()
{
    using platform::storedString;
    platform::SettingsWriter w;
    w.u32(0x300);
    w.value(storedString(QString())); // URL
    w.value(1.0); // rate
    w.value(std::int32_t(0)); // balance
    w.value(0.0); // currentPosition
    w.value(storedString(QString())); // defaultFrame
    w.value(std::int32_t(1)); // playCount
    w.value(true); // autoStart
    w.value(std::int32_t(0)); // currentMarker
    w.value(true); // invokeURLs
    w.value(storedString(QString())); // baseURL
    w.value(std::int32_t(50)); // volume
    w.value(false); // mute
    w.value(storedString(QStringLiteral("full"))); // uiMode
    w.value(false); // stretchToFit
    w.value(false); // windowlessVideo
    w.value(true); // enabled
    w.value(true); // enableContextMenu
    w.value(false); // fullScreen
    for (int i = 0; i < 4; ++i) {
        w.value(storedString(QString())); // SAMIStyle, SAMILang, SAMIFilename, captioningID
    }
    w.value(false); // enableErrorDialogs
    w.u32(6588);
    w.u32(4048);
    return w.bytes();
}

} // namespace

class TestPlayerSettings : public QObject
{
    Q_OBJECT
private slots:
    void tableBlockDecodesToTheTableValues()
    {
        const QByteArray block = tableBlock();
        QCOMPARE(block.size(), 164);
        QCOMPARE(block.left(4), QByteArray("\x00\x03\x00\x00", 4));
        const MediaPlayerSettings s = player::decodeMediaPlayerSettings(block);
        QCOMPARE(s.url, QString());
        QCOMPARE(s.rate, 1.0);
        QCOMPARE(s.balance, 0);
        QCOMPARE(s.currentPosition, 0.0);
        QCOMPARE(s.playCount, 1);
        QVERIFY(s.autoStart);
        QCOMPARE(s.currentMarker, 0);
        QVERIFY(s.invokeUrls);
        QCOMPARE(s.volume, 50);
        QVERIFY(!s.mute);
        QCOMPARE(s.uiMode, QStringLiteral("full"));
        QVERIFY(!s.stretchToFit);
        QVERIFY(!s.windowlessVideo);
        QVERIFY(s.enabled);
        QVERIFY(s.enableContextMenu);
        QVERIFY(!s.fullScreen);
        QVERIFY(!s.enableErrorDialogs);
        QCOMPARE(s.extentWidth, 6588u);
        QCOMPARE(s.extentHeight, 4048u);
        // The defaults of the struct are the table's values.
        QVERIFY(s == MediaPlayerSettings {});
    }

    void encoderWritesTheStoredBlockByteForByte()
    {
        QCOMPARE(player::encodeMediaPlayerSettings(MediaPlayerSettings {}), tableBlock());
    }

    void roundTripKeepsEveryValue()
    {
        MediaPlayerSettings s;
        s.url = QStringLiteral("http://127.0.0.1:8000/কথা.asx");
        s.rate = 1.5;
        s.balance = -40;
        s.currentPosition = 12.25;
        s.defaultFrame = QStringLiteral("frame");
        s.playCount = 3;
        s.autoStart = false;
        s.currentMarker = 2;
        s.invokeUrls = false;
        s.baseUrl = QStringLiteral("http://base/");
        s.volume = 77;
        s.mute = true;
        s.uiMode = QStringLiteral("mini");
        s.stretchToFit = true;
        s.windowlessVideo = true;
        s.enabled = false;
        s.enableContextMenu = false;
        s.fullScreen = true;
        s.samiStyle = QStringLiteral("a");
        s.samiLang = QStringLiteral("bn");
        s.samiFilename = QStringLiteral("c.smi");
        s.captioningId = QStringLiteral("cap");
        s.enableErrorDialogs = true;
        s.extentWidth = 1;
        s.extentHeight = 2;
        QCOMPARE(player::decodeMediaPlayerSettings(player::encodeMediaPlayerSettings(s)), s);
    }

    void malformedBlocksAreRejected_data()
    {
        QTest::addColumn<QByteArray>("block");
        const QByteArray good = tableBlock();
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("header only") << good.left(4);
        QTest::newRow("truncated in a value") << good.left(40);
        QTest::newRow("extent cut short") << good.left(good.size() - 2);
        QTest::newRow("trailing byte") << good + QByteArray(1, '\0');
        QByteArray wrongHeader = good;
        wrongHeader[1] = 0x02;
        QTest::newRow("wrong version word") << wrongHeader;
        // rate (offset 12) stored with the integer tag: the wrong type for its position.
        QByteArray wrongTag = good;
        QCOMPARE(wrongTag[12], char(5));
        wrongTag[12] = 3;
        QTest::newRow("wrong tag for a position") << wrongTag;
        QByteArray unknownTag = good;
        unknownTag[12] = 99;
        QTest::newRow("unknown tag") << unknownTag;
        QByteArray badBool = good;
        // autoStart's payload (the block's first boolean) set to 1, neither 0 nor 0xFFFF.
        const qsizetype autoStart = good.indexOf(QByteArray("\x0b\x00\xff\xff", 4));
        QVERIFY(autoStart > 0);
        badBool[autoStart + 2] = 1;
        badBool[autoStart + 3] = 0;
        QTest::newRow("bad boolean") << badBool;
        QByteArray hugeString = good;
        hugeString[6] = char(0xFF); // URL byte count becomes enormous
        hugeString[7] = char(0xFF);
        QTest::newRow("string longer than the block") << hugeString;
    }

    void malformedBlocksAreRejected()
    {
        QFETCH(QByteArray, block);
        QVERIFY_THROWS_EXCEPTION(platform::SettingsError, player::decodeMediaPlayerSettings(block));
    }
};

QTEST_APPLESS_MAIN(TestPlayerSettings)
#include "tst_player_settings.moc"
