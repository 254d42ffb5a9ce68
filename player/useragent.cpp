#include "player/useragent.h"

namespace player {

const char *userAgent()
{
    return "TarvelinRadio/1.0";
}

} // namespace player
