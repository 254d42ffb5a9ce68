#pragma once

#include <QByteArray>

namespace player {

// Whether a stream may be MPEG audio (MP3, or its layers I and II), which the program decodes
// itself: its content type names MPEG audio or no format at all. A content type of another
// format (AAC, Ogg, ...) rules it out, whatever the bytes.
bool mayBeMpegAudio(const QByteArray &contentType);

// Whether a stream's first bytes are MPEG audio: two frame headers in a row, each where the one
// before says it ends (after an ID3 tag, if one comes first; a tag longer than head counts as
// MPEG audio when the content type named it).
bool isMpegAudio(const QByteArray &contentType, const QByteArray &head);

// The length in bytes of the MPEG audio frame whose 4-byte header starts at header, or 0 when
// it is no valid header.
int mpegFrameLength(const unsigned char *header);

} // namespace player
