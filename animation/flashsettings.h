#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <array>
#include <cstdint>

namespace animation {

// The persisted settings of an animation player: the extent and 24 typed values, each kept as
// the string found in the block. Flags are strings too ("-1", "1", "0", "false"), because their
// written form differs from value to value.
struct FlashSettings
{
    std::uint32_t extentWidth = 0; // hundredths of a millimetre
    std::uint32_t extentHeight = 0;

    QString flashVars;
    QString movie;
    QString src;
    QString wmode;
    QString play;
    QString loop;
    QString quality;
    QString salign;
    QString menu;
    QString base;
    QString allowScriptAccess;
    QString scale;
    QString deviceFont;
    QString embedMovie;
    QString bgColor;
    QString swRemote;
    QString movieData;
    std::array<std::uint8_t, 16> objectSlot {}; // value 18
    QString seamlessTabbing;
    QString profile;
    QString profileAddress; // stored with byte count 0 when empty
    QString profilePort;
    QString allowNetworking;
    QString allowFullScreen;

    bool operator==(const FlashSettings &) const = default;

    bool isTrue(const QString &flag) const;
};

inline constexpr std::uint32_t flashSettingsVersion = 0x900;

// Reads a settings block; throws platform::SettingsError naming what is wrong.
FlashSettings decodeFlashSettings(QByteArrayView block);
QByteArray encodeFlashSettings(const FlashSettings &settings);

} // namespace animation
