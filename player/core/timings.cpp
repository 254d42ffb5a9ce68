#include "player/core/timings.h"

#include <QtGlobal>

#include <algorithm>

namespace player {

int reconnectDelayMs(int attempt, const PlayerTimings &timings)
{
    qint64 delay = std::max(1, timings.reconnectFirstMs);
    for (int i = 0; i < attempt && delay < timings.reconnectCapMs; ++i) {
        delay *= 2;
    }
    return int(std::min<qint64>(delay, timings.reconnectCapMs));
}

} // namespace player
