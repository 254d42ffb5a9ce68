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

// A stream opened as far as its demuxer, on a connection the program opened (HTTP(S), or MMS
// over HTTP), read by the demuxer through an I/O context of ours (a small probe, the content
// type breaking a close call); MMS over TCP through libavformat's own protocol, to the address
// that was checked. The demuxer's nested opens are the program's too (openNested); only the
// demuxers the stations need are allowed; every blocking call returns as soon as cancelled is
// set.
class StreamInput
{
public:
    StreamInput(const std::atomic<bool> &cancelled, network::Reach reach);
    // The flag is read for the input's whole life: never a temporary.
    StreamInput(const std::atomic<bool> &&, network::Reach) = delete;
    ~StreamInput();
    StreamInput(const StreamInput &) = delete;
    StreamInput &operator=(const StreamInput &) = delete;

    // A failure, or nothing once the demuxer is ready. A stream the program opened comes on
    // source; MMS over TCP (mmst) is opened here.
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
    // Why the last of the demuxer's nested opens failed (a segment refused, not found, ...).
    std::optional<Failure> nestedFailure() const { return m_nestedFailure; }
    // Audio came: the nested opens that failed before it are forgiven.
    void audioArrived() { m_failedOpens = 0; }

private:
    std::optional<Failure> openSource(const QUrl &url);
    std::optional<Failure> openMmsOverTcp(const QUrl &url);
    bool newFormat();

    static int interrupted(void *input);
    static int readPacket(void *input, std::uint8_t *buf, int size);
    static std::int64_t seek(void *input, std::int64_t offset, int whence);
    static int openNested(AVFormatContext *format, AVIOContext **io, const char *url, int flags,
        AVDictionary **options);
    static void closeNested(AVFormatContext *format, AVIOContext *io);
    static int readNested(void *stream, std::uint8_t *buf, int size);

    const std::atomic<bool> &m_cancelled;
    network::Reach m_reach;
    std::unique_ptr<NetworkSource> m_source;
    AVIOContext *m_io = nullptr; // ours, over m_source
    AVFormatContext *m_format = nullptr;
    std::optional<Failure> m_nestedFailure; // why the last nested open failed
    int m_failedOpens = 0; // since the last audio
};

} // namespace player
