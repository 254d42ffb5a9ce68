#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QUrl>

#include <atomic>

namespace network {

// An answer whose head was read and whose body is still coming, handed from the fetch that opened
// it to its reader. Made on the GUI thread; read from any one other thread. Deleting it closes the
// connection.
class OpenStream
{
public:
    virtual ~OpenStream() = default;

    virtual QUrl url() const = 0; // where redirects led
    // A header of the answer's head (names are case-insensitive): the first of that name, and
    // every one of it in order.
    virtual QByteArray rawHeader(QByteArrayView name) const = 0;
    virtual QList<QByteArray> rawHeaders(QByteArrayView name) const = 0;
    // Blocks until body bytes are there (returns how many, at most maxSize), the body ended (0),
    // or the connection failed or interrupt() was called (-1). The bytes the fetch had already
    // read past the head come first; a chunked body is decoded.
    virtual qint64 read(char *data, qint64 maxSize) = 0;
    // From any thread: a read in progress, and every later one, returns -1 at once.
    virtual void interrupt() = 0;
    // From the reading thread, before it reads: once this flag is set, a read returns -1 as
    // interrupt() makes it (a waiting read notices within a few tens of milliseconds). The flag
    // must outlive the stream's reads.
    virtual void stopWhen(const std::atomic<bool> *flag) = 0;
};

} // namespace network
