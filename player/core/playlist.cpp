#include "player/core/playlist.h"

#include "player/core/playlistreaders.h"

#include <QStringConverter>
#include <QStringDecoder>

#include <algorithm>

namespace player {

namespace {

bool startsWithBytes(QByteArrayView data, QByteArrayView prefix)
{
    return data.size() >= prefix.size() && data.first(prefix.size()) == prefix;
}

// Drops byte-order marks, blanks and blank lines at the front of a decoded document.

QStringView trimFront(QStringView text)
{
    qsizetype i = 0;
    while (
        i < text.size() && (text[i].isSpace() || text[i] == QChar(0xFEFF) || text[i] == QChar(0))) {
        ++i;
    }
    return text.mid(i);
}

bool isBinary(QByteArrayView head)
{
    // UTF-16 text (with its mark) is not binary.
    if (startsWithBytes(head, "\xFF\xFE") || startsWithBytes(head, "\xFE\xFF")) {
        return false;
    }
    const qsizetype n = std::min<qsizetype>(head.size(), 512);
    for (qsizetype i = 0; i < n; ++i) {
        const auto c = static_cast<unsigned char>(head[i]);
        if (c < 0x20 && c != '\t' && c != '\n' && c != '\r' && c != '\f') {
            return true;
        }
    }
    return false;
}

bool isAudioMagic(QByteArrayView h)
{
    if (startsWithBytes(h, "ID3") || startsWithBytes(h, "OggS") || startsWithBytes(h, "fLaC")
        || startsWithBytes(h, "RIFF") || startsWithBytes(h, "\x1A\x45\xDF\xA3")
        || startsWithBytes(h, "\x30\x26\xB2\x75\x8E\x66\xCF\x11") || startsWithBytes(h, ".RMF")
        || startsWithBytes(h, "#!AMR")) {
        return true;
    }
    if (h.size() >= 8 && h.sliced(4, 4) == QByteArrayView("ftyp")) {
        return true;
    }
    // MPEG audio or ADTS frame sync.
    return h.size() >= 2 && static_cast<unsigned char>(h[0]) == 0xFF
        && (static_cast<unsigned char>(h[1]) & 0xE0) == 0xE0;
}

bool isUrlLine(QStringView line)
{
    const qsizetype colon = line.indexOf(QLatin1String("://"));
    if (colon <= 0 || colon > 10) {
        return false;
    }
    for (qsizetype i = 0; i < colon; ++i) {
        const QChar c = line[i];
        if (!(c.isLetterOrNumber() && c.unicode() < 128) && c != u'+' && c != u'-' && c != u'.') {
            return false;
        }
    }
    return true;
}

PlaylistFormat detectText(QStringView text)
{
    const QStringView t = trimFront(text);
    const auto starts = [&](QLatin1String s) { return t.startsWith(s, Qt::CaseInsensitive); };
    if (starts(QLatin1String("<asx"))) {
        return PlaylistFormat::Asx;
    }
    if (starts(QLatin1String("<?xml")) || starts(QLatin1String("<!--"))) {
        // A declaration or comment first: look for the root within the first few kilobytes.
        const QStringView window = t.first(std::min<qsizetype>(t.size(), 8192));
        if (window.contains(QLatin1String("<asx"), Qt::CaseInsensitive)) {
            return PlaylistFormat::Asx;
        }
        return PlaylistFormat::None;
    }
    if (starts(QLatin1String("[reference]"))) {
        return PlaylistFormat::AsxIni;
    }
    if (starts(QLatin1String("[playlist]"))) {
        return PlaylistFormat::Pls;
    }
    if (starts(QLatin1String("#EXTM3U"))) {
        // An adaptive-streaming index is a stream for the engine, not a list of stations.
        if (t.first(std::min<qsizetype>(t.size(), 4096)).contains(QLatin1String("#EXT-X-"))) {
            return PlaylistFormat::None;
        }
        return PlaylistFormat::M3u;
    }
    // A list of absolute addresses, perhaps with comments, and nothing else.
    bool any = false;
    int seen = 0;
    readers::LineReader reader(t);
    QStringView line;
    while (reader.next(line)) {
        if (line.isEmpty() || line.startsWith(u'#')) {
            continue;
        }
        if (!isUrlLine(line)) {
            return PlaylistFormat::None;
        }
        any = true;
        if (++seen >= 64) {
            break;
        }
    }
    return any ? PlaylistFormat::M3u : PlaylistFormat::None;
}

bool looksLikeHtml(QStringView text)
{
    const QStringView t = trimFront(text);
    for (auto s : { QLatin1String("<!doctype html"), QLatin1String("<html"), QLatin1String("<head"),
             QLatin1String("<body"), QLatin1String("<?xml") }) {
        if (t.startsWith(s, Qt::CaseInsensitive)) {
            return true;
        }
    }
    return t.first(std::min<qsizetype>(t.size(), 1024))
        .contains(QLatin1String("<html"), Qt::CaseInsensitive);
}

// Decodes the bytes of a text document to a string: UTF-8 or UTF-16 by byte-order mark, UTF-8
// when valid, else Latin-1.
QString decodeDocumentText(QByteArrayView bytes)
{
    if (startsWithBytes(bytes, "\xEF\xBB\xBF")) {
        return QString::fromUtf8(bytes.sliced(3));
    }
    if (startsWithBytes(bytes, "\xFF\xFE")) {
        QStringDecoder d(QStringConverter::Utf16LE);
        return d.decode(bytes.sliced(2));
    }
    if (startsWithBytes(bytes, "\xFE\xFF")) {
        QStringDecoder d(QStringConverter::Utf16BE);
        return d.decode(bytes.sliced(2));
    }
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (!utf8.hasError()) {
        return text;
    }
    return QString::fromLatin1(bytes);
}

} // namespace

ContentKind sniffContent(QByteArrayView head)
{
    if (head.isEmpty()) {
        return ContentKind::Empty;
    }
    // A UTF-16 mark looks like an MPEG frame sync; the text behind it decides.
    if ((startsWithBytes(head, "\xFF\xFE") || startsWithBytes(head, "\xFE\xFF"))
        && detectText(decodeDocumentText(head.first(std::min<qsizetype>(head.size(), 16384))))
            != PlaylistFormat::None) {
        return ContentKind::Playlist;
    }
    if (isAudioMagic(head) || isBinary(head)) {
        return ContentKind::Audio;
    }
    const QString text = decodeDocumentText(head.first(std::min<qsizetype>(head.size(), 16384)));
    if (detectText(text) != PlaylistFormat::None) {
        return ContentKind::Playlist;
    }
    if (trimFront(text).startsWith(QLatin1String("#EXTM3U"))) {
        return ContentKind::Audio; // an adaptive-streaming index
    }
    return looksLikeHtml(text) ? ContentKind::Html : ContentKind::Text;
}

Playlist parsePlaylist(QByteArrayView bytes, const QUrl &base)
{
    Playlist list;
    bytes = bytes.first(std::min(bytes.size(), maxPlaylistBytes));
    if (isBinary(bytes)) {
        return list;
    }
    const QString text = decodeDocumentText(bytes);
    list.format = detectText(text);
    switch (list.format) {
    case PlaylistFormat::Asx:
        readers::readAsx(text, base, list);
        break;
    case PlaylistFormat::M3u:
        readers::readM3u(text, base, list);
        break;
    case PlaylistFormat::Pls:
        readers::readKeyValues(text, base, list, false);
        break;
    case PlaylistFormat::AsxIni:
        readers::readKeyValues(text, base, list, true);
        break;
    case PlaylistFormat::None:
        break;
    }
    return list;
}

} // namespace player
