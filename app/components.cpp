#include "app/startup.h"

#include "animation/flashplayer.h"
#include "platform/components.h"
#include "player/mediaplayer.h"
#include "ui/description.h"

namespace app {

void registerComponents()
{
    platform::registerComponent(ui::mediaPlayerClass, player::createMediaPlayer);
    platform::registerComponent(ui::flashPlayerClass, animation::createFlashPlayer);
}

} // namespace app
