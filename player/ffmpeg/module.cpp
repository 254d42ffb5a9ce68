// The FFmpeg module's entry: the program loads this library the first time a stream needs
// FFmpeg, and asks it for a decoder through the one function below.

#include "player/core/ffmpegmodule.h"
#include "player/core/logging.h"
#include "player/core/networksource.h"
#include "player/ffmpeg/ffdecoder.h"

extern "C" {
#include <libavutil/log.h>
}

extern "C" __attribute__((visibility("default"))) player::Decoder *radioMakeFfDecoder(
    const QUrl &url, std::unique_ptr<player::NetworkSource> source, network::Reach reach,
    player::PulseOutput *output, const std::atomic<bool> &cancelled,
    player::Decoder::Reporter report)
{
    // libav's own messages go to standard error: only when the engine's diagnostics are on.
    av_log_set_level(player::lcEngine().isDebugEnabled() ? AV_LOG_WARNING : AV_LOG_QUIET);
    return new player::FfDecoder(
        url, std::move(source), reach, output, cancelled, std::move(report));
}

// The program's declaration and this definition must agree.
static_assert(std::is_same_v<decltype(&radioMakeFfDecoder), player::MakeFfDecoder>);
