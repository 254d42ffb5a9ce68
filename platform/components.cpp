#include "platform/components.h"

#include "platform/runtime.h"
#include "platform/settingsblock.h"

#include <QHash>
#include <QWidget>

namespace platform {

namespace {

struct Registration
{
    ComponentFactory factory;
    QByteArray storedSettings;
};

QHash<QString, Registration> &registry()
{
    static QHash<QString, Registration> classes;
    return classes;
}

} // namespace

void registerComponent(
    const QString &className, ComponentFactory factory, QByteArray storedSettings)
{
    registry().insert(className, Registration { std::move(factory), std::move(storedSettings) });
}

bool isComponentRegistered(const QString &className)
{
    return registry().contains(className);
}

QByteArray storedSettings(const QString &className)
{
    const auto it = registry().constFind(className);
    return it == registry().constEnd() ? QByteArray() : it->storedSettings;
}

QWidget *createComponent(const QString &className, QWidget *parent, const QByteArray &settings)
{
    const auto it = registry().constFind(className);
    if (it == registry().constEnd()) {
        throw RuntimeError(
            429, QStringLiteral("ActiveX component can't create object: %1").arg(className));
    }
    try {
        return it->factory(parent, settings);
    } catch (const SettingsError &e) {
        throw RuntimeError(errors::invalidPropertyValue,
            QStringLiteral("%1: %2").arg(className, QString::fromStdString(e.what())));
    }
}

} // namespace platform
