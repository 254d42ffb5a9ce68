// Feeds arbitrary bytes to everything that reads network answers: the content sniffer, the
// playlist reader and the title repair.
#include "player/core/playlist.h"
#include "player/core/titletext.h"

#include <QByteArrayView>
#include <QUrl>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArrayView bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    static const QUrl base(QStringLiteral("http://127.0.0.1:8000/dir/list.asx"));

    (void)player::sniffContent(bytes);
    const player::Playlist list = player::parsePlaylist(bytes, base);
    if (list.entries.size() > player::maxPlaylistEntries) {
        std::abort();
    }
    for (const auto &entry : list.entries) {
        if (entry.refs.isEmpty() || entry.refs.size() > player::maxRefsPerEntry) {
            std::abort();
        }
        for (const QUrl &ref : entry.refs) {
            if (!ref.isValid() || ref.isRelative()) {
                std::abort();
            }
        }
    }
    (void)player::repairTitle(bytes.first(std::min<qsizetype>(bytes.size(), 4096)));
    return 0;
}
