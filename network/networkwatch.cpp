#include "network/networkwatch.h"

#include "network/logging.h"

#include <QNetworkInformation>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>

#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>
#include <unistd.h>

namespace network {

namespace {

// News that comes together (a link coming up brings its addresses and routes) is one change.
constexpr int settleMs = 200;

} // namespace

NetworkWatch::NetworkWatch(QObject *parent)
    : QObject(parent)
    , m_settle(new QTimer(this))
{
    m_settle->setSingleShot(true);
    m_settle->setInterval(settleMs);
    connect(m_settle, &QTimer::timeout, this, [this] {
        qCDebug(lcFetch) << "the network changed";
        emit changed();
    });
}

NetworkWatch::~NetworkWatch()
{
    stop();
}

void NetworkWatch::start()
{
    if (m_socket >= 0) {
        return;
    }
    // The desktop's word, where Qt has a backend for it (NetworkManager's on most desktops).
    // Loaded once, when first needed; it cannot be unloaded.
    if (!m_informationTried) {
        m_informationTried = true;
        if (QNetworkInformation::loadBackendByFeatures(
                QNetworkInformation::Feature::Reachability)) {
            connect(QNetworkInformation::instance(), &QNetworkInformation::reachabilityChanged,
                this, [this](QNetworkInformation::Reachability reachability) {
                    if (m_socket >= 0
                        && reachability == QNetworkInformation::Reachability::Online) {
                        m_settle->start();
                    }
                });
        }
    }
    const int fd = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC | SOCK_NONBLOCK, NETLINK_ROUTE);
    if (fd < 0) {
        qCInfo(lcFetch) << "no routing messages to watch:" << strerror(errno);
        return;
    }
    sockaddr_nl address {};
    address.nl_family = AF_NETLINK;
    address.nl_groups = RTMGRP_LINK | RTMGRP_IPV4_IFADDR | RTMGRP_IPV6_IFADDR | RTMGRP_IPV4_ROUTE
        | RTMGRP_IPV6_ROUTE;
    if (::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        qCInfo(lcFetch) << "no routing messages to watch:" << strerror(errno);
        ::close(fd);
        return;
    }
    m_socket = fd;
    m_notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &NetworkWatch::readMessages);
}

void NetworkWatch::stop()
{
    m_settle->stop();
    if (m_socket < 0) {
        return;
    }
    delete m_notifier;
    m_notifier = nullptr;
    ::close(m_socket);
    m_socket = -1;
}

// What the messages say is not read: any of them may be the network coming back, and the
// player's next attempt finds out.
void NetworkWatch::readMessages()
{
    char buffer[8192];
    bool any = false;
    for (;;) {
        const ssize_t n = ::recv(m_socket, buffer, sizeof buffer, 0);
        if (n > 0) {
            any = true;
            continue;
        }
        if (n < 0 && errno == ENOBUFS) {
            any = true; // more news than the socket held: news all the same
            continue;
        }
        break;
    }
    if (any && !m_settle->isActive()) {
        m_settle->start();
    }
}

} // namespace network
