#include "platform/windowregistry.h"

#include "platform/runtime.h"

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QWidget>

#include <vector>

namespace platform {

namespace {

struct Registry
{
    QHash<QString, WindowFactory> factories;
    std::vector<std::pair<QString, QPointer<QWidget>>> instances;
    // The controls found so far, by window and control name: the colour and clock handlers reach
    // theirs several times a second, and finding one by name walks the window's children. A
    // destroyed control (or window) leaves a null pointer behind and is looked up again.
    QHash<std::pair<QString, QString>, QPointer<QObject>> controls;
};

Registry &registry()
{
    static Registry r;
    return r;
}

} // namespace

void registerWindow(const QString &name, WindowFactory factory)
{
    registry().factories.insert(name, std::move(factory));
}

QWidget *existingWindow(const QString &name)
{
    for (const auto &[instanceName, widget] : registry().instances) {
        if (instanceName == name) {
            return widget.data();
        }
    }
    return nullptr;
}

QWidget *window(const QString &name)
{
    if (QWidget *w = existingWindow(name)) {
        return w;
    }
    const auto it = registry().factories.constFind(name);
    if (it == registry().factories.constEnd()) {
        throw RuntimeError(errors::objectRequired, QStringLiteral("Object required"));
    }
    QWidget *w = (*it)();
    registry().instances.emplace_back(name, w);
    return w;
}

QObject *control(const QString &windowName, const QString &controlName)
{
    QWidget *w = window(windowName);
    QPointer<QObject> &known = registry().controls[{ windowName, controlName }];
    // Still a child of that window, under that name: controls are never renamed or moved, but a
    // pointer costs little to check.
    if (known && known->parent() == w && known->objectName() == controlName) {
        return known.data();
    }
    known = w->findChild<QObject *>(controlName, Qt::FindDirectChildrenOnly);
    if (!known) {
        throw RuntimeError(errors::objectRequired, QStringLiteral("Object required"));
    }
    return known.data();
}

void destroyWindows()
{
    auto &instances = registry().instances;
    while (!instances.empty()) {
        QPointer<QWidget> w = instances.back().second;
        instances.pop_back();
        delete w.data();
    }
    registry().controls.clear();
    setEnding(false);
}

} // namespace platform
