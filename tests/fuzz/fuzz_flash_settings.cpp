// Decodes animation player settings blocks; a block is either read or refused with SettingsError,
// and what is read encodes back to a block that reads the same.
#include "animation/flashsettings.h"

#include "platform/settingsblock.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    try {
        const animation::FlashSettings s = animation::decodeFlashSettings(
            QByteArrayView(reinterpret_cast<const char *>(data), qsizetype(size)));
        const animation::FlashSettings again
            = animation::decodeFlashSettings(animation::encodeFlashSettings(s));
        if (!(again == s)) {
            std::abort();
        }
    } catch (const platform::SettingsError &) {
    }
    return 0;
}
