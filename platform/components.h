#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

class QWidget;

namespace platform {

// The class names by which the window descriptions create their embedded components and under
// which the program registers the components' factories.
inline const QString mediaPlayerClass = QStringLiteral("WMPLibCtl.WindowsMediaPlayer");
inline const QString flashPlayerClass = QStringLiteral("ShockwaveFlashObjectsCtl.ShockwaveFlash");

// Embedded components are created by class name, the way a window description names them, and
// are handed their stored settings block as bytes. A factory throws SettingsError for a block it
// cannot read.
using ComponentFactory = std::function<QWidget *(QWidget *parent, const QByteArray &settings)>;

// Registers a class's factory together with the class's own stored settings: the block, written
// by the component's own codec, that a window description relies on when it stores none for the
// control. A later registration of the same class replaces both.
void registerComponent(
    const QString &className, ComponentFactory factory, QByteArray storedSettings = {});
bool isComponentRegistered(const QString &className);

// The stored settings the class was registered with; empty when it was registered without, or is
// not registered.
QByteArray storedSettings(const QString &className);

// Creates a registered component; throws RuntimeError when the class is not registered or the
// component refuses its settings.
QWidget *createComponent(const QString &className, QWidget *parent, const QByteArray &settings);

} // namespace platform
