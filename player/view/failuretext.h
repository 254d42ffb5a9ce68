#pragma once

#include "player/core/failure.h"

#include <QString>

namespace player {

// The failure in a word or two for the status line, in the user's language ("refused",
// "server error 503", ...). `httpStatus` is the status of a ServerError; other failures ignore it.
QString failureText(Failure failure, int httpStatus = 0);

} // namespace player
