#include "network/logging.h"

namespace network {

// QtFatalMsg as the threshold turns every level off until a logging rule turns it on.
Q_LOGGING_CATEGORY(lcFetch, "radio.fetch", QtFatalMsg)

QString shownUrl(const QUrl &url)
{
    return url.toDisplayString(QUrl::RemovePassword);
}

} // namespace network
