#pragma once

#include "network/addressclass.h"
#include "network/openstream.h"
#include "player/core/failure.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>

namespace player {

// What the ASF header tells an MMS client: the size every data packet is padded to, and the
// numbers of the streams to ask for.
struct AsfHeaderInfo
{
    int packetSize = 0;
    QList<int> streams;
};
// Of a whole ASF header object; nullopt when it is none or names no fixed packet size.
std::optional<AsfHeaderInfo> asfHeaderInfo(QByteArrayView header);

// Takes MMS-over-HTTP framing apart as the bytes arrive: chunks of a 4-byte head ($H the ASF
// header, $D a data packet, $E the end, $C a change of stream) and a short extended head, each
// bounded by its 16-bit length. Gives out the ASF file the demuxer reads: the header, then each
// packet padded to the header's packet size.
class MmshFraming
{
public:
    enum class State { Reading, Ended, Bad };
    static constexpr qsizetype maxHeaderBytes = 1024 * 1024;

    // Takes all of `in`, appending the ASF bytes it completes to `out` (never more than the
    // input plus the padding of the packets it ends); nothing once Ended or Bad.
    void feed(QByteArrayView in, QByteArray &out);
    State state() const { return m_state; }
    // The header, once the first data packet (or the end) arrived after it.
    const std::optional<AsfHeaderInfo> &header() const { return m_info; }
    const QByteArray &headerBytes() const { return m_header; }

private:
    void endChunk(QByteArray &out);
    bool startData(QByteArray &out);

    State m_state = State::Reading;
    QByteArray m_head; // the chunk's heads, as far as they came
    int m_type = 0;
    qsizetype m_headBytes = 4;
    qsizetype m_left = 0; // of the chunk's payload
    QByteArray m_payload;
    QByteArray m_header;
    std::optional<AsfHeaderInfo> m_info;
};

// MMS over HTTP, spoken on the program's own connections: one request for the header (which
// names the streams), one to play them. Every connection is the network layer's: the gate,
// the reach, redirects and bounds as for any stream.
struct MmshOpen
{
    std::unique_ptr<network::OpenStream> stream; // the ASF file, as the demuxer reads it
    std::optional<Failure> failure;
    network::Reach reach = network::Reach::Unset;
};
MmshOpen openMmsh(const QUrl &url, network::Reach reach, const std::atomic<bool> &cancelled);

} // namespace player
