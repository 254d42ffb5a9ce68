#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <cstdint>

namespace player {

// The initial settings of the media player, as its window description stores them. The default
// values are those the main window's player is created with.
struct MediaPlayerSettings
{
    QString url;
    double rate = 1.0;
    std::int32_t balance = 0;
    double currentPosition = 0.0;
    QString defaultFrame;
    std::int32_t playCount = 1;
    bool autoStart = true;
    std::int32_t currentMarker = 0;
    bool invokeUrls = true;
    QString baseUrl;
    std::int32_t volume = 50;
    bool mute = false;
    QString uiMode = QStringLiteral("full");
    bool stretchToFit = false;
    bool windowlessVideo = false;
    bool enabled = true;
    bool enableContextMenu = true;
    bool fullScreen = false;
    QString samiStyle;
    QString samiLang;
    QString samiFilename;
    QString captioningId;
    bool enableErrorDialogs = false;
    // The control's extent in hundredths of a millimetre.
    std::uint32_t extentWidth = 6588;
    std::uint32_t extentHeight = 4048;

    bool operator==(const MediaPlayerSettings &) const = default;
};

// Version word that opens every block.
inline constexpr std::uint32_t mediaPlayerSettingsVersion = 0x300;

// Reads a settings block: the version word, the 23 typed values in their fixed order and the
// extent. Throws platform::SettingsError when the block is truncated, has another version word,
// holds a value of the wrong type at some position, or has bytes after the extent.
MediaPlayerSettings decodeMediaPlayerSettings(QByteArrayView block);

// Writes a settings block in the same layout; empty strings are stored with their terminating
// zero character.
QByteArray encodeMediaPlayerSettings(const MediaPlayerSettings &settings);

} // namespace player
