#pragma once

#include "player/core/failure.h"
#include "player/core/resolver.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QUrl>

class QNetworkAccessManager;
class QNetworkReply;
class QTimer;

namespace player {

// One request of the resolver: fetches an address over HTTP within the resolver's bounds and
// judges the response by its content (not by its address or content type). A stream is handed
// on without being downloaded (the request stops after its first bytes); a playlist is read
// whole, up to the byte bound. Every answer ends the request before it is reported.
class EndpointFetch : public QObject
{
    Q_OBJECT
public:
    explicit EndpointFetch(const ResolverLimits &limits, QObject *parent = nullptr);
    ~EndpointFetch() override;

    // Drops any request in progress and requests this address. Returns at once; the answer
    // comes later from the event loop, as one of the signals.
    void start(const QUrl &url);
    // Drops the request in progress; no signal follows.
    void cancel();
    bool isRunning() const { return !m_reply.isNull(); }

signals:
    // The answer is a stream, at this address (where redirects led).
    void streamFound(const QUrl &url);
    // The answer is a playlist: its bytes (at most the bound), and the address it came from.
    void playlistFound(const QByteArray &bytes, const QUrl &base);
    // The answer is a web page.
    void pageFound();
    // Nothing playable; httpStatus is the status of a server error, else 0.
    void failed(player::Failure failure, int httpStatus);

private:
    void onRedirected(const QUrl &url);
    void onMetaData();
    void onReadyRead();
    void onFinished();
    void judge(bool complete);
    void finish();
    void fail(Failure failure, int httpStatus = 0);
    void foundStream();

    ResolverLimits m_limits;
    QNetworkAccessManager *m_network = nullptr;
    QPointer<QNetworkReply> m_reply;
    QTimer *m_firstByteTimer = nullptr;
    QTimer *m_totalTimer = nullptr;
    QUrl m_url;
    QByteArray m_body;
    bool m_readingPlaylist = false;
};

} // namespace player
