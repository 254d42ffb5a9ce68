#include "player/resolver.h"

#include "player/logging.h"
#include "player/playlist.h"

#include <QFutureWatcher>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>

#include <utility>

namespace player {

namespace {

bool isHttp(const QUrl &url)
{
    const QString scheme = url.scheme().toLower();
    return scheme == QLatin1String("http") || scheme == QLatin1String("https");
}

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

bool isPlayableAddress(const QUrl &url)
{
    if (!url.isValid() || url.isRelative() || url.host().isEmpty()) {
        return false;
    }
    const QString scheme = url.scheme();
    for (const char *allowed : { "http", "https", "mms", "mmsh", "mmst" }) {
        if (scheme.compare(QLatin1String(allowed), Qt::CaseInsensitive) == 0) {
            return true;
        }
    }
    return false;
}

QList<QUrl> engineAddresses(const QUrl &url)
{
    if (url.scheme().compare(QLatin1String("mms"), Qt::CaseInsensitive) == 0) {
        QUrl overHttp = url;
        overHttp.setScheme(QStringLiteral("mmsh"));
        QUrl overTcp = url;
        overTcp.setScheme(QStringLiteral("mmst"));
        return { overHttp, overTcp };
    }
    return { url };
}

EndpointResolver::EndpointResolver(QObject *parent, const ResolverLimits &limits)
    : QObject(parent)
    , m_limits(limits)
    , m_network(new QNetworkAccessManager(this))
    , m_firstByteTimer(new QTimer(this))
    , m_totalTimer(new QTimer(this))
{
    m_firstByteTimer->setSingleShot(true);
    m_totalTimer->setSingleShot(true);
    connect(m_firstByteTimer, &QTimer::timeout, this, &EndpointResolver::onTimeout);
    connect(m_totalTimer, &QTimer::timeout, this, &EndpointResolver::onTimeout);
}

EndpointResolver::~EndpointResolver()
{
    cancel();
}

void EndpointResolver::start(const QUrl &url)
{
    cancel();
    m_active = true;
    m_queue.append(Candidate { url, 0, QString() });
    postAdvance();
}

void EndpointResolver::next()
{
    if (m_active && !m_reply && !m_parsing) {
        postAdvance();
    }
}

void EndpointResolver::cancel()
{
    ++m_generation;
    m_active = false;
    m_titleSent = false;
    m_queue.clear();
    m_fetched.clear();
    m_lastFailure = Failure::NothingToPlay;
    m_lastHttpStatus = 0;
    m_parsing = false;
    finishFetch();
}

void EndpointResolver::postAdvance()
{
    const quint64 generation = m_generation;
    QMetaObject::invokeMethod(
        this,
        [this, generation] {
            if (generation == m_generation && m_active) {
                advance();
            }
        },
        Qt::QueuedConnection);
}

void EndpointResolver::advance()
{
    while (!m_queue.isEmpty()) {
        const Candidate candidate = m_queue.takeFirst();
        if (!candidate.url.isValid() || candidate.url.isRelative()) {
            setLastFailure(Failure::BadAddress);
            qCInfo(lcResolver) << "skipped, bad address:" << candidate.url.toString();
            continue;
        }
        if (!isPlayableAddress(candidate.url)) {
            setLastFailure(Failure::UnsupportedAddress);
            qCWarning(lcResolver) << "refused, not a network stream:" << candidate.url.toString();
            continue;
        }
        if (isHttp(candidate.url)) {
            if (m_fetched.contains(candidate.url.adjusted(QUrl::NormalizePathSegments))) {
                setLastFailure(Failure::PlaylistLoop);
                qCInfo(lcResolver) << "skipped, fetched before:" << candidate.url.toString();
                continue;
            }
            fetch(candidate);
            return;
        }
        QList<QUrl> addresses = engineAddresses(candidate.url);
        const QUrl first = addresses.takeFirst();
        for (qsizetype i = addresses.size() - 1; i >= 0; --i) {
            m_queue.prepend(Candidate { addresses[i], candidate.depth, candidate.title });
        }
        emitStream(first, candidate.title);
        return;
    }
    m_active = false;
    qCInfo(lcResolver) << "nothing more to try; last failure:" << m_lastFailure;
    emit failed(m_lastFailure, m_lastHttpStatus);
}

void EndpointResolver::emitStream(const QUrl &url, const QString &title)
{
    if (!isPlayableAddress(url)) {
        setLastFailure(Failure::UnsupportedAddress);
        qCWarning(lcResolver) << "refused, not a network stream:" << url.toString();
        postAdvance();
        return;
    }
    qCDebug(lcResolver) << "stream:" << url.toString();
    emit streamFound(url, title);
}

void EndpointResolver::fetch(const Candidate &candidate)
{
    m_current = candidate;
    m_body.clear();
    m_readingPlaylist = false;
    m_fetched.insert(candidate.url.adjusted(QUrl::NormalizePathSegments));
    qCDebug(lcResolver) << "fetching" << candidate.url.toString() << "depth" << candidate.depth;

    QNetworkRequest request(candidate.url);
    request.setAttribute(
        QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setMaximumRedirectsAllowed(m_limits.maxRedirects);
    request.setHeader(QNetworkRequest::UserAgentHeader, QStringLiteral("TarvelinRadio/1.0"));
    request.setRawHeader("Accept", "*/*");
    // Asked as the engine asks, so that a stream server answers here as it will answer there.
    request.setRawHeader("Icy-MetaData", "1");
    request.setAttribute(
        QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::Http2AllowedAttribute, false);

    m_reply = m_network->get(request);
    m_reply->setReadBufferSize(64 * 1024);
    connect(m_reply, &QNetworkReply::redirected, this, &EndpointResolver::onRedirected);
    connect(m_reply, &QNetworkReply::metaDataChanged, this, &EndpointResolver::onMetaData);
    connect(m_reply, &QNetworkReply::readyRead, this, &EndpointResolver::onReadyRead);
    connect(m_reply, &QNetworkReply::finished, this, &EndpointResolver::onFinished);
    m_firstByteTimer->start(m_limits.firstByteTimeoutMs);
    m_totalTimer->start(m_limits.totalTimeoutMs);
}

void EndpointResolver::finishFetch()
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

void EndpointResolver::setLastFailure(Failure failure, int httpStatus)
{
    m_lastFailure = failure;
    m_lastHttpStatus = failure == Failure::ServerError ? httpStatus : 0;
}

void EndpointResolver::giveUpFetch(Failure failure, int httpStatus)
{
    qCInfo(lcResolver) << "failed:" << m_current.url.toString() << "-" << failure << httpStatus;
    setLastFailure(failure, httpStatus);
    finishFetch();
    postAdvance();
}

void EndpointResolver::onTimeout()
{
    giveUpFetch(Failure::NoAnswer);
}

// Qt follows redirects to HTTP only; the gate is ours all the same.
void EndpointResolver::onRedirected(const QUrl &url)
{
    qCDebug(lcResolver) << "redirected to" << url.toString();
    if (m_reply && !isPlayableAddress(url)) {
        qCWarning(lcResolver) << "refused redirect, not a network stream:" << url.toString();
        giveUpFetch(Failure::UnsupportedAddress);
    }
}

void EndpointResolver::onMetaData()
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
        giveUpFetch(failureOf(QNetworkReply::NoError, code), code);
        return;
    }
    if (m_reply->hasRawHeader("icy-metaint")) {
        bool ok = false;
        const qint64 interval = m_reply->rawHeader("icy-metaint").trimmed().toLongLong(&ok);
        // 0 means no metadata at all.
        if (!ok || interval < 0 || (interval > 0 && interval < minIcyMetaInterval)) {
            giveUpFetch(Failure::BrokenStreamMetadata);
            return;
        }
    }
    // A stream server announcing its station is a stream, whatever follows.
    if (m_reply->hasRawHeader("icy-name") || m_reply->hasRawHeader("icy-metaint")
        || m_reply->hasRawHeader("icy-br")) {
        const QUrl url = m_reply->url();
        finishFetch();
        emitStream(url, m_current.title);
    }
}

void EndpointResolver::onReadyRead()
{
    if (!m_reply) {
        return;
    }
    m_firstByteTimer->stop();
    const qint64 limit = m_readingPlaylist ? m_limits.maxPlaylistBytes : m_limits.sniffBytes;
    const qint64 room = limit - m_body.size();
    if (room > 0) {
        m_body.append(m_reply->read(room));
    }
    if (m_body.size() >= limit) {
        judge(true);
    } else if (!m_readingPlaylist && sniffContent(m_body) == ContentKind::Audio) {
        judge(false);
    }
}

void EndpointResolver::onFinished()
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
        const QUrl url = m_reply->url();
        finishFetch();
        emitStream(url, m_current.title);
        return;
    }
    if (error != QNetworkReply::NoError) {
        giveUpFetch(failureOf(error, status), status);
        return;
    }
    const qint64 limit = m_readingPlaylist ? m_limits.maxPlaylistBytes : m_limits.sniffBytes;
    m_body.append(m_reply->read(std::max<qint64>(0, limit - m_body.size())));
    judge(true);
}

// Decides what the response is, once enough of it was read (or all of it).
void EndpointResolver::judge(bool complete)
{
    if (m_readingPlaylist) {
        if (complete) {
            readPlaylist();
        }
        return;
    }
    switch (sniffContent(m_body)) {
    case ContentKind::Empty:
        if (complete) {
            giveUpFetch(Failure::EmptyAnswer);
        }
        return;
    case ContentKind::Audio: {
        const QUrl url = m_reply ? m_reply->url() : m_current.url;
        finishFetch();
        emitStream(url, m_current.title);
        return;
    }
    case ContentKind::Playlist:
        m_readingPlaylist = true;
        if (complete && (!m_reply || m_reply->isFinished())) {
            readPlaylist();
        } else {
            onReadyRead(); // take what is already buffered
        }
        return;
    case ContentKind::Html:
        if (retryAtStreamPath()) {
            return;
        }
        giveUpFetch(Failure::NotAStream);
        return;
    case ContentKind::Text:
        giveUpFetch(Failure::NotAStream);
        return;
    }
}

// Several stream server versions answer a request for their root with a status page and play
// the stream at "/;" instead: a root that shows a page is tried once more there.
bool EndpointResolver::retryAtStreamPath()
{
    const QUrl root = m_current.url;
    if (!isHttp(root) || !(root.path().isEmpty() || root.path() == QLatin1String("/"))
        || root.hasQuery()) {
        return false;
    }
    QUrl stream = root;
    stream.setPath(QStringLiteral("/;"));
    qCInfo(lcResolver) << "a page at the stream root; trying" << stream.toString();
    setLastFailure(Failure::NotAStream);
    finishFetch();
    m_queue.prepend(Candidate { stream, m_current.depth, m_current.title });
    postAdvance();
    return true;
}

void EndpointResolver::readPlaylist()
{
    const QUrl base = m_reply ? m_reply->url() : m_current.url;
    if (m_reply) {
        m_fetched.insert(base.adjusted(QUrl::NormalizePathSegments));
    }
    finishFetch();
    // Reading a playlist is bounded, yet a large hostile one is work enough to be felt by the
    // window: it is read on a worker thread, and only the latest resolution takes the result.
    const quint64 generation = m_generation;
    m_parsing = true;
    auto *watcher = new QFutureWatcher<Playlist>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, generation] {
        watcher->deleteLater();
        if (generation == m_generation && m_active) {
            m_parsing = false;
            takePlaylist(watcher->result());
        }
    });
    watcher->setFuture(QtConcurrent::run(
        [bytes = std::exchange(m_body, {}), base] { return parsePlaylist(bytes, base); }));
}

void EndpointResolver::takePlaylist(const Playlist &list)
{
    qCDebug(lcResolver) << "playlist of" << m_current.url.toString() << "format" << int(list.format)
                        << "entries" << list.entries.size()
                        << (list.tooManyEntries ? "(too many)" : "");
    if (list.tooManyEntries) {
        setLastFailure(Failure::TooManyEntries);
        postAdvance();
        return;
    }
    if (list.entries.isEmpty()) {
        setLastFailure(Failure::UnreadablePlaylist);
        postAdvance();
        return;
    }
    if (m_current.depth >= m_limits.maxDepth) {
        setLastFailure(Failure::PlaylistsTooDeep);
        postAdvance();
        return;
    }
    if (!m_titleSent && !list.title.isEmpty()) {
        m_titleSent = true;
        emit playlistTitle(list.title);
    }
    QList<Candidate> found;
    for (const PlaylistEntry &entry : list.entries) {
        const QString title = entry.title.isEmpty() ? m_current.title : entry.title;
        for (const QUrl &ref : entry.refs) {
            found.append(Candidate { ref, m_current.depth + 1, title });
            if (list.format == PlaylistFormat::AsxIni && isHttp(ref)) {
                // Such references usually name a stream served over HTTP in the MMS dialect.
                QUrl mms = ref;
                mms.setScheme(QStringLiteral("mmsh"));
                found.append(Candidate { mms, m_current.depth + 1, title });
            }
        }
    }
    m_queue = found + m_queue;
    postAdvance();
}

} // namespace player
