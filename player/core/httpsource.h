#pragma once

#include "player/core/bytesource.h"
#include "player/core/failure.h"

#include <QByteArray>
#include <QUrl>

#include <atomic>
#include <optional>

struct AVIOContext;

namespace player {

// A stream over HTTP(S), connected by libavformat's http protocol: the program's user agent,
// ICY metadata asked for, no reconnection, no persistent connection, 10 s for any read. The
// redirects libavformat follows lead only to http/https over TCP/TLS, and where they ended must
// pass the program's gate.
//
// When the answer names an ICY interval, libavformat's http protocol (libavformat 59) strips the
// metadata blocks out of the audio itself, whatever the request asked, and does not export the
// interval: the raw framing never reaches us. The blocks it cut out are checked instead: each
// new one is read (metadataBlock()) whenever a demuxed frame has passed, and one that is no
// metadata text (a length byte that was none) fails the stream.
class HttpSource : public ByteSource
{
public:
    // The source holds cancelled (the engine's stop) as well as its own interrupt().
    explicit HttpSource(const std::atomic<bool> &cancelled);
    ~HttpSource() override;

    // Connects and reads the answer's head; a failure, or nothing when the body is ready.
    std::optional<Failure> open(const QUrl &url);

    int read(std::uint8_t *buf, int max) override;
    void interrupt() override { m_interrupted = true; }

    QByteArray contentType() const { return m_contentType; }
    QByteArray stationName() const { return m_stationName; }
    // The body's length when the server said it (a recording), else -1.
    qint64 size() const { return m_size; }
    // The text of the latest ICY metadata block libavformat cut out (empty before the first).
    QByteArray metadataBlock() const;

    static int interrupted(void *source);

private:
    QByteArray option(const char *name) const;

    const std::atomic<bool> &m_cancelled;
    std::atomic<bool> m_interrupted { false };
    AVIOContext *m_io = nullptr;
    QByteArray m_contentType;
    QByteArray m_stationName;
    qint64 m_size = -1;
};

} // namespace player
