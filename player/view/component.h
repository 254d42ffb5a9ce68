#pragma once

#include <QByteArray>

class QWidget;

namespace player {

// The media player as an embedded component, the factory the program registers under the
// player's class name: decodes the settings block (throwing platform::SettingsError when it is
// malformed; an empty block means the default settings) and creates the player with the FFmpeg
// and PulseAudio engine.
QWidget *createMediaPlayer(QWidget *parent, const QByteArray &settings);

// Registers createMediaPlayer under platform::mediaPlayerClass, with the player's stored settings:
// the block its own codec writes from its defaults (a window description that stores no block for
// its player gets these).
void registerMediaPlayer();

} // namespace player
