#pragma once

#include <QByteArray>

class QWidget;

namespace player {

// The media player as an embedded component, the factory the program registers under the
// player's class name: decodes the settings block (throwing platform::SettingsError when it is
// malformed; an empty block means the default settings) and creates the player with the libmpv
// engine.
QWidget *createMediaPlayer(QWidget *parent, const QByteArray &settings);

} // namespace player
