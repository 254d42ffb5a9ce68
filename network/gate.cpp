#include "network/gate.h"

#include <QString>

#include <algorithm>
#include <iterator>

namespace network {

namespace {

bool hasScheme(const QUrl &url, std::initializer_list<QLatin1String> schemes)
{
    const QString scheme = url.scheme();
    for (const QLatin1String allowed : schemes) {
        if (scheme.compare(allowed, Qt::CaseInsensitive) == 0) {
            return true;
        }
    }
    return false;
}

// Services whose ports web pages may not reach: a request there could speak to them.
constexpr int refusedPorts[] = { 1, 7, 9, 11, 13, 15, 17, 19, 20, 21, 22, 23, 25, 37, 42, 43, 53,
    69, 77, 79, 87, 95, 101, 102, 103, 104, 109, 110, 111, 113, 115, 117, 119, 123, 135, 137, 139,
    143, 161, 179, 389, 427, 465, 512, 513, 514, 515, 526, 530, 531, 532, 540, 548, 554, 556, 563,
    587, 601, 636, 989, 990, 993, 995, 1719, 1720, 1723, 2049, 3659, 4045, 4190, 5060, 5061, 6000,
    6566, 6665, 6666, 6667, 6668, 6669, 6679, 6697, 10080 };
static_assert(std::is_sorted(std::begin(refusedPorts), std::end(refusedPorts)));

} // namespace

bool mayOpen(const QUrl &url, Use use)
{
    return refusal(url, use) == Refusal::None;
}

Refusal refusal(const QUrl &url, Use use)
{
    if (!url.isValid() || url.isRelative()) {
        return Refusal::NotNetwork;
    }
    const bool scheme = isHttp(url)
        || (use == Use::Stream
            && hasScheme(
                url, { QLatin1String("mms"), QLatin1String("mmsh"), QLatin1String("mmst") }));
    if (!scheme) {
        return Refusal::Scheme;
    }
    if (url.host().isEmpty()) {
        return Refusal::NotNetwork;
    }
    if (std::binary_search(std::begin(refusedPorts), std::end(refusedPorts), portOf(url))) {
        return Refusal::Port;
    }
    return Refusal::None;
}

int portOf(const QUrl &url)
{
    int scheme = -1;
    if (hasScheme(url, { QLatin1String("http"), QLatin1String("mmsh") })) {
        scheme = 80;
    } else if (hasScheme(url, { QLatin1String("https") })) {
        scheme = 443;
    } else if (hasScheme(url, { QLatin1String("mms"), QLatin1String("mmst") })) {
        scheme = 1755;
    }
    return url.port(scheme);
}

bool isHttp(const QUrl &url)
{
    return hasScheme(url, { QLatin1String("http"), QLatin1String("https") });
}

bool isHttps(const QUrl &url)
{
    return hasScheme(url, { QLatin1String("https") });
}

} // namespace network
