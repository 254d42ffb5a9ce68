#include "network/addressclass.h"

#include <algorithm>

namespace network {

namespace {

bool inV4(quint32 address, quint32 network, int bits)
{
    return (address >> (32 - bits)) == (network >> (32 - bits));
}

constexpr quint32 v4(quint8 a, quint8 b, quint8 c, quint8 d)
{
    return quint32(a) << 24 | quint32(b) << 16 | quint32(c) << 8 | d;
}

AddressClass classOfV4(quint32 a)
{
    if (inV4(a, v4(0, 0, 0, 0), 8)) {
        return AddressClass::Unspecified;
    }
    if (inV4(a, v4(224, 0, 0, 0), 3)) {
        return AddressClass::Unusable; // multicast 224/4 and reserved 240/4
    }
    if (inV4(a, v4(127, 0, 0, 0), 8)) {
        return AddressClass::Loopback;
    }
    if (inV4(a, v4(169, 254, 0, 0), 16)) {
        return AddressClass::LinkLocal;
    }
    if (inV4(a, v4(10, 0, 0, 0), 8) || inV4(a, v4(172, 16, 0, 0), 12)
        || inV4(a, v4(192, 168, 0, 0), 16) || inV4(a, v4(100, 64, 0, 0), 10)) {
        return AddressClass::Private;
    }
    return AddressClass::Public;
}

} // namespace

AddressClass classOf(const QHostAddress &address)
{
    bool v4ok = false;
    const quint32 asV4 = address.toIPv4Address(&v4ok); // also an IPv4-mapped IPv6 address
    if (v4ok) {
        return classOfV4(asV4);
    }
    if (address.protocol() != QAbstractSocket::IPv6Protocol) {
        return AddressClass::Unspecified;
    }
    const Q_IPV6ADDR a = address.toIPv6Address();
    const auto v4At = [&a](int i) { return v4(a[i], a[i + 1], a[i + 2], a[i + 3]); };
    static constexpr quint8 nat64[12] = { 0, 0x64, 0xff, 0x9b };
    if (std::equal(a.c, a.c + 12, nat64)) {
        return classOfV4(v4At(12));
    }
    if (a[0] == 0x20 && a[1] == 0x02) {
        return classOfV4(v4At(2)); // 6to4
    }
    bool zeroes = true;
    for (int i = 0; i < 15; ++i) {
        zeroes = zeroes && a[i] == 0;
    }
    if (zeroes && a[15] == 0) {
        return AddressClass::Unspecified;
    }
    if (zeroes && a[15] == 1) {
        return AddressClass::Loopback;
    }
    if (a[0] == 0xfe && (a[1] & 0xc0) == 0x80) {
        return AddressClass::LinkLocal;
    }
    if (a[0] == 0xff || (a[0] == 0xfe && (a[1] & 0xc0) == 0xc0)) {
        return AddressClass::Unusable; // multicast, site-local
    }
    if ((a[0] & 0xfe) == 0xfc) {
        return AddressClass::Private;
    }
    return AddressClass::Public;
}

Reach reachOf(AddressClass addressClass)
{
    switch (addressClass) {
    case AddressClass::Public:
        return Reach::Public;
    case AddressClass::Private:
    case AddressClass::LinkLocal:
        return Reach::Private;
    case AddressClass::Loopback:
        return Reach::Loopback;
    case AddressClass::Unspecified:
    case AddressClass::Unusable:
        break;
    }
    return Reach::Unset;
}

bool mayReach(Reach reach, AddressClass addressClass)
{
    switch (addressClass) {
    case AddressClass::Unspecified:
    case AddressClass::Unusable:
        return false;
    case AddressClass::Public:
        return true;
    case AddressClass::Private:
    case AddressClass::LinkLocal:
        return reach != Reach::Public;
    case AddressClass::Loopback:
        return reach == Reach::Unset || reach == Reach::Loopback;
    }
    return false;
}

} // namespace network
