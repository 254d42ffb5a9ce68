#pragma once

#include <QByteArray>

extern "C" {
#include <libavutil/error.h>
}

namespace player {

// libav's words for an AVERROR code, for the engine's diagnostics.
inline QByteArray avErrorText(int error)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(error, text, sizeof text);
    return QByteArray(text);
}

} // namespace player
