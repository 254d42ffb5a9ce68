#pragma once

#include "network/addressclass.h"
#include "player/core/decoder.h"

#include <QUrl>

#include <atomic>
#include <memory>

namespace player {

class NetworkSource;

// FFmpeg (libavformat, libavcodec, libswresample and what they bring, some ninety libraries)
// is loaded only for the streams that need it: every format but MP3. Its module, built beside
// the program, reaches the program's own code (the decoder's output, the network layer with its
// gate, reach and fetch) through the symbols the program exports.

// The module's one entry: a decoder of the stream on source (a connection the program opened:
// HTTP(S), or MMS over HTTP), or of url itself when source is null (MMS over TCP, which
// libavformat speaks, to an address the station's reach allows).
using MakeFfDecoder
    = Decoder *(*)(const QUrl &url, std::unique_ptr<NetworkSource> source, network::Reach reach,
        PulseOutput *output, const std::atomic<bool> &cancelled, Decoder::Reporter report);
inline constexpr char ffDecoderEntry[] = "radioMakeFfDecoder";

// The entry, the module loaded on the first call (from any thread); null when it cannot be.
MakeFfDecoder ffDecoderMaker();

} // namespace player
