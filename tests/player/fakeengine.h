#pragma once

#include "player/engine.h"

#include <QStringList>

// An engine that plays nothing: it logs what it is asked and lets the test say what happens.
class FakeEngine : public player::Engine
{
    Q_OBJECT
public:
    using Engine::Engine;

    void open(const QUrl &url) override { log << QStringLiteral("open ") + url.toString(); }
    void stop() override { log << QStringLiteral("stop"); }
    void setPaused(bool paused) override { log << (paused ? QStringLiteral("pause") : QStringLiteral("resume")); }
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
