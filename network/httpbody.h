#pragma once

#include "network/httphead.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace network {

// Takes an answer's body out of its framing: a length given ahead, chunks (their size lines and
// trailers bounded), or everything until the server closes. What it decodes is never more than
// what it was given.
class HttpBodyDecoder
{
public:
    enum class Framing { Length, Chunked, UntilClose };
    enum class State { Reading, Done, Bad };

    void start(Framing framing, qint64 length = 0);

    // Appends the body bytes among `in` to `out`; returns how many of `in` were taken (all of
    // them, unless the body ended or went bad within them).
    qsizetype decode(QByteArrayView in, QByteArray &out);
    State state() const { return m_state; }
    const QString &error() const { return m_error; }
    Framing framing() const { return m_framing; }

private:
    enum class Step { Size, Data, DataEnd, Trailer };

    bool takeLine(QByteArrayView &in, qsizetype &taken);
    void onLine();
    void fail(const QString &why);

    Framing m_framing = Framing::UntilClose;
    State m_state = State::Reading;
    Step m_step = Step::Size;
    qint64 m_left = 0; // of the length, or of the chunk
    QByteArray m_line;
    int m_trailerLines = 0;
    QString m_error;
};

// The framing an answer's Transfer-Encoding gives its body, read as one comma-separated list over
// every line of that name: Chunked when the list ends in chunked after nothing but identity,
// None when it holds nothing but identity (or there is none: the length or the close frames the
// body), NotUnderstood for anything else (another coding, chunked not last or twice).
enum class TransferCoding { None, Chunked, NotUnderstood };
TransferCoding transferCodingOf(const HttpHead &head);

} // namespace network
