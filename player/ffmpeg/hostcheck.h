#pragma once

#include "network/addressclass.h"
#include "player/core/failure.h"

#include <QHostAddress>
#include <QList>
#include <QUrl>

#include <atomic>
#include <variant>

namespace player {

// For addresses libavformat connects to itself (MMS, and a demuxer's nested opens): the host's
// addresses, looked up on the caller's behalf (its thread waits, but lets go as soon as
// cancelled is set), when every one of them is an address the reach allows; else the failure:
// UnsupportedAddress when one is not, UnknownHost when the host has none, NoAnswer when the
// lookup takes too long (and EngineError, reported to no one, once cancelled). An address
// literal is taken as it is.
std::variant<QList<QHostAddress>, Failure> reachableAddresses(
    const QUrl &url, network::Reach reach, const std::atomic<bool> &cancelled);

} // namespace player
