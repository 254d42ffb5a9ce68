#include "player/ffmpeg/hostcheck.h"

#include "player/core/logging.h"

#include <netdb.h>
#include <sys/socket.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace player {

namespace {

// As long as libavformat waits for a connection of its own (rw_timeout).
constexpr auto lookupTimeout = std::chrono::seconds(10);
constexpr auto cancelPoll = std::chrono::milliseconds(50);

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

std::variant<QList<QHostAddress>, Failure> lookUp(
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
            return Failure::EngineError; // reported to no one
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            qCInfo(lcEngine) << "no address for" << host << "in time";
            return Failure::NoAnswer;
        }
        lookup->done.wait_for(lock, cancelPoll);
    }
    if (lookup->addresses.isEmpty()) {
        qCInfo(lcEngine) << "no address for" << host;
        return Failure::UnknownHost;
    }
    return lookup->addresses;
}

} // namespace

std::variant<QList<QHostAddress>, Failure> reachableAddresses(
    const QUrl &url, network::Reach reach, const std::atomic<bool> &cancelled)
{
    std::variant<QList<QHostAddress>, Failure> found;
    QHostAddress literal;
    if (literal.setAddress(url.host())) {
        found = QList<QHostAddress> { literal };
    } else {
        found = lookUp(url.host(QUrl::FullyEncoded).toLatin1(), cancelled);
    }
    if (const auto *addresses = std::get_if<QList<QHostAddress>>(&found)) {
        for (const QHostAddress &address : *addresses) {
            if (!network::mayReach(reach, address)) {
                qCWarning(lcEngine) << "not reached from this station:" << address.toString()
                                    << "for" << url.toDisplayString(QUrl::RemovePassword);
                return Failure::UnsupportedAddress;
            }
        }
    }
    return found;
}

} // namespace player
