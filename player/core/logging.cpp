#include "player/core/logging.h"

namespace player {

// QtFatalMsg as the threshold turns every level off until a logging rule turns it on.
Q_LOGGING_CATEGORY(lcPlayer, "radio.player", QtFatalMsg)
Q_LOGGING_CATEGORY(lcResolver, "radio.resolver", QtFatalMsg)
Q_LOGGING_CATEGORY(lcEngine, "radio.engine", QtFatalMsg)

} // namespace player
