#include "player/core/titletext.h"

#include <QTest>

class TestTitleText : public QObject
{
    Q_OBJECT
private slots:
    void repair_data()
    {
        QTest::addColumn<QByteArray>("raw");
        QTest::addColumn<QString>("expected");
        const QString bangla = QStringLiteral("আমার সোনার বাংলা");
        const QByteArray utf8 = bangla.toUtf8();
        QTest::newRow("valid utf-8 bangla") << utf8 << bangla;
        QTest::newRow("ascii") << QByteArray("Artist - Song") << QStringLiteral("Artist - Song");

        // UTF-8 read as Latin-1 and written out as UTF-8 again.
        const QByteArray mangled = QString::fromLatin1(utf8).toUtf8();
        QTest::newRow("utf-8 mangled through latin-1") << mangled << bangla;
        // The same through the Windows variant, whose 0x80-0x9F are other characters.
        QString windows;
        for (char c : utf8) {
            const auto b = static_cast<unsigned char>(c);
            static const char16_t high[32] = { 0x20AC, 0x81, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020,
                0x2021, 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x8D, 0x017D, 0x8F, 0x90, 0x2018,
                0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A,
                0x0153, 0x9D, 0x017E, 0x0178 };
            windows += (b >= 0x80 && b < 0xA0) ? QChar(high[b - 0x80]) : QChar(b);
        }
        QTest::newRow("utf-8 mangled through windows latin-1") << windows.toUtf8() << bangla;
        QTest::newRow("mangled twice") << QString::fromLatin1(mangled).toUtf8() << bangla;

        QTest::newRow("plain latin-1 bytes")
            << QByteArray("Caf\xE9 Bleu") << QStringLiteral("Café Bleu");
        QTest::newRow("latin-1 text sent as utf-8 stays")
            << QStringLiteral("Café Ñandú").toUtf8() << QStringLiteral("Café Ñandú");
        QTest::newRow("decimal references")
            << QByteArray("&#2438;&#2478;&#2494;&#2480;") << QStringLiteral("আমার");
        QTest::newRow("hex references")
            << QByteArray("&#x986;&#X9AE; &amp; co") << QStringLiteral("আম & co");
        QTest::newRow("bad references stay")
            << QByteArray("A&B &#xZZ; &#0; &#99999999; &#xD800; &#")
            << QStringLiteral("A&B &#xZZ; &#0; &#99999999; &#xD800; &#");
        QTest::newRow("controls and blanks")
            << QByteArray("  One\tTwo\x01\r\n ") << QStringLiteral("One Two");
        QTest::newRow("empty") << QByteArray() << QString();
    }

    void repair()
    {
        QFETCH(QByteArray, raw);
        QFETCH(QString, expected);
        QCOMPARE(player::repairTitle(raw), expected);
    }
};

QTEST_APPLESS_MAIN(TestTitleText)
#include "tst_titletext.moc"
