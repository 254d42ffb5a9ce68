#pragma once

#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QUrl>

namespace player {

// What the first bytes of a response are, judged by content alone.
enum class ContentKind {
    Empty, // nothing yet
    Audio, // a stream or media file (or unknown binary): handed to the engine as it is
    Playlist, // one of the playlist formats read here
    Html, // a web page
    Text, // some other text: not playable
};

enum class PlaylistFormat { None, Asx, AsxIni, M3u, Pls };

// One entry of a playlist: its addresses are alternatives, tried in order until one plays.
// An entry reference names another playlist whose entries take this entry's place.
struct PlaylistEntry
{
    QList<QUrl> refs;
    QString title;
    bool isEntryRef = false;
};

struct Playlist
{
    PlaylistFormat format = PlaylistFormat::None;
    QString title;
    QList<PlaylistEntry> entries;
    // The document names more than maxPlaylistEntries entries: reading stopped at the limit.
    bool tooManyEntries = false;
};

// Limits of the reader: bytes beyond maxPlaylistBytes are ignored (the resolver reads no more of
// a playlist either), reading stops at the first entry past maxPlaylistEntries (the playlist then
// says tooManyEntries), and addresses past maxRefsPerEntry are ignored.
inline constexpr qsizetype maxPlaylistBytes = 256 * 1024;
inline constexpr qsizetype maxPlaylistEntries = 256;
inline constexpr qsizetype maxRefsPerEntry = 16;

// Judges a response by its first bytes (a few hundred are enough; more are fine).
ContentKind sniffContent(QByteArrayView head);

// Reads a playlist leniently: ASX in any tag case, with unescaped ampersands, byte-order marks,
// declarations, comments and blank lines; ASX <ENTRYREF>; M3U with or without its header and
// with any line ends; PLS; and the "[Reference]" form. Relative addresses are resolved against
// `base` (or the ASX <BASE>). Addresses that are not absolute after that are dropped. Never
// throws; anything unreadable yields a playlist without entries.
Playlist parsePlaylist(QByteArrayView bytes, const QUrl &base);

} // namespace player
