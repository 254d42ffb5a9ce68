#include "network/fetch.h"

#include "network/logging.h"
#include "network/useragent.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

#include <algorithm>
#include <utility>

namespace network {

namespace {

// What the reply buffers ahead of our reads: the memory a fetch holds beyond its body.
constexpr qint64 readBufferBytes = 64 * 1024;

QString shown(const QUrl &url)
{
    return url.toDisplayString(QUrl::RemovePassword);
}

FetchError errorOf(QNetworkReply::NetworkError error, int status)
{
    switch (error) {
    case QNetworkReply::ConnectionRefusedError:
        return FetchError::Refused;
    case QNetworkReply::HostNotFoundError:
        return FetchError::UnknownHost;
    case QNetworkReply::TimeoutError:
        return FetchError::NoAnswer;
    case QNetworkReply::TooManyRedirectsError:
    case QNetworkReply::InsecureRedirectError:
        return FetchError::TooManyRedirects;
    case QNetworkReply::ProtocolUnknownError:
        // A redirect to a scheme the HTTP client does not follow (file:, ftp:, ...).
        return FetchError::RefusedAddress;
    case QNetworkReply::ProtocolFailure:
    case QNetworkReply::RemoteHostClosedError:
        if (status == 0) {
            // No status line the HTTP client understood: a stream server's own dialect ("ICY 200
            // OK"), or nothing at all.
            return FetchError::NotHttp;
        }
        return error == QNetworkReply::RemoteHostClosedError ? FetchError::ConnectionClosed
                                                             : FetchError::Other;
    default:
        break;
    }
    return status >= 400 ? FetchError::HttpStatus : FetchError::Other;
}

} // namespace

Fetch::Fetch(Use use, const FetchLimits &limits, QObject *parent)
    : QObject(parent)
    , m_use(use)
    , m_limits(limits)
    , m_network(new QNetworkAccessManager(this))
    , m_firstByteTimer(new QTimer(this))
    , m_totalTimer(new QTimer(this))
{
    m_firstByteTimer->setSingleShot(true);
    m_totalTimer->setSingleShot(true);
    connect(m_firstByteTimer, &QTimer::timeout, this, [this] {
        qCInfo(lcFetch) << "no answer in time from" << shown(m_url);
        end(FetchError::NoAnswer);
    });
    connect(m_totalTimer, &QTimer::timeout, this, [this] {
        qCInfo(lcFetch) << "not done in time:" << shown(m_url);
        end(FetchError::NoAnswer);
    });
}

Fetch::~Fetch()
{
    release();
}

void Fetch::start(const QUrl &url, const Headers &headers)
{
    release();
    ++m_request;
    m_running = true;
    m_headTaken = false;
    m_url = url;
    m_status = 0;
    m_headers.clear();
    m_contentLength.reset();
    m_body.clear();
    m_truncated = false;

    if (!mayOpen(url, m_use)) {
        qCInfo(lcFetch) << "refused, not an address to open:" << shown(url);
        endLater(FetchError::RefusedAddress);
        return;
    }
    qCDebug(lcFetch) << "fetching" << shown(url);

    QNetworkRequest request(url);
    request.setAttribute(
        QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setMaximumRedirectsAllowed(m_limits.maxRedirects);
    request.setAttribute(
        QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    request.setAttribute(QNetworkRequest::Http2AllowedAttribute, false);
    request.setRawHeader("Accept", "*/*");
    // One request a connection: nothing of a fetch outlives it.
    request.setRawHeader("Connection", "close");
    for (const auto &[name, value] : headers) {
        request.setRawHeader(name, value);
    }
    // Set last: the program names itself, whatever the caller asked.
    request.setHeader(QNetworkRequest::UserAgentHeader, QString::fromLatin1(userAgent));

    m_reply = m_network->get(request);
    m_reply->setReadBufferSize(readBufferBytes);
    connect(m_reply, &QNetworkReply::redirected, this, &Fetch::onRedirected);
    connect(m_reply, &QNetworkReply::metaDataChanged, this, &Fetch::onMetaData);
    connect(m_reply, &QNetworkReply::readyRead, this, &Fetch::onReadyRead);
    connect(m_reply, &QNetworkReply::finished, this, &Fetch::onFinished);
    m_firstByteTimer->start(m_limits.firstByteTimeoutMs);
    m_totalTimer->start(m_limits.totalTimeoutMs);
}

void Fetch::cancel()
{
    release();
    ++m_request;
    m_running = false;
}

void Fetch::setByteLimit(qint64 bytes)
{
    m_limits.maxBytes = std::max<qint64>(0, bytes);
    if (!m_running || !m_reply) {
        return;
    }
    if (m_body.size() > m_limits.maxBytes) {
        m_body.truncate(m_limits.maxBytes);
    }
    // What the reply holds already is read (or the fetch ended at the new limit) from the event
    // loop, so that no signal comes from inside this call.
    QMetaObject::invokeMethod(
        this,
        [this, request = m_request] {
            if (request == m_request && m_running && m_reply && m_headTaken) {
                readAvailable();
            }
        },
        Qt::QueuedConnection);
}

bool Fetch::hasRawHeader(QByteArrayView name) const
{
    return std::any_of(m_headers.cbegin(), m_headers.cend(), [name](const auto &header) {
        return header.first.compare(name, Qt::CaseInsensitive) == 0;
    });
}

QByteArray Fetch::rawHeader(QByteArrayView name) const
{
    for (const auto &[key, value] : m_headers) {
        if (key.compare(name, Qt::CaseInsensitive) == 0) {
            return value;
        }
    }
    return {};
}

QByteArray Fetch::takeBody()
{
    return std::exchange(m_body, {});
}

// Every hop is the gate's to allow, not only those the HTTP client would follow.
void Fetch::onRedirected(const QUrl &url)
{
    qCDebug(lcFetch) << "redirected to" << shown(url);
    if (!mayOpen(url, m_use)) {
        qCInfo(lcFetch) << "refused redirect, not an address to open:" << shown(url);
        end(FetchError::RefusedAddress);
        return;
    }
    m_url = url;
}

void Fetch::onMetaData()
{
    if (m_reply && !m_headTaken) {
        takeHead(false);
    }
}

void Fetch::onReadyRead()
{
    if (!m_reply) {
        return;
    }
    // The body is read once the final head was taken (and its receivers let the fetch run).
    if (!m_headTaken && (!takeHead(false) || !m_headTaken)) {
        return;
    }
    readAvailable();
}

void Fetch::onFinished()
{
    if (!m_reply) {
        return;
    }
    const QNetworkReply::NetworkError error = m_reply->error();
    if (error != QNetworkReply::NoError) {
        const int status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        const FetchError failure = errorOf(error, status);
        if (failure == FetchError::HttpStatus) {
            m_status = status;
        }
        qCInfo(lcFetch) << "failed:" << shown(m_reply->url()) << m_reply->errorString();
        end(failure);
        return;
    }
    if (!m_headTaken && !takeHead(true)) {
        return;
    }
    if (!m_headTaken) {
        qCInfo(lcFetch) << "ended without an answer:" << shown(m_url);
        end(FetchError::Other);
        return;
    }
    const quint64 request = m_request;
    readAvailable();
    if (request == m_request && m_running) {
        end(FetchError::None);
    }
}

// Takes the final response's status and headers, once: a redirect that is being followed has
// none (unless the reply is over). Returns whether this request still runs.
bool Fetch::takeHead(bool over)
{
    const QVariant status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid()) {
        return true;
    }
    const int code = status.toInt();
    if (!over && code >= 300 && code < 400 && m_reply->hasRawHeader("Location")) {
        return true;
    }
    m_headTaken = true;
    m_firstByteTimer->stop();
    m_status = code;
    m_url = m_reply->url();
    m_headers = m_reply->rawHeaderPairs();
    const QVariant length = m_reply->header(QNetworkRequest::ContentLengthHeader);
    if (length.isValid() && length.toLongLong() >= 0) {
        m_contentLength = length.toLongLong();
    }
    qCDebug(lcFetch) << "status" << code << "from" << shown(m_url);
    if (code >= 400) {
        end(FetchError::HttpStatus);
        return false;
    }
    const quint64 request = m_request;
    emit headReceived();
    return request == m_request && m_running;
}

void Fetch::readAvailable()
{
    const quint64 request = m_request;
    const qint64 room = m_limits.maxBytes - m_body.size();
    const qint64 arrived = m_reply->bytesAvailable();
    if (room > 0 && arrived > 0) {
        // Only what has arrived: read(room) would allocate the whole room on every chunk.
        m_body.append(m_reply->read(std::min(room, arrived)));
        emit bytesArrived();
        if (request != m_request || !m_running) {
            return;
        }
    }
    if (m_body.size() >= m_limits.maxBytes && !bodyComplete()) {
        qCDebug(lcFetch) << "stopped at the byte limit:" << m_limits.maxBytes;
        m_truncated = true;
        end(FetchError::None);
    }
}

bool Fetch::bodyComplete() const
{
    if (m_contentLength && *m_contentLength <= m_body.size()) {
        return true;
    }
    return m_reply && m_reply->isFinished() && m_reply->bytesAvailable() == 0;
}

void Fetch::release()
{
    m_firstByteTimer->stop();
    m_totalTimer->stop();
    if (m_reply) {
        QNetworkReply *reply = m_reply;
        m_reply = nullptr;
        reply->disconnect(this);
        // Deleting a reply drops its request and closes the connection. Not abort(): the HTTP
        // thread may already have posted the reply's own end (an error status is reported after
        // its body), which Qt then warns about as a second error.
        reply->deleteLater();
        if (reply->isFinished()) {
            // A connection the server kept open after a whole answer would wait in the pool for
            // a next request: it goes now too.
            m_network->clearConnectionCache();
        }
    }
}

void Fetch::end(FetchError error)
{
    release();
    m_running = false;
    emit finished(error);
}

void Fetch::endLater(FetchError error)
{
    QMetaObject::invokeMethod(
        this,
        [this, error, request = m_request] {
            if (request == m_request && m_running) {
                end(error);
            }
        },
        Qt::QueuedConnection);
}

} // namespace network
