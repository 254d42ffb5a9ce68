#include "network/waitingopen.h"

#include "network/httphead.h"
#include "network/logging.h"

#include <QThread>

#include <condition_variable>
#include <cstring>
#include <mutex>

namespace network {

namespace {

constexpr auto openCancelPoll = std::chrono::milliseconds(20);

// A body read whole, served as a stream.
class MemoryStream final : public OpenStream
{
public:
    MemoryStream(const QUrl &url, HttpHead head, QByteArray body)
        : m_url(url)
        , m_head(std::move(head))
        , m_body(std::move(body))
    {
    }

    QUrl url() const override { return m_url; }
    QByteArray rawHeader(QByteArrayView name) const override { return m_head.value(name); }
    QList<QByteArray> rawHeaders(QByteArrayView name) const override { return m_head.values(name); }
    qint64 read(char *data, qint64 maxSize) override
    {
        if (m_interrupted) {
            return -1;
        }
        const qint64 n = std::min<qint64>(maxSize, m_body.size() - m_at);
        std::memcpy(data, m_body.constData() + m_at, size_t(std::max<qint64>(n, 0)));
        m_at += std::max<qint64>(n, 0);
        return n;
    }
    void interrupt() override { m_interrupted = true; }
    void stopWhen(const std::atomic<bool> *) override { }

private:
    QUrl m_url;
    HttpHead m_head;
    QByteArray m_body;
    qint64 m_at = 0;
    std::atomic<bool> m_interrupted { false };
};

// What the opening thread and the waiting one share.
struct Opening
{
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    WaitingOpen result;

    void finish(WaitingOpen &&r)
    {
        const std::lock_guard lock(mutex);
        if (!finished) {
            result = std::move(r);
            finished = true;
            done.notify_all();
        }
    }
};

// Lives on the opening thread: starts the fetch and reports its end, or its stream.
void startOn(QObject *context, const QUrl &url, Use use, Reach reach, const Fetch::Headers &headers,
    const FetchLimits &limits, const std::shared_ptr<Opening> &opening)
{
    auto *fetch = new Fetch(use, limits, context);
    QObject::connect(fetch, &Fetch::headReceived, context, [fetch, opening] {
        if (std::unique_ptr<OpenStream> stream = fetch->takeStream()) {
            opening->finish(
                { std::move(stream), FetchError::None, fetch->httpStatus(), fetch->reach() });
        }
        // A coded body is read to its end, and handed on from memory.
    });
    QObject::connect(fetch, &Fetch::finished, context, [fetch, opening](FetchError error) {
        WaitingOpen result;
        result.error = error;
        result.httpStatus = fetch->httpStatus();
        result.reach = fetch->reach();
        if (error == FetchError::None) {
            HttpHead head;
            head.status = fetch->httpStatus();
            for (const QByteArray &name : { QByteArray("Content-Type"), QByteArray("icy-name") }) {
                if (fetch->hasRawHeader(name)) {
                    head.headers.append({ name, fetch->rawHeader(name) });
                }
            }
            result.stream
                = std::make_unique<MemoryStream>(fetch->url(), std::move(head), fetch->takeBody());
        }
        opening->finish(std::move(result));
    });
    fetch->start(url, headers, reach);
}

} // namespace

WaitingOpen openWaiting(const QUrl &url, Use use, Reach reach, const Fetch::Headers &headers,
    const std::atomic<bool> &cancelled, const FetchLimits &limits)
{
    auto opening = std::make_shared<Opening>();
    QThread thread;
    thread.setObjectName(QStringLiteral("opening"));
    auto *context = new QObject;
    context->moveToThread(&thread);
    QObject::connect(&thread, &QThread::finished, context, &QObject::deleteLater);
    thread.start();
    QMetaObject::invokeMethod(
        context, [=] { startOn(context, url, use, reach, headers, limits, opening); });
    {
        std::unique_lock lock(opening->mutex);
        while (!opening->finished && !cancelled) {
            opening->done.wait_for(lock, openCancelPoll);
        }
    }
    // The fetch goes with its thread: a connection not handed on is closed.
    thread.quit();
    thread.wait();
    const std::lock_guard lock(opening->mutex);
    if (!opening->finished) {
        qCDebug(lcFetch) << "open given up:" << shownUrl(url);
        return { nullptr, FetchError::Other, 0, reach };
    }
    if (opening->result.stream) {
        opening->result.stream->stopWhen(&cancelled);
    }
    return std::move(opening->result);
}

} // namespace network
