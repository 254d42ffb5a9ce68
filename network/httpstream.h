#pragma once

#include "network/httphead.h"
#include "network/openstream.h"

#include <memory>

class QThread;

namespace network {

class HttpConnection;
class StreamPump;
struct StreamBuffer;

// An OpenStream on a connection of the program's own: a thread of its own reads the socket into
// a bounded buffer, which read() empties. A full buffer stops the reading, and TCP then holds
// the server back. A connection that stays open but sends nothing for silenceMs while a read
// waits is taken for broken: the read fails, as it would on a dropped connection.
class HttpStream final : public OpenStream
{
public:
    static constexpr qint64 bufferBytes = 256 * 1024;
    static constexpr int silenceMs = 5000;

    // Takes the connection, which must have no parent; `first` are the body bytes read before.
    HttpStream(
        HttpConnection *connection, const QUrl &url, const HttpHead &head, const QByteArray &first);
    ~HttpStream() override;

    QUrl url() const override { return m_url; }
    QByteArray rawHeader(QByteArrayView name) const override { return m_head.value(name); }
    QList<QByteArray> rawHeaders(QByteArrayView name) const override { return m_head.values(name); }
    qint64 read(char *data, qint64 maxSize) override;
    void interrupt() override;
    void stopWhen(const std::atomic<bool> *flag) override { m_stopFlag = flag; }

private:
    QUrl m_url;
    HttpHead m_head;
    std::shared_ptr<StreamBuffer> m_buffer;
    QThread *m_thread = nullptr;
    StreamPump *m_pump = nullptr;
    const std::atomic<bool> *m_stopFlag = nullptr;
};

} // namespace network
