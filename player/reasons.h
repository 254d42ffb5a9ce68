#pragma once

#include <QString>

namespace player {

// A failure reason of the resolver or the engine ("refused", "server error 503", ...) in the
// user's language, for the status line. They report their reasons in English; a reason this
// list does not know is shown as it is.
QString reasonText(const QString &reason);

} // namespace player
