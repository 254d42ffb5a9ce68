#include "animation/flashsettings.h"

#include "platform/settingsblock.h"

#include <QTest>

using animation::FlashSettings;

namespace {

FlashSettings tableSettings(const QString &movie, std::uint32_t w, std::uint32_t h)
{
    FlashSettings s;
    s.extentWidth = w;
    s.extentHeight = h;
    s.movie = movie;
    s.src = movie;
    s.wmode = "Transparent";
    s.play = "-1";
    s.loop = "-1";
    s.quality = "High";
    s.menu = "-1";
    s.scale = "ShowAll";
    s.deviceFont = "0";
    s.embedMovie = "0";
    s.seamlessTabbing = "1";
    s.profile = "0";
    s.profilePort = "0";
    s.allowNetworking = "all";
    s.allowFullScreen = "false";
    return s;
}

const QString titleMovie
    = "http://movies.tarvelin.example.com/200000230-d0997d1931/New%20Title.swf";
const QString layoutMovie = "http://movies.tarvelin.example.com/200000208-cdea9cee36/Layout.swf";

} // namespace

class TestFlashSettings : public QObject
{
    Q_OBJECT

private slots:
    void storedBlocksHaveTheirSizes_data()
    {
        QTest::addColumn<QString>("movie");
        QTest::addColumn<uint>("width");
        QTest::addColumn<uint>("height");
        QTest::addColumn<int>("bytes");
        QTest::newRow("ShockwaveFlash1") << titleMovie << 5106u << 450u << 582;
        QTest::newRow("ShockwaveFlash3") << layoutMovie << 6588u << 1296u << 562;
    }

    void storedBlocksHaveTheirSizes()
    {
        QFETCH(QString, movie);
        QFETCH(uint, width);
        QFETCH(uint, height);
        QFETCH(int, bytes);
        const FlashSettings s = tableSettings(movie, width, height);
        const QByteArray block = animation::encodeFlashSettings(s);
        QCOMPARE(block.size(), bytes);
        QCOMPARE(block.left(8), QByteArray("gUfU\x00\x09\x00\x00", 8));

        const FlashSettings back = animation::decodeFlashSettings(block);
        QVERIFY(back == s);
        QCOMPARE(back.extentWidth, width);
        QCOMPARE(back.extentHeight, height);
        QCOMPARE(back.movie, movie);
        QCOMPARE(back.src, movie);
        QCOMPARE(back.wmode, QString("Transparent"));
        QCOMPARE(back.play, QString("-1"));
        QCOMPARE(back.loop, QString("-1"));
        QCOMPARE(back.quality, QString("High"));
        QCOMPARE(back.menu, QString("-1"));
        QCOMPARE(back.scale, QString("ShowAll"));
        QCOMPARE(back.deviceFont, QString("0"));
        QCOMPARE(back.embedMovie, QString("0"));
        QCOMPARE(back.seamlessTabbing, QString("1"));
        QCOMPARE(back.profile, QString("0"));
        QCOMPARE(back.profileAddress, QString());
        QCOMPARE(back.profilePort, QString("0"));
        QCOMPARE(back.allowNetworking, QString("all"));
        QCOMPARE(back.allowFullScreen, QString("false"));
        QVERIFY(back.flashVars.isEmpty() && back.salign.isEmpty() && back.base.isEmpty());
        QVERIFY(back.bgColor.isEmpty() && back.movieData.isEmpty());

        // Value 21 is a bare string: tag 8 and a zero byte count just before value 22.
        const QByteArray bare(
            "\x08\x00\x00\x00\x00\x00\x08\x00\x04\x00\x00\x00\x30\x00\x00\x00", 16);
        QVERIFY(block.contains(bare));
    }

    void emptyStringMayBeStoredEitherWay()
    {
        const FlashSettings s = tableSettings(titleMovie, 5106, 450);
        QByteArray block = animation::encodeFlashSettings(s);
        // Rewrite value 21 with count 2 and a terminating zero; the reader takes both.
        const QByteArray bare("\x08\x00\x00\x00\x00\x00\x08\x00\x04\x00", 10);
        const qsizetype at = block.indexOf(bare);
        QVERIFY(at > 0);
        block.replace(at, 6, QByteArray("\x08\x00\x02\x00\x00\x00\x00\x00", 8));
        const FlashSettings back = animation::decodeFlashSettings(block);
        QCOMPARE(back.profileAddress, QString());
        QCOMPARE(back.profilePort, QString("0"));
        QCOMPARE(back.allowFullScreen, QString("false"));
    }

    void truncatedBlocksAreRejected()
    {
        const QByteArray block
            = animation::encodeFlashSettings(tableSettings(titleMovie, 5106, 450));
        for (qsizetype n = 0; n < block.size(); ++n) {
            QVERIFY_THROWS_EXCEPTION(
                platform::SettingsError, animation::decodeFlashSettings(block.left(n)));
        }
        QVERIFY_THROWS_EXCEPTION(
            platform::SettingsError, animation::decodeFlashSettings(block + QByteArray(1, '\0')));
    }

    void malformedBlocksAreRejected()
    {
        const QByteArray good
            = animation::encodeFlashSettings(tableSettings(layoutMovie, 6588, 1296));
        QByteArray wrongSig = good;
        wrongSig[0] = 'G';
        QVERIFY_THROWS_EXCEPTION(platform::SettingsError, animation::decodeFlashSettings(wrongSig));

        QByteArray wrongVersion = good;
        wrongVersion[5] = 0x0A;
        QVERIFY_THROWS_EXCEPTION(
            platform::SettingsError, animation::decodeFlashSettings(wrongVersion));

        // The first value's tag becomes 3 (a number), then 99 (unknown).
        QByteArray numberTag = good;
        numberTag[16] = 3;
        QVERIFY_THROWS_EXCEPTION(
            platform::SettingsError, animation::decodeFlashSettings(numberTag));
        QByteArray unknownTag = good;
        unknownTag[16] = 99;
        QVERIFY_THROWS_EXCEPTION(
            platform::SettingsError, animation::decodeFlashSettings(unknownTag));

        // The object slot (value 18) stored as a string.
        FlashSettings s = tableSettings(layoutMovie, 6588, 1296);
        QByteArray slotAsString = animation::encodeFlashSettings(s);
        const qsizetype slotAt
            = slotAsString.indexOf(QByteArray("\x0D\x00", 2) + QByteArray(16, '\0'));
        QVERIFY(slotAt > 0);
        slotAsString.replace(slotAt, 18, QByteArray("\x08\x00\x02\x00\x00\x00\x00\x00", 8));
        QVERIFY_THROWS_EXCEPTION(
            platform::SettingsError, animation::decodeFlashSettings(slotAsString));

        // Absurd and odd string byte counts in the first value.
        for (std::uint32_t count : { 0xFFFFFFFFu, 0x7FFFFFFEu, 3u, 1000u }) {
            QByteArray absurd = good;
            absurd[18] = char(count & 0xFF);
            absurd[19] = char((count >> 8) & 0xFF);
            absurd[20] = char((count >> 16) & 0xFF);
            absurd[21] = char((count >> 24) & 0xFF);
            QVERIFY_THROWS_EXCEPTION(
                platform::SettingsError, animation::decodeFlashSettings(absurd));
        }
    }

    void errorMessagesSayWhatIsWrong()
    {
        try {
            animation::decodeFlashSettings(QByteArray("gUfX\x00\x09\x00\x00", 8));
            QFAIL("no error");
        } catch (const platform::SettingsError &e) {
            QVERIFY(QString(e.what()).contains("signature"));
        }
    }
};

QTEST_GUILESS_MAIN(TestFlashSettings)
#include "tst_flashsettings.moc"
