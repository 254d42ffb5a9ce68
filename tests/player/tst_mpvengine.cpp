#include "player/core/mpvengine.h"
#include "player/core/titletext.h"
#include "player/view/component.h"
#include "player/view/mediaplayer.h"
#include "player/view/settings.h"

#include "loopbackhttp.h"
#include "testaudio.h"

#include "platform/components.h"
#include "platform/runtime.h"

#include <QApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <clocale>
#include <cmath>

using player::MpvEngine;

namespace {

QList<QPair<QByteArray, QByteArray>> silentOutput()
{
    return { { "ao", "null" } };
}

// An MP3 of a tone made with ffmpeg; empty when ffmpeg is missing.
QByteArray toneMp3(int seconds)
{
    const QString ffmpeg = QStandardPaths::findExecutable(QStringLiteral("ffmpeg"));
    if (ffmpeg.isEmpty()) {
        return {};
    }
    QTemporaryDir dir;
    const QString mp3 = dir.filePath(QStringLiteral("tone.mp3"));
    QProcess make;
    make.start(ffmpeg,
        { QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-f"),
            QStringLiteral("lavfi"), QStringLiteral("-i"),
            QStringLiteral("sine=frequency=440:duration=%1").arg(seconds), QStringLiteral("-b:a"),
            QStringLiteral("64k"), QStringLiteral("-write_xing"), QStringLiteral("0"),
            QStringLiteral("-id3v2_version"), QStringLiteral("0"), mp3 });
    if (!make.waitForFinished(30000)) {
        make.kill();
        make.waitForFinished();
        return {};
    }
    QFile file(mp3);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

std::unique_ptr<player::MediaPlayer> silentPlayer()
{
    return std::unique_ptr<player::MediaPlayer>(player::makeMediaPlayer(
        std::make_unique<MpvEngine>(nullptr, silentOutput()), player::MediaPlayerSettings {}));
}

} // namespace

class TestMpvEngine : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        // As main() does: the engine needs the C locale's numbers.
        std::setlocale(LC_NUMERIC, "C");
    }

    // Under another numeric locale the engine does not start: every open fails, none plays.
    void anotherNumericLocaleIsRefused()
    {
        QVERIFY(std::setlocale(LC_NUMERIC, "C.UTF-8"));
        QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(QStringLiteral("LC_NUMERIC")));
        MpvEngine engine(nullptr, silentOutput());
        std::setlocale(LC_NUMERIC, "C");
        QSignalSpy failed(&engine, &MpvEngine::failed);
        engine.open(QUrl(QStringLiteral("http://127.0.0.1:9/x")));
        QVERIFY(failed.wait(500));
        QCOMPARE(failed.first().first().value<player::Failure>(), player::Failure::NoEngine);
    }

    void playsAStreamFromALoopbackServer()
    {
        LoopbackHttp server;
        server.route("/tone", LoopbackHttp::http("text/plain", toneWav(4)));
        MpvEngine engine(nullptr, silentOutput());
        QSignalSpy playing(&engine, &MpvEngine::playing);
        QSignalSpy ended(&engine, &MpvEngine::ended);
        QSignalSpy failed(&engine, &MpvEngine::failed);
        QSignalSpy position(&engine, &MpvEngine::positionChanged);
        engine.open(server.url("/tone"));
        QVERIFY(playing.wait(10000));
        QTRY_VERIFY_WITH_TIMEOUT(
            !position.isEmpty() && position.last().first().toDouble() > 0.2, 5000);
        QCOMPARE(ended.size() + failed.size(), 0);
        engine.stop();
        // Nothing more is reported about a stopped stream.
        const int positions = position.size();
        QTest::qWait(600);
        QCOMPARE(ended.size() + failed.size(), 0);
        QVERIFY(position.size() <= positions + 1);
    }

    void failuresAreReportedAndOnlyForTheLatestOpen()
    {
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost, 0));
        const QUrl refused(QStringLiteral("http://127.0.0.1:%1/x").arg(closed.serverPort()));
        closed.close();
        LoopbackHttp server;
        server.route("/tone", LoopbackHttp::http("audio/wav", toneWav(3)));

        MpvEngine engine(nullptr, silentOutput());
        QSignalSpy playing(&engine, &MpvEngine::playing);
        QSignalSpy ended(&engine, &MpvEngine::ended);
        QSignalSpy failed(&engine, &MpvEngine::failed);
        engine.open(refused);
        QVERIFY(failed.wait(10000));
        QCOMPARE(ended.size(), 0);

        failed.clear();
        engine.open(refused);
        engine.open(server.url("/tone")); // replaces the first before it could fail
        QVERIFY(playing.wait(10000));
        QCOMPARE(ended.size() + failed.size(), 0);
        // The tone plays to its end.
        QVERIFY(ended.wait(10000));
        QCOMPARE(failed.size(), 0);
    }

    void streamTitlesAndStationNamesArrive()
    {
        const QByteArray audio = toneMp3(8);
        if (audio.isEmpty()) {
            QSKIP("ffmpeg is needed to make the MP3 test stream");
        }

        // An ICY stream: audio with a metadata block every 8192 bytes.
        const QString title = QStringLiteral("শিল্পী - গান");
        QByteArray meta = "StreamTitle='" + title.toUtf8() + "';";
        meta += QByteArray((16 - meta.size() % 16) % 16, '\0');
        QByteArray body;
        for (qsizetype at = 0; at < audio.size(); at += 8192) {
            body += audio.mid(at, 8192);
            if (at + 8192 <= audio.size()) {
                body += char(meta.size() / 16) + meta;
            }
        }
        LoopbackHttp server;
        server.route("/live",
            "HTTP/1.0 200 OK\r\nContent-Type: audio/mpeg\r\nicy-name: Test Station\r\nicy-metaint: "
            "8192\r\n\r\n"
                + body);

        MpvEngine engine(nullptr, silentOutput());
        QSignalSpy titles(&engine, &MpvEngine::titleChanged);
        QSignalSpy names(&engine, &MpvEngine::stationNameChanged);
        engine.open(server.url("/live"));
        QTRY_VERIFY_WITH_TIMEOUT(
            !titles.isEmpty() && player::repairTitle(titles.last().first().toByteArray()) == title,
            10000);
        QTRY_VERIFY_WITH_TIMEOUT(
            !names.isEmpty() && names.last().first().toByteArray() == "Test Station", 5000);
        engine.stop();
    }

    void aPlaylistWhoseFirstRefIsDeadPlays()
    {
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost, 0));
        const QByteArray dead
            = "http://127.0.0.1:" + QByteArray::number(closed.serverPort()) + "/dead";
        closed.close();
        LoopbackHttp server;
        server.route("/tone", LoopbackHttp::http("application/octet-stream", toneWav(6)));
        server.route("/gen.asx?x=1&y=2",
            LoopbackHttp::http("text/html",
                "\xEF\xBB\xBF\r\n<ASX Version=3><Entry><Ref href=\"" + dead
                    + "\"/><Ref href=\"tone\"/></Entry></ASX>"));
        auto player = silentPlayer();
        player->setUrl(server.url("/gen.asx?x=1&y=2").toString());
        QTRY_COMPARE_WITH_TIMEOUT(
            player->playback()->state(), player::Playback::State::Playing, 15000);
        QCOMPARE(server.hits("/tone"), 2); // judged by its first bytes, then played
    }

    void aDroppedLiveStreamIsReconnected()
    {
        const QByteArray audio = toneMp3(3);
        if (audio.isEmpty()) {
            QSKIP("ffmpeg is needed to make the MP3 test stream");
        }
        LoopbackHttp server;
        // A live stream at its own pace, with no length, that the server drops after three seconds.
        server.route("/live",
            LoopbackHttp::Route { "HTTP/1.0 200 OK\r\nContent-Type: audio/mpeg\r\n\r\n",
                LoopbackHttp::Mode::Paced, audio, 400, 3000 });
        auto player = silentPlayer();
        QList<player::Playback::State> states;
        connect(player->playback(), &player::Playback::stateChanged, this,
            [&](player::Playback::State st) { states << st; });
        player->setUrl(server.url("/live").toString());
        QTRY_COMPARE_WITH_TIMEOUT(
            player->playback()->state(), player::Playback::State::Playing, 15000);
        QTRY_VERIFY_WITH_TIMEOUT(states.contains(player::Playback::State::Reconnecting), 15000);
        QCOMPARE(player->statusText(), QStringLiteral("Reconnecting"));
        QTRY_COMPARE_WITH_TIMEOUT(
            player->playback()->state(), player::Playback::State::Playing, 15000);
        QVERIFY(!states.contains(player::Playback::State::Failed));
        QVERIFY(server.hits("/live") >= 3);
        player->playback()->stop();
    }

    void aRecordingPlaysToItsEndAndStops()
    {
        LoopbackHttp server;
        server.route("/rec.wav", LoopbackHttp::http("audio/wav", toneWav(2)));
        auto player = silentPlayer();
        QList<player::Playback::State> states;
        connect(player->playback(), &player::Playback::stateChanged, this,
            [&](player::Playback::State st) { states << st; });
        player->setUrl(server.url("/rec.wav").toString());
        QTRY_COMPARE_WITH_TIMEOUT(
            player->playback()->state(), player::Playback::State::Playing, 15000);
        QTRY_COMPARE_WITH_TIMEOUT(
            player->playback()->state(), player::Playback::State::Stopped, 15000);
        QVERIFY(!states.contains(player::Playback::State::Reconnecting));
    }

    void theFactoryMakesTheRegisteredPlayer()
    {
        player::registerMediaPlayer();
        const QByteArray block = platform::storedSettings(platform::mediaPlayerClass);
        QCOMPARE(block.size(), 164);
        std::unique_ptr<QWidget> widget(
            platform::createComponent(platform::mediaPlayerClass, nullptr, block));
        QVERIFY(qobject_cast<player::MediaPlayer *>(widget.get()));
        const player::Playback *playback
            = qobject_cast<player::MediaPlayer *>(widget.get())->playback();
        QCOMPARE(playback->volume(), 50);
        QCOMPARE(
            platform::getProperty(widget.get(), "statusText").toString(), QStringLiteral("Ready"));
        LoopbackHttp server;
        server.route("/tone", LoopbackHttp::http("audio/wav", toneWav(2)));
        platform::putProperty(widget.get(), "URL", server.url("/tone").toString());
        QCOMPARE(playback->state(), player::Playback::State::Connecting);
        // Whether sound can be heard here or not, the player leaves connecting by itself.
        QTRY_VERIFY_WITH_TIMEOUT(playback->state() != player::Playback::State::Connecting, 15000);

        // A malformed block is refused as a runtime error of the put-less creation.
        QVERIFY_THROWS_EXCEPTION(platform::RuntimeError,
            platform::createComponent(platform::mediaPlayerClass, nullptr, block.left(100)));
    }
};

QTEST_MAIN(TestMpvEngine)
#include "tst_mpvengine.moc"
