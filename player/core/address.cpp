#include "player/core/address.h"

namespace player {

bool isPlayableAddress(const QUrl &url)
{
    if (!url.isValid() || url.isRelative() || url.host().isEmpty()) {
        return false;
    }
    const QString scheme = url.scheme();
    for (const char *allowed : { "http", "https", "mms", "mmsh", "mmst" }) {
        if (scheme.compare(QLatin1String(allowed), Qt::CaseInsensitive) == 0) {
            return true;
        }
    }
    return false;
}

QList<QUrl> engineAddresses(const QUrl &url)
{
    if (url.scheme().compare(QLatin1String("mms"), Qt::CaseInsensitive) == 0) {
        QUrl overHttp = url;
        overHttp.setScheme(QStringLiteral("mmsh"));
        QUrl overTcp = url;
        overTcp.setScheme(QStringLiteral("mmst"));
        return { overHttp, overTcp };
    }
    return { url };
}

} // namespace player
