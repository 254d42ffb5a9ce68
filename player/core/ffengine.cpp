#include "player/core/ffengine.h"

#include "network/fetch.h"
#include "network/gate.h"
#include "network/openstream.h"
#include "player/core/decoder.h"
#include "player/core/fetch.h"
#include "player/core/ffmpegmodule.h"
#include "player/core/logging.h"
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

// On the stream's thread: the decoder for its format, MP3 on HTTP(S) here, any other format
// and MMS in the FFmpeg module; null (reported) when there is none.
std::unique_ptr<Decoder> makeDecoder(const QUrl &url, std::shared_ptr<network::OpenStream> opened,
    network::Reach reach, PulseOutput *output, const std::atomic<bool> &cancelled,
    const Decoder::Reporter &report)
{
    const auto failed = [&](Failure failure) {
        if (!cancelled) {
            report(DecoderReport { DecoderReport::Kind::Failed, 0, {}, failure });
        }
        return nullptr;
    };
    std::unique_ptr<NetworkSource> source;
    if (network::isHttp(url)) {
        if (!opened) {
            return failed(Failure::Unreachable);
        }
        source = std::make_unique<NetworkSource>(std::move(opened));
        if (mayBeMpegAudio(source->contentType())) {
            // Looked at as it comes: most streams tell at once, and none waits for more.
            for (int bytes = 1024;; bytes *= 2) {
                const QByteArray head = source->peek(bytes);
                if (cancelled) {
                    return nullptr;
                }
                if (isMpegAudio(source->contentType(), head)) {
                    qCDebug(lcEngine) << "MPEG audio, after" << head.size() << "bytes";
                    return std::make_unique<Mp3Decoder>(
                        std::move(source), output, cancelled, report);
                }
                if (source->isBroken()) {
                    return failed(Failure::BrokenStreamMetadata);
                }
                if (head.size() < bytes || bytes >= sniffBytes) {
                    break;
                }
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

FfEngine::FfEngine(QObject *parent)
    : Engine(parent)
    , m_output(std::make_unique<PulseOutput>())
    , m_fetch(new network::Fetch(network::Use::Stream, {}, this))
{
    connect(m_fetch, &network::Fetch::headReceived, this, [this] {
        std::unique_ptr<network::OpenStream> opened = m_fetch->takeStream();
        if (!opened) {
            m_fetch->cancel();
            emit failed(Failure::Unsupported);
            return;
        }
        const QUrl url = opened->url();
        startDecoder(url, std::move(opened));
    });
    connect(m_fetch, &network::Fetch::finished, this, [this](network::FetchError error) {
        qCInfo(lcEngine) << "not opened:" << int(error) << m_fetch->httpStatus();
        // A refusal, a slow server or an answer not understood is told as such; the rest is
        // unreachable.
        using network::FetchError;
        switch (error) {
        case FetchError::None:
        case FetchError::Refused:
        case FetchError::UnknownHost:
        case FetchError::NoAnswer:
        case FetchError::ConnectionClosed:
        case FetchError::HttpStatus:
        case FetchError::BadAnswer:
        case FetchError::Other:
            emit failed(Failure::Unreachable);
            return;
        default:
            emit failed(failureOf(error));
            return;
        }
    });
}

FfEngine::~FfEngine()
{
    cancelCurrent();
    for (Worker &worker : m_workers) {
        worker.thread.join();
    }
}

void FfEngine::cancelCurrent()
{
    ++m_generation;
    m_playing = false;
    m_bufferPercent = -1;
    m_position = -1;
    m_duration = 0;
    m_title.clear();
    m_stationName.clear();
    m_over = false;
    m_fetch->cancel();
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

void FfEngine::joinFinished()
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
bool FfEngine::refuse(const QUrl &url)
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

void FfEngine::open(const QUrl &url)
{
    cancelCurrent();
    if (refuse(url)) {
        return;
    }
    if (network::isHttp(url)) {
        qCDebug(lcEngine) << "fetch" << url.toDisplayString(QUrl::RemovePassword);
        // Asked for the titles too: the engine takes them out of the audio.
        m_fetch->start(url, { { "Icy-MetaData", "1" } }, m_reach);
        return;
    }
    startDecoder(url, nullptr);
}

void FfEngine::openStream(const QUrl &url, std::unique_ptr<network::OpenStream> opened)
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

void FfEngine::startDecoder(const QUrl &url, std::shared_ptr<network::OpenStream> opened)
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
        QMetaObject::invokeMethod(this, &FfEngine::joinFinished, Qt::QueuedConnection);
    });
    m_workers.push_back(Worker { std::move(thread), cancelled, done, std::move(opened) });
}

void FfEngine::stop()
{
    cancelCurrent();
}

void FfEngine::setPaused(bool paused)
{
    m_output->setCorked(paused);
}

void FfEngine::setVolume(int volume)
{
    m_output->setVolume(volume);
}

void FfEngine::setMuted(bool muted)
{
    m_output->setMuted(muted);
}

// On the GUI thread: a decoder's report, passed on when it is about the current stream and
// news.
void FfEngine::deliver(std::uint64_t generation, const DecoderReport &report)
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
