// The engine (libmpg123, FFmpeg and PulseAudio) against loopback servers, heard through a
// private PulseAudio null sink: what it plays is the stream's own tone, ICY titles arrive and
// their blocks stay out of the sound, broken streams fail with their reason, HLS segments come
// on the program's own connections, and a stop ends everything at once.

#include "player/core/mpegaudio.h"
#include "player/core/playback.h"
#include "player/core/streamengine.h"

#include "loopbackhttp.h"
#include "pulseserver.h"
#include "sinkrecorder.h"
#include "testaudio.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTest>

using player::Failure;
using player::StreamEngine;
using testsupport::PulseServer;
using testsupport::SinkRecorder;

Q_DECLARE_METATYPE(Failure)

namespace {

bool ffmpegMapped()
{
    QFile maps(QStringLiteral("/proc/self/maps"));
    return maps.open(QIODevice::ReadOnly) && maps.readAll().contains("libavcodec");
}

int threadCount()
{
    return int(QDir(QStringLiteral("/proc/self/task"))
                   .entryList(QDir::Dirs | QDir::NoDotAndDotDot)
                   .size());
}

// An ICY body: audio with a block after every `interval` bytes, the first block `block`.
QByteArray icyBody(const QByteArray &audio, int interval, const QByteArray &block)
{
    QByteArray body;
    for (qsizetype at = 0; at + interval <= audio.size(); at += interval) {
        body += audio.mid(at, interval);
        body += at == 0 ? block : QByteArray(1, '\0');
    }
    return body;
}

QByteArray icyAnswer(int interval, const QByteArray &body)
{
    return "ICY 200 OK\r\nContent-Type: audio/mpeg\r\nicy-name: Test Station\r\nicy-metaint: "
        + QByteArray::number(interval) + "\r\n\r\n" + body;
}

} // namespace

class TestStreamEngine : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QString error;
        QVERIFY2(m_pulse.start(&error), qPrintable(error));
        QVERIFY2(m_recorder.start(
                     m_pulse.clientEnvironment(), QLatin1String(PulseServer::monitorName), &error),
            qPrintable(error));
        m_mp3 = toneMp3(6, 880);
        QVERIFY2(!m_mp3.isEmpty(), "ffmpeg is needed to make the MP3 test stream");
    }

    void playsAtItsTone_data()
    {
        QTest::addColumn<QByteArray>("type");
        QTest::addColumn<double>("frequency");
        // MP3 first: FFmpeg is loaded only for the other formats, and once loaded it stays.
        QTest::newRow("mp3") << QByteArray("audio/mpeg") << 880.0;
        QTest::newRow("wav") << QByteArray("audio/wav") << 440.0;
    }

    // A recording plays its tone to its end: its length, its position up to it, then ended().
    void playsAtItsTone()
    {
        QFETCH(QByteArray, type);
        QFETCH(double, frequency);
        LoopbackHttp server;
        server.route("/tone",
            LoopbackHttp::http(type, type == "audio/wav" ? toneWav(4, 22050, 440) : m_mp3));
        StreamEngine engine;
        QSignalSpy playing(&engine, &StreamEngine::playing);
        QSignalSpy ended(&engine, &StreamEngine::ended);
        QSignalSpy failed(&engine, &StreamEngine::failed);
        QSignalSpy position(&engine, &StreamEngine::positionChanged);
        QSignalSpy duration(&engine, &StreamEngine::durationChanged);
        const qint64 t = m_recorder.now();
        engine.open(server.url("/tone"));
        QVERIFY2(m_recorder.waitForTone(frequency, t, 20000, 1000),
            qPrintable(m_recorder.describe(t, m_recorder.now())));
        QCOMPARE(playing.size(), 1);
        QTRY_COMPARE_WITH_TIMEOUT(ended.size(), 1, 20000);
        QCOMPARE(failed.size(), 0);
        QVERIFY(!duration.isEmpty());
        const double length = duration.last().first().toDouble();
        QVERIFY2(length >= 3 && length <= 6, qPrintable(QString::number(length)));
        QVERIFY(position.last().first().toDouble() >= length - 1);
        if (type == "audio/mpeg") {
            QVERIFY2(!ffmpegMapped(), "an MP3 stream loaded FFmpeg");
        }
    }

    // MP3 is told by its frames, wherever the stream was joined; other formats, or another
    // content type, go to FFmpeg.
    void mpegAudioIsToldByItsFrames()
    {
        using player::isMpegAudio;
        for (const int cut : { 0, 1, 417, 1000 }) {
            QVERIFY2(
                isMpegAudio("audio/mpeg", m_mp3.mid(cut, 4096)), qPrintable(QString::number(cut)));
            QVERIFY(isMpegAudio({}, m_mp3.mid(cut, 4096)));
        }
        // A tag longer than what was looked at: the content type decides.
        const QByteArray longTag
            = QByteArray::fromHex("49443304000000007f7f") + QByteArray(64, 'x');
        QVERIFY(isMpegAudio("audio/mpeg", longTag));
        QVERIFY(!isMpegAudio({}, longTag));
        // A short tag is skipped.
        QVERIFY(isMpegAudio({},
            QByteArray::fromHex("49443304000000000010") + QByteArray(16, '\0') + m_mp3.left(4096)));
        QVERIFY(!isMpegAudio("audio/aacp", m_mp3));
        QVERIFY(!isMpegAudio("audio/mpeg", toneWav(1)));
        QVERIFY(!isMpegAudio("audio/mpeg", m_mp3.left(300)));
        // An AAC (ADTS) header: the MPEG sync word with layer bits 00.
        QByteArray adts = QByteArray::fromHex("fff15080").repeated(2000);
        QVERIFY(!isMpegAudio("audio/mpeg", adts));
    }

    // The ICY blocks are cut out of the sound: the tone is clean, the title and name arrive.
    void icyTitleArrivesAndTheSoundIsClean()
    {
        const QByteArray title = "\xe0\xa6\x97\xe0\xa6\xbe\xe0\xa6\xa8 - it's a song";
        QByteArray block = "StreamTitle='" + title + "';";
        block = char((block.size() + 15) / 16)
            + block.leftJustified((block.size() + 15) / 16 * 16, '\0');
        LoopbackHttp server;
        server.route("/live", icyAnswer(8192, icyBody(m_mp3, 8192, block)));
        StreamEngine engine;
        QSignalSpy titles(&engine, &StreamEngine::titleChanged);
        QSignalSpy names(&engine, &StreamEngine::stationNameChanged);
        QSignalSpy failed(&engine, &StreamEngine::failed);
        const qint64 t = m_recorder.now();
        engine.open(server.url("/live"));
        QVERIFY2(m_recorder.waitForTone(880, t, 20000, 2500),
            qPrintable(m_recorder.describe(t, m_recorder.now())));
        QCOMPARE(failed.size(), 0);
        QCOMPARE(titles.size(), 1);
        QCOMPARE(titles.first().first().toByteArray(), title);
        QCOMPARE(names.size(), 1);
        QCOMPARE(names.first().first().toByteArray(), QByteArray("Test Station"));
    }

    // A server that names a new title in every block, a block every 256 bytes: at most one
    // title a second reaches the player (each one costs the window and the media controls).
    void aFloodOfTitlesComesAtMostOnceASecond()
    {
        QByteArray body;
        for (qsizetype at = 0; at + 256 <= m_mp3.size(); at += 256) {
            body += m_mp3.mid(at, 256);
            const QByteArray block
                = "StreamTitle='" + QByteArray(1000, 'x') + QByteArray::number(at) + "';";
            const int units = int((block.size() + 15) / 16);
            body += char(units) + block.leftJustified(units * 16, '\0');
        }
        LoopbackHttp server;
        server.route("/flood", icyAnswer(256, body));
        StreamEngine engine;
        QSignalSpy titles(&engine, &StreamEngine::titleChanged);
        QSignalSpy ended(&engine, &StreamEngine::ended);
        QElapsedTimer clock;
        clock.start();
        const qint64 t = m_recorder.now();
        engine.open(server.url("/flood"));
        QVERIFY2(m_recorder.waitForTone(880, t, 20000, 1500),
            qPrintable(m_recorder.describe(t, m_recorder.now())));
        QTRY_COMPARE_WITH_TIMEOUT(ended.size(), 1, 30000);
        QVERIFY(titles.size() >= 2);
        QVERIFY2(titles.size() <= clock.elapsed() / 1000 + 1,
            qPrintable(
                QStringLiteral("%1 titles in %2 ms").arg(titles.size()).arg(clock.elapsed())));
    }

    // A connection that stays open but sends nothing more is given up a few seconds after its
    // sound ran out, and closed: the player can then reconnect.
    void aSilentConnectionIsGivenUp()
    {
        LoopbackHttp server;
        const QByteArray start
            = icyAnswer(8192, icyBody(m_mp3.left(32 * 1024), 8192, QByteArray(1, '\0')));
        server.route(
            "/quiet", LoopbackHttp::Route { start, LoopbackHttp::Mode::Paced, {}, 400, 0 });
        StreamEngine engine;
        QSignalSpy playing(&engine, &StreamEngine::playing);
        QSignalSpy failed(&engine, &StreamEngine::failed);
        QSignalSpy ended(&engine, &StreamEngine::ended);
        engine.open(server.url("/quiet"));
        QTRY_COMPARE_WITH_TIMEOUT(playing.size(), 1, 20000);
        QTRY_COMPARE_WITH_TIMEOUT(failed.size() + ended.size(), 1, 30000);
        QTRY_COMPARE_WITH_TIMEOUT(server.openConnections(), 0, 5000);
    }

    // A pick makes one connection: the one that found the stream is the one that plays it.
    void aPickConnectsOnce()
    {
        LoopbackHttp server;
        server.route("/", icyAnswer(8192, icyBody(m_mp3, 8192, QByteArray(1, '\0'))));
        player::Playback playback(std::make_unique<StreamEngine>());
        const qint64 t = m_recorder.now();
        playback.setUrl(server.url("/").toString());
        QVERIFY2(m_recorder.waitForTone(880, t, 20000, 1000),
            qPrintable(m_recorder.describe(t, m_recorder.now())));
        QCOMPARE(playback.state(), player::Playback::State::Playing);
        QCOMPARE(server.hits("/"), 1);
    }

    // An HLS station's nested opens (its segments, behind a redirect) are the program's own
    // connections, not libavformat's: its user agent, and its sound to the playlist's end.
    void hlsSegmentsComeOnTheProgramsConnections()
    {
        LoopbackHttp server;
        const QByteArray playlist = "#EXTM3U\n#EXT-X-TARGETDURATION:3\n#EXTINF:3,\n/a.mp3\n"
                                    "#EXTINF:3,\n/moved\n#EXT-X-ENDLIST\n";
        server.route("/list.m3u8", LoopbackHttp::http("application/vnd.apple.mpegurl", playlist));
        server.route("/a.mp3", LoopbackHttp::http("audio/mpeg", m_mp3.left(m_mp3.size() / 2)));
        server.route("/moved", LoopbackHttp::redirect("/b.mp3"));
        server.route("/b.mp3", LoopbackHttp::http("audio/mpeg", m_mp3.mid(m_mp3.size() / 2)));
        StreamEngine engine;
        QSignalSpy ended(&engine, &StreamEngine::ended);
        QSignalSpy failed(&engine, &StreamEngine::failed);
        const qint64 t = m_recorder.now();
        engine.open(server.url("/list.m3u8"));
        QVERIFY2(m_recorder.waitForTone(880, t, 20000, 1000),
            qPrintable(m_recorder.describe(t, m_recorder.now())));
        QTRY_COMPARE_WITH_TIMEOUT(ended.size() + failed.size(), 1, 30000);
        QCOMPARE(ended.size(), 1);
        for (const QByteArray path : { "/list.m3u8", "/a.mp3", "/moved", "/b.mp3" }) {
            QVERIFY2(server.lastRequest(path).contains("User-Agent: TarvelinRadio/"),
                qPrintable(path + ": " + server.lastRequest(path)));
        }
    }

    void brokenStreamsFailWithTheirReason_data()
    {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<Failure>("failure");
        // A length byte where the audio goes on: the "block" is audio, no metadata text.
        QTest::newRow("ICY interval of 16 bytes")
            << icyAnswer(16, icyBody(m_mp3.left(64 * 1024), 16, QByteArray(1, '\0')))
            << Failure::BrokenStreamMetadata;
        QTest::newRow("misframed ICY block")
            << icyAnswer(8192, icyBody(m_mp3, 8192, QByteArray(1, '\x02')))
            << Failure::BrokenStreamMetadata;
        QByteArray garbage(64 * 1024, Qt::Uninitialized);
        QRandomGenerator random(7);
        random.fillRange(reinterpret_cast<quint32 *>(garbage.data()), garbage.size() / 4);
        QTest::newRow("garbage") << LoopbackHttp::http("application/octet-stream", garbage)
                                 << Failure::UnknownFormat;
        QTest::newRow("not found")
            << LoopbackHttp::http("text/html", "gone", 404) << Failure::NotFound;
    }

    void brokenStreamsFailWithTheirReason()
    {
        QFETCH(QByteArray, answer);
        QFETCH(Failure, failure);
        LoopbackHttp server;
        server.route("/s", answer);
        StreamEngine engine;
        QSignalSpy failed(&engine, &StreamEngine::failed);
        QSignalSpy ended(&engine, &StreamEngine::ended);
        engine.open(server.url("/s"));
        QVERIFY(failed.wait(20000));
        QCOMPARE(failed.first().first().value<Failure>(), failure);
        QCOMPARE(ended.size(), 0);
    }

    // A stop while the server holds the connection without answering comes back at once, the
    // decoder's thread ends, and nothing more is reported.
    void stopDuringAStallEndsAtOnce()
    {
        LoopbackHttp server;
        server.route("/stall", LoopbackHttp::Route { {}, LoopbackHttp::Mode::Silent, {}, 0, 0 });
        StreamEngine engine;
        QSignalSpy failed(&engine, &StreamEngine::failed);
        QSignalSpy ended(&engine, &StreamEngine::ended);
        const int threads = threadCount();
        engine.open(server.url("/stall"));
        QTRY_COMPARE_WITH_TIMEOUT(server.hits("/stall"), 1, 10000);
        QElapsedTimer clock;
        clock.start();
        engine.stop();
        QVERIFY(clock.elapsed() < 2000); // a hang, not a timing
        QTRY_COMPARE_WITH_TIMEOUT(threadCount(), threads, 5000);
        QTRY_COMPARE_WITH_TIMEOUT(server.openConnections(), 0, 5000);
        QCOMPARE(failed.size() + ended.size(), 0);
    }

private:
    PulseServer m_pulse;
    SinkRecorder m_recorder;
    QByteArray m_mp3;
};

QTEST_GUILESS_MAIN(TestStreamEngine)
#include "tst_streamengine.moc"
