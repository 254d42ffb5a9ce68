#include "app/startup.h"

#include "animation/flashplayer.h"
#include "player/view/component.h"

namespace app {

void registerComponents()
{
    player::registerMediaPlayer();
    animation::registerFlashPlayer();
}

} // namespace app
