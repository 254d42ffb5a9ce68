#pragma once

#include "network/addressclass.h"
#include "player/core/failure.h"
#include "player/core/fetch.h"
#include "player/core/playlist.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QUrl>

namespace player {

// Turns the address the player was given into the stream addresses the engine can open, one
// after another: each HTTP address is fetched and judged by its content (see EndpointFetch); a
// playlist is read and its entries are tried in order, nested playlists to a bounded depth, an
// address already fetched is not fetched again. MMS addresses go to the engine directly as MMS
// over HTTP, then over TCP. Every fetch after the first is bound by the reach of the pick (see
// network/addressclass.h), which the first one sets, and which the engine is given for the
// streams it opens.
//
// The caller answers every streamFound() with next() when that stream fails; failed() says that
// nothing (more) can be tried, with the last failure met (NothingToPlay when there was none).
class EndpointResolver : public QObject
{
    Q_OBJECT
public:
    explicit EndpointResolver(QObject *parent = nullptr, const ResolverLimits &limits = {});
    ~EndpointResolver() override;

    // Drops any resolution in progress and starts on this address, with the reach of its pick
    // when that is known (a reconnection), else the first connection sets it. Returns at once;
    // the signals come later from the event loop.
    void start(const QUrl &url, network::Reach reach = network::Reach::Unset);
    // The stream last found failed: go on with the next candidate.
    void next();
    // Drops the resolution in progress; no signal follows.
    void cancel();
    // The open connection of the stream last found, when its fetch could hand it on (once).
    std::unique_ptr<network::OpenStream> takeOpened();
    // What the pick may lead to; Unset until something of it connected.
    network::Reach reach() const { return m_reach; }
    // The reach the engine found for a pick whose first stream it opened itself (an MMS
    // address): kept unless the pick's reach is known already.
    void learnReach(network::Reach reach);

signals:
    // A stream to try, with the title its playlist entry gave (may be empty).
    void streamFound(const QUrl &stream, const QString &title);
    // The title of the outermost playlist that named one (may be empty).
    void playlistTitle(const QString &title);
    // httpStatus is the status of a ServerError, else 0.
    void failed(player::Failure failure, int httpStatus);

private:
    struct Candidate
    {
        QUrl url;
        int depth = 0;
        QString title;
    };

    void advance();
    void postAdvance();
    void fetch(const Candidate &candidate);
    bool retryAtStreamPath();
    void readPlaylist(const QByteArray &bytes, const QUrl &base);
    void takePlaylist(const Playlist &list);
    void setLastFailure(Failure failure, int httpStatus = 0);
    void giveUpFetch(Failure failure, int httpStatus);
    void emitStream(const QUrl &url, const QString &title);

    ResolverLimits m_limits;
    EndpointFetch *m_fetch = nullptr; // the fetch of the current candidate

    QList<Candidate> m_queue;
    QSet<QUrl> m_fetched;
    Candidate m_current;
    bool m_parsing = false; // a playlist is being read on a worker thread
    bool m_active = false;
    bool m_titleSent = false;
    quint64 m_generation = 0;
    network::Reach m_reach = network::Reach::Unset;
    Failure m_lastFailure = Failure::NothingToPlay;
    int m_lastHttpStatus = 0;
};

} // namespace player
