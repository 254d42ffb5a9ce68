#include "app/startup.h"

#include "animation/flashplayer.h"
#include "platform/components.h"
#include "player/mediaplayer.h"
#include "player/settings.h"

namespace app {

void registerComponents()
{
    // The media player's stored settings are those its own codec writes from its defaults; Form1
    // stores no block of its own for it.
    platform::registerComponent(platform::mediaPlayerClass, player::createMediaPlayer,
        player::encodeMediaPlayerSettings(player::MediaPlayerSettings {}));
    animation::registerFlashPlayer();
}

} // namespace app
