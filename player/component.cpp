#include "player/component.h"

#include "platform/components.h"
#include "player/mediaplayer.h"
#include "player/mpvengine.h"
#include "player/settings.h"

namespace player {

QWidget *createMediaPlayer(QWidget *parent, const QByteArray &settings)
{
    const MediaPlayerSettings decoded
        = settings.isEmpty() ? MediaPlayerSettings {} : decodeMediaPlayerSettings(settings);
    return new MediaPlayer(std::make_unique<MpvEngine>(), decoded, parent);
}

void registerMediaPlayer()
{
    platform::registerComponent(platform::mediaPlayerClass, &createMediaPlayer,
        encodeMediaPlayerSettings(MediaPlayerSettings {}));
}

} // namespace player
