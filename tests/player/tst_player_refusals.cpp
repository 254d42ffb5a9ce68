// What a station's server may name is a network stream and nothing else. Every address that
// would reach a local file, a descriptor, a socket of the playlist's choosing or another service
// is refused by the real resolver and engine, however it arrives: put directly, inside an M3U or
// ASX playlist, as a redirect, as an HLS playlist's segment, or handed straight to the engine. The
// player then says so, and nothing was opened, bound, listened on or connected to.

#include "player/core/streamengine.h"
#include "player/view/mediaplayer.h"
#include "player/view/settings.h"

#include "loopbackhttp.h"
#include "pulseserver.h"
#include "testaudio.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QSet>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

using player::MediaPlayer;
using State = player::Playback::State;
using player::StreamEngine;

namespace {

const QString refusedStatus = QStringLiteral("Could not open: address of a kind not played");

// A port that was free a moment ago, below the range the kernel hands out to sockets bound to
// port 0 (the test's own servers among them), so that no socket of the test comes to hold it.
quint16 freePort()
{
    for (quint16 port = 20000 + QRandomGenerator::global()->bounded(5000);; ++port) {
        QTcpServer probe;
        if (probe.listen(QHostAddress::LocalHost, port)) {
            return port;
        }
    }
}

// The inodes of this process's sockets, from its descriptors ("socket:[inode]").
QSet<QByteArray> ownSockets()
{
    QSet<QByteArray> inodes;
    const QDir fds(QStringLiteral("/proc/self/fd"));
    for (const QFileInfo &fd : fds.entryInfoList(QDir::Files | QDir::System)) {
        const QString target = fd.symLinkTarget().section(u'/', -1);
        if (target.startsWith(QLatin1String("socket:["))) {
            inodes.insert(target.mid(8).chopped(1).toLatin1());
        }
    }
    return inodes;
}

// This process's sockets with `port` as their local port (or remote port), from
// /proc/self/net/{tcp,tcp6,udp,udp6}: "sl local rem st ... uid timeout inode ..." with ports in
// hex. Only this process's count: a port that was free when the test began may be taken by
// another program meanwhile, and another program's connection may come from a port of the same
// number (tests run side by side).
QStringList socketsOn(quint16 port, bool remote, const QStringList &tables)
{
    const QSet<QByteArray> own = ownSockets();
    QStringList found;
    for (const QString &table : tables) {
        QFile file(QStringLiteral("/proc/self/net/") + table);
        if (!file.open(QIODevice::ReadOnly)) {
            continue;
        }
        const QList<QByteArray> lines = file.readAll().split('\n');
        for (const QByteArray &line : lines.mid(1)) {
            const QList<QByteArray> fields = line.simplified().split(' ');
            if (fields.size() < 4) {
                continue;
            }
            const QByteArray address = fields.value(remote ? 2 : 1);
            bool ok = false;
            if (!own.contains(fields.value(9))) {
                continue;
            }
            if (address.mid(address.lastIndexOf(':') + 1).toUInt(&ok, 16) == port && ok) {
                found << table + u' ' + QString::fromLatin1(line.simplified());
            }
        }
    }
    return found;
}

// This process's descriptors that lead into `dir`.
QStringList descriptorsInto(const QString &dir)
{
    QStringList found;
    const QDir fds(QStringLiteral("/proc/self/fd"));
    for (const QString &fd : fds.entryList(QDir::Files | QDir::System)) {
        const QString target = QFile::symLinkTarget(fds.filePath(fd));
        if (target.startsWith(dir)) {
            found << fd + QLatin1String(" -> ") + target;
        }
    }
    return found;
}

QByteArray xmlEscaped(const QByteArray &text)
{
    return QString::fromUtf8(text).toHtmlEscaped().toUtf8();
}

} // namespace

class TestPlayerRefusals : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QString error;
        QVERIFY2(m_pulse.start(&error), qPrintable(error));
        QVERIFY(m_dir.isValid());
        m_tone = toneWav(0.25, 8000);
        QFile file(m_dir.filePath(QStringLiteral("x.wav")));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(m_tone) == m_tone.size());
        file.close();
        // Relative addresses would be taken from the working directory.
        m_oldDir = QDir::currentPath();
        QVERIFY(QDir::setCurrent(m_dir.path()));
        // A descriptor an address could name, holding a tone.
        QCOMPARE(::pipe2(m_pipe, O_CLOEXEC), 0);
        QCOMPARE(
            ::write(m_pipe[1], m_tone.constData(), size_t(m_tone.size())), ssize_t(m_tone.size()));
        // A service an address could make us talk to.
        QVERIFY(m_bait.listen(QHostAddress::LocalHost, 0));
        m_listenPort = freePort();
        m_udpPort = freePort();
    }

    void cleanupTestCase()
    {
        QDir::setCurrent(m_oldDir);
        ::close(m_pipe[0]);
        ::close(m_pipe[1]);
    }

    void everyOtherSchemeIsRefusedWhereverItComesFrom_data()
    {
        QTest::addColumn<QByteArray>("address");
        QTest::addColumn<QByteArray>("form");
        const QByteArray bait = "127.0.0.1:" + QByteArray::number(m_bait.serverPort());
        const QByteArray listen = QByteArray::number(m_listenPort);
        const QByteArray fd = QByteArray::number(m_pipe[0]);
        const QList<QPair<const char *, QByteArray>> addresses {
            { "file", "file://" + QFile::encodeName(m_dir.filePath(QStringLiteral("x.wav"))) },
            { "fd", "fd://" + fd },
            { "tcp listen", "tcp://127.0.0.1:" + listen + "?listen=1" },
            { "tcp listen any", "tcp://0.0.0.0:" + listen + "?listen=1" },
            { "udp", "udp://127.0.0.1:" + QByteArray::number(m_udpPort) },
            { "ftp", "ftp://" + bait + "/x.mp3" },
            { "rtsp", "rtsp://" + bait + "/x" },
            { "gopher", "gopher://" + bait + "/1x" },
            { "rtmp", "rtmp://" + bait + "/live/x" },
            { "sftp", "sftp://" + bait + "/x.mp3" },
        };
        for (const auto &[name, address] : addresses) {
            for (const char *form : { "put", "m3u", "asx", "redirect", "hls", "engine" }) {
                QTest::addRow("%s as %s", name, form) << address << QByteArray(form);
            }
        }
    }

    void everyOtherSchemeIsRefusedWhereverItComesFrom()
    {
        QFETCH(QByteArray, address);
        QFETCH(QByteArray, form);
        LoopbackHttp server;
        server.route("/list.m3u", LoopbackHttp::http("audio/x-mpegurl", "#EXTM3U\n" + address));
        server.route("/list.asx",
            LoopbackHttp::http("video/x-ms-asf",
                "<asx version=\"3.0\"><entry><ref href=\"" + xmlEscaped(address)
                    + "\"/></entry></asx>"));
        server.route("/moved", LoopbackHttp::redirect(address));
        server.route("/list.m3u8",
            LoopbackHttp::http("application/vnd.apple.mpegurl",
                "#EXTM3U\n#EXT-X-TARGETDURATION:2\n#EXTINF:2,\n" + address
                    + "\n#EXTINF:2,\n/moved\n#EXT-X-ENDLIST\n"));

        if (form == "engine") {
            // The engine's own gate, whatever its caller let through.
            StreamEngine engine;
            QSignalSpy failed(&engine, &StreamEngine::failed);
            QSignalSpy playing(&engine, &StreamEngine::playing);
            engine.open(QUrl::fromEncoded(address, QUrl::TolerantMode));
            QVERIFY(failed.wait(10000));
            QCOMPARE(
                failed.first().first().value<player::Failure>(), player::Failure::RefusedScheme);
            QTest::qWait(300);
            QCOMPARE(playing.size(), 0);
        } else {
            std::unique_ptr<MediaPlayer> player(player::makeMediaPlayer(
                std::make_unique<StreamEngine>(), player::MediaPlayerSettings {}));
            const QString put = form == "put" ? QString::fromUtf8(address)
                : form == "m3u"               ? server.url("/list.m3u").toString()
                : form == "asx"               ? server.url("/list.asx").toString()
                : form == "hls"               ? server.url("/list.m3u8").toString()
                                              : server.url("/moved").toString();
            player->setUrl(put);
            QTRY_COMPARE_WITH_TIMEOUT(player->playback()->state(), State::Failed, 15000);
            QCOMPARE(player->statusText(), refusedStatus);
            QTest::qWait(300); // anything the engine started would show by now
        }

        // Nothing local was opened, bound, listened on or connected to.
        QVERIFY2(descriptorsInto(m_dir.path()).isEmpty(),
            qPrintable(descriptorsInto(m_dir.path()).join(u'\n')));
        int queued = 0;
        QCOMPARE(::ioctl(m_pipe[0], FIONREAD, &queued), 0);
        QCOMPARE(queued, int(m_tone.size()));
        const QStringList tcp = { QStringLiteral("tcp"), QStringLiteral("tcp6") };
        const QStringList udp = { QStringLiteral("udp"), QStringLiteral("udp6") };
        QVERIFY2(socketsOn(m_listenPort, false, tcp).isEmpty(),
            qPrintable(socketsOn(m_listenPort, false, tcp).join(u'\n')));
        QVERIFY2(socketsOn(m_udpPort, false, udp).isEmpty(),
            qPrintable(socketsOn(m_udpPort, false, udp).join(u'\n')));
        QVERIFY2(socketsOn(m_bait.serverPort(), true, tcp).isEmpty(),
            qPrintable(socketsOn(m_bait.serverPort(), true, tcp).join(u'\n')));
        QVERIFY(!m_bait.hasPendingConnections());
    }

    // A refused reference costs its entry only: the next one plays.
    void theNextCandidateIsTried()
    {
        LoopbackHttp server;
        server.route("/tone", LoopbackHttp::http("audio/wav", toneWav(4)));
        server.route("/list.m3u",
            LoopbackHttp::http("audio/x-mpegurl",
                "#EXTM3U\nfile://" + QFile::encodeName(m_dir.filePath(QStringLiteral("x.wav")))
                    + "\nudp://127.0.0.1:" + QByteArray::number(m_udpPort) + "\n"
                    + server.url("/tone").toEncoded() + "\n"));
        std::unique_ptr<MediaPlayer> player(player::makeMediaPlayer(
            std::make_unique<StreamEngine>(), player::MediaPlayerSettings {}));
        player->setUrl(server.url("/list.m3u").toString());
        QTRY_COMPARE_WITH_TIMEOUT(player->playback()->state(), State::Playing, 15000);
        QVERIFY(descriptorsInto(m_dir.path()).isEmpty());
        player->playback()->stop();
    }

private:
    testsupport::PulseServer m_pulse; // where the playable candidate is heard
    QTemporaryDir m_dir;
    QString m_oldDir;
    QByteArray m_tone;
    int m_pipe[2] = { -1, -1 };
    QTcpServer m_bait;
    quint16 m_listenPort = 0;
    quint16 m_udpPort = 0;
};

QTEST_MAIN(TestPlayerRefusals)
#include "tst_player_refusals.moc"
