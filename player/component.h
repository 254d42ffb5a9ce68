#pragma once

#include <QByteArray>

class QWidget;

namespace player {

// The component factory registered for "WMPLibCtl.WindowsMediaPlayer": decodes the settings
// block (throwing platform::SettingsError when it is malformed; an empty block means the default
// settings) and creates the player with the libmpv engine.
QWidget *createMediaPlayer(QWidget *parent, const QByteArray &settings);

// The class name the factory is registered under.
inline constexpr const char *mediaPlayerClassName = "WMPLibCtl.WindowsMediaPlayer";

// Registers the factory with platform::registerComponent.
void registerMediaPlayerComponent();

} // namespace player
