#include "ui/accessibility.h"

#include "ui/controls.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QComboBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QWidget>

#include <array>

namespace ui {

namespace {

constexpr const char *context = "ui::Accessibility";

// What assistive technology (a screen reader) is told about a window or a control: its role, its
// name and what it does. These are the program's own words, kept apart from the window
// descriptions, which hold only what the windows store.
struct AccessibleControl
{
    const char *window;
    const char *control; // empty: the window itself
    // NoRole: decoration that a screen reader passes over.
    QAccessible::Role role;
    const char *name; // empty: the control's own text (a label's caption, a window's caption)
    const char *description;
};

// The role given to a control, kept on the widget for the interface factory.
constexpr const char *roleProperty = "ui.accessibleRole";

// clang-format off
constexpr std::array<AccessibleControl, 16> table { {
    { "Form1", "", QAccessible::Window, "", "" },
    { "Form1", "Combo1", QAccessible::ComboBox, QT_TRANSLATE_NOOP("ui::Accessibility", "Radio List"),
        QT_TRANSLATE_NOOP("ui::Accessibility", "Pick a station to play it") },
    { "Form1", "Label3", QAccessible::Button, QT_TRANSLATE_NOOP("ui::Accessibility", "Credits"),
        QT_TRANSLATE_NOOP("ui::Accessibility", "Shows the credits window") },
    { "Form1", "Image1", QAccessible::Button, QT_TRANSLATE_NOOP("ui::Accessibility", "Close"),
        QT_TRANSLATE_NOOP("ui::Accessibility", "Ends the program") },
    { "Form1", "Image2", QAccessible::Button, QT_TRANSLATE_NOOP("ui::Accessibility", "Minimise"),
        QT_TRANSLATE_NOOP("ui::Accessibility", "Minimises the window") },
    { "Form1", "wm", QAccessible::Grouping, QT_TRANSLATE_NOOP("ui::Accessibility", "Player"), "" },
    { "Form1", "ShockwaveFlash1", QAccessible::Animation, "New Title", "" },
    { "Form1", "ShockwaveFlash3", QAccessible::Animation, "Layout", "" },
    { "Form1", "Label1", QAccessible::StaticText, "", "" },
    // The banner lies behind Label3, which answers for it; Label2 lies behind the title movie.
    { "Form1", "Image3", QAccessible::NoRole, "", "" },
    { "Form1", "Label2", QAccessible::NoRole, "", "" },
    { "Form2", "", QAccessible::Window, QT_TRANSLATE_NOOP("ui::Accessibility", "Credits"), "" },
    { "Form2", "Image2", QAccessible::Button, QT_TRANSLATE_NOOP("ui::Accessibility", "Close"),
        QT_TRANSLATE_NOOP("ui::Accessibility", "Returns to the player") },
    { "Form2", "Image1", QAccessible::Graphic, QT_TRANSLATE_NOOP("ui::Accessibility", "Credits"),
        QT_TRANSLATE_NOOP("ui::Accessibility", "A double click returns to the player") },
    { "Form2", "Label1", QAccessible::StaticText, "", "" },
    { "Form2", "Label2", QAccessible::NoRole, "", "" },
} };
// clang-format on

// A window or control of ours: the role of the table; a label without a name of its own is named
// by its caption; decoration is invisible to assistive technology; a button can be pressed.
class ControlAccessible : public QAccessibleWidget
{
public:
    explicit ControlAccessible(QWidget *widget)
        : QAccessibleWidget(widget)
    {
    }

    // Read when asked: the interface may be made before the table is applied.
    QAccessible::Role role() const override
    {
        const QVariant role = widget()->property(roleProperty);
        if (role.isValid()) {
            return QAccessible::Role(role.toInt());
        }
        return widget()->isWindow() ? QAccessible::Window : QAccessible::Client;
    }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name && widget()->accessibleName().isEmpty()
            && !widget()->isWindow()) {
            return widget()->property("Caption").toString();
        }
        return QAccessibleWidget::text(t);
    }

    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        if (role() == QAccessible::NoRole) {
            s.invisible = true;
        }
        return s;
    }

    QStringList actionNames() const override
    {
        QStringList names = QAccessibleWidget::actionNames();
        if (role() == QAccessible::Button && widget()->isEnabled()) {
            names.prepend(pressAction());
        }
        return names;
    }

    void doAction(const QString &action) override
    {
        if (action == pressAction() && role() == QAccessible::Button) {
            // The same event as a click with the mouse.
            QMetaObject::invokeMethod(widget(), "Click");
            return;
        }
        QAccessibleWidget::doAction(action);
    }
};

// The station list: named by the table rather than by its current text, which is its value. Its
// children are the drop-down list and the text field.
class ListAccessible : public QAccessibleWidget
{
public:
    explicit ListAccessible(QComboBox *list)
        : QAccessibleWidget(list, QAccessible::ComboBox)
    {
    }

    QComboBox *list() const { return static_cast<QComboBox *>(widget()); }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Value) {
            return list()->currentText();
        }
        return QAccessibleWidget::text(t);
    }

    int childCount() const override { return list()->lineEdit() ? 2 : 1; }

    QAccessibleInterface *child(int index) const override
    {
        if (index == 0) {
            return QAccessible::queryAccessibleInterface(list()->view());
        }
        if (index == 1 && list()->lineEdit()) {
            return QAccessible::queryAccessibleInterface(list()->lineEdit());
        }
        return nullptr;
    }

    int indexOfChild(const QAccessibleInterface *child) const override
    {
        if (!child) {
            return -1;
        }
        if (child->object() == list()->view()) {
            return 0;
        }
        return list()->lineEdit() && child->object() == list()->lineEdit() ? 1 : -1;
    }

    QStringList actionNames() const override
    {
        return QStringList { showMenuAction(), pressAction() } + QAccessibleWidget::actionNames();
    }

    void doAction(const QString &action) override
    {
        if (action == showMenuAction() || action == pressAction()) {
            list()->showPopup();
            return;
        }
        QAccessibleWidget::doAction(action);
    }
};

// Our own controls, and the embedded components the table describes.
QAccessibleInterface *controlInterface(const QString &, QObject *object)
{
    if (auto *list = qobject_cast<ComboBox *>(object)) {
        return new ListAccessible(list);
    }
    auto *widget = qobject_cast<QWidget *>(object);
    if (qobject_cast<Form *>(object) || qobject_cast<ClickableWidget *>(object)
        || (widget && widget->property(roleProperty).isValid())) {
        return new ControlAccessible(widget);
    }
    return nullptr;
}

QString translated(const char *text)
{
    return *text ? QCoreApplication::translate(context, text) : QString();
}

} // namespace

void installAccessibility()
{
    static const bool installed = [] {
        QAccessible::installFactory(controlInterface);
        return true;
    }();
    Q_UNUSED(installed);
}

void describeForAccessibility(QWidget *window)
{
    installAccessibility();
    const QString windowName = window->objectName();
    for (const AccessibleControl &row : table) {
        if (windowName != QLatin1String(row.window)) {
            continue;
        }
        QWidget *target = *row.control
            ? window->findChild<QWidget *>(QLatin1String(row.control), Qt::FindDirectChildrenOnly)
            : window;
        if (!target) {
            continue;
        }
        target->setProperty(roleProperty, int(row.role));
        // A component may have been described by Qt while it was being made: that description
        // gives way to ours.
        if (QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(target);
            iface && iface->role() != row.role) {
            QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(iface));
        }
        // The movies' names are their own, not words of the program.
        const bool movie = row.role == QAccessible::Animation;
        target->setAccessibleName(movie ? QString::fromLatin1(row.name) : translated(row.name));
        target->setAccessibleDescription(translated(row.description));
        // The list's text field is where the focus is while the list has it.
        if (auto *list = qobject_cast<QComboBox *>(target); list && list->lineEdit()) {
            list->lineEdit()->setAccessibleName(target->accessibleName());
        }
    }
}

} // namespace ui
