#pragma once

#include <QHostAddress>

namespace network {

// Where an address leads, as far as the listener's own network is concerned. An IPv6 address
// that carries an IPv4 one is classed as that address: IPv4-mapped (::ffff:0:0/96), NAT64
// (64:ff9b::/96, the last 4 bytes) and 6to4 (2002::/16, bytes 2 to 5).
enum class AddressClass {
    Public, // everything else, the documentation and benchmarking ranges included
    Private, // 10/8, 172.16/12, 192.168/16, 100.64/10 (shared), fc00::/7
    LinkLocal, // 169.254/16, fe80::/10
    Loopback, // 127/8, ::1
    Unspecified, // 0/8 ("this network", 0.0.0.0 among them), :: (and what is no address)
    // Never a stream server's: multicast (224/4, ff00::/8), reserved (240/4, the broadcast
    // 255.255.255.255 among them) and the withdrawn site-local fec0::/10. Like an unspecified
    // address, never reached from any station.
    Unusable,
};

// What a station may lead to: set by the class of the address the first connection of the
// user's pick connected to. A public station leads only to public addresses; a private or
// link-local one also to private and link-local ones; only a station on the listener's own
// machine also to loopback addresses. Unset (nothing connected yet) allows all but unspecified
// and unusable addresses, which are never connected to.
enum class Reach { Unset, Public, Private, Loopback };

AddressClass classOf(const QHostAddress &address);
// The reach a station at an address of this class sets (Unset for an unspecified or unusable
// one).
Reach reachOf(AddressClass addressClass);
bool mayReach(Reach reach, AddressClass addressClass);
inline bool mayReach(Reach reach, const QHostAddress &address)
{
    return mayReach(reach, classOf(address));
}

} // namespace network
