#include "player/core/mpegaudio.h"

#include <QList>

namespace player {

namespace {

// kbit/s by bit rate index 1 to 14: MPEG-1 layers I, II, III; MPEG-2 and 2.5 layer I, II and III.
constexpr int bitRates[5][14] = {
    { 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448 },
    { 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384 },
    { 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320 },
    { 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256 },
    { 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160 },
};
constexpr int sampleRates[3] = { 44100, 48000, 32000 }; // MPEG-1; halved for 2, quartered for 2.5

// An ID3v2 tag's whole length (header, body, footer), or 0 when head does not start with one.
qsizetype id3Length(const QByteArray &head)
{
    if (head.size() < 10 || !head.startsWith("ID3")) {
        return 0;
    }
    const auto *h = reinterpret_cast<const unsigned char *>(head.constData());
    if ((h[6] | h[7] | h[8] | h[9]) & 0x80) {
        return 0;
    }
    const qsizetype body = (qsizetype(h[6]) << 21) | (h[7] << 14) | (h[8] << 7) | h[9];
    return 10 + body + ((h[5] & 0x10) ? 10 : 0);
}

QByteArray mediaType(const QByteArray &contentType)
{
    return contentType.split(';').first().trimmed().toLower();
}

bool isMpegType(const QByteArray &type)
{
    return type == "audio/mpeg" || type == "audio/mp3" || type == "audio/x-mpeg"
        || type == "audio/mpeg3" || type == "audio/x-mp3";
}

} // namespace

int mpegFrameLength(const unsigned char *h)
{
    if (h[0] != 0xff || (h[1] & 0xe0) != 0xe0) {
        return 0;
    }
    const int version = (h[1] >> 3) & 3; // 0: 2.5, 1: reserved, 2: 2, 3: 1
    const int layer = 4 - ((h[1] >> 1) & 3); // 4: reserved (and AAC's ADTS)
    const int rateIndex = h[2] >> 4;
    const int frequencyIndex = (h[2] >> 2) & 3;
    if (version == 1 || layer == 4 || rateIndex == 0 || rateIndex == 15 || frequencyIndex == 3) {
        return 0;
    }
    const bool mpeg1 = version == 3;
    const int table = mpeg1 ? layer - 1 : (layer == 1 ? 3 : 4);
    const int bitRate = bitRates[table][rateIndex - 1] * 1000;
    const int sampleRate = sampleRates[frequencyIndex] >> (mpeg1 ? 0 : (version == 2 ? 1 : 2));
    const int padding = (h[2] >> 1) & 1;
    if (layer == 1) {
        return (12 * bitRate / sampleRate + padding) * 4;
    }
    const int factor = (layer == 3 && !mpeg1) ? 72 : 144;
    return factor * bitRate / sampleRate + padding;
}

bool mayBeMpegAudio(const QByteArray &contentType)
{
    const QByteArray type = mediaType(contentType);
    return isMpegType(type) || type.isEmpty() || type == "application/octet-stream";
}

bool isMpegAudio(const QByteArray &contentType, const QByteArray &head)
{
    if (!mayBeMpegAudio(contentType)) {
        return false;
    }
    const qsizetype tag = id3Length(head);
    if (tag > 0 && tag + 4 > head.size()) {
        return isMpegType(mediaType(contentType));
    }
    const auto *bytes = reinterpret_cast<const unsigned char *>(head.constData());
    // A stream joined at any byte starts within a frame: the first header can be a frame on.
    for (qsizetype at = tag; at + 4 <= head.size(); ++at) {
        const int length = mpegFrameLength(bytes + at);
        if (length == 0) {
            continue;
        }
        const qsizetype next = at + length;
        if (next + 4 > head.size()) {
            continue;
        }
        const unsigned char *second = bytes + next;
        // The same version, layer and sampling frequency in both.
        if (mpegFrameLength(second) > 0 && (second[1] & 0xfe) == (bytes[at + 1] & 0xfe)
            && (second[2] & 0x0c) == (bytes[at + 2] & 0x0c)) {
            return true;
        }
    }
    return false;
}

} // namespace player
