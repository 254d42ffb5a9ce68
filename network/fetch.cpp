#include "network/fetch.h"

#include "network/gate.h"
#include "network/httpconnection.h"
#include "network/httpstream.h"
#include "network/inflater.h"
#include "network/logging.h"

#include <QTimer>

#include <algorithm>
#include <utility>

namespace network {

namespace {

// What one step of reading takes in and makes: the GUI thread is never held for long, however
// fast the server or however well its body inflates.
constexpr qint64 stepBytes = 64 * 1024;

bool isRedirect(int status)
{
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// Why the gate refuses an address, as a fetch ends with it; the fetch itself speaks only HTTP.
FetchError refusalOf(const QUrl &url, Use use)
{
    switch (refusal(url, use)) {
    case Refusal::None:
        return isHttp(url) ? FetchError::None : FetchError::RefusedScheme;
    case Refusal::NotNetwork:
        return FetchError::RefusedAddress;
    case Refusal::Scheme:
        return FetchError::RefusedScheme;
    case Refusal::Port:
        return FetchError::RefusedPort;
    }
    return FetchError::RefusedAddress;
}

bool sameOrigin(const QUrl &a, const QUrl &b)
{
    return a.scheme().compare(b.scheme(), Qt::CaseInsensitive) == 0
        && a.host(QUrl::FullyEncoded).compare(b.host(QUrl::FullyEncoded), Qt::CaseInsensitive) == 0
        && portOf(a) == portOf(b);
}

// Where a redirect leads, with the credentials it may carry: its own, else those of the address
// it came from when it stays on that address's origin, else none.
QUrl withCredentials(QUrl to, const QUrl &from)
{
    if (to.userInfo().isEmpty() && sameOrigin(to, from)) {
        to.setUserInfo(from.userInfo(QUrl::FullyEncoded));
    }
    return to;
}

} // namespace

Fetch::Fetch(Use use, const FetchLimits &limits, QObject *parent)
    : QObject(parent)
    , m_use(use)
    , m_limits(limits)
    , m_firstByteTimer(new QTimer(this))
    , m_totalTimer(new QTimer(this))
{
    m_firstByteTimer->setSingleShot(true);
    m_totalTimer->setSingleShot(true);
    // An answer that began but did not end in time comes too slowly; none at all is no answer.
    connect(m_firstByteTimer, &QTimer::timeout, this, [this] {
        const bool begun = m_connection && m_connection->answerBegun();
        qCInfo(lcFetch) << (begun ? "head too slow from" : "no answer in time from")
                        << shownUrl(m_url);
        end(begun ? FetchError::TooSlow : FetchError::NoAnswer);
    });
    connect(m_totalTimer, &QTimer::timeout, this, [this] {
        const bool begun = m_headTaken || (m_connection && m_connection->answerBegun());
        qCInfo(lcFetch) << "not done in time:" << shownUrl(m_url);
        end(begun ? FetchError::TooSlow : FetchError::NoAnswer);
    });
}

Fetch::~Fetch()
{
    release();
}

void Fetch::start(const QUrl &url, const Headers &headers, Reach reach)
{
    release();
    ++m_request;
    m_running = true;
    m_headTaken = false;
    m_redirects = 0;
    m_url = url;
    m_reach = reach;
    m_status = 0;
    m_head = {};
    m_contentLength.reset();
    m_body.clear();
    m_truncated = false;
    m_requestHeaders = headers;

    if (const FetchError refused = refusalOf(url, m_use); refused != FetchError::None) {
        qCInfo(lcFetch) << "refused, not an address to open:" << shownUrl(url);
        endLater(refused);
        return;
    }
    qCDebug(lcFetch) << "fetching" << shownUrl(url);
    open(url);
    m_firstByteTimer->start(m_limits.firstByteTimeoutMs);
    m_totalTimer->start(m_limits.totalTimeoutMs);
}

// One hop, on a connection of its own.
void Fetch::open(const QUrl &url)
{
    m_connection = new HttpConnection(this);
    connect(m_connection, &HttpConnection::headReceived, this, &Fetch::onHead);
    connect(m_connection, &HttpConnection::bodyReadable, this, &Fetch::onBody);
    connect(m_connection, &HttpConnection::failed, this, &Fetch::end);
    m_connection->open(url, m_requestHeaders, m_reach);
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
    if (!m_running || !m_connection) {
        return;
    }
    if (m_body.size() > m_limits.maxBytes) {
        m_body.truncate(m_limits.maxBytes);
    }
    // What arrived already is read (or the fetch ended at the new limit) from the event loop, so
    // that no signal comes from inside this call.
    pumpLater();
}

QByteArray Fetch::takeBody()
{
    return std::exchange(m_body, {});
}

std::unique_ptr<OpenStream> Fetch::takeStream()
{
    if (!m_running || !m_connection || !m_headTaken || m_inflater) {
        return nullptr;
    }
    HttpConnection *connection = std::exchange(m_connection, nullptr);
    connection->disconnect(this);
    connection->setParent(nullptr);
    auto stream = std::make_unique<HttpStream>(connection, m_url, connection->head(), m_body);
    qCDebug(lcFetch) << "handed on:" << shownUrl(m_url);
    cancel();
    return stream;
}

void Fetch::onHead()
{
    if (m_reach == Reach::Unset) {
        m_reach = reachOf(m_connection->connectedClass());
    }
    const HttpHead &head = m_connection->head();
    const QByteArray location = head.value("Location");
    if (isRedirect(head.status) && !location.isEmpty()) {
        follow(withCredentials(m_url.resolved(QUrl(QString::fromUtf8(location))), m_url));
        return;
    }
    if (isRedirect(head.status)) {
        qCInfo(lcFetch) << "redirect without an address from" << shownUrl(m_url);
        end(FetchError::RedirectWithoutLocation);
        return;
    }
    m_headTaken = true;
    m_firstByteTimer->stop();
    m_status = head.status;
    m_head = head;
    const std::optional<qint64> length = contentLengthOf(head);
    if (length && *length >= 0) {
        m_contentLength = length;
    }
    qCDebug(lcFetch) << "status" << m_status << "from" << shownUrl(m_url);
    if (m_status >= 400) {
        end(FetchError::HttpStatus);
        return;
    }
    const QByteArray coding = head.value("Content-Encoding").toLower();
    if (coding == "gzip" || coding == "x-gzip") {
        m_inflater = std::make_unique<Inflater>(Inflater::Coding::Gzip);
    } else if (coding == "deflate") {
        m_inflater = std::make_unique<Inflater>(Inflater::Coding::Deflate);
    } else if (!coding.isEmpty() && coding != "identity") {
        qCInfo(lcFetch) << "content coding not understood:" << coding << shownUrl(m_url);
        end(FetchError::UnknownCoding);
        return;
    }
    const quint64 request = m_request;
    emit headReceived();
    if (request == m_request && m_running) {
        pump();
    }
}

// Every hop is the gate's to allow, and goes on a new connection.
bool Fetch::follow(const QUrl &location)
{
    qCDebug(lcFetch) << "redirected to" << shownUrl(location);
    if (++m_redirects > m_limits.maxRedirects) {
        qCInfo(lcFetch) << "too many redirects at" << shownUrl(m_url);
        end(FetchError::TooManyRedirects);
        return false;
    }
    if (isHttps(m_url) && !isHttps(location)) {
        qCInfo(lcFetch) << "refused redirect from https to" << shownUrl(location);
        end(FetchError::InsecureRedirect);
        return false;
    }
    if (const FetchError refused = refusalOf(location, m_use); refused != FetchError::None) {
        qCInfo(lcFetch) << "refused redirect, not an address to open:" << shownUrl(location);
        end(refused);
        return false;
    }
    // The timers go on: they bound the whole chain.
    const int firstByteLeft = m_firstByteTimer->remainingTime();
    const int totalLeft = m_totalTimer->remainingTime();
    release();
    m_firstByteTimer->start(std::max(1, firstByteLeft));
    m_totalTimer->start(std::max(1, totalLeft));
    m_url = location;
    open(location);
    return true;
}

void Fetch::onBody()
{
    if (m_headTaken) {
        pump();
    }
}

// One bounded step: reads (and inflates) what arrived, up to the limit, and tells whether the
// body ended. Another step follows from the event loop while bytes wait.
void Fetch::pump()
{
    m_pumpQueued = false;
    if (!m_running || !m_connection || !m_headTaken) {
        return;
    }
    const quint64 request = m_request;
    const qint64 room = m_limits.maxBytes - m_body.size();
    const qsizetype before = m_body.size();
    bool inflating = false; // coded bytes wait, and the last step made progress with them
    if (room > 0 && !m_inflater) {
        m_body += m_connection->readBody(std::min(room, stepBytes));
    } else if (room > 0) {
        if (m_coded.size() < stepBytes) {
            m_coded += m_connection->readBody(stepBytes - m_coded.size());
        }
        const qsizetype coded = m_coded.size();
        m_inflater->inflate(m_coded, m_body, std::min(room, stepBytes));
        inflating = !m_coded.isEmpty() && (m_coded.size() < coded || m_body.size() > before)
            && m_inflater->state() == Inflater::State::Reading;
    }
    if (m_body.size() > before) {
        emit bytesArrived();
        if (request != m_request || !m_running) {
            return;
        }
    }
    const HttpConnection::BodyState state = m_connection->bodyState();
    if (m_inflater && m_inflater->state() == Inflater::State::Bad) {
        qCInfo(lcFetch) << "body does not inflate:" << shownUrl(m_url);
        end(FetchError::BadAnswer);
    } else if (m_inflater && m_inflater->state() == Inflater::State::Done) {
        end(FetchError::None);
    } else if (state == HttpConnection::BodyState::Ended && !inflating) {
        end(FetchError::None);
    } else if (state == HttpConnection::BodyState::Cut && !inflating) {
        qCInfo(lcFetch) << "body not whole:" << shownUrl(m_url) << m_connection->bodyError();
        end(m_connection->framingBroken() ? FetchError::BadAnswer : FetchError::ConnectionClosed);
    } else if (m_body.size() >= m_limits.maxBytes) {
        qCDebug(lcFetch) << "stopped at the byte limit:" << m_limits.maxBytes;
        m_truncated = true;
        end(FetchError::None);
    } else if (m_connection->hasBodyBytes() || inflating) {
        pumpLater();
    }
}

void Fetch::pumpLater()
{
    if (m_pumpQueued) {
        return;
    }
    m_pumpQueued = true;
    QMetaObject::invokeMethod(
        this,
        [this, request = m_request] {
            if (request == m_request) {
                pump();
            }
        },
        Qt::QueuedConnection);
}

// Closes the connection at once: nothing more is read from it.
void Fetch::release()
{
    m_firstByteTimer->stop();
    m_totalTimer->stop();
    m_pumpQueued = false;
    m_inflater.reset();
    m_coded.clear();
    if (HttpConnection *connection = std::exchange(m_connection, nullptr)) {
        connection->disconnect(this);
        connection->abort();
        // Its signal may be what ended the fetch.
        connection->deleteLater();
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
