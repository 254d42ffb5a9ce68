#include "corpus.h"
#include "swfbuilder.h"

#include "animation/swfrenderer.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTest>

using namespace animation::swf;

namespace {

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Parses and plays a few frames small; returns false when the file was rejected.
bool loadAndPlay(const QByteArray &bytes, int frames, QString *error = nullptr)
{
    std::shared_ptr<const Movie> movie;
    try {
        movie = parseMovie(bytes);
    } catch (const FormatError &e) {
        if (error) {
            *error = e.what();
        }
        return false;
    }
    PlaybackBudget budget;
    TimelineInstance root(*movie, movie->root, budget, 0);
    root.start();
    Renderer renderer(*movie);
    for (int i = 0; i < frames; ++i) {
        const QImage img = renderer.renderFrame(root, QSize(193, 17));
        if (img.format() != QImage::Format_ARGB32_Premultiplied) {
            return false;
        }
        root.tick();
    }
    return true;
}

} // namespace

class TestSwfMovie : public QObject
{
    Q_OBJECT

private slots:
    void bitReaderSignExtendsAndStaysInBounds()
    {
        BitWriter w;
        w.bits(0b101, 3); // -3 as SB[3]
        w.bits(0b011, 3); // 3
        w.bits(1, 1); // -1 as SB[1]
        w.flush();
        Reader r(w.data());
        QCOMPARE(r.sb(3), -3);
        QCOMPARE(r.sb(3), 3);
        QCOMPARE(r.sb(1), -1);
        QCOMPARE(r.sb(0), 0);
        QVERIFY_THROWS_EXCEPTION(FormatError, r.ub(9));
        Reader empty(QByteArrayView {});
        QVERIFY_THROWS_EXCEPTION(FormatError, empty.u8());
        QVERIFY_THROWS_EXCEPTION(FormatError, empty.bytes(1));

        // MATRIX order: scale, rotate/skew (b then c), translate.
        BitWriter m;
        m.bits(1, 1);
        m.bits(20, 5);
        m.sbits(2 << 16, 20);
        m.sbits(3 << 16, 20);
        m.bits(1, 1);
        m.bits(20, 5);
        m.sbits(1 << 16, 20);
        m.sbits(-(1 << 16), 20);
        m.bits(8, 5);
        m.sbits(100, 8);
        m.sbits(-50, 8);
        Reader mr(m.data());
        const QTransform t = mr.matrix();
        QCOMPARE(t.map(QPointF(1, 0)), QPointF(2 + 100, 1 - 50));
        QCOMPARE(t.map(QPointF(0, 1)), QPointF(-1 + 100, 3 - 50));
    }

    void colourTransformsClampAndCompose()
    {
        ColorTransform half;
        half.mult[3] = 0.5f;
        ColorTransform redder;
        redder.add[0] = 200;
        QCOMPARE(half.apply(QColor(10, 20, 30, 200)), QColor(10, 20, 30, 100));
        QCOMPARE(redder.apply(QColor(100, 0, 0)), QColor(255, 0, 0));
        const ColorTransform both = half.concat(redder);
        QCOMPARE(both.apply(QColor(0, 0, 0, 255)), QColor(200, 0, 0, 127));
    }

    void containersDecodeToTheSameMovie()
    {
        const QString dir = corpusDir();
        if (dir.isEmpty()) {
            QSKIP("movie corpus not available");
        }
        const Container fws = unpackContainer(readFile(dir + "/swfcrate/uncompressed.swf"));
        const Container cws = unpackContainer(readFile(dir + "/swfcrate/zlib.swf"));
        const Container zws = unpackContainer(readFile(dir + "/swfcrate/lzma.swf"));
        QCOMPARE(fws.kind, 'F');
        QCOMPARE(cws.kind, 'C');
        QCOMPARE(zws.kind, 'Z');
        QCOMPARE(fws.body.size(), 9999 - 8);
        QCOMPARE(cws.body, fws.body);
        QCOMPARE(zws.body, fws.body);
    }

    void untrustedLengthsAreCapped()
    {
        const QString dir = corpusDir();
        if (dir.isEmpty()) {
            QSKIP("movie corpus not available");
        }
        // FileLength 0xFFFFFFFF: nothing is preallocated, the body stops at the real data.
        const Container big
            = unpackContainer(readFile(dir + "/swfcrate/lzma-length-too-large.swf"));
        QVERIFY(big.body.size() < 4096);
        // A cap smaller than the data stops inflation there.
        const Container capped = unpackContainer(readFile(dir + "/swfcrate/zlib.swf"), 100);
        QCOMPARE(capped.body.size(), 100);
        // Decompression bomb: 40 MiB of zeros inflate no further than the cap.
        QByteArray zeros(40 * 1024 * 1024, '\0');
        const QByteArray packed = qCompress(zeros, 9).mid(4);
        QByteArray bomb("CWS\x0A\xFF\xFF\xFF\xFF", 8);
        bomb += packed;
        QCOMPARE(unpackContainer(bomb).body.size(), maxMovieBytes);
        // LZMA properties naming a 4 GiB dictionary (found by fuzzing): decoded with a
        // dictionary no larger than the capped output, not preallocated.
        const QByteArray hugeDict
            = QByteArray::fromBase64("WldTDf//MQAAAF0AAFMN//8xAAAAXQAAYAAAO/8AAAAAAAA=");
        QVERIFY(unpackContainer(hugeDict).body.size() < 1024);
    }

    void notMoviesAreRejected_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("short") << QByteArray("FWS");
        QTest::newRow("text") << QByteArray("This is not a movie at all");
        QTest::newRow("header only") << QByteArray("FWS\x0A\x08\x00\x00\x00", 8);
        QTest::newRow("bad zlib") << QByteArray("CWS\x0A\x20\x00\x00\x00garbagegarbage", 22);
        QTest::newRow("bad lzma") << QByteArray(
            "ZWS\x0A\x20\x00\x00\x00\x05\x00\x00\x00\xFF\xFF\xFF\xFF\xFF", 17);
    }

    void notMoviesAreRejected()
    {
        QFETCH(QByteArray, bytes);
        QVERIFY_THROWS_EXCEPTION(FormatError, parseMovie(bytes));
    }

    void everyCorpusFileLoadsOrIsRejectedCleanly()
    {
        const QStringList files = corpusMovies();
        if (files.isEmpty()) {
            QSKIP("movie corpus not available");
        }
        int loaded = 0;
        QStringList rejected;
        for (const QString &path : files) {
            QString error;
            if (loadAndPlay(readFile(path), 3, &error)) {
                ++loaded;
            } else {
                rejected << QFileInfo(path).fileName() + ": " + error;
            }
        }
        // Only the two files that are not movies at all are turned away.
        QCOMPARE(rejected.size(), 2);
        QCOMPARE(loaded, files.size() - 2);
    }

    void damagedFilesPlayWhatTheyHold()
    {
        const QString dir = corpusDir();
        if (dir.isEmpty()) {
            QSKIP("movie corpus not available");
        }
        // A length that cuts off frame 2 still leaves frame 1 with its objects.
        auto cut
            = parseMovie(readFile(dir + "/robust/swf_length_too_short_no_second_frame/test.swf"));
        auto whole = parseMovie(
            readFile(dir + "/robust/swf_length_too_short_no_second_frame/original.swf"));
        QVERIFY(cut->root.frameCount() >= 1);
        QVERIFY(cut->root.frameCount() < whole->root.frameCount() || cut->root.frameCount() == 1);
        // Lengths longer than the file or zero: the real data is read.
        auto tooLong = parseMovie(readFile(dir + "/robust/swf_length_too_long/test.swf"));
        auto original = parseMovie(readFile(dir + "/robust/swf_length_too_long/original.swf"));
        QCOMPARE(tooLong->root.frameCount(), original->root.frameCount());
        QCOMPARE(tooLong->characters.size(), original->characters.size());
        auto zero = parseMovie(readFile(dir + "/robust/swf_length_zero/test.swf"));
        QCOMPARE(zero->root.frameCount(),
            parseMovie(readFile(dir + "/robust/swf_length_zero/original.swf"))->root.frameCount());
    }

    void hostileCountsAreBounded()
    {
        // A DefineShape claiming 65535 fill styles in a few bytes, a font with 65535 glyphs,
        // and a lossless bitmap declaring 65535 x 65535 pixels.
        SwfBuilder b(100, 20);
        b.tag(22, QByteArray("\x01\x00\x00\xFF\xFF\xFF", 6));
        b.tag(48, QByteArray("\x02\x00\x00\x00\x00\xFF\xFF\x00\x00", 9));
        b.tag(36, QByteArray("\x03\x00\x05\xFF\xFF\xFF\xFF\x78\x9C\x03\x00\x00\x00\x00\x01", 15));
        b.tag(20, QByteArray("\x04\x00\x03\x10\x00\x10\x00\xFF", 8));
        b.place(1, 1);
        b.place(2, 3);
        b.showFrame();
        QElapsedTimer t;
        t.start();
        const auto movie = parseMovie(b.fws(1));
        QVERIFY(!movie->character(1));
        QVERIFY(!movie->character(2));
        QVERIFY(!movie->character(3));
        QVERIFY(!movie->character(4));
        QVERIFY(loadAndPlay(b.fws(1), 2));
        QVERIFY(t.elapsed() < 5000);
    }

    void edgeCountsAreCapped()
    {
        // One shape with more edges than allowed is dropped, not drawn at any cost.
        SwfBuilder b(100, 20);
        b.rectShape(1, QRect(0, 0, 10, 10), Qt::red);
        b.place(1, 1);
        b.showFrame();
        Limits tight;
        tight.maxEdgesPerShape = 3;
        const auto movie = parseMovie(b.fws(1), tight);
        QVERIFY(!movie->character(1));
        QVERIFY(!movie->warnings.isEmpty());
        QVERIFY(parseMovie(b.fws(1))->character(1));
    }

    void selfPlacingSpritesAreBounded()
    {
        // Sprite 2 places itself twice per frame: an exponential tree without the bounds.
        SwfBuilder inner(0, 0);
        inner.place(1, 2);
        inner.place(2, 2);
        inner.showFrame();
        SwfBuilder b(100, 20);
        b.sprite(2, inner.tags(), 1);
        b.place(1, 2);
        b.showFrame();
        const auto movie = parseMovie(b.fws(1));
        PlaybackBudget budget;
        {
            TimelineInstance root(*movie, movie->root, budget, 0);
            root.start();
            QVERIFY(budget.liveInstances <= budget.maxInstances);
            QVERIFY(budget.liveInstances > 1);
            root.tick();
            Renderer r(*movie);
            QElapsedTimer t;
            t.start();
            r.renderFrame(root, QSize(249, 49));
            QVERIFY(t.elapsed() < 10000);
        }
        QCOMPARE(budget.liveInstances, 0);
    }

    void gotoFramesTakeTheirFrameFromAPushedConstant()
    {
        // gotoAndPlay(3) and gotoAndStop("end") as compiled: a push, then the jump. A push of two
        // values, or one followed by another action first, names no frame. After a branch nothing
        // is read (it runs only on a condition): the last stop is not an action of the frame.
        BitWriter w;
        auto action = [&w](int code, const QByteArray &data) {
            w.u8(code);
            if (code >= 0x80) {
                w.u16(int(data.size()));
                w.bytes(data);
            }
        };
        const QByteArray three("\x07\x03\x00\x00\x00", 5);
        const QByteArray andPlay("\x01", 1);
        const QByteArray andStop("\x00", 1);
        action(0x96, three);
        action(0x9F, andPlay);
        action(0x96, QByteArray("\0end\0", 5));
        action(0x9F, andStop);
        action(0x96, three + three);
        action(0x9F, andPlay);
        action(0x96, three);
        action(0x06, {}); // play
        action(0x9F, andPlay);
        action(0x9D, QByteArray("\x00\x00", 2)); // if
        action(0x07, {}); // stop
        w.u8(0);
        SwfBuilder b(100, 20);
        b.tag(12, w.data());
        b.showFrame();
        const auto movie = parseMovie(b.fws(1));
        const std::vector<Action> &actions = movie->root.frames.at(0).actions;
        QCOMPARE(actions.size(), std::size_t(3));
        QCOMPARE(int(actions[0].kind), int(Action::GotoFrame));
        QCOMPARE(actions[0].frame, 2);
        QVERIFY(actions[0].hasPlayFlag && actions[0].andPlay);
        QCOMPARE(int(actions[1].kind), int(Action::GotoLabel));
        QCOMPARE(actions[1].label, QString("end"));
        QVERIFY(actions[1].hasPlayFlag && !actions[1].andPlay);
        QCOMPARE(int(actions[2].kind), int(Action::Play));
    }

    void truncatedAtEveryOffsetNeverCrashes()
    {
        SwfBuilder inner(0, 0);
        inner.place(1, 1, 3, 3);
        inner.showFrame();
        inner.remove(1);
        inner.showFrame();
        SwfBuilder b(50, 20);
        b.background(Qt::blue);
        b.rectShape(1, QRect(0, 0, 10, 10), Qt::red);
        b.sprite(2, inner.tags(), 2);
        b.place(1, 2);
        b.showFrame();
        b.gotoFrameAction(0);
        b.showFrame();
        const QByteArray file = b.fws(2);
        for (qsizetype n = 0; n <= file.size(); ++n) {
            QByteArray cut = file.left(n);
            loadAndPlay(cut, 3);
        }
        QVERIFY(loadAndPlay(file, 3));
    }
};

QTEST_MAIN(TestSwfMovie)
#include "tst_swfmovie.moc"
