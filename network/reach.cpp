#include "network/reach.h"

#include "network/logging.h"

#include <netdb.h>
#include <sys/socket.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace network {

namespace {

// As long as a connection's first byte may take.
constexpr auto lookupTimeout = std::chrono::seconds(5);
constexpr auto lookupCancelPoll = std::chrono::milliseconds(20);

// The lookup's result, shared with the thread that makes it: a caller that stops waiting (once
// cancelled) leaves it to that thread, which ends with the lookup.
struct Lookup
{
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    QList<QHostAddress> addresses;
};

QList<QHostAddress> addressesOf(const QByteArray &host)
{
    addrinfo hints {};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *found = nullptr;
    QList<QHostAddress> addresses;
    if (getaddrinfo(host.constData(), nullptr, &hints, &found) != 0) {
        return addresses;
    }
    for (const addrinfo *a = found; a; a = a->ai_next) {
        const QHostAddress address(a->ai_addr);
        if (!address.isNull() && !addresses.contains(address)) {
            addresses.append(address);
        }
    }
    freeaddrinfo(found);
    return addresses;
}

std::variant<QList<QHostAddress>, FetchError> lookUp(
    const QByteArray &host, const std::atomic<bool> &cancelled)
{
    auto lookup = std::make_shared<Lookup>();
    std::thread([lookup, host] {
        QList<QHostAddress> addresses = addressesOf(host);
        const std::lock_guard lock(lookup->mutex);
        lookup->addresses = std::move(addresses);
        lookup->finished = true;
        lookup->done.notify_all();
    }).detach();
    const auto deadline = std::chrono::steady_clock::now() + lookupTimeout;
    std::unique_lock lock(lookup->mutex);
    while (!lookup->finished) {
        if (cancelled) {
            return FetchError::Other;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            qCInfo(lcFetch) << "no address for" << host << "in time";
            return FetchError::NoAnswer;
        }
        lookup->done.wait_for(lock, lookupCancelPoll);
    }
    if (lookup->addresses.isEmpty()) {
        qCInfo(lcFetch) << "no address for" << host;
        return FetchError::UnknownHost;
    }
    return lookup->addresses;
}

} // namespace

QList<QHostAddress> reachable(const QList<QHostAddress> &addresses, Reach reach, const QUrl &url)
{
    QList<QHostAddress> kept;
    for (const QHostAddress &address : addresses) {
        if (mayReach(reach, address)) {
            kept.append(address);
        } else {
            qCInfo(lcFetch) << "not reached from this station:" << address.toString() << "for"
                            << shownUrl(url);
        }
    }
    return kept;
}

std::variant<QList<QHostAddress>, FetchError> reachableAddresses(
    const QUrl &url, Reach reach, const std::atomic<bool> &cancelled)
{
    QHostAddress literal;
    std::variant<QList<QHostAddress>, FetchError> found;
    if (literal.setAddress(url.host())) {
        found = QList<QHostAddress> { literal };
    } else {
        found = lookUp(url.host(QUrl::FullyEncoded).toLatin1(), cancelled);
    }
    if (const auto *addresses = std::get_if<QList<QHostAddress>>(&found)) {
        QList<QHostAddress> kept = reachable(*addresses, reach, url);
        if (kept.isEmpty()) {
            return reach == Reach::Unset ? FetchError::RefusedAddress : FetchError::RefusedReach;
        }
        return kept;
    }
    return found;
}

} // namespace network
