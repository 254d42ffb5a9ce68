#include "player/view/component.h"

#include "platform/components.h"
#include "player/core/streamengine.h"
#include "player/view/mediaplayer.h"
#include "player/view/settings.h"

namespace player {

QWidget *createMediaPlayer(QWidget *parent, const QByteArray &settings)
{
    const MediaPlayerSettings decoded
        = settings.isEmpty() ? MediaPlayerSettings {} : decodeMediaPlayerSettings(settings);
    return makeMediaPlayer(std::make_unique<StreamEngine>(), decoded, parent);
}

void registerMediaPlayer()
{
    platform::registerComponent(platform::mediaPlayerClass, &createMediaPlayer,
        encodeMediaPlayerSettings(MediaPlayerSettings {}));
}

} // namespace player
