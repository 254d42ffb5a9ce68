#pragma once

#include "player/core/failure.h"
#include "player/core/playback.h"

#include <QString>

namespace player {

// The media player's status line for a state of its playback, in the user's language: "Ready",
// "Connecting", "Buffering 40%", ..., "Could not open: refused". `bufferPercent` is used in the
// Buffering state, `failure` and `httpStatus` in the Failed state, and in the Reconnecting state
// when `failureKnown` ("Reconnecting: no answer").
QString statusLine(Playback::State state, int bufferPercent, Failure failure, int httpStatus,
    bool failureKnown = false);

} // namespace player
