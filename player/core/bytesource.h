#pragma once

#include <cstdint>

namespace player {

// Where a stream's bytes come from: a connection the engine reads on its decoder thread. The
// demuxer reads through this and nothing else, so a source may be an HTTP connection opened by
// libavformat or, later, one the program opened itself.
class ByteSource
{
public:
    virtual ~ByteSource() = default;
    // Up to max bytes into buf, waiting for at least one: the count, 0 at the end of the
    // stream, or a negative AVERROR code.
    virtual int read(std::uint8_t *buf, int max) = 0;
    // Makes a waiting read() (and every later one) return at once. Any thread.
    virtual void interrupt() = 0;
};

} // namespace player
