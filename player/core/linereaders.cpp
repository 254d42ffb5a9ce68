#include "player/core/playlistreaders.h"

#include <QMap>

#include <utility>

namespace player::readers {

void readM3u(QStringView text, const QUrl &base, Playlist &list)
{
    QString pendingTitle;
    LineReader reader(text);
    QStringView line;
    while (!list.tooManyEntries && reader.next(line)) {
        if (line.isEmpty()) {
            continue;
        }
        if (line.startsWith(u'#')) {
            if (line.startsWith(QLatin1String("#EXTINF:"), Qt::CaseInsensitive)) {
                const qsizetype comma = line.indexOf(u',');
                pendingTitle = comma >= 0 ? line.mid(comma + 1).trimmed().toString() : QString();
            }
            continue;
        }
        if (isFull(list)) {
            // One more entry than may be kept: the address need not be read.
            list.tooManyEntries = true;
            break;
        }
        PlaylistEntry entry;
        entry.title = std::exchange(pendingTitle, QString());
        addRef(entry, resolveRef(line.toString(), base));
        addEntry(list, std::move(entry));
    }
}

// PLS and the "[Reference]" form are both key=value lists.
void readKeyValues(QStringView text, const QUrl &base, Playlist &list, bool reference)
{
    QMap<int, QString> files;
    QMap<int, QString> titles;
    const QLatin1String fileKey = reference ? QLatin1String("ref") : QLatin1String("file");
    LineReader reader(text);
    QStringView line;
    while (!list.tooManyEntries && reader.next(line)) {
        const qsizetype eq = line.indexOf(u'=');
        if (eq <= 0) {
            continue;
        }
        const QStringView key = line.first(eq).trimmed();
        const QString value = line.mid(eq + 1).trimmed().toString();
        for (const QLatin1String prefix : { fileKey, QLatin1String("title") }) {
            if (key.size() > prefix.size() && key.startsWith(prefix, Qt::CaseInsensitive)) {
                bool ok = false;
                const int n = key.mid(prefix.size()).toInt(&ok);
                if (!ok || n < 0) {
                    continue;
                }
                QMap<int, QString> &into = prefix == fileKey ? files : titles;
                if (into.size() >= maxPlaylistEntries && !into.contains(n)) {
                    list.tooManyEntries = true;
                    break;
                }
                into.insert(n, value);
            }
        }
    }
    if (reference) {
        // The references are alternatives of one another.
        PlaylistEntry entry;
        for (const QString &ref : std::as_const(files)) {
            addRef(entry, resolveRef(ref, base));
        }
        addEntry(list, std::move(entry));
        return;
    }
    for (auto it = files.cbegin(); it != files.cend(); ++it) {
        PlaylistEntry entry;
        entry.title = titles.value(it.key());
        addRef(entry, resolveRef(it.value(), base));
        addEntry(list, std::move(entry));
    }
}

} // namespace player::readers
