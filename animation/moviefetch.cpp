#include "animation/moviefetch.h"

#include <QFutureWatcher>
#include <QLoggingCategory>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QtConcurrent/QtConcurrentRun>

namespace animation {

namespace {

// Silent unless turned on (QT_LOGGING_RULES="radio.fetch=true" or "radio.animation=true"):
// fetching the movie, and what parsing it found wrong.
Q_LOGGING_CATEGORY(lcFetch, "radio.fetch", QtFatalMsg)
Q_LOGGING_CATEGORY(lcAnimation, "radio.animation", QtFatalMsg)

bool isWebAddress(const QUrl &url)
{
    return url.isValid() && !url.host().isEmpty()
        && (url.scheme().compare(QLatin1String("http"), Qt::CaseInsensitive) == 0
            || url.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) == 0);
}

} // namespace

MovieFetch *MovieFetch::start(const QUrl &url, QObject *parent)
{
    if (!isWebAddress(url)) {
        qCWarning(lcFetch) << "movie not fetched, not a web address:" << url.toString();
        return nullptr;
    }
    return new MovieFetch(url, parent);
}

MovieFetch::MovieFetch(const QUrl &url, QObject *parent)
    : QObject(parent)
    , m_url(url)
    , m_network(new QNetworkAccessManager(this))
{
    QNetworkRequest request(url);
    request.setAttribute(
        QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setMaximumRedirectsAllowed(maxRedirects);
    request.setTransferTimeout(fetchTimeoutMs);
    m_reply = m_network->get(request);
    QNetworkReply *reply = m_reply;
    // The movie comes over HTTP or not at all: a redirect elsewhere ends the fetch.
    connect(reply, &QNetworkReply::redirected, this, [reply](const QUrl &to) {
        if (!isWebAddress(to)) {
            qCWarning(lcFetch) << "movie redirect refused, not a web address:" << to.toString();
            reply->abort();
        }
    });
    auto tooBig = [reply](qint64 size) {
        if (size > maxMovieFileBytes) {
            reply->abort();
        }
    };
    connect(reply, &QNetworkReply::metaDataChanged, this, [reply, tooBig] {
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        if (length.isValid()) {
            tooBig(length.toLongLong());
        }
    });
    connect(reply, &QNetworkReply::downloadProgress, this,
        [tooBig](qint64 received, qint64) { tooBig(received); });
    connect(reply, &QNetworkReply::finished, this, &MovieFetch::replyFinished);
}

MovieFetch::~MovieFetch()
{
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->abort();
    }
}

void MovieFetch::replyFinished()
{
    QNetworkReply *reply = m_reply;
    m_reply = nullptr;
    if (!reply) {
        return;
    }
    reply->deleteLater();
    // The one fetch is over: the network access goes, and its connections and threads with it.
    m_network->deleteLater();
    m_network = nullptr;
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    // A failed fetch is not reported and not retried; the strip shows what lies beneath.
    if (reply->error() != QNetworkReply::NoError || status < 200 || status >= 300
        || reply->bytesAvailable() > maxMovieFileBytes) {
        qCInfo(lcFetch) << "movie fetch failed:" << reply->url().toString() << reply->errorString()
                        << "status" << status;
        emit finished(nullptr);
        return;
    }
    // Parsing and decoding bitmaps can take a while for big movies: done off the UI thread.
    // What arrived is within the limit (checked above); reading it whole allocates no more.
    const QByteArray bytes = reply->readAll();
    auto *watcher = new QFutureWatcher<std::shared_ptr<const swf::Movie>>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher] {
        watcher->deleteLater();
        const auto movie = watcher->result();
        if (!movie) {
            qCInfo(lcFetch) << "movie not readable:" << m_url.toString();
        }
        emit finished(movie);
    });
    watcher->setFuture(QtConcurrent::run(parseMovieOrNull, bytes));
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
