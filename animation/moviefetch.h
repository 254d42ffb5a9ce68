#pragma once

#include "animation/swfmovie.h"

#include <QByteArray>
#include <QObject>
#include <QUrl>

#include <memory>

namespace network {
class Fetch;
enum class FetchError;
} // namespace network

namespace animation {

// The one fetch of an animation player's movie: a web address only (a redirect anywhere else
// ends it), bounded in size, time and redirects, and parsed off the UI thread. A failed fetch is
// not retried. Deleting the fetch drops it, wherever it is.
class MovieFetch : public QObject
{
    Q_OBJECT

public:
    static constexpr qint64 maxMovieFileBytes = 16 * 1024 * 1024;
    // The answer's head within the first, the whole movie (up to its bound) within the second.
    static constexpr int answerTimeoutMs = 20000;
    static constexpr int fetchTimeoutMs = 60000;
    static constexpr int maxRedirects = 5;

    // Starts fetching url, or returns nullptr (and fetches nothing) when url is not a web address.
    static MovieFetch *start(const QUrl &url, QObject *parent);

signals:
    // The fetch ended: the parsed movie, or nullptr when it brought none to play.
    void finished(std::shared_ptr<const swf::Movie> movie);

private:
    MovieFetch(const QUrl &url, QObject *parent);
    void headReceived();
    void fetched(network::FetchError error);
    void fail(const char *why);

    QUrl m_url;
    network::Fetch *m_fetch = nullptr;
};

// Parses a movie file, logging what it found wrong; nullptr for a file larger than a fetch may
// bring, or one that is not a movie.
std::shared_ptr<const swf::Movie> parseMovieOrNull(const QByteArray &bytes);

} // namespace animation
