#pragma once

#include "player/core/icyreader.h"

#include <QByteArray>
#include <QElapsedTimer>

#include <cstdint>
#include <memory>
#include <optional>

namespace network {
class OpenStream;
}

namespace player {

// A stream on the connection the program opened: the answer a fetch found to be a stream and
// handed on, read on the decoder's thread. When the server interleaves ICY metadata with the
// audio (icy-metaint), the blocks are taken out here and their titles kept; broken framing ends
// the stream. The first bytes can be looked at before they are read (to tell the format).
class NetworkSource
{
public:
    explicit NetworkSource(std::shared_ptr<network::OpenStream> stream);
    ~NetworkSource();
    NetworkSource(const NetworkSource &) = delete;
    NetworkSource &operator=(const NetworkSource &) = delete;

    // Up to max bytes of audio into buf, waiting for at least one: the count, 0 at the end of
    // the stream, or -1 when the connection failed or the framing broke (isBroken() tells).
    int read(std::uint8_t *buf, int max);
    // The audio to come, at least `bytes` of it unless the stream ends or fails first; read()
    // returns these bytes again.
    QByteArray peek(int bytes);
    QByteArray contentType() const;
    QByteArray stationName() const;
    // The body's length when the server said it (a recording), else -1.
    qint64 size() const { return m_size; }
    // The metadata framing is broken: the interval the server named, or a block since.
    bool isBroken() const { return m_broken; }
    // The title of the latest metadata block that named one since the last call, at most one a
    // second: a server may send a new title with every block, and each one shown costs the
    // window and the desktop's media controls their work. One held back comes at a later call.
    std::optional<QByteArray> takeTitle();

    static constexpr int titleIntervalMs = 1000;

private:
    int readAudio(std::uint8_t *buf, int max);

    std::shared_ptr<network::OpenStream> m_stream;
    std::optional<IcyReader> m_icy;
    QByteArray m_peeked; // read from the connection, not yet by the decoder
    int m_peekEnd = 1; // what ended the peek: the read() result after m_peeked, 1 if none
    qint64 m_size = -1;
    bool m_broken = false;
    std::optional<QByteArray> m_heldTitle;
    QElapsedTimer m_titleClock; // since the last title was taken
};

} // namespace player
