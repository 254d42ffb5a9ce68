#pragma once

#include <QByteArray>

#include <memory>

struct z_stream_s;

namespace network {

// Undoes a body's content coding (gzip, deflate) a bounded step at a time: what a step makes is
// bounded by the caller, however little input it takes (a small body may inflate to gigabytes).
class Inflater
{
public:
    enum class Coding { Gzip, Deflate };
    enum class State { Reading, Done, Bad };

    explicit Inflater(Coding coding);
    ~Inflater();
    Inflater(const Inflater &) = delete;
    Inflater &operator=(const Inflater &) = delete;

    // Inflates from the front of `input` (removing what it used) and appends at most maxOut
    // bytes to `out`.
    void inflate(QByteArray &input, QByteArray &out, qint64 maxOut);
    State state() const { return m_state; }

private:
    bool begin(const QByteArray &input);

    Coding m_coding;
    std::unique_ptr<z_stream_s> m_stream;
    bool m_begun = false;
    State m_state = State::Reading;
};

} // namespace network
