#include "player/core/playlistreaders.h"

#include <utility>

namespace player::readers {

QUrl resolveRef(QString text, const QUrl &base)
{
    text = text.trimmed();
    if (text.isEmpty() || text.size() > 4096) {
        return {};
    }
    QUrl url(text, QUrl::TolerantMode);
    if (!url.isValid()) {
        return {};
    }
    if (url.isRelative()) {
        if (!base.isValid() || base.isRelative()) {
            return {};
        }
        url = base.resolved(url);
    }
    if (url.scheme().isEmpty() || (url.host().isEmpty() && url.scheme() != QLatin1String("file"))) {
        return {};
    }
    return url;
}

void addEntry(Playlist &list, PlaylistEntry entry)
{
    if (entry.refs.isEmpty()) {
        return;
    }
    if (list.entries.size() < maxPlaylistEntries) {
        list.entries.append(std::move(entry));
    } else {
        list.tooManyEntries = true;
    }
}

bool isFull(const Playlist &list)
{
    return list.tooManyEntries || list.entries.size() >= maxPlaylistEntries;
}

void addRef(PlaylistEntry &entry, const QUrl &url)
{
    if (url.isValid() && entry.refs.size() < maxRefsPerEntry) {
        entry.refs.append(url);
    }
}

} // namespace player::readers
