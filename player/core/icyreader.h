#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <cstdint>
#include <optional>

namespace player {

// The ICY metadata of a SHOUTcast/Icecast stream: after every `interval` bytes of audio the
// server sends one length byte (n) and n * 16 bytes of text, `StreamTitle='...';...`, padded
// with NULs. The reader takes the stream as it arrives, keeps the audio and pulls the blocks
// out. A broken framing (an interval too small to be real, a block that is no metadata text)
// makes the stream unplayable: its audio would carry the blocks' bytes as noise.
class IcyReader
{
public:
    // Intervals servers use are kilobytes; a smaller one would mean a block every few frames.
    static constexpr qint64 minInterval = 256;
    static constexpr qint64 maxInterval = 1 << 20;

    explicit IcyReader(qint64 interval);

    bool validInterval() const { return m_interval >= minInterval && m_interval <= maxInterval; }

    // Takes `size` received bytes in buf and moves the audio among them to its front: returns
    // how many bytes of audio there are, or -1 once the framing is broken (from then on,
    // always -1).
    int strip(std::uint8_t *buf, int size);
    // The title of the latest block that named one since the last call.
    std::optional<QByteArray> takeTitle();

    // One block's text. Not valid when it is not a list of key='value'; pairs (the length
    // byte was not one); title is the raw bytes of StreamTitle's value when it has one.
    struct Block
    {
        bool valid = false;
        std::optional<QByteArray> title;
    };
    static Block parseBlock(QByteArrayView text);

private:
    bool endBlock();

    qint64 m_interval;
    qint64 m_audioLeft; // audio bytes before the next length byte
    int m_blockLeft = -1; // bytes of the current block still to come; -1: in audio
    QByteArray m_block;
    std::optional<QByteArray> m_title;
    bool m_broken = false;
};

} // namespace player
