#pragma once

#include "player/core/engine.h"
#include "player/core/timings.h"

#include <QStringList>
#include <QTest>

// An engine that plays nothing: it logs what it is asked and lets the test say what happens.
class FakeEngine : public player::Engine
{
    Q_OBJECT
public:
    using Engine::Engine;

    void open(const QUrl &url) override { log << QStringLiteral("open ") + url.toString(); }
    void stop() override { log << QStringLiteral("stop"); }
    void setPaused(bool paused) override
    {
        log << (paused ? QStringLiteral("pause") : QStringLiteral("resume"));
    }
    void setVolume(int v) override
    {
        volume = v;
        log << QStringLiteral("volume %1").arg(v);
    }
    void setMuted(bool m) override
    {
        muted = m;
        log << (m ? QStringLiteral("mute") : QStringLiteral("unmute"));
    }

    // The addresses opened, in order.
    QStringList opens() const
    {
        QStringList out;
        for (const QString &line : log) {
            if (line.startsWith(QLatin1String("open "))) {
                out << line.mid(5);
            }
        }
        return out;
    }

    QStringList log;
    int volume = -1;
    bool muted = false;
};

// Timings short enough for tests: a stream that stays silent makes way after 300 ms,
// reconnection attempts wait 40 ms doubling up to 200 ms, and a paused live stream is let go
// after 300 ms.
inline player::PlayerTimings quickTimings()
{
    player::PlayerTimings t;
    t.noAudioTimeoutMs = 300;
    t.reconnectFirstMs = 40;
    t.reconnectCapMs = 200;
    t.livePauseHoldMs = 300;
    return t;
}

// Waits (up to 5 s, events running) until the engine has been asked to open `count` streams.
inline bool waitForOpens(FakeEngine *engine, int count)
{
    return QTest::qWaitFor([&] { return engine->opens().size() >= count; }, 5000);
}
