#include "platform/components.h"

#include "platform/runtime.h"
#include "platform/settingsblock.h"

#include <QHash>
#include <QWidget>

namespace platform {

namespace {

QHash<QString, ComponentFactory> &registry()
{
    static QHash<QString, ComponentFactory> factories;
    return factories;
}

} // namespace

void registerComponent(const QString &className, ComponentFactory factory)
{
    registry().insert(className, std::move(factory));
}

bool isComponentRegistered(const QString &className)
{
    return registry().contains(className);
}

QWidget *createComponent(const QString &className, QWidget *parent, const QByteArray &settings)
{
    const auto it = registry().constFind(className);
    if (it == registry().constEnd()) {
        throw RuntimeError(
            429, QStringLiteral("ActiveX component can't create object: %1").arg(className));
    }
    try {
        return (*it)(parent, settings);
    } catch (const SettingsError &e) {
        throw RuntimeError(errors::invalidPropertyValue,
            QStringLiteral("%1: %2").arg(className, QString::fromStdString(e.what())));
    }
}

} // namespace platform
