#include "app/startup.h"

#include "platform/components.h"
#include "player/mediaplayer.h"
#include "title/flashplayer.h"

namespace app {

void registerComponents()
{
    platform::registerComponent(platform::mediaPlayerClass, player::createMediaPlayer);
    platform::registerComponent(platform::flashPlayerClass, title::createFlashPlayer);
}

} // namespace app
