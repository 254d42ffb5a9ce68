#pragma once

#include "player/core/decoder.h"

#include <cstdint>
#include <memory>
#include <vector>

struct mpg123_handle_struct;

namespace player {

class NetworkSource;

// An MPEG audio stream (MP3, most stations' format) decoded by libmpg123: light to load and
// to run. Bytes that are no MPEG audio are skipped; a stream that gives no audio in its first
// 256 KiB, or only errors for as long, fails.
class Mp3Decoder : public Decoder
{
public:
    Mp3Decoder(std::unique_ptr<NetworkSource> source, PulseOutput *output,
        const std::atomic<bool> &cancelled, Reporter report);
    ~Mp3Decoder() override;

    void run() override;

private:
    bool decodeFed();
    bool takeFormat();
    void reportLength();

    std::unique_ptr<NetworkSource> m_source;
    mpg123_handle_struct *m_handle = nullptr;
    std::vector<std::uint8_t> m_pending; // decoded, not yet written
    qint64 m_silentBytes = 0; // fed since the last decoded frame
    bool m_lengthKnown = false;
};

} // namespace player
