#pragma once

#include "player/core/bytesource.h"
#include "player/core/icyreader.h"

#include <QByteArray>

#include <memory>
#include <optional>

namespace network {
class OpenStream;
}

namespace player {

// A stream on the connection the program opened: the answer a fetch found to be a stream and
// handed on, read on the decoder's thread. When the server interleaves ICY metadata with the
// audio (icy-metaint), the blocks are taken out here and their titles kept; broken framing ends
// the stream.
class NetworkSource : public ByteSource
{
public:
    explicit NetworkSource(std::shared_ptr<network::OpenStream> stream);
    ~NetworkSource() override;

    int read(std::uint8_t *buf, int max) override;
    void interrupt() override;

    QByteArray contentType() const;
    QByteArray stationName() const;
    // The body's length when the server said it (a recording), else -1.
    qint64 size() const { return m_size; }
    // The metadata framing is broken: the interval the server named, or a block since.
    bool isBroken() const { return m_broken; }
    // The title of the latest metadata block that named one since the last call.
    std::optional<QByteArray> takeTitle();

private:
    std::shared_ptr<network::OpenStream> m_stream;
    std::optional<IcyReader> m_icy;
    qint64 m_size = -1;
    bool m_broken = false;
};

} // namespace player
