#include "player/core/fetch.h"

#include "network/fetch.h"
#include "network/gate.h"
#include "network/openstream.h"
#include "player/core/icyreader.h"
#include "player/core/logging.h"

#include <algorithm>

namespace player {

Failure failureOf(network::FetchError error, int status)
{
    using network::FetchError;
    switch (error) {
    case FetchError::Refused:
        return Failure::Refused;
    case FetchError::UnknownHost:
        return Failure::UnknownHost;
    case FetchError::NoAnswer:
        return Failure::NoAnswer;
    case FetchError::TooSlow:
        return Failure::TooSlow;
    case FetchError::TooManyRedirects:
        return Failure::TooManyRedirects;
    case FetchError::InsecureRedirect:
        return Failure::InsecureRedirect;
    case FetchError::RedirectWithoutLocation:
        return Failure::RedirectWithoutLocation;
    case FetchError::RefusedAddress:
        return Failure::UnsupportedAddress;
    case FetchError::RefusedScheme:
        return Failure::RefusedScheme;
    case FetchError::RefusedPort:
        return Failure::RefusedPort;
    case FetchError::RefusedReach:
        return Failure::RefusedReach;
    case FetchError::Certificate:
        return Failure::Certificate;
    case FetchError::UnknownCoding:
        return Failure::UnknownCoding;
    case FetchError::ConnectionClosed:
        return Failure::ConnectionClosed;
    case FetchError::HttpStatus:
        if (status == 401 || status == 403) {
            return Failure::AccessDenied;
        }
        return status == 404 || status == 410 ? Failure::NotFound : Failure::ServerError;
    case FetchError::BadAnswer:
        // Something answered, but not in HTTP (nor in the stream servers' dialect of it).
        return Failure::NotAStream;
    case FetchError::None:
    case FetchError::Other:
        break;
    }
    return Failure::NetworkError;
}

Failure refusalOf(const QUrl &url)
{
    switch (network::refusal(url, network::Use::Stream)) {
    case network::Refusal::Scheme:
        return Failure::RefusedScheme;
    case network::Refusal::Port:
        return Failure::RefusedPort;
    case network::Refusal::None:
    case network::Refusal::NotNetwork:
        break;
    }
    return Failure::UnsupportedAddress;
}

namespace {

network::FetchLimits networkLimits(const ResolverLimits &limits)
{
    network::FetchLimits out;
    out.maxRedirects = limits.maxRedirects;
    out.firstByteTimeoutMs = limits.firstByteTimeoutMs;
    out.totalTimeoutMs = limits.totalTimeoutMs;
    // Sniffing needs only the first bytes, but a playlist is read on in the same request.
    out.maxBytes = std::max(limits.sniffBytes, limits.maxPlaylistBytes);
    return out;
}

} // namespace

EndpointFetch::EndpointFetch(const ResolverLimits &limits, QObject *parent)
    : QObject(parent)
    , m_limits(limits)
    , m_fetch(new network::Fetch(network::Use::Stream, networkLimits(limits), this))
{
    connect(m_fetch, &network::Fetch::headReceived, this, &EndpointFetch::onHead);
    connect(m_fetch, &network::Fetch::bytesArrived, this, &EndpointFetch::onBytes);
    connect(m_fetch, &network::Fetch::finished, this, &EndpointFetch::onFinished);
}

EndpointFetch::~EndpointFetch() = default;

void EndpointFetch::start(const QUrl &url, network::Reach reach)
{
    m_readingPlaylist = false;
    m_opened.reset();
    m_asked = url;
    // Titles asked for: a stream found here is the one the engine plays.
    m_fetch->start(url, { { "Icy-MetaData", "1" } }, reach);
}

void EndpointFetch::cancel()
{
    m_fetch->cancel();
    m_opened.reset();
}

bool EndpointFetch::isRunning() const
{
    return m_fetch->isRunning();
}

network::Reach EndpointFetch::reach() const
{
    return m_fetch->reach();
}

void EndpointFetch::fail(Failure failure, int httpStatus)
{
    m_fetch->cancel();
    emit failed(failure, failure == Failure::ServerError ? httpStatus : 0);
}

void EndpointFetch::foundStream()
{
    const QUrl url = m_fetch->url();
    // The answer's head is read and its body is coming: the connection is handed on as it is.
    m_opened = m_fetch->takeStream();
    m_fetch->cancel();
    emit streamFound(url);
}

std::unique_ptr<network::OpenStream> EndpointFetch::takeOpened()
{
    return std::move(m_opened);
}

void EndpointFetch::onHead()
{
    if (!IcyReader::intervalOf(m_fetch->rawHeaders("icy-metaint"))) {
        fail(Failure::BrokenStreamMetadata);
        return;
    }
    // A stream server announcing its station is a stream, whatever follows.
    if (m_fetch->hasRawHeader("icy-name") || m_fetch->hasRawHeader("icy-metaint")
        || m_fetch->hasRawHeader("icy-br")) {
        foundStream();
    }
}

void EndpointFetch::onBytes()
{
    if (m_readingPlaylist) {
        return;
    }
    if (m_fetch->body().size() >= m_limits.sniffBytes) {
        judge(true); // enough to judge by
    } else if (sniffContent(m_fetch->body()) == ContentKind::Audio) {
        judge(false);
    }
}

void EndpointFetch::onFinished(network::FetchError error)
{
    switch (error) {
    case network::FetchError::None:
        judge(true);
        return;
    default: {
        const Failure failure = failureOf(error, m_fetch->httpStatus());
        emit failed(failure, failure == Failure::ServerError ? m_fetch->httpStatus() : 0);
        return;
    }
    }
}

// Decides what the response is, once enough of it was read to judge (`complete`), or before
// that when its first bytes are audio.
void EndpointFetch::judge(bool complete)
{
    if (m_readingPlaylist) {
        if (!m_fetch->isRunning()) {
            emit playlistFound(m_fetch->takeBody(), m_fetch->url());
        }
        return;
    }
    switch (sniffContent(m_fetch->body())) {
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
        if (!m_fetch->isRunning()) {
            // The whole answer (or all the reader reads of it) is here already.
            QByteArray bytes = m_fetch->takeBody();
            bytes.truncate(m_limits.maxPlaylistBytes);
            emit playlistFound(bytes, m_fetch->url());
        }
        return;
    case ContentKind::Html:
        if (m_fetch->url().host().compare(m_asked.host(), Qt::CaseInsensitive) != 0) {
            fail(Failure::WebPage);
            return;
        }
        m_fetch->cancel();
        emit pageFound();
        return;
    case ContentKind::Text:
        fail(Failure::NotAStream);
        return;
    }
}

} // namespace player
