#include "player/core/playlistreaders.h"

#include "player/core/titletext.h"

#include <QMap>

#include <algorithm>

namespace player::readers {

namespace {

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

} // namespace

void readAsx(QStringView text, const QUrl &documentBase, Playlist &list)
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

} // namespace player::readers
