#pragma once

#include "network/addressclass.h"
#include "player/core/failure.h"

#include <QObject>
#include <QString>
#include <QUrl>

#include <memory>

namespace network {
class OpenStream;
}

namespace player {

// What plays the sound: opens one stream address at a time and reports, asynchronously and on
// the GUI thread, what becomes of it. Every report concerns the stream of the latest open();
// nothing about an earlier stream arrives after open() or stop() returned.
class Engine : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    ~Engine() override = default;

    // Replaces whatever was playing with this address; returns at once.
    virtual void open(const QUrl &url) = 0;
    // The same with the stream a fetch already opened at this address (its answer's head read):
    // an engine that can reads that connection and opens none of its own. This one lets go of it
    // and opens the address.
    virtual void openStream(const QUrl &url, std::unique_ptr<network::OpenStream> opened);
    // What the streams opened next may lead to: the reach of the station they belong to. An
    // engine that connects nothing itself ignores it.
    virtual void setReach(network::Reach) { }
    // Silences and forgets the current stream.
    virtual void stop() = 0;
    virtual void setPaused(bool paused) = 0;
    // 0 to 100.
    virtual void setVolume(int volume) = 0;
    virtual void setMuted(bool muted) = 0;

signals:
    // Audio is coming out (also after a buffering pause ends).
    void playing();
    // The stream is refilling its buffer; percent 0 to 100.
    void buffering(int percent);
    // The stream's current title as it sends it, bytes undecoded (may be empty).
    void titleChanged(const QByteArray &rawTitle);
    // The station's name as the stream gives it (may be empty).
    void stationNameChanged(const QByteArray &rawName);
    // Elapsed playing time in seconds, and the length when the stream is a recording with one
    // (0 for live streams).
    void positionChanged(double seconds);
    void durationChanged(double seconds);
    // The stream reached its end (a live stream's end is its connection dropping).
    void ended();
    // The stream could not be opened or broke off.
    void failed(player::Failure failure);
    // A stream opened without a reach set one: the class of the address it connected to.
    void reached(network::Reach reach);
};

} // namespace player
