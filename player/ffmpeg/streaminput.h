#pragma once

#include "network/addressclass.h"
#include "player/core/failure.h"

#include <QByteArray>
#include <QUrl>

#include <atomic>
#include <memory>
#include <optional>

struct AVFormatContext;
struct AVIOContext;
struct AVDictionary;

namespace player {

class NetworkSource;

// A stream opened as far as its demuxer: HTTP(S) on the connection the program opened, read by the
// demuxer through an I/O context of ours (a small probe, the content type breaking a close
// call), MMS through libavformat's own mmsh and mmst protocols. Every address anything opens on
// the way (the demuxer's nested opens included) passes the program's gate, and its host's
// addresses are checked against the station's reach before libavformat connects; every
// blocking call returns as soon as cancelled is set.
class StreamInput
{
public:
    StreamInput(const std::atomic<bool> &cancelled, network::Reach reach);
    // The flag is read for the input's whole life: never a temporary.
    StreamInput(const std::atomic<bool> &&, network::Reach) = delete;
    ~StreamInput();
    StreamInput(const StreamInput &) = delete;
    StreamInput &operator=(const StreamInput &) = delete;

    // A failure, or nothing once the demuxer is ready. An HTTP(S) stream comes open, on source;
    // MMS is opened here.
    std::optional<Failure> open(const QUrl &url, std::unique_ptr<NetworkSource> source);

    AVFormatContext *format() const { return m_format; }
    // As given, or, when that was unset, set by the class of the MMS server's address.
    network::Reach reach() const { return m_reach; }
    QByteArray stationName() const;
    // The server said how long the stream is: a recording, whose length the demuxer knows.
    bool hasSize() const;
    // Called when a demuxed frame has passed: the title of a metadata block that came since
    // the last call, if any.
    std::optional<QByteArray> newTitle();
    // The stream's metadata framing is broken: its audio would carry the blocks as noise.
    bool isBroken() const;

private:
    std::optional<Failure> openHttp(const QUrl &url);
    std::optional<Failure> openMms(const QUrl &url);
    bool newFormat();

    static int interrupted(void *input);
    static int readPacket(void *input, std::uint8_t *buf, int size);
    static std::int64_t seek(void *input, std::int64_t offset, int whence);
    static int openNested(AVFormatContext *format, AVIOContext **io, const char *url, int flags,
        AVDictionary **options);

    const std::atomic<bool> &m_cancelled;
    network::Reach m_reach;
    std::unique_ptr<NetworkSource> m_source;
    AVIOContext *m_io = nullptr; // ours, over m_source
    AVFormatContext *m_format = nullptr;
    int (*m_defaultOpen)(AVFormatContext *, AVIOContext **, const char *, int, AVDictionary **)
        = nullptr;
};

} // namespace player
