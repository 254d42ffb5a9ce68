#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

#include <cstdint>
#include <optional>

namespace player {

// The ICY metadata of a SHOUTcast/Icecast stream: after every `interval` bytes of audio the
// server sends one length byte (n) and n * 16 bytes of text, `StreamTitle='...';...`, padded
// with NULs. The reader takes the stream as it arrives, keeps the audio and pulls the blocks
// out. A broken framing (an interval too small to be real, a block that is no metadata text)
// makes the stream unplayable: its audio would carry the blocks' bytes as noise. What servers
// get wrong within a block that was framed right is forgiven: control characters in a value,
// padding after the last pair, keys the reader does not know.
class IcyReader
{
public:
    // Intervals servers use are kilobytes; a smaller one would mean a block every few frames.
    static constexpr qint64 minInterval = 256;
    static constexpr qint64 maxInterval = 1 << 20;

    explicit IcyReader(qint64 interval);

    // The interval the values of a head's icy-metaint headers name: 0 for none (no header, or
    // 0: no metadata), nullopt when no framing can be followed (no number, out of bounds, or
    // values that disagree). The one rule for an interval.
    static std::optional<qint64> intervalOf(const QList<QByteArray> &values);
    static bool validInterval(qint64 interval)
    {
        return interval >= minInterval && interval <= maxInterval;
    }

    // Takes `size` received bytes in buf and moves the audio among them to its front: returns
    // how many bytes of audio there are, or -1 once the framing is broken (from then on,
    // always -1).
    int strip(std::uint8_t *buf, int size);
    // The title of the latest block that named one since the last call.
    std::optional<QByteArray> takeTitle();

    // One block's text. Not valid when it is not a list of key='value'; pairs, each key of
    // letters, digits, _ and -, padded at its end with NULs or blanks (the length byte was not
    // one); title is StreamTitle's value, its control characters made spaces, when it has one.
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
