#include "player/core/fetch.h"

#include "network/useragent.h"
#include "player/core/address.h"
#include "player/core/logging.h"
#include "player/core/playlist.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

#include <algorithm>
#include <utility>

namespace player {

namespace {

// Stream servers put a metadata block after every icy-metaint bytes of audio. Real servers use
// several kilobytes; a handful of bytes makes every read a metadata parse and the stream never
// fills a buffer.
constexpr qint64 minIcyMetaInterval = 256;

Failure failureOf(QNetworkReply::NetworkError error, int status)
{
    switch (error) {
    case QNetworkReply::ConnectionRefusedError:
        return Failure::Refused;
    case QNetworkReply::HostNotFoundError:
        return Failure::UnknownHost;
    case QNetworkReply::TimeoutError:
    case QNetworkReply::OperationCanceledError:
        return Failure::NoAnswer;
    case QNetworkReply::TooManyRedirectsError:
    case QNetworkReply::InsecureRedirectError:
        return Failure::TooManyRedirects;
    case QNetworkReply::ProtocolUnknownError:
        return Failure::UnsupportedAddress;
    case QNetworkReply::RemoteHostClosedError:
        return Failure::ConnectionClosed;
    case QNetworkReply::ContentNotFoundError:
        return Failure::NotFound;
    case QNetworkReply::ContentAccessDenied:
    case QNetworkReply::AuthenticationRequiredError:
        return Failure::AccessDenied;
    default:
        break;
    }
    if (status == 404 || status == 410) {
        return Failure::NotFound;
    }
    if (status >= 400) {
        return Failure::ServerError;
    }
    return Failure::NetworkError;
}

} // namespace

EndpointFetch::EndpointFetch(const ResolverLimits &limits, QObject *parent)
    : QObject(parent)
    , m_limits(limits)
    , m_network(new QNetworkAccessManager(this))
    , m_firstByteTimer(new QTimer(this))
    , m_totalTimer(new QTimer(this))
{
    m_firstByteTimer->setSingleShot(true);
    m_totalTimer->setSingleShot(true);
    connect(m_firstByteTimer, &QTimer::timeout, this, [this] { fail(Failure::NoAnswer); });
    connect(m_totalTimer, &QTimer::timeout, this, [this] { fail(Failure::NoAnswer); });
}

EndpointFetch::~EndpointFetch()
{
    finish();
}

void EndpointFetch::start(const QUrl &url)
{
    finish();
    m_url = url;
    m_body.clear();
    m_readingPlaylist = false;

    QNetworkRequest request(url);
    request.setAttribute(
        QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setMaximumRedirectsAllowed(m_limits.maxRedirects);
    request.setHeader(QNetworkRequest::UserAgentHeader, QString::fromLatin1(network::userAgent));
    request.setRawHeader("Accept", "*/*");
    // Asked as the engine asks, so that a stream server answers here as it will answer there.
    request.setRawHeader("Icy-MetaData", "1");
    request.setAttribute(
        QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::Http2AllowedAttribute, false);

    m_reply = m_network->get(request);
    m_reply->setReadBufferSize(64 * 1024);
    connect(m_reply, &QNetworkReply::redirected, this, &EndpointFetch::onRedirected);
    connect(m_reply, &QNetworkReply::metaDataChanged, this, &EndpointFetch::onMetaData);
    connect(m_reply, &QNetworkReply::readyRead, this, &EndpointFetch::onReadyRead);
    connect(m_reply, &QNetworkReply::finished, this, &EndpointFetch::onFinished);
    m_firstByteTimer->start(m_limits.firstByteTimeoutMs);
    m_totalTimer->start(m_limits.totalTimeoutMs);
}

void EndpointFetch::cancel()
{
    finish();
}

void EndpointFetch::finish()
{
    m_firstByteTimer->stop();
    m_totalTimer->stop();
    if (m_reply) {
        QNetworkReply *reply = m_reply;
        m_reply = nullptr;
        reply->disconnect(this);
        reply->abort();
        reply->deleteLater();
    }
}

void EndpointFetch::fail(Failure failure, int httpStatus)
{
    finish();
    emit failed(failure, failure == Failure::ServerError ? httpStatus : 0);
}

void EndpointFetch::foundStream()
{
    const QUrl url = m_reply ? m_reply->url() : m_url;
    finish();
    emit streamFound(url);
}

// Qt follows redirects to HTTP only; the gate is ours all the same.
void EndpointFetch::onRedirected(const QUrl &url)
{
    qCDebug(lcResolver) << "redirected to" << url.toString();
    if (m_reply && !isPlayableAddress(url)) {
        qCWarning(lcResolver) << "refused redirect, not a network stream:" << url.toString();
        fail(Failure::UnsupportedAddress);
    }
}

void EndpointFetch::onMetaData()
{
    if (!m_reply) {
        return;
    }
    const QVariant status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid()) {
        return;
    }
    const int code = status.toInt();
    if (code >= 300 && code < 400) {
        return; // a redirect being followed
    }
    m_firstByteTimer->stop();
    if (code >= 400) {
        fail(failureOf(QNetworkReply::NoError, code), code);
        return;
    }
    if (m_reply->hasRawHeader("icy-metaint")) {
        bool ok = false;
        const qint64 interval = m_reply->rawHeader("icy-metaint").trimmed().toLongLong(&ok);
        // 0 means no metadata at all.
        if (!ok || interval < 0 || (interval > 0 && interval < minIcyMetaInterval)) {
            fail(Failure::BrokenStreamMetadata);
            return;
        }
    }
    // A stream server announcing its station is a stream, whatever follows.
    if (m_reply->hasRawHeader("icy-name") || m_reply->hasRawHeader("icy-metaint")
        || m_reply->hasRawHeader("icy-br")) {
        foundStream();
    }
}

void EndpointFetch::onReadyRead()
{
    if (!m_reply) {
        return;
    }
    m_firstByteTimer->stop();
    const qint64 limit = m_readingPlaylist ? m_limits.maxPlaylistBytes : m_limits.sniffBytes;
    const qint64 room = limit - m_body.size();
    if (room > 0) {
        // Only what has arrived: read(room) would allocate the whole room on every chunk.
        m_body.append(m_reply->read(std::min(room, m_reply->bytesAvailable())));
    }
    if (m_body.size() >= limit) {
        judge(true);
    } else if (!m_readingPlaylist && sniffContent(m_body) == ContentKind::Audio) {
        judge(false);
    }
}

void EndpointFetch::onFinished()
{
    if (!m_reply) {
        return;
    }
    const QNetworkReply::NetworkError error = m_reply->error();
    const int status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if ((error == QNetworkReply::ProtocolFailure || error == QNetworkReply::RemoteHostClosedError)
        && status == 0) {
        // A stream server answering in its own dialect ("ICY 200 OK") that the HTTP client
        // does not speak: the engine does.
        foundStream();
        return;
    }
    if (error != QNetworkReply::NoError) {
        fail(failureOf(error, status), status);
        return;
    }
    const qint64 limit = m_readingPlaylist ? m_limits.maxPlaylistBytes : m_limits.sniffBytes;
    m_body.append(m_reply->read(
        std::min(std::max<qint64>(0, limit - m_body.size()), m_reply->bytesAvailable())));
    judge(true);
}

// Decides what the response is, once enough of it was read (or all of it).
void EndpointFetch::judge(bool complete)
{
    if (m_readingPlaylist) {
        if (complete) {
            const QUrl base = m_reply ? m_reply->url() : m_url;
            finish();
            emit playlistFound(std::exchange(m_body, {}), base);
        }
        return;
    }
    switch (sniffContent(m_body)) {
    case ContentKind::Empty:
        if (complete) {
            fail(Failure::EmptyAnswer);
        }
        return;
    case ContentKind::Audio:
        foundStream();
        return;
    case ContentKind::Playlist:
        m_readingPlaylist = true;
        if (complete && (!m_reply || m_reply->isFinished())) {
            judge(true);
        } else {
            onReadyRead(); // take what is already buffered
        }
        return;
    case ContentKind::Html:
        finish();
        emit pageFound();
        return;
    case ContentKind::Text:
        fail(Failure::NotAStream);
        return;
    }
}

} // namespace player
