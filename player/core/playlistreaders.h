#pragma once

// The playlist readers' common parts, inside the player library only: the line reader that
// detection shares with them, the bounds on what a reader keeps, and one reader per format.

#include "player/core/playlist.h"

#include <QString>
#include <QStringView>
#include <QUrl>

namespace player::readers {

// Hands out the lines of a text one at a time, trimmed, so that a reader that stops early does
// no work for the rest.
class LineReader
{
public:
    explicit LineReader(QStringView text)
        : m_text(text)
    {
    }

    bool next(QStringView &line)
    {
        if (m_pos > m_text.size()) {
            return false;
        }
        qsizetype end = m_pos;
        while (end < m_text.size() && m_text[end] != u'\n' && m_text[end] != u'\r') {
            ++end;
        }
        line = m_text.sliced(m_pos, end - m_pos).trimmed();
        m_pos = end + 1;
        return true;
    }

private:
    QStringView m_text;
    qsizetype m_pos = 0;
};

// Resolves one address of a playlist: trimmed, entities already decoded, relative ones against
// the base. Returns an invalid URL for anything unusable.
QUrl resolveRef(QString text, const QUrl &base);

// Adds an entry that has an address, while the list has room; past the limit the list says
// tooManyEntries.
void addEntry(Playlist &list, PlaylistEntry entry);
// The list holds as many entries as it may.
bool isFull(const Playlist &list);
// Adds a valid address while the entry has room for another alternative.
void addRef(PlaylistEntry &entry, const QUrl &url);

// ASX, in any tag case, with unescaped ampersands, comments, <BASE> and <ENTRYREF>.
void readAsx(QStringView text, const QUrl &documentBase, Playlist &list);
// M3U with or without its header, with #EXTINF titles.
void readM3u(QStringView text, const QUrl &base, Playlist &list);
// PLS, and with `reference` the "[Reference]" form, whose addresses are alternatives of one entry.
void readKeyValues(QStringView text, const QUrl &base, Playlist &list, bool reference);

} // namespace player::readers
