#include "player/core/playlist.h"

#include <QTest>

using player::ContentKind;
using player::Playlist;
using player::PlaylistFormat;

namespace {

const QUrl base(QStringLiteral("http://127.0.0.1:8080/dir/list.asx"));

QStringList refsOf(const Playlist &list)
{
    QStringList out;
    for (const auto &entry : list.entries) {
        QStringList refs;
        for (const QUrl &u : entry.refs) {
            refs << u.toString();
        }
        out << (entry.isEntryRef ? QStringLiteral("entryref:") : QString()) + refs.join(u'|');
    }
    return out;
}

} // namespace

class TestPlaylist : public QObject
{
    Q_OBJECT
private slots:
    void sloppyAsxVariants_data()
    {
        QTest::addColumn<QByteArray>("doc");
        QTest::addColumn<QStringList>("expected");
        const QStringList one { QStringLiteral("http://a.example/live?x=1&y=2") };

        QTest::newRow("plain") << QByteArray(
            "<asx version=\"3.0\"><entry><ref "
            "href=\"http://a.example/live?x=1&amp;y=2\"/></entry></asx>")
                               << one;
        QTest::newRow("upper case tags and attributes")
            << QByteArray("<ASX VERSION=\"3.0\"><ENTRY><REF "
                          "HREF=\"http://a.example/live?x=1&amp;y=2\"></REF></ENTRY></ASX>")
            << one;
        QTest::newRow("mixed case, unescaped ampersand") << QByteArray(
            "<Asx Version=3.0><Entry><Ref Href=\"http://a.example/live?x=1&y=2\" /></Entry></Asx>")
                                                         << one;
        QTest::newRow("utf-8 byte-order mark and declaration")
            << QByteArray("\xEF\xBB\xBF<?xml version=\"1.0\"?>\r\n\r\n<asx><entry><ref "
                          "href='http://a.example/live?x=1&y=2'/></entry></asx>")
            << one;
        QTest::newRow("blank lines and comments") << QByteArray(
            "\n\n   \n<!-- made by a script <ref href=\"http://wrong/\"> -->\n<asx>\n<!-- another "
            "-->\n<entry>\n<ref href = \"http://a.example/live?x=1&y=2\" />\n</entry>\n</asx>\n")
                                                  << one;
        QTest::newRow("unquoted href")
            << QByteArray("<asx><entry><ref href=http://a.example/live?x=1&y=2></entry></asx>")
            << one;
        QTest::newRow("no closing tags")
            << QByteArray("<asx><entry><ref href=\"http://a.example/live?x=1&y=2\">") << one;
        QTest::newRow("ref outside an entry")
            << QByteArray("<asx><ref href=\"http://a.example/live?x=1&y=2\"/></asx>") << one;
        QTest::newRow("html title text with markup")
            << QByteArray("<asx><title>Radio &amp; <b>Gaan</b></title><entry><ref "
                          "href=\"http://a.example/live?x=1&y=2\"/></entry></asx>")
            << one;

        QByteArray utf16("\xFF\xFE", 2);
        const QString text = QStringLiteral(
            "<asx><entry><ref href=\"http://a.example/live?x=1&y=2\"/></entry></asx>");
        utf16.append(reinterpret_cast<const char *>(text.utf16()), text.size() * 2);
        QTest::newRow("utf-16 with mark") << utf16 << one;
    }

    void sloppyAsxVariants()
    {
        QFETCH(QByteArray, doc);
        QFETCH(QStringList, expected);
        QCOMPARE(player::sniffContent(doc), ContentKind::Playlist);
        const Playlist list = player::parsePlaylist(doc, base);
        QCOMPARE(list.format, PlaylistFormat::Asx);
        QCOMPARE(refsOf(list), expected);
    }

    void asxEntriesRefsEntryRefsAndRelativeAddresses()
    {
        const QByteArray doc = "<ASX version=\"3.0\">\n"
                               "  <TITLE>Station One</TITLE>\n"
                               "  <ENTRY>\n"
                               "    <TITLE>Morning</TITLE>\n"
                               "    <REF HREF=\"mms://dead.example/live\" />\n"
                               "    <REF HREF=\"http://b.example:8000/\" />\n"
                               "    <REF HREF=\"stream.mp3\" />\n"
                               "  </ENTRY>\n"
                               "  <ENTRYREF HREF=\"../more.asx\" />\n"
                               "  <ENTRY><REF HREF=\"/abs/path.wma\"/></ENTRY>\n"
                               "</ASX>\n";
        const Playlist list = player::parsePlaylist(doc, base);
        QCOMPARE(list.title, QStringLiteral("Station One"));
        QCOMPARE(refsOf(list),
            (QStringList { QStringLiteral("mms://dead.example/live|http://b.example:8000/|http://"
                                          "127.0.0.1:8080/dir/stream.mp3"),
                QStringLiteral("entryref:http://127.0.0.1:8080/more.asx"),
                QStringLiteral("http://127.0.0.1:8080/abs/path.wma") }));
        QCOMPARE(list.entries[0].title, QStringLiteral("Morning"));
        QVERIFY(list.entries[1].isEntryRef);
    }

    void asxBaseElementAppliesToRelativeRefs()
    {
        const QByteArray doc = "<asx><base href=\"http://other.example/x/\"/><entry><ref "
                               "href=\"s.mp3\"/></entry></asx>";
        QCOMPARE(refsOf(player::parsePlaylist(doc, base)),
            QStringList { QStringLiteral("http://other.example/x/s.mp3") });
    }

    void m3uVariants_data()
    {
        QTest::addColumn<QByteArray>("doc");
        QTest::addColumn<QStringList>("expected");
        const QStringList two { QStringLiteral("http://a.example:8000/live"),
            QStringLiteral("http://b.example/x.mp3") };
        QTest::newRow("with header") << QByteArray(
            "#EXTM3U\n#EXTINF:-1,Live\nhttp://a.example:8000/live\nhttp://b.example/x.mp3\n")
                                     << two;
        QTest::newRow("without header")
            << QByteArray("http://a.example:8000/live\nhttp://b.example/x.mp3") << two;
        QTest::newRow("crlf and blank lines") << QByteArray(
            "\r\n#EXTM3U\r\n\r\nhttp://a.example:8000/live\r\n\r\nhttp://b.example/x.mp3\r\n")
                                              << two;
        QTest::newRow("relative with header") << QByteArray(
            "#EXTM3U\nlive\n") << QStringList { QStringLiteral("http://127.0.0.1:8080/dir/live") };
        QTest::newRow("bom") << QByteArray("\xEF\xBB\xBFhttp://a.example:8000/live\n")
                             << QStringList { QStringLiteral("http://a.example:8000/live") };
    }

    void m3uVariants()
    {
        QFETCH(QByteArray, doc);
        QFETCH(QStringList, expected);
        const Playlist list = player::parsePlaylist(doc, base);
        QCOMPARE(list.format, PlaylistFormat::M3u);
        QCOMPARE(refsOf(list), expected);
    }

    void hlsIndexIsAStreamNotAPlaylist()
    {
        const QByteArray doc = "#EXTM3U\n#EXT-X-VERSION:3\n#EXT-X-TARGETDURATION:10\nseg1.aac\n";
        QCOMPARE(player::parsePlaylist(doc, base).format, PlaylistFormat::None);
        QCOMPARE(player::sniffContent(doc), ContentKind::Audio);
    }

    void plsAndReferenceLists()
    {
        const QByteArray pls
            = "[playlist]\r\nNumberOfEntries=2\r\nFile2=http://b.example/"
              "2\r\nTitle1=One\r\nfile1=http://a.example/1\r\nLength1=-1\r\nVersion=2\r\n";
        Playlist list = player::parsePlaylist(pls, base);
        QCOMPARE(list.format, PlaylistFormat::Pls);
        QCOMPARE(refsOf(list),
            (QStringList {
                QStringLiteral("http://a.example/1"), QStringLiteral("http://b.example/2") }));
        QCOMPARE(list.entries[0].title, QStringLiteral("One"));

        const QByteArray ini
            = "[Reference]\r\nRef1=http://wm.example/live?MSWMExt=.asf\r\nRef2=http://"
              "wm.example:80/live?MSWMExt=.asf\r\n";
        list = player::parsePlaylist(ini, base);
        QCOMPARE(list.format, PlaylistFormat::AsxIni);
        // The references are alternatives of one entry, in their order.
        QCOMPARE(refsOf(list),
            QStringList { QStringLiteral(
                "http://wm.example/live?MSWMExt=.asf|http://wm.example:80/live?MSWMExt=.asf") });
    }

    void sniffingByContent_data()
    {
        QTest::addColumn<QByteArray>("head");
        QTest::addColumn<int>("kind");
        QTest::newRow("id3") << QByteArray("ID3\x04\x00\x00\x00\x00\x00\x00", 10)
                             << int(ContentKind::Audio);
        QTest::newRow("mpeg frame")
            << QByteArray("\xFF\xFB\x90\x64\x00\x00", 6) << int(ContentKind::Audio);
        QTest::newRow("ogg") << QByteArray("OggS\x00\x02", 6) << int(ContentKind::Audio);
        QTest::newRow("asf") << QByteArray("\x30\x26\xB2\x75\x8E\x66\xCF\x11\xA6\xD9", 10)
                             << int(ContentKind::Audio);
        QTest::newRow("riff wave")
            << QByteArray("RIFF\x24\x08\x00\x00WAVE", 12) << int(ContentKind::Audio);
        QTest::newRow("binary garbage")
            << QByteArray("\x01\x02\x03\x04garbage", 11) << int(ContentKind::Audio);
        QTest::newRow("html") << QByteArray(
            "<!DOCTYPE html><html><body>SHOUTcast status</body></html>")
                              << int(ContentKind::Html);
        QTest::newRow("html after blanks")
            << QByteArray("\r\n\r\n  <HTML><head>") << int(ContentKind::Html);
        QTest::newRow("plain text")
            << QByteArray("Server is full, try later") << int(ContentKind::Text);
        QTest::newRow("xml that is no asx")
            << QByteArray("<?xml version=\"1.0\"?><rss></rss>") << int(ContentKind::Html);
        QTest::newRow("empty") << QByteArray() << int(ContentKind::Empty);
        QTest::newRow("asx") << QByteArray("<asx version=\"3.0\">") << int(ContentKind::Playlist);
    }

    void sniffingByContent()
    {
        QFETCH(QByteArray, head);
        QFETCH(int, kind);
        QCOMPARE(int(player::sniffContent(head)), kind);
    }

    void garbageYieldsNoEntries_data()
    {
        QTest::addColumn<QByteArray>("doc");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("html") << QByteArray(
            "<html><body><a href=\"http://x/\">x</a></body></html>");
        QTest::newRow("asx without refs")
            << QByteArray("<asx><entry><title>x</title></entry></asx>");
        QTest::newRow("asx with an empty href")
            << QByteArray("<asx><entry><ref href=\"\"/><ref/></entry></asx>");
        QTest::newRow("asx cut inside a tag")
            << QByteArray("<asx><entry><ref href=\"http://a.example/");
        QTest::newRow("asx comment never closed")
            << QByteArray("<asx><!-- <entry><ref href=\"http://a/\"/></entry>");
        QTest::newRow("m3u of comments") << QByteArray("#EXTM3U\n#EXTINF:1,x\n");
        QTest::newRow("pls without files") << QByteArray("[playlist]\nNumberOfEntries=0\n");
        QTest::newRow("binary") << QByteArray(
            "\x00\x01\x02<asx><entry><ref href=\"http://a/\"/>", 34);
        QTest::newRow("relative ref without a usable base")
            << QByteArray("<asx><entry><ref href=\"s.mp3\"/></entry></asx>");
    }

    void garbageYieldsNoEntries()
    {
        QFETCH(QByteArray, doc);
        const bool needsBase
            = QTest::currentDataTag() == QByteArray("relative ref without a usable base");
        const Playlist list = player::parsePlaylist(doc, needsBase ? QUrl() : base);
        QVERIFY2(list.entries.isEmpty(), qPrintable(refsOf(list).join(u',')));
    }

    void sizeLimitsAreKept()
    {
        // Entries beyond the cap are dropped.
        QByteArray many = "#EXTM3U\n";
        for (int i = 0; i < 1000; ++i) {
            many += "http://a.example/" + QByteArray::number(i) + "\n";
        }
        QCOMPARE(player::parsePlaylist(many, base).entries.size(), player::maxPlaylistEntries);

        // So are alternatives beyond the per-entry cap.
        QByteArray refs = "<asx><entry>";
        for (int i = 0; i < 100; ++i) {
            refs += "<ref href=\"http://a.example/" + QByteArray::number(i) + "\"/>";
        }
        refs += "</entry></asx>";
        const Playlist list = player::parsePlaylist(refs, base);
        QCOMPARE(list.entries.size(), 1);
        QCOMPARE(list.entries[0].refs.size(), player::maxRefsPerEntry);

        // A reference past the byte cap is not read.
        QByteArray padded = "<asx>" + QByteArray(player::maxPlaylistBytes, ' ')
            + "<entry><ref href=\"http://late.example/\"/></entry></asx>";
        QVERIFY(player::parsePlaylist(padded, base).entries.isEmpty());
    }
};

QTEST_APPLESS_MAIN(TestPlaylist)
#include "tst_playlist.moc"
