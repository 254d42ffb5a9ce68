#pragma once

#include "network/addressclass.h"
#include "network/fetcherror.h"
#include "network/gate.h"
#include "network/httphead.h"
#include "network/openstream.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QObject>
#include <QPair>
#include <QUrl>

#include <memory>
#include <optional>

class QTimer;

namespace network {

class HttpConnection;
class Inflater;

struct FetchLimits
{
    int maxRedirects = 5;
    int firstByteTimeoutMs = 5000; // connecting and the response's head
    int totalTimeoutMs = 10000; // the whole fetch
    qint64 maxBytes = 256 * 1024; // body bytes kept; reaching it ends the fetch (truncated())
};

// One bounded HTTP/1.1 GET on connections of the program's own (HttpConnection): every redirect
// passes the gate for the fetch's use and is followed on a new connection, to addresses the
// fetch's reach allows (reach(): the one it was started with, else the class of the address its
// first connection connected to); the user agent is the program's; nothing is cached, no cookie
// is kept; the body is kept up to the byte limit (a gzip or deflate body inflated, within the
// same limit). A stream server's "ICY 200" answer is an answer like any other.
class Fetch : public QObject
{
    Q_OBJECT
public:
    using Headers = QList<QPair<QByteArray, QByteArray>>;

    explicit Fetch(Use use, const FetchLimits &limits = {}, QObject *parent = nullptr);
    ~Fetch() override; // drops the request, closing its connection

    // Drops any request in progress and requests this address with these extra request headers,
    // on addresses this reach allows. Returns at once. An address that does not pass the gate,
    // or whose host has no address the reach allows, ends with RefusedAddress (still reported
    // asynchronously, from the event loop).
    void start(const QUrl &url, const Headers &headers = {}, Reach reach = Reach::Unset);
    // Drops the request in progress; no signal follows; its connection is closed.
    void cancel();
    bool isRunning() const { return m_running; }

    // The bound on body bytes kept; may be raised (or lowered) while running.
    void setByteLimit(qint64 bytes);

    QUrl url() const { return m_url; } // where redirects led
    // What the fetch may lead to: as started, or once a head arrived from its first connection,
    // set by the class of the address that connection connected to. Kept after the fetch ended.
    Reach reach() const { return m_reach; }
    int httpStatus() const { return m_status; } // 0 until a head arrived
    // The answer's headers (of the final head; none until it arrived), as HttpHead reads them.
    bool hasRawHeader(QByteArrayView name) const { return m_head.has(name); }
    QByteArray rawHeader(QByteArrayView name) const { return m_head.value(name); }
    QList<QByteArray> rawHeaders(QByteArrayView name) const { return m_head.values(name); }
    std::optional<qint64> contentLength() const { return m_contentLength; }
    const QByteArray &body() const { return m_body; } // what has arrived so far, at most the limit
    QByteArray takeBody();
    // Reading stopped at the byte limit, not at the body's end.
    bool truncated() const { return m_truncated; }

    // In a headReceived() or bytesArrived() receiver: the answer, its connection still open, for
    // a reader on another thread. The fetch lets go of it and ends without finished(). Null when
    // there is nothing to hand on (not running, or a body whose content coding the fetch undoes).
    std::unique_ptr<OpenStream> takeStream();

signals:
    // The final (non-redirect) response head arrived with a status < 400: status and headers are
    // known. A receiver may cancel() here.
    void headReceived();
    // body() grew. A receiver may cancel() here.
    void bytesArrived();
    // The fetch is over (the connection is already let go when this is emitted): the whole body
    // (or, truncated(), the first maxBytes of it) with FetchError::None, or an error.
    void finished(network::FetchError error);

private:
    void open(const QUrl &url);
    void onHead();
    void onBody();
    bool follow(const QUrl &location);
    void pump();
    void pumpLater();
    void release();
    void end(FetchError error);
    void endLater(FetchError error);

    Use m_use;
    FetchLimits m_limits;
    Headers m_requestHeaders;
    HttpConnection *m_connection = nullptr;
    std::unique_ptr<Inflater> m_inflater;
    QByteArray m_coded; // read, not yet inflated
    QTimer *m_firstByteTimer = nullptr;
    QTimer *m_totalTimer = nullptr;
    quint64 m_request = 0; // counts start() and cancel(): tells a dropped request's late calls
    bool m_running = false;
    bool m_headTaken = false;
    bool m_pumpQueued = false;
    int m_redirects = 0;
    QUrl m_url;
    Reach m_reach = Reach::Unset;
    int m_status = 0;
    HttpHead m_head;
    std::optional<qint64> m_contentLength;
    QByteArray m_body;
    bool m_truncated = false;
};

} // namespace network
