#include "network/addressclass.h"

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
        break;
    }
    return Reach::Unset;
}

bool mayReach(Reach reach, AddressClass addressClass)
{
    switch (addressClass) {
    case AddressClass::Unspecified:
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
