#include "player/core/streamengine.h"

#include "network/gate.h"
#include "network/openstream.h"
#include "network/waitingopen.h"
#include "player/core/decoder.h"
#include "player/core/fetch.h"
#include "player/core/ffmpegmodule.h"
#include "player/core/logging.h"
#include "player/core/mmshstream.h"
#include "player/core/mp3decoder.h"
#include "player/core/mpegaudio.h"
#include "player/core/networksource.h"
#include "player/core/pulseoutput.h"

#include <QMetaObject>
#include <QTimer>

namespace player {

namespace {

// Enough of a stream to find two MP3 frames in a row wherever it was joined.
constexpr int sniffBytes = 8 * 1024;

// Refused for where it leads or what it is: no other way to the same server helps.
bool isRefusal(Failure failure)
{
    return failure == Failure::UnsupportedAddress || failure == Failure::RefusedScheme
        || failure == Failure::RefusedPort || failure == Failure::RefusedReach
        || failure == Failure::Certificate || failure == Failure::InsecureRedirect;
}

// On the stream's thread: the decoder for its format, MP3 on HTTP(S) here, any other format
// and MMS over TCP in the FFmpeg module; null (reported) when there is none. An address that
// came without its connection is opened here, through the network layer: HTTP(S), and MMS over
// HTTP, which the program speaks itself (an mms:// address falls back to TCP).
std::unique_ptr<Decoder> makeDecoder(QUrl url, std::shared_ptr<network::OpenStream> opened,
    network::Reach reach, PulseOutput *output, const std::atomic<bool> &cancelled,
    const Decoder::Reporter &report)
{
    const auto failed = [&](Failure failure) {
        if (!cancelled) {
            report(DecoderReport { DecoderReport::Kind::Failed, 0, {}, failure });
        }
        return nullptr;
    };
    const auto reached = [&](network::Reach found) {
        if (found != reach && !cancelled) {
            // Set by where the stream's server is: it binds the station's other streams too.
            report(DecoderReport {
                DecoderReport::Kind::Reached, double(int(found)), {}, Failure::EngineError });
            reach = found;
        }
    };
    std::unique_ptr<NetworkSource> source;
    if (network::isHttp(url) && !opened) {
        // Asked for the titles too: the engine takes them out of the audio.
        network::WaitingOpen open = network::openWaiting(
            url, network::Use::Stream, reach, { { "Icy-MetaData", "1" } }, cancelled);
        if (cancelled) {
            return nullptr;
        }
        reached(open.reach);
        if (!open.stream) {
            return failed(failureOf(open.error, open.httpStatus));
        }
        opened = std::move(open.stream);
    } else if (!network::isHttp(url) && url.scheme().compare("mmst", Qt::CaseInsensitive) != 0) {
        MmshOpen open = openMmsh(url, reach, cancelled);
        if (cancelled) {
            return nullptr;
        }
        reached(open.reach);
        if (open.stream) {
            opened = std::move(open.stream);
        } else if (url.scheme().compare("mms", Qt::CaseInsensitive) != 0
            || isRefusal(open.failure.value_or(Failure::Unreachable))) {
            return failed(open.failure.value_or(Failure::Unreachable));
        } else {
            qCDebug(lcEngine) << "MMS over HTTP failed, trying TCP";
            url.setScheme(QStringLiteral("mmst"));
        }
    }
    if (opened) {
        source = std::make_unique<NetworkSource>(std::move(opened));
    }
    if (source && mayBeMpegAudio(source->contentType())) {
        // Looked at as it comes: most streams tell at once, and none waits for more.
        for (int bytes = 1024;; bytes *= 2) {
            const QByteArray head = source->peek(bytes);
            if (cancelled) {
                return nullptr;
            }
            if (isMpegAudio(source->contentType(), head)) {
                qCDebug(lcEngine) << "MPEG audio, after" << head.size() << "bytes";
                return std::make_unique<Mp3Decoder>(std::move(source), output, cancelled, report);
            }
            if (source->isBroken()) {
                return failed(Failure::BrokenStreamMetadata);
            }
            if (head.size() < bytes || bytes >= sniffBytes) {
                break;
            }
        }
    }
    const MakeFfDecoder make = ffDecoderMaker();
    if (!make) {
        return failed(Failure::Unsupported);
    }
    return std::unique_ptr<Decoder>(make(url, std::move(source), reach, output, cancelled, report));
}

} // namespace

void Engine::openStream(const QUrl &url, std::unique_ptr<network::OpenStream> opened)
{
    opened.reset();
    open(url);
}

StreamEngine::StreamEngine(QObject *parent)
    : Engine(parent)
    , m_output(std::make_unique<PulseOutput>())
{
}

StreamEngine::~StreamEngine()
{
    cancelCurrent();
    for (Worker &worker : m_workers) {
        worker.thread.join();
    }
}

void StreamEngine::cancelCurrent()
{
    ++m_generation;
    m_playing = false;
    m_bufferPercent = -1;
    m_position = -1;
    m_duration = 0;
    m_title.clear();
    m_stationName.clear();
    m_over = false;
    if (!m_workers.empty()) {
        *m_workers.back().cancelled = true;
        if (m_workers.back().stream) {
            m_workers.back().stream->interrupt();
        }
    }
    // Silences the stream at once; its decoder, woken, ends by itself.
    m_output->closeAll();
    joinFinished();
}

void StreamEngine::joinFinished()
{
    for (auto it = m_workers.begin(); it != m_workers.end();) {
        if (*it->done) {
            it->thread.join();
            it = m_workers.erase(it);
        } else {
            ++it;
        }
    }
}

// Only a network stream is opened, whatever the caller checked before.
bool StreamEngine::refuse(const QUrl &url)
{
    if (network::mayOpen(url, network::Use::Stream)) {
        return false;
    }
    qCWarning(lcEngine) << "not opened:" << url.toDisplayString(QUrl::RemovePassword);
    QTimer::singleShot(0, this, [this, generation = m_generation, refusal = refusalOf(url)] {
        if (generation == m_generation) {
            emit failed(refusal);
        }
    });
    return true;
}

void StreamEngine::open(const QUrl &url)
{
    cancelCurrent();
    if (refuse(url)) {
        return;
    }
    startDecoder(url, nullptr);
}

void StreamEngine::openStream(const QUrl &url, std::unique_ptr<network::OpenStream> opened)
{
    if (!opened) {
        open(url);
        return;
    }
    cancelCurrent();
    if (refuse(url)) {
        return;
    }
    startDecoder(url, std::move(opened));
}

void StreamEngine::startDecoder(const QUrl &url, std::shared_ptr<network::OpenStream> opened)
{
    const std::uint64_t generation = m_generation;
    qCDebug(lcEngine) << "open" << url.toDisplayString(QUrl::RemovePassword);
    auto cancelled = std::make_shared<std::atomic<bool>>(false);
    auto done = std::make_shared<std::atomic<bool>>(false);
    // The reports may outlive the engine in the event queue: a queued call to a destroyed
    // object is dropped.
    Decoder::Reporter report = [this, generation](const DecoderReport &r) {
        QMetaObject::invokeMethod(
            this, [this, generation, r] { deliver(generation, r); }, Qt::QueuedConnection);
    };
    PulseOutput *output = m_output.get();
    std::thread thread([url, opened, reach = m_reach, output, cancelled, done, report, this] {
        if (const std::unique_ptr<Decoder> decoder
            = makeDecoder(url, opened, reach, output, *cancelled, report)) {
            decoder->run();
        }
        *done = true;
        QMetaObject::invokeMethod(this, &StreamEngine::joinFinished, Qt::QueuedConnection);
    });
    m_workers.push_back(Worker { std::move(thread), cancelled, done, std::move(opened) });
}

void StreamEngine::stop()
{
    cancelCurrent();
}

void StreamEngine::setPaused(bool paused)
{
    m_output->setCorked(paused);
}

void StreamEngine::setVolume(int volume)
{
    m_output->setVolume(volume);
}

void StreamEngine::setMuted(bool muted)
{
    m_output->setMuted(muted);
}

// On the GUI thread: a decoder's report, passed on when it is about the current stream and
// news.
void StreamEngine::deliver(std::uint64_t generation, const DecoderReport &report)
{
    if (generation != m_generation || m_over) {
        return;
    }
    using Kind = DecoderReport::Kind;
    switch (report.kind) {
    case Kind::Buffering:
        if (m_playing || int(report.number) != m_bufferPercent) {
            m_playing = false;
            m_bufferPercent = int(report.number);
            emit buffering(m_bufferPercent);
        }
        return;
    case Kind::Playing:
        if (!m_playing) {
            m_playing = true;
            m_bufferPercent = -1;
            emit playing();
        }
        return;
    case Kind::Title:
        if (report.text != m_title) {
            m_title = report.text;
            emit titleChanged(m_title);
        }
        return;
    case Kind::StationName:
        if (report.text != m_stationName) {
            m_stationName = report.text;
            emit stationNameChanged(m_stationName);
        }
        return;
    case Kind::Position:
        if (report.number != m_position) {
            m_position = report.number;
            emit positionChanged(m_position);
        }
        return;
    case Kind::Duration:
        if (report.number != m_duration) {
            m_duration = report.number;
            emit durationChanged(m_duration);
        }
        return;
    case Kind::Ended:
        m_over = true;
        emit ended();
        return;
    case Kind::Failed:
        m_over = true;
        emit failed(report.failure);
        return;
    case Kind::Reached:
        emit reached(network::Reach(int(report.number)));
        return;
    }
}

} // namespace player
