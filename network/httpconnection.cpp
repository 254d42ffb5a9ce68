#include "network/httpconnection.h"

#include "network/gate.h"
#include "network/logging.h"
#include "network/reach.h"
#include "network/useragent.h"

#include <QHostInfo>
#include <QNetworkProxy>
#include <QSslSocket>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <utility>

namespace network {

namespace {

int defaultPort(const QUrl &url)
{
    return isHttps(url) ? 443 : 80;
}

// The request: the program's own headers last, so that no caller's header replaces them.
QByteArray requestOf(const QUrl &url, const HttpConnection::Headers &headers)
{
    QByteArray target = url.path(QUrl::FullyEncoded).toLatin1();
    if (target.isEmpty()) {
        target = "/";
    }
    if (url.hasQuery()) {
        target += '?' + url.query(QUrl::FullyEncoded).toLatin1();
    }
    QByteArray host = url.host(QUrl::FullyEncoded).toLatin1();
    if (host.contains(':')) {
        host = '[' + host + ']';
    }
    if (url.port() != -1 && url.port() != defaultPort(url)) {
        host += ':' + QByteArray::number(url.port());
    }
    QByteArray request = "GET " + target + " HTTP/1.1\r\nHost: " + host + "\r\n";
    static const QByteArrayView own[] = { "Host", "Authorization", "User-Agent", "Accept-Encoding",
        "Connection", "Content-Length", "Transfer-Encoding" };
    for (const auto &header : headers) {
        const QByteArray &name = header.first;
        const bool ours = std::any_of(std::begin(own), std::end(own),
            [&name](QByteArrayView o) { return name.compare(o, Qt::CaseInsensitive) == 0; });
        if (!ours) {
            request += name + ": " + header.second + "\r\n";
        }
    }
    // Credentials in the address go to its own origin only: a redirect elsewhere drops them
    // (Fetch). They are never shown nor logged.
    if (!url.userName().isEmpty() || !url.password().isEmpty()) {
        const QByteArray credentials = url.userName(QUrl::FullyDecoded).toUtf8() + ':'
            + url.password(QUrl::FullyDecoded).toUtf8();
        request += "Authorization: Basic " + credentials.toBase64() + "\r\n";
    }
    if (!std::any_of(headers.cbegin(), headers.cend(),
            [](const auto &h) { return h.first.compare("Accept", Qt::CaseInsensitive) == 0; })) {
        request += "Accept: */*\r\n";
    }
    // The program's user agent; a caller's goes before it (an MMS server serves only the player
    // it names).
    QByteArray agent = userAgent;
    for (const auto &header : headers) {
        if (header.first.compare("User-Agent", Qt::CaseInsensitive) == 0) {
            agent = header.second + ' ' + agent;
        }
    }
    request += "User-Agent: " + agent + "\r\n";
    // Asked for uncoded; a server that codes its body anyway is understood (gzip, deflate).
    request += "Accept-Encoding: identity\r\nConnection: close\r\n\r\n";
    return request;
}

FetchError errorOf(QAbstractSocket::SocketError error)
{
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
        return FetchError::Refused;
    case QAbstractSocket::HostNotFoundError:
        return FetchError::UnknownHost;
    case QAbstractSocket::SocketTimeoutError:
        return FetchError::NoAnswer;
    case QAbstractSocket::RemoteHostClosedError:
        return FetchError::ConnectionClosed;
    default:
        return FetchError::Other;
    }
}

// The order addresses are tried in: the first one's family, then the other, in turn, each
// family in the order the lookup gave.
QList<QHostAddress> interleaved(const QList<QHostAddress> &addresses)
{
    QList<QHostAddress> first;
    QList<QHostAddress> other;
    for (const QHostAddress &address : addresses) {
        (address.protocol() == addresses.first().protocol() ? first : other).append(address);
    }
    QList<QHostAddress> out;
    for (qsizetype i = 0; i < std::max(first.size(), other.size()); ++i) {
        if (i < first.size()) {
            out.append(first.at(i));
        }
        if (i < other.size()) {
            out.append(other.at(i));
        }
    }
    return out;
}

} // namespace

HttpConnection::HttpConnection(QObject *parent)
    : QObject(parent)
    , m_attemptTimer(new QTimer(this))
{
    m_attemptTimer->setSingleShot(true);
    connect(m_attemptTimer, &QTimer::timeout, this, &HttpConnection::startAttempt);
}

HttpConnection::~HttpConnection()
{
    abort();
}

void HttpConnection::open(const QUrl &url, const Headers &headers, Reach reach)
{
    abort();
    m_url = url;
    m_request = requestOf(url, headers);
    m_reach = reach;
    m_addresses.clear();
    m_nextAddress = 0;
    m_connectedClass = AddressClass::Unspecified;
    m_connectError = FetchError::Refused;
    m_head = {};
    m_pending.clear();
    m_closed = false;
    m_closedCleanly = false;
    m_answerBegun = false;
    m_phase = Phase::LookingUp;
    QHostAddress literal;
    if (literal.setAddress(url.host())) {
        m_addresses = { literal };
        QMetaObject::invokeMethod(this, &HttpConnection::keepReachable, Qt::QueuedConnection);
        return;
    }
    m_lookupId
        = QHostInfo::lookupHost(url.host(QUrl::FullyEncoded), this, &HttpConnection::onLookedUp);
}

void HttpConnection::abort()
{
    if (m_lookupId != -1) {
        QHostInfo::abortHostLookup(m_lookupId);
        m_lookupId = -1;
    }
    dropSocket();
    if (m_phase != Phase::Idle) {
        m_phase = Phase::Over;
    }
}

void HttpConnection::dropSocket()
{
    dropAttempts();
    if (QTcpSocket *socket = m_socket) {
        m_socket = nullptr;
        socket->disconnect(this);
        socket->abort();
        socket->deleteLater();
    }
}

void HttpConnection::onLookedUp(const QHostInfo &info)
{
    m_lookupId = -1;
    if (m_phase != Phase::LookingUp) {
        return;
    }
    if (info.error() != QHostInfo::NoError || info.addresses().isEmpty()) {
        fail(FetchError::UnknownHost, info.errorString());
        return;
    }
    m_addresses = info.addresses();
    keepReachable();
}

// Only the addresses the station may reach are tried: a host that names none of them (or a
// literal that is none) is refused before anything connects.
void HttpConnection::keepReachable()
{
    if (m_phase != Phase::LookingUp) {
        return;
    }
    m_addresses = reachable(m_addresses, m_reach, m_url);
    if (m_addresses.isEmpty()) {
        // With no reach set, only an unspecified address is refused: no network address.
        fail(m_reach == Reach::Unset ? FetchError::RefusedAddress : FetchError::RefusedReach,
            QStringLiteral("no address of the host may be reached from this station"));
        return;
    }
    m_addresses = interleaved(m_addresses);
    m_phase = Phase::Connecting;
    startAttempt();
}

void HttpConnection::startAttempt()
{
    if (m_phase != Phase::Connecting) {
        return;
    }
    if (m_nextAddress >= m_addresses.size()) {
        m_attemptTimer->stop();
        if (m_attempts.isEmpty()) {
            fail(m_connectError,
                m_connectError == FetchError::Certificate
                    ? QStringLiteral("the host's certificate was not trusted")
                    : QStringLiteral("no address of the host answered"));
        }
        return;
    }
    const bool https = isHttps(m_url);
    if (https && !QSslSocket::supportsSsl()) {
        fail(FetchError::Other, QStringLiteral("no TLS support"));
        return;
    }
    const QHostAddress address = m_addresses.at(m_nextAddress++);
    const auto port = quint16(m_url.port(defaultPort(m_url)));
    QTcpSocket *socket = https ? new QSslSocket(this) : new QTcpSocket(this);
    m_attempts.append(socket);
    socket->setProperty("address", QVariant::fromValue(address));
    socket->setProxy(QNetworkProxy::NoProxy);
    socket->setReadBufferSize(readBufferBytes);
    connect(
        socket, &QAbstractSocket::errorOccurred, this, [this, socket] { onAttemptFailed(socket); });
    if (auto *ssl = qobject_cast<QSslSocket *>(socket)) {
        connect(ssl, &QSslSocket::encrypted, this, [this, socket] { onAttemptConnected(socket); });
        connect(ssl, &QSslSocket::sslErrors, this, [this, ssl](const QList<QSslError> &errors) {
            ssl->setProperty("certificateRefused", true);
            for (const QSslError &error : errors) {
                qCInfo(lcFetch) << "certificate refused for" << shownUrl(m_url)
                                << error.errorString();
            }
        });
        ssl->connectToHostEncrypted(address.toString(), port, m_url.host(QUrl::FullyEncoded));
    } else {
        connect(socket, &QAbstractSocket::connected, this,
            [this, socket] { onAttemptConnected(socket); });
        socket->connectToHost(address, port);
    }
    m_attemptTimer->start(attemptDelayMs);
}

// The first to connect carries the request; the others are dropped.
void HttpConnection::onAttemptConnected(QTcpSocket *socket)
{
    if (m_phase != Phase::Connecting || !m_attempts.removeOne(socket)) {
        return;
    }
    dropAttempts();
    socket->disconnect(this);
    m_socket = socket;
    connect(socket, &QAbstractSocket::readyRead, this, &HttpConnection::onReadable);
    connect(socket, &QAbstractSocket::errorOccurred, this, &HttpConnection::onSocketError);
    connect(socket, &QAbstractSocket::disconnected, this, &HttpConnection::onClosed);
    m_phase = Phase::Head;
    m_connectedClass = classOf(socket->property("address").value<QHostAddress>());
    socket->write(m_request);
}

void HttpConnection::onAttemptFailed(QTcpSocket *socket)
{
    if (m_phase != Phase::Connecting || !m_attempts.removeOne(socket)) {
        return;
    }
    qCDebug(lcFetch) << "no connection to"
                     << socket->property("address").value<QHostAddress>().toString()
                     << socket->errorString();
    // A refused certificate says the most of why nothing connected; else the last failure does.
    if (m_connectError != FetchError::Certificate) {
        m_connectError = socket->property("certificateRefused").toBool() ? FetchError::Certificate
                                                                         : errorOf(socket->error());
    }
    // Not from within the socket's own signal: it goes first.
    socket->disconnect(this);
    socket->deleteLater();
    QMetaObject::invokeMethod(this, &HttpConnection::startAttempt, Qt::QueuedConnection);
}

void HttpConnection::dropAttempts()
{
    m_attemptTimer->stop();
    for (QTcpSocket *socket : std::exchange(m_attempts, {})) {
        socket->disconnect(this);
        socket->abort();
        socket->deleteLater();
    }
}

void HttpConnection::onReadable()
{
    if (m_phase == Phase::Body) {
        emit bodyReadable();
        return;
    }
    if (m_phase != Phase::Head) {
        return;
    }
    char buffer[4096];
    while (m_phase == Phase::Head && m_socket) {
        const qint64 n = m_socket->read(buffer, sizeof buffer);
        if (n <= 0) {
            return;
        }
        m_answerBegun = true;
        const qsizetype taken = m_head.feed(QByteArrayView(buffer, n));
        if (m_head.state() == HttpHeadReader::State::Bad) {
            fail(FetchError::BadAnswer, m_head.error());
            return;
        }
        if (m_head.state() == HttpHeadReader::State::Done) {
            m_pending = QByteArray(buffer + taken, n - taken);
            if (!startBody()) {
                return;
            }
            const QPointer<HttpConnection> alive = this;
            emit headReceived();
            if (alive && m_phase == Phase::Body && (hasBodyBytes() || m_closed)) {
                emit bodyReadable();
            }
            return;
        }
    }
}

bool HttpConnection::startBody()
{
    const HttpHead &head = m_head.head();
    const int status = head.status;
    const TransferCoding coding = transferCodingOf(head);
    const std::optional<qint64> length = contentLengthOf(head);
    if (status == 204 || status == 304) {
        m_body.start(HttpBodyDecoder::Framing::Length, 0);
    } else if (coding == TransferCoding::Chunked) {
        m_body.start(HttpBodyDecoder::Framing::Chunked);
    } else if (coding == TransferCoding::NotUnderstood) {
        fail(FetchError::UnknownCoding,
            QStringLiteral("transfer coding not understood: %1")
                .arg(QString::fromLatin1(head.values("Transfer-Encoding").join(", "))));
        return false;
    } else if (length && *length < 0) {
        fail(FetchError::BadAnswer, QStringLiteral("bad Content-Length"));
        return false;
    } else if (length) {
        m_body.start(HttpBodyDecoder::Framing::Length, *length);
    } else {
        m_body.start(HttpBodyDecoder::Framing::UntilClose);
    }
    m_phase = Phase::Body;
    return true;
}

QByteArray HttpConnection::readBody(qint64 maxSize)
{
    QByteArray out;
    if (m_phase != Phase::Body) {
        return out;
    }
    while (out.size() < maxSize && m_body.state() == HttpBodyDecoder::State::Reading) {
        const qint64 room = maxSize - out.size();
        if (!m_pending.isEmpty()) {
            const qsizetype n = qsizetype(std::min<qint64>(room, m_pending.size()));
            m_pending.remove(0, m_body.decode(QByteArrayView(m_pending).first(n), out));
            if (m_body.state() != HttpBodyDecoder::State::Reading) {
                m_pending.clear();
            }
            continue;
        }
        if (!m_socket || m_socket->bytesAvailable() <= 0) {
            break;
        }
        // The framing never grows: room raw bytes make at most room body bytes.
        const QByteArray raw = m_socket->read(std::min(room, m_socket->bytesAvailable()));
        if (raw.isEmpty()) {
            break;
        }
        m_body.decode(raw, out);
    }
    return out;
}

bool HttpConnection::hasBodyBytes() const
{
    return m_phase == Phase::Body && m_body.state() == HttpBodyDecoder::State::Reading
        && (!m_pending.isEmpty() || (m_socket && m_socket->bytesAvailable() > 0));
}

HttpConnection::BodyState HttpConnection::bodyState() const
{
    switch (m_body.state()) {
    case HttpBodyDecoder::State::Done:
        return BodyState::Ended;
    case HttpBodyDecoder::State::Bad:
        return BodyState::Cut;
    case HttpBodyDecoder::State::Reading:
        break;
    }
    if (m_phase != Phase::Body || !m_closed || hasBodyBytes()) {
        return BodyState::Open;
    }
    return m_closedCleanly && m_body.framing() == HttpBodyDecoder::Framing::UntilClose
        ? BodyState::Ended
        : BodyState::Cut;
}

QString HttpConnection::bodyError() const
{
    if (m_body.state() == HttpBodyDecoder::State::Bad) {
        return m_body.error();
    }
    return bodyState() == BodyState::Cut ? QStringLiteral("connection closed before the body ended")
                                         : QString();
}

void HttpConnection::onSocketError()
{
    if (!m_socket) {
        return;
    }
    const QAbstractSocket::SocketError error = m_socket->error();
    switch (m_phase) {
    case Phase::Head:
        if (error != QAbstractSocket::RemoteHostClosedError) {
            fail(errorOf(error), m_socket->errorString());
            return;
        }
        onClosed();
        return;
    case Phase::Body:
        onClosed();
        return;
    default:
        return;
    }
}

void HttpConnection::onClosed()
{
    if (m_closed || !m_socket) {
        return;
    }
    if (m_phase == Phase::Head) {
        // Whatever came before the close may still end the head.
        onReadable();
        if (m_phase == Phase::Head) {
            fail(FetchError::ConnectionClosed,
                QStringLiteral("closed before the answer's head ended"));
        }
        return;
    }
    if (m_phase != Phase::Body) {
        return;
    }
    if (m_socket->error() == QAbstractSocket::RemoteHostClosedError
        || m_socket->error() == QAbstractSocket::UnknownSocketError) {
        m_closedCleanly = true;
    }
    m_closed = true;
    emit bodyReadable();
}

void HttpConnection::fail(FetchError error, const QString &why)
{
    qCInfo(lcFetch) << "failed:" << shownUrl(m_url) << why;
    abort();
    emit failed(error);
}

} // namespace network
