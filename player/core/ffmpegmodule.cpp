#include "player/core/ffmpegmodule.h"

#include "player/core/logging.h"

#include <dlfcn.h>

#include <mutex>

namespace player {

MakeFfDecoder ffDecoderMaker()
{
    static std::once_flag once;
    static MakeFfDecoder entry = nullptr;
    std::call_once(once, [] {
        // Found on the program's run path (the build folder, or the installed program's own
        // library folder): dlopen() called from the program's code searches the program's.
        void *module = dlopen(RADIO_FFMPEG_MODULE, RTLD_NOW | RTLD_LOCAL);
        if (!module) {
            qCWarning(lcEngine) << "FFmpeg module not loaded:" << dlerror();
            return;
        }
        entry = reinterpret_cast<MakeFfDecoder>(dlsym(module, ffDecoderEntry));
        if (!entry) {
            qCWarning(lcEngine) << "FFmpeg module without its entry:" << dlerror();
        }
    });
    return entry;
}

} // namespace player
