#include "app/startup.h"

#include "platform/components.h"
#include "player/component.h"
#include "title/flashplayer.h"
#include "ui/description.h"

namespace app {

void registerComponents()
{
    platform::registerComponent(ui::mediaPlayerClass, player::createMediaPlayer);
    platform::registerComponent(ui::flashPlayerClass, title::createFlashPlayer);
}

} // namespace app
