#pragma once

#include "network/addressclass.h"
#include "network/fetcherror.h"

#include <QHostAddress>
#include <QList>
#include <QUrl>

#include <atomic>
#include <variant>

namespace network {

// The one reach check: of a host's addresses, those this reach allows, in their order; the
// others are dropped (and logged). A host left with none is refused before anything connects.
QList<QHostAddress> reachable(const QList<QHostAddress> &addresses, Reach reach, const QUrl &url);

// For a connection made outside the HTTP client (MMS over TCP, which libavformat speaks): the
// host looked up from a thread that may wait (it lets go as soon as cancelled is set), and its
// addresses the reach allows; else why not: RefusedReach when the reach allows none (and
// RefusedAddress when the host names no address at all that may be connected to),
// UnknownHost when the host has none, NoAnswer when the lookup takes too long, Other once
// cancelled. An address literal is taken as it is.
std::variant<QList<QHostAddress>, FetchError> reachableAddresses(
    const QUrl &url, Reach reach, const std::atomic<bool> &cancelled);

} // namespace network
