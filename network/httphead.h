#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QPair>
#include <QString>

#include <optional>

namespace network {

// The head of an HTTP/1.x answer. Stream servers' own status line ("ICY 200 OK") is read as
// HTTP/1.0.
struct HttpHead
{
    using Headers = QList<QPair<QByteArray, QByteArray>>;

    int status = 0;
    Headers headers; // as sent, in order; names compared case-insensitively

    bool has(QByteArrayView name) const;
    QByteArray value(QByteArrayView name) const; // the first of that name, trimmed
    QList<QByteArray> values(QByteArrayView name) const; // every one of that name, in order
};

// Reads an answer's head from the bytes as they arrive, within bounds: a server that sends an
// endless or malformed head is told apart from one that is merely slow. Interim answers (1xx)
// are skipped, within the same bounds. A header line that is none (no colon, a name that is no
// token, blanks before the colon) is left out, as are the lines that continue it; it still
// counts towards the bounds.
class HttpHeadReader
{
public:
    static constexpr qsizetype maxBytes = 16 * 1024;
    static constexpr int maxLines = 100;

    enum class State { Reading, Done, Bad };

    // Takes bytes up to the end of the head; returns how many of them it took (the rest belong
    // to the body). Once Done or Bad, takes nothing.
    qsizetype feed(QByteArrayView bytes);
    State state() const { return m_state; }
    const HttpHead &head() const { return m_head; }
    const QString &error() const { return m_error; } // why it is Bad

private:
    void takeLine(QByteArrayView line);
    void finishHead();
    void fail(const QString &why);

    State m_state = State::Reading;
    QByteArray m_line; // the line read so far
    QList<QByteArray> m_lines; // of the head being read
    qsizetype m_bytes = 0;
    int m_lineCount = 0;
    HttpHead m_head;
    QString m_error;
};

// A body's length as its head gives it: nullopt without one, -1 for a value that is no length.
std::optional<qint64> contentLengthOf(const HttpHead &head);

} // namespace network
