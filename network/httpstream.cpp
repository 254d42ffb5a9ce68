#include "network/httpstream.h"

#include "network/httpconnection.h"
#include "network/logging.h"

#include <QDeadlineTimer>
#include <QMutex>
#include <QMutexLocker>
#include <QThread>
#include <QWaitCondition>

#include <algorithm>
#include <cstring>

namespace network {

namespace {

constexpr int stopPollMs = 20;

} // namespace

// What the reading thread and the reader share, under the mutex.
struct StreamBuffer
{
    QMutex mutex;
    QWaitCondition changed;
    QByteArray bytes;
    qsizetype start = 0; // bytes before it were read
    bool full = false; // the pump stopped for room
    bool ended = false;
    bool failed = false;
    bool interrupted = false;

    qsizetype size() const { return bytes.size() - start; }
};

// Lives on the stream's thread, with the connection: moves what arrives into the buffer while
// there is room.
class StreamPump : public QObject
{
public:
    StreamPump(HttpConnection *connection, std::shared_ptr<StreamBuffer> buffer)
        : m_connection(connection)
        , m_buffer(std::move(buffer))
    {
        m_connection->setParent(this);
        connect(m_connection, &HttpConnection::bodyReadable, this, &StreamPump::fill);
    }

    void fill()
    {
        StreamBuffer &b = *m_buffer;
        for (;;) {
            qint64 room = 0;
            {
                QMutexLocker lock(&b.mutex);
                if (b.interrupted || b.ended || b.failed) {
                    return;
                }
                room = HttpStream::bufferBytes - b.size();
                b.full = room <= 0;
                if (b.full) {
                    return;
                }
            }
            const QByteArray chunk
                = m_connection->readBody(std::min<qint64>(room, HttpConnection::readBufferBytes));
            const HttpConnection::BodyState state = m_connection->bodyState();
            {
                QMutexLocker lock(&b.mutex);
                if (b.start > 0 && b.start >= b.bytes.size() / 2) {
                    b.bytes.remove(0, b.start);
                    b.start = 0;
                }
                b.bytes += chunk;
                b.ended = state == HttpConnection::BodyState::Ended;
                b.failed = state == HttpConnection::BodyState::Cut;
                if (!chunk.isEmpty() || b.ended || b.failed) {
                    b.changed.wakeAll();
                }
            }
            if (chunk.isEmpty() || state != HttpConnection::BodyState::Open) {
                return;
            }
        }
    }

private:
    HttpConnection *m_connection;
    std::shared_ptr<StreamBuffer> m_buffer;
};

HttpStream::HttpStream(
    HttpConnection *connection, const QUrl &url, const HttpHead &head, const QByteArray &first)
    : m_url(url)
    , m_head(head)
    , m_buffer(std::make_shared<StreamBuffer>())
    , m_thread(new QThread)
{
    m_buffer->bytes = first;
    m_pump = new StreamPump(connection, m_buffer);
    m_thread->setObjectName(QStringLiteral("stream reader"));
    m_pump->moveToThread(m_thread);
    m_thread->start();
    // What the connection holds already is not announced again.
    QMetaObject::invokeMethod(m_pump, &StreamPump::fill, Qt::QueuedConnection);
}

HttpStream::~HttpStream()
{
    interrupt();
    // The pump and its connection go on their own thread, which then ends.
    QMetaObject::invokeMethod(
        m_pump, [pump = m_pump] { delete pump; }, Qt::BlockingQueuedConnection);
    m_thread->quit();
    m_thread->wait();
    delete m_thread;
}

qint64 HttpStream::read(char *data, qint64 maxSize)
{
    StreamBuffer &b = *m_buffer;
    const QDeadlineTimer silence(silenceMs);
    QMutexLocker lock(&b.mutex);
    for (;;) {
        if (b.interrupted || (m_stopFlag && *m_stopFlag)) {
            return -1;
        }
        if (b.size() > 0) {
            const qsizetype n = qsizetype(std::min<qint64>(maxSize, b.size()));
            std::memcpy(data, b.bytes.constData() + b.start, size_t(std::max<qsizetype>(n, 0)));
            b.start += std::max<qsizetype>(n, 0);
            if (b.full && b.size() <= bufferBytes / 2) {
                b.full = false;
                QMetaObject::invokeMethod(m_pump, &StreamPump::fill, Qt::QueuedConnection);
            }
            return n;
        }
        if (b.ended) {
            return 0;
        }
        if (b.failed) {
            return -1;
        }
        // A stop flag is looked at every stopPollMs while the read waits.
        const QDeadlineTimer slice
            = m_stopFlag ? std::min(silence, QDeadlineTimer(stopPollMs)) : silence;
        b.changed.wait(&b.mutex, slice);
        if (silence.hasExpired() && b.size() == 0 && !b.ended && !b.interrupted) {
            qCInfo(lcFetch) << "nothing arrived for" << silenceMs / 1000
                            << "s:" << m_url.toDisplayString(QUrl::RemovePassword);
            b.failed = true;
        }
    }
}

void HttpStream::interrupt()
{
    QMutexLocker lock(&m_buffer->mutex);
    m_buffer->interrupted = true;
    m_buffer->changed.wakeAll();
}

} // namespace network
