#include "animation/moviefetch.h"

#include "network/fetch.h"
#include "network/logging.h"

#include <QFutureWatcher>
#include <QLoggingCategory>
#include <QtConcurrent/QtConcurrentRun>

namespace animation {

namespace {

// Silent unless turned on (QT_LOGGING_RULES="radio.animation=true"): what parsing the movie
// found wrong. Fetching it logs as radio.fetch.
Q_LOGGING_CATEGORY(lcAnimation, "radio.animation", QtFatalMsg)

} // namespace

MovieFetch *MovieFetch::start(const QUrl &url, QObject *parent)
{
    if (!network::mayOpen(url, network::Use::Web)) {
        qCWarning(network::lcFetch)
            << "movie not fetched, not a web address:" << network::shownUrl(url);
        return nullptr;
    }
    return new MovieFetch(url, parent);
}

MovieFetch::MovieFetch(const QUrl &url, QObject *parent)
    : QObject(parent)
    , m_url(url)
    , m_fetch(new network::Fetch(network::Use::Web,
          { maxRedirects, answerTimeoutMs, fetchTimeoutMs, maxMovieFileBytes }, this))
{
    connect(m_fetch, &network::Fetch::headReceived, this, &MovieFetch::headReceived);
    connect(m_fetch, &network::Fetch::finished, this, &MovieFetch::fetched);
    m_fetch->start(url);
}

// A movie announced larger than a fetch may bring is not downloaded at all.
void MovieFetch::headReceived()
{
    const std::optional<qint64> length = m_fetch->contentLength();
    if (length && *length > maxMovieFileBytes) {
        m_fetch->cancel();
        fail("too large");
    }
}

void MovieFetch::fetched(network::FetchError error)
{
    // A failed fetch is not reported and not retried; the strip shows what lies beneath. The
    // network layer has logged why it failed.
    const int status = m_fetch->httpStatus();
    if (error != network::FetchError::None || status < 200 || status >= 300) {
        fail("no movie");
        return;
    }
    if (m_fetch->truncated()) {
        fail("too large");
        return;
    }
    // Parsing and decoding bitmaps can take a while for big movies: done off the UI thread.
    auto *watcher = new QFutureWatcher<std::shared_ptr<const swf::Movie>>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher] {
        watcher->deleteLater();
        const auto movie = watcher->result();
        if (!movie) {
            qCInfo(network::lcFetch) << "movie not readable:" << network::shownUrl(m_url);
        }
        emit finished(movie);
    });
    watcher->setFuture(QtConcurrent::run(parseMovieOrNull, m_fetch->takeBody()));
}

void MovieFetch::fail(const char *why)
{
    qCInfo(network::lcFetch) << "movie fetch failed," << why << "-"
                             << network::shownUrl(m_fetch->url());
    emit finished(nullptr);
}

std::shared_ptr<const swf::Movie> parseMovieOrNull(const QByteArray &bytes)
{
    if (bytes.size() > MovieFetch::maxMovieFileBytes) {
        qCInfo(lcAnimation) << "movie of" << bytes.size() << "bytes is too large";
        return nullptr;
    }
    try {
        auto movie = swf::parseMovie(bytes);
        for (const QString &warning : movie->warnings) {
            qCInfo(lcAnimation) << "movie:" << warning;
        }
        return movie;
    } catch (const swf::FormatError &e) {
        qCInfo(lcAnimation) << "not a movie:" << e.what();
        return nullptr;
    }
}

} // namespace animation
