#pragma once

#include "player/core/engine.h"
#include "player/core/mpvevent.h"

#include <QByteArray>
#include <QList>
#include <QPair>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>

struct mpv_handle;

namespace player {

// The engine on libmpv: one mpv core for the engine's life, audio only, no input or scripts of
// its own; when the core cannot be set up, every open fails with NoEngine. Every call is
// asynchronous or a quick property set. mpv's events are taken on a thread of the engine's own
// (taking them may wait for the core while it is busy, say probing a stream that is no stream)
// and handed as plain copies to the GUI thread, in one batch for whatever arrived meanwhile.
class MpvEngine : public Engine
{
    Q_OBJECT
public:
    // Extra mpv options (name, value) are set after the engine's own, e.g. ao=null for tests.
    explicit MpvEngine(
        QObject *parent = nullptr, const QList<QPair<QByteArray, QByteArray>> &extraOptions = {});
    ~MpvEngine() override;

    void open(const QUrl &url) override;
    void stop() override;
    void setPaused(bool paused) override;
    void setVolume(int volume) override;
    void setMuted(bool muted) override;

private:
    void readEvents();
    double readTimes(QList<MpvEvent> &batch, double &shownPosition, double &shownDuration);
    void takeEvents();
    void handleEvent(const MpvEvent &event);
    void streamEnded(const MpvEvent &event);
    void propertyChanged(const MpvEvent &event);
    void setFlag(const char *name, bool value);
    void reportPlayingIfHeard();
    void reportDuration();

    mpv_handle *m_mpv = nullptr;
    std::thread m_reader; // waits for mpv's events
    std::atomic<bool> m_quitting { false };
    std::mutex m_eventsLock;
    QList<MpvEvent> m_events; // taken, not yet handled (guarded by m_eventsLock)
    bool m_takePosted = false; // a takeEvents() call is queued (guarded by m_eventsLock)
    // Events are taken only for the stream of the latest open(): its command's reply is the
    // marker after which mpv starts it, and its playlist entry is then known by id.
    std::uint64_t m_generation = 0;
    // mpv accepted the current stream and has not ended it: its events are about that stream.
    bool m_streamOpen = false;
    std::int64_t m_streamEntry = -1; // the current stream's playlist entry, once it started
    bool m_playbackBegan = false; // playback of the current stream (re)started
    bool m_heardReported = false; // ... with an output device, and playing() was reported
    bool m_outputDeviceOpen = false; // an audio output device is open (it outlives streams)
    bool m_pausedForCache = false;
    bool m_seekable = false;
    bool m_sizeKnown = false; // the server said how long the stream is
    double m_mpvDuration = 0; // mpv's length: for a live stream, only what is cached of it
    double m_reportedDuration = 0;
    int m_bufferPercent = 0;
};

} // namespace player
