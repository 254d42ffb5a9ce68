#include "network/httphead.h"

#include <algorithm>
#include <cstring>

namespace network {

namespace {

bool isToken(QByteArrayView name)
{
    return !name.isEmpty() && std::all_of(name.begin(), name.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u > 0x20 && u < 0x7f && !std::strchr("()<>@,;:\\\"/[]?={}", c);
    });
}

// "HTTP/1.1 200 OK", "HTTP/1.0 404", "ICY 200 OK": the status, or 0.
int statusOf(QByteArrayView line)
{
    const qsizetype space = line.indexOf(' ');
    if (space < 0) {
        return 0;
    }
    const QByteArrayView version = line.first(space);
    const bool http = version.size() == 8 && version.startsWith("HTTP/1.") && version[7] >= '0'
        && version[7] <= '9';
    if (!http && version != "ICY") {
        return 0;
    }
    const QByteArrayView rest = line.sliced(space + 1);
    if (rest.size() < 3 || (rest.size() > 3 && rest[3] != ' ')) {
        return 0;
    }
    int status = 0;
    for (char c : rest.first(3)) {
        if (c < '0' || c > '9') {
            return 0;
        }
        status = status * 10 + (c - '0');
    }
    return status >= 100 && status <= 599 ? status : 0;
}

} // namespace

bool HttpHead::has(QByteArrayView name) const
{
    return std::any_of(headers.cbegin(), headers.cend(),
        [name](const auto &h) { return h.first.compare(name, Qt::CaseInsensitive) == 0; });
}

QByteArray HttpHead::value(QByteArrayView name) const
{
    for (const auto &[key, value] : headers) {
        if (key.compare(name, Qt::CaseInsensitive) == 0) {
            return value;
        }
    }
    return {};
}

QList<QByteArray> HttpHead::values(QByteArrayView name) const
{
    QList<QByteArray> all;
    for (const auto &[key, value] : headers) {
        if (key.compare(name, Qt::CaseInsensitive) == 0) {
            all.append(value);
        }
    }
    return all;
}

qsizetype HttpHeadReader::feed(QByteArrayView bytes)
{
    qsizetype taken = 0;
    while (m_state == State::Reading && taken < bytes.size()) {
        const QByteArrayView rest = bytes.sliced(taken);
        const qsizetype room = maxBytes - m_bytes;
        const qsizetype end = rest.first(std::min(rest.size(), room)).indexOf('\n');
        if (end < 0) {
            const qsizetype n = std::min(rest.size(), room);
            m_line += rest.first(n);
            m_bytes += n;
            taken += n;
            if (m_bytes >= maxBytes) {
                fail(QStringLiteral("head longer than %1 bytes").arg(maxBytes));
            }
            break;
        }
        m_line += rest.first(end);
        m_bytes += end + 1;
        taken += end + 1;
        if (m_line.endsWith('\r')) {
            m_line.chop(1);
        }
        takeLine(std::exchange(m_line, {}));
    }
    return taken;
}

void HttpHeadReader::takeLine(QByteArrayView line)
{
    if (++m_lineCount > maxLines) {
        fail(QStringLiteral("head of more than %1 lines").arg(maxLines));
        return;
    }
    if (!line.isEmpty()) {
        m_lines.append(line.toByteArray());
        return;
    }
    if (m_lines.isEmpty()) {
        fail(QStringLiteral("no status line"));
        return;
    }
    finishHead();
}

void HttpHeadReader::finishHead()
{
    HttpHead head;
    head.status = statusOf(m_lines.first());
    if (head.status == 0) {
        fail(QStringLiteral("not an HTTP status line: %1")
                 .arg(QString::fromLatin1(m_lines.first().left(80))));
        return;
    }
    bool skipping = true; // the line before was left out (or there was none)
    for (qsizetype i = 1; i < m_lines.size(); ++i) {
        const QByteArray &line = m_lines.at(i);
        if (line.front() == ' ' || line.front() == '\t') {
            // A value continued on the next line.
            if (!skipping) {
                QByteArray &value = head.headers.last().second;
                value = (value + ' ' + line.trimmed()).trimmed();
            }
            continue;
        }
        // "Name : value" is left out, not taken as Name: guessing could read another answer
        // than a proxy on the way did.
        const qsizetype colon = line.indexOf(':');
        skipping = colon <= 0 || !isToken(QByteArrayView(line).first(colon));
        if (!skipping) {
            head.headers.append({ line.left(colon), line.mid(colon + 1).trimmed() });
        }
    }
    m_lines.clear();
    if (head.status < 200) {
        return; // an interim answer: the real one follows
    }
    m_head = std::move(head);
    m_state = State::Done;
}

void HttpHeadReader::fail(const QString &why)
{
    m_state = State::Bad;
    m_error = why;
    m_lines.clear();
    m_line.clear();
}

std::optional<qint64> contentLengthOf(const HttpHead &head)
{
    std::optional<qint64> length;
    for (const auto &[key, value] : head.headers) {
        if (key.compare("Content-Length", Qt::CaseInsensitive) != 0) {
            continue;
        }
        bool ok = false;
        const qint64 n = value.toLongLong(&ok);
        const bool digits = !value.isEmpty()
            && std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; });
        if (!ok || !digits || (length && *length != n)) {
            return -1;
        }
        length = n;
    }
    return length;
}

} // namespace network
