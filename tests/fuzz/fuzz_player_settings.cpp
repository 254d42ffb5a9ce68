// Arbitrary settings blocks: either refused with SettingsError or read; what is read writes a
// block that reads back and writes the very same bytes again.
#include "player/view/settings.h"

#include "platform/settingsblock.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArrayView bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    player::MediaPlayerSettings settings;
    try {
        settings = player::decodeMediaPlayerSettings(bytes);
    } catch (const platform::SettingsError &) {
        return 0;
    }
    const QByteArray again = player::encodeMediaPlayerSettings(settings);
    if (player::encodeMediaPlayerSettings(player::decodeMediaPlayerSettings(again)) != again) {
        std::abort();
    }
    return 0;
}
