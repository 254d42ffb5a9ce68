#pragma once

#include "player/core/engine.h"

#include <QByteArray>

#include <atomic>
#include <cstdint>
#include <list>
#include <memory>
#include <thread>

namespace player {

class PulseOutput;
struct DecoderReport;

// The engine: each stream is opened (through the network layer), decoded and written to the
// sound server by a Decoder on a thread of its own (libmpg123 for MP3, FFmpeg's libraries,
// loaded on first need, for every other format, MMS included), which ends by itself once the
// stream is stopped; one PulseAudio
// client serves the engine's life. The decoders' reports reach the GUI thread as queued calls
// tagged with the open() they belong to, and those of an earlier stream are dropped.
class StreamEngine : public Engine
{
    Q_OBJECT
public:
    explicit StreamEngine(QObject *parent = nullptr);
    ~StreamEngine() override;

    // An address is opened on the stream's thread, through the program's network layer.
    void open(const QUrl &url) override;
    void openStream(const QUrl &url, std::unique_ptr<network::OpenStream> opened) override;
    void setReach(network::Reach reach) override { m_reach = reach; }
    void stop() override;
    void setPaused(bool paused) override;
    void setVolume(int volume) override;
    void setMuted(bool muted) override;

private:
    struct Worker
    {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> cancelled;
        std::shared_ptr<std::atomic<bool>> done;
        std::shared_ptr<network::OpenStream> stream; // the connection it reads, if any
    };

    bool refuse(const QUrl &url);
    void startDecoder(const QUrl &url, std::shared_ptr<network::OpenStream> opened);
    void cancelCurrent();
    void joinFinished();
    void deliver(std::uint64_t generation, const DecoderReport &report);

    std::unique_ptr<PulseOutput> m_output;
    std::list<Worker> m_workers; // the current stream's last
    network::Reach m_reach = network::Reach::Unset;
    std::uint64_t m_generation = 0;
    // What was reported about the current stream.
    bool m_playing = false;
    int m_bufferPercent = -1;
    double m_position = -1;
    double m_duration = 0;
    QByteArray m_title;
    QByteArray m_stationName;
    bool m_over = false; // ended or failed
};

} // namespace player
