#pragma once

#include <QLoggingCategory>

namespace player {

// Diagnostics of the player, silent unless turned on, e.g. QT_LOGGING_RULES="radio.*=true":
// radio.player (states and why a station failed), radio.resolver (candidates tried and why
// each failed), radio.engine (what the sound engine opened, decoded and played, and why a stream
// ended).
Q_DECLARE_LOGGING_CATEGORY(lcPlayer)
Q_DECLARE_LOGGING_CATEGORY(lcResolver)
Q_DECLARE_LOGGING_CATEGORY(lcEngine)

} // namespace player
