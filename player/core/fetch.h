#pragma once

#include "network/addressclass.h"
#include "network/fetch.h"
#include "network/openstream.h"
#include "player/core/failure.h"
#include "player/core/playlist.h"

#include <QByteArray>
#include <QObject>
#include <QUrl>

#include <memory>

namespace player {

// What a listener is told of why a fetch ended (status: the HTTP status of an HttpStatus).
Failure failureOf(network::FetchError error, int status = 0);
// Why the network gate refuses a stream's address.
Failure refusalOf(const QUrl &url);

// Bounds on every fetch the resolver makes (the network layer's own, unless a test shortens
// them), and on how deep it follows playlists.
struct ResolverLimits
{
    int maxDepth = 4; // playlists inside playlists
    int maxRedirects = network::FetchLimits {}.maxRedirects; // per fetch
    qint64 maxPlaylistBytes = player::maxPlaylistBytes; // what the playlist reader reads
    qint64 sniffBytes = 4096; // bytes read to judge a response
    int firstByteTimeoutMs = network::FetchLimits {}.firstByteTimeoutMs; // connecting and the head
    int totalTimeoutMs = network::FetchLimits {}.totalTimeoutMs; // the whole fetch
};

// One request of the resolver, through the program's network layer: fetches an address within
// the resolver's bounds and judges the response by its content (not by its address or content
// type). A stream is handed on without being downloaded (the request stops after its first
// bytes); a playlist is read whole, up to the byte bound. Every answer ends the request before it
// is reported.
class EndpointFetch : public QObject
{
    Q_OBJECT
public:
    explicit EndpointFetch(const ResolverLimits &limits, QObject *parent = nullptr);
    ~EndpointFetch() override;

    // Drops any request in progress and requests this address, on addresses the reach allows.
    // Returns at once; the answer comes later from the event loop, as one of the signals.
    void start(const QUrl &url, network::Reach reach);
    // Drops the request in progress; no signal follows.
    void cancel();
    // The connection of the stream last found, still open, when it was one the fetch could hand
    // on (null otherwise, or once taken): the engine reads it instead of connecting again.
    std::unique_ptr<network::OpenStream> takeOpened();
    bool isRunning() const;
    // As started, or set by the class of the address the request connected to (see
    // network::Fetch::reach()).
    network::Reach reach() const;

signals:
    // The answer is a stream, at this address (where redirects led); its connection is kept
    // open for takeOpened().
    void streamFound(const QUrl &url);
    // The answer is a playlist: its bytes (at most the bound), and the address it came from.
    void playlistFound(const QByteArray &bytes, const QUrl &base);
    // The answer is a web page from the host asked (one from another host, where redirects led,
    // fails as a WebPage: a network that answers every address with its sign-in page).
    void pageFound();
    // Nothing playable; httpStatus is the status of a server error, else 0.
    void failed(player::Failure failure, int httpStatus);

private:
    void onHead();
    void onBytes();
    void onFinished(network::FetchError error);
    void judge(bool complete);
    void fail(Failure failure, int httpStatus = 0);
    void foundStream();

    ResolverLimits m_limits;
    network::Fetch *m_fetch = nullptr;
    bool m_readingPlaylist = false;
    QUrl m_asked; // before redirects
    std::unique_ptr<network::OpenStream> m_opened;
};

} // namespace player
