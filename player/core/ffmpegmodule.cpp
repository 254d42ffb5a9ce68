#include "player/core/ffmpegmodule.h"

#include "player/core/logging.h"

#include <QFileInfo>
#include <QStringList>

#include <dlfcn.h>
#include <link.h>

#include <mutex>
#include <string>
#include <vector>

namespace player {

namespace {

// The folders the program's own run path names (DT_RUNPATH, $ORIGIN standing for the program's
// folder): the build folder's module folder in a build, the library folder's once installed. Read
// from the program itself, not left to a dlopen() by bare name, which searches the run path of
// whichever library calls it (a sanitizer's, when it wraps dlopen()) and what the environment
// names.
std::vector<std::string> runPath()
{
    std::vector<std::string> folders;
    link_map *program = nullptr;
    void *self = dlopen(nullptr, RTLD_NOW);
    if (!self || dlinfo(self, RTLD_DI_LINKMAP, &program) != 0 || !program || !program->l_ld) {
        return folders;
    }
    const char *strings = nullptr;
    bool hasRunPath = false;
    ElfW(Xword) runPathAt = 0; // in the string table
    for (const ElfW(Dyn) *entry = program->l_ld; entry->d_tag != DT_NULL; ++entry) {
        if (entry->d_tag == DT_STRTAB) {
            strings = reinterpret_cast<const char *>(entry->d_un.d_ptr);
        } else if (entry->d_tag == DT_RUNPATH) {
            hasRunPath = true;
            runPathAt = entry->d_un.d_val;
        }
    }
    if (!strings || !hasRunPath) {
        return folders;
    }
    const QString origin
        = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath().section(u'/', 0, -2);
    const QStringList parts
        = QString::fromLocal8Bit(strings + runPathAt).split(u':', Qt::SkipEmptyParts);
    for (QString folder : parts) {
        folder.replace(QLatin1String("${ORIGIN}"), origin)
            .replace(QLatin1String("$ORIGIN"), origin);
        if (folder.startsWith(u'/')) {
            folders.push_back(folder.toStdString());
        }
    }
    return folders;
}

} // namespace

MakeFfDecoder ffDecoderMaker()
{
    static std::once_flag once;
    static MakeFfDecoder entry = nullptr;
    std::call_once(once, [] {
        void *module = nullptr;
        for (const std::string &folder : runPath()) {
            const std::string path = folder + '/' + RADIO_FFMPEG_MODULE;
            module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
            if (module) {
                break;
            }
            qCDebug(lcEngine) << "no FFmpeg module:" << dlerror();
        }
        if (!module) {
            qCWarning(lcEngine) << "FFmpeg module not found on the program's run path";
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
