#include "player/core/resolver.h"

#include "network/gate.h"
#include "network/logging.h"
#include "network/openstream.h"
#include "player/core/logging.h"
#include "player/core/playlist.h"

#include <QFutureWatcher>
#include <QtConcurrent/QtConcurrentRun>

namespace player {

namespace {

using network::isHttp;

bool mayOpen(const QUrl &url)
{
    return network::mayOpen(url, network::Use::Stream);
}

// mms:// names a stream that is reached over HTTP (mmsh) or TCP (mmst); the engine needs one of
// the explicit forms. Other addresses come back unchanged.
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

} // namespace

EndpointResolver::EndpointResolver(QObject *parent, const ResolverLimits &limits)
    : QObject(parent)
    , m_limits(limits)
    , m_fetch(new EndpointFetch(limits, this))
{
    // First of all: whatever the fetch found, its first connection set the pick's reach.
    const auto keepFetchReach = [this] { learnReach(m_fetch->reach()); };
    connect(m_fetch, &EndpointFetch::streamFound, this, keepFetchReach);
    connect(m_fetch, &EndpointFetch::playlistFound, this, keepFetchReach);
    connect(m_fetch, &EndpointFetch::pageFound, this, keepFetchReach);
    connect(m_fetch, &EndpointFetch::failed, this, keepFetchReach);
    connect(m_fetch, &EndpointFetch::streamFound, this,
        [this](const QUrl &url) { emitStream(url, m_current.title); });
    connect(m_fetch, &EndpointFetch::playlistFound, this, &EndpointResolver::readPlaylist);
    connect(m_fetch, &EndpointFetch::pageFound, this, [this] {
        if (!retryAtStreamPath()) {
            giveUpFetch(Failure::NotAStream, 0);
        }
    });
    connect(m_fetch, &EndpointFetch::failed, this, &EndpointResolver::giveUpFetch);
}

EndpointResolver::~EndpointResolver()
{
    cancel();
}

void EndpointResolver::start(const QUrl &url, network::Reach reach)
{
    cancel();
    m_reach = reach;
    m_active = true;
    m_queue.append(Candidate { url, 0, QString() });
    postAdvance();
}

void EndpointResolver::next()
{
    if (m_active && !m_fetch->isRunning() && !m_parsing) {
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
    m_fetch->cancel();
}

std::unique_ptr<network::OpenStream> EndpointResolver::takeOpened()
{
    return m_fetch->takeOpened();
}

void EndpointResolver::learnReach(network::Reach reach)
{
    if (m_reach == network::Reach::Unset && reach != network::Reach::Unset) {
        qCDebug(lcResolver) << "the pick's reach:" << int(reach);
        m_reach = reach;
    }
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
            qCInfo(lcResolver) << "skipped, bad address:" << network::shownUrl(candidate.url);
            continue;
        }
        if (!mayOpen(candidate.url)) {
            setLastFailure(refusalOf(candidate.url));
            qCWarning(lcResolver) << "refused, not a network stream:"
                                  << network::shownUrl(candidate.url);
            continue;
        }
        if (isHttp(candidate.url)) {
            if (m_fetched.contains(candidate.url.adjusted(QUrl::NormalizePathSegments))) {
                setLastFailure(Failure::PlaylistLoop);
                qCInfo(lcResolver)
                    << "skipped, fetched before:" << network::shownUrl(candidate.url);
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
    if (!mayOpen(url)) {
        setLastFailure(refusalOf(url));
        qCWarning(lcResolver) << "refused, not a network stream:" << network::shownUrl(url);
        postAdvance();
        return;
    }
    qCDebug(lcResolver) << "stream:" << network::shownUrl(url);
    emit streamFound(url, title);
}

void EndpointResolver::fetch(const Candidate &candidate)
{
    m_current = candidate;
    m_fetched.insert(candidate.url.adjusted(QUrl::NormalizePathSegments));
    qCDebug(lcResolver) << "fetching" << network::shownUrl(candidate.url) << "depth"
                        << candidate.depth;
    m_fetch->start(candidate.url, m_reach);
}

void EndpointResolver::setLastFailure(Failure failure, int httpStatus)
{
    m_lastFailure = failure;
    m_lastHttpStatus = httpStatus;
}

void EndpointResolver::giveUpFetch(Failure failure, int httpStatus)
{
    qCInfo(lcResolver) << "failed:" << network::shownUrl(m_current.url) << "-" << failure
                       << httpStatus;
    setLastFailure(failure, httpStatus);
    postAdvance();
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
    qCInfo(lcResolver) << "a page at the stream root; trying" << network::shownUrl(stream);
    setLastFailure(Failure::NotAStream);
    m_queue.prepend(Candidate { stream, m_current.depth, m_current.title });
    postAdvance();
    return true;
}

void EndpointResolver::readPlaylist(const QByteArray &bytes, const QUrl &base)
{
    m_fetched.insert(base.adjusted(QUrl::NormalizePathSegments));
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
    watcher->setFuture(QtConcurrent::run([bytes, base] { return parsePlaylist(bytes, base); }));
}

void EndpointResolver::takePlaylist(const Playlist &list)
{
    qCDebug(lcResolver) << "playlist of" << network::shownUrl(m_current.url) << "format"
                        << int(list.format) << "entries" << list.entries.size()
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
