#include "network/gate.h"

#include <QString>

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

} // namespace

bool mayOpen(const QUrl &url, Use use)
{
    if (!url.isValid() || url.isRelative() || url.host().isEmpty()) {
        return false;
    }
    if (isHttp(url)) {
        return true;
    }
    return use == Use::Stream
        && hasScheme(url, { QLatin1String("mms"), QLatin1String("mmsh"), QLatin1String("mmst") });
}

bool isHttp(const QUrl &url)
{
    return hasScheme(url, { QLatin1String("http"), QLatin1String("https") });
}

} // namespace network
