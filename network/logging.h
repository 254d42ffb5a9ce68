#pragma once

#include <QLoggingCategory>
#include <QString>
#include <QUrl>

namespace network {

// Diagnostics of the network layer, silent unless turned on, e.g.
// QT_LOGGING_RULES="radio.fetch=true": what was fetched, where redirects led and why a fetch
// ended. Addresses are logged without their passwords.
Q_DECLARE_LOGGING_CATEGORY(lcFetch)

// An address as the diagnostics and the status show it: never with its password.
QString shownUrl(const QUrl &url);

} // namespace network
