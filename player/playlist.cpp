#include "player/playlist.h"

#include "player/titletext.h"

#include <QMap>
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
    LineReader reader(t);
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

// Resolves one address of a playlist: trimmed, entities already decoded, relative ones against
// the base. Returns an invalid URL for anything unusable.
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

// A forgiving reader of the tags of a markup document.
class TagScanner
{
public:
    explicit TagScanner(QStringView text)
        : m_text(text)
    {
    }

    struct Tag
    {
        QString name; // lower case, without '/'
        bool closing = false;
        QMap<QString, QString> attributes; // lower-case names
        qsizetype end = 0; // index just past '>'
    };

    // The next tag, skipping text, comments, declarations and processing instructions.
    bool next(Tag &tag)
    {
        while (m_pos < m_text.size()) {
            const qsizetype lt = m_text.indexOf(u'<', m_pos);
            if (lt < 0) {
                m_pos = m_text.size();
                return false;
            }
            if (m_text.sliced(lt).startsWith(QLatin1String("<!--"))) {
                const qsizetype close = m_text.indexOf(QLatin1String("-->"), lt + 4);
                m_pos = close < 0 ? m_text.size() : close + 3;
                continue;
            }
            const qsizetype gt = m_text.indexOf(u'>', lt + 1);
            if (gt < 0) {
                m_pos = m_text.size();
                return false;
            }
            m_pos = gt + 1;
            QStringView body = m_text.sliced(lt + 1, gt - lt - 1).trimmed();
            if (body.isEmpty() || body[0] == u'!' || body[0] == u'?') {
                continue;
            }
            tag = Tag {};
            tag.end = m_pos;
            if (body[0] == u'/') {
                tag.closing = true;
                body = body.mid(1).trimmed();
            }
            if (body.endsWith(u'/')) {
                body.chop(1);
            }
            qsizetype i = 0;
            while (i < body.size() && !body[i].isSpace()) {
                ++i;
            }
            tag.name = body.first(i).toString().toLower();
            parseAttributes(body.mid(i), tag.attributes);
            return true;
        }
        return false;
    }

    // The text from `from` up to the next tag, entities decoded.
    QString textFrom(qsizetype from) const
    {
        qsizetype lt = m_text.indexOf(u'<', from);
        if (lt < 0) {
            lt = m_text.size();
        }
        return decodeCharacterReferences(m_text.sliced(from, lt - from)).simplified();
    }

private:
    static void parseAttributes(QStringView s, QMap<QString, QString> &out)
    {
        qsizetype i = 0;
        const qsizetype n = s.size();
        while (i < n) {
            while (i < n && s[i].isSpace()) {
                ++i;
            }
            const qsizetype nameStart = i;
            while (i < n && !s[i].isSpace() && s[i] != u'=') {
                ++i;
            }
            const QString name = s.sliced(nameStart, i - nameStart).toString().toLower();
            while (i < n && s[i].isSpace()) {
                ++i;
            }
            QString value;
            if (i < n && s[i] == u'=') {
                ++i;
                while (i < n && s[i].isSpace()) {
                    ++i;
                }
                if (i < n && (s[i] == u'"' || s[i] == u'\'')) {
                    const QChar quote = s[i++];
                    qsizetype close = s.indexOf(quote, i);
                    if (close < 0) {
                        close = n;
                    }
                    value = decodeCharacterReferences(s.sliced(i, close - i));
                    i = std::min(close + 1, n);
                } else {
                    const qsizetype start = i;
                    while (i < n && !s[i].isSpace()) {
                        ++i;
                    }
                    value = decodeCharacterReferences(s.sliced(start, i - start));
                }
            }
            if (!name.isEmpty() && !out.contains(name)) {
                out.insert(name, value);
            }
            if (i == nameStart) {
                ++i;
            }
        }
    }

    QStringView m_text;
    qsizetype m_pos = 0;
};

void parseAsx(QStringView text, const QUrl &documentBase, Playlist &list)
{
    TagScanner scanner(text);
    TagScanner::Tag tag;
    QUrl base = documentBase;
    PlaylistEntry current;
    bool inEntry = false;
    int depth = 0; // tags that may hold a title: 0 the document, 1 an entry
    while (!list.tooManyEntries && scanner.next(tag)) {
        if (tag.name == QLatin1String("entry")) {
            if (inEntry) {
                addEntry(list, std::move(current));
            }
            current = {};
            inEntry = !tag.closing;
            depth = inEntry ? 1 : 0;
        } else if (tag.name == QLatin1String("ref") && !tag.closing) {
            if (inEntry && current.refs.size() >= maxRefsPerEntry) {
                continue; // no room for another alternative: not worth reading
            }
            const QUrl url = resolveRef(tag.attributes.value(QStringLiteral("href")), base);
            if (inEntry) {
                addRef(current, url);
            } else {
                // A reference outside any entry plays as an entry of its own.
                PlaylistEntry lone;
                addRef(lone, url);
                addEntry(list, std::move(lone));
            }
        } else if (tag.name == QLatin1String("entryref") && !tag.closing) {
            PlaylistEntry ref;
            ref.isEntryRef = true;
            addRef(ref, resolveRef(tag.attributes.value(QStringLiteral("href")), base));
            if (inEntry) {
                addEntry(list, std::move(current));
                current = {};
                inEntry = false;
            }
            addEntry(list, std::move(ref));
        } else if (tag.name == QLatin1String("base") && !tag.closing) {
            const QUrl b = resolveRef(tag.attributes.value(QStringLiteral("href")), documentBase);
            if (b.isValid()) {
                base = b;
            }
        } else if (tag.name == QLatin1String("title") && !tag.closing) {
            const QString title = scanner.textFrom(tag.end);
            if (depth == 1 && current.title.isEmpty()) {
                current.title = title;
            } else if (depth == 0 && list.title.isEmpty()) {
                list.title = title;
            }
        }
    }
    if (inEntry) {
        addEntry(list, std::move(current));
    }
}

void parseM3u(QStringView text, const QUrl &base, Playlist &list)
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
void parseKeyValues(QStringView text, const QUrl &base, Playlist &list, bool reference)
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

} // namespace

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

PlaylistFormat detectPlaylistFormat(QByteArrayView bytes)
{
    bytes = bytes.first(std::min(bytes.size(), maxPlaylistBytes));
    if (isBinary(bytes)) {
        return PlaylistFormat::None;
    }
    return detectText(decodeDocumentText(bytes));
}

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
        parseAsx(text, base, list);
        break;
    case PlaylistFormat::M3u:
        parseM3u(text, base, list);
        break;
    case PlaylistFormat::Pls:
        parseKeyValues(text, base, list, false);
        break;
    case PlaylistFormat::AsxIni:
        parseKeyValues(text, base, list, true);
        break;
    case PlaylistFormat::None:
        break;
    }
    return list;
}

} // namespace player
