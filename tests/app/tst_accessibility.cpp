#include "../common/standins.h"
#include "../player/fakeengine.h"

#include "app/commands.h"
#include "app/startup.h"
#include "platform/runtime.h"
#include "platform/windowregistry.h"
#include "platform/windows.h"
#include "player/view/mediaplayer.h"
#include "player/view/settings.h"
#include "ui/controls.h"

#include <QAccessible>
#include <QTest>

// What a screen reader learns of the windows through Qt's accessibility interface, with the real
// media player (on an engine that plays nothing) and stand-ins for the movies.
class TestAccessibility : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void everyControlAUserCanReachIsNamed();

private:
    // Walks the visible tree under the interface; every control that takes the focus, can be
    // pressed or moves must have a role and a name.
    void checkTree(QAccessibleInterface *iface, const QString &path);
};

void TestAccessibility::initTestCase()
{
    platform::registerComponent(
        platform::mediaPlayerClass, [](QWidget *parent, const QByteArray &) {
            return player::makeMediaPlayer(
                std::make_unique<FakeEngine>(), player::MediaPlayerSettings {}, parent);
        });
    platform::registerComponent(platform::flashPlayerClass,
        [](QWidget *parent, const QByteArray &s) { return new StandInMovie(parent, s); });
}

void TestAccessibility::cleanup()
{
    platform::destroyWindows();
}

void TestAccessibility::checkTree(QAccessibleInterface *iface, const QString &path)
{
    QVERIFY(iface);
    if (iface->state().invisible) {
        return;
    }
    const QString here = path + QLatin1Char('/') + iface->object()->objectName() + QLatin1Char('(')
        + QLatin1String(iface->object()->metaObject()->className()) + QLatin1Char(')');
    const QAccessibleActionInterface *actions = iface->actionInterface();
    const bool pressable
        = actions && actions->actionNames().contains(QAccessibleActionInterface::pressAction());
    const QAccessible::Role role = iface->role();
    if (iface->state().focusable || pressable || role == QAccessible::Slider
        || role == QAccessible::Animation) {
        QVERIFY2(role != QAccessible::Client && role != QAccessible::NoRole, qPrintable(here));
        QVERIFY2(!iface->text(QAccessible::Name).trimmed().isEmpty(), qPrintable(here));
    }
    for (int i = 0; i < iface->childCount(); ++i) {
        checkTree(iface->child(i), here);
    }
}

void TestAccessibility::everyControlAUserCanReachIsNamed()
{
    app::registerWindows();
    QWidget *form1 = platform::window(QStringLiteral("Form1"));
    platform::showWindow(form1);
    QVERIFY(QTest::qWaitForWindowExposed(form1));

    struct Expected
    {
        const char *window;
        const char *control;
        QAccessible::Role role;
        const char *name;
    };
    const Expected expected[] = {
        { "Form1", "Combo1", QAccessible::ComboBox, "Radio List" },
        { "Form1", "Label3", QAccessible::Button, "Credits" },
        { "Form1", "Image1", QAccessible::Button, "Close" },
        { "Form1", "Image2", QAccessible::Button, "Minimise" },
        { "Form1", "ShockwaveFlash1", QAccessible::Animation, "New Title" },
        { "Form1", "ShockwaveFlash3", QAccessible::Animation, "Layout" },
        { "Form1", "Label1", QAccessible::StaticText, "" },
        { "Form2", "Image2", QAccessible::Button, "Close" },
        { "Form2", "Image1", QAccessible::Graphic, "Credits" },
    };
    for (const Expected &e : expected) {
        QObject *control = platform::control(QLatin1String(e.window), QLatin1String(e.control));
        QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(control);
        QVERIFY2(iface, e.control);
        QCOMPARE(iface->role(), e.role);
        const QString name = *e.name ? QString::fromLatin1(e.name)
                                     : platform::getProperty(control, "Caption").toString();
        QCOMPARE(iface->text(QAccessible::Name), name);
    }
    platform::hideWindow(platform::window(QStringLiteral("Form2")));

    // The whole of Form1 as a screen reader walks it, the player's own buttons and slider
    // included.
    checkTree(QAccessible::queryAccessibleInterface(form1), QString());

    // The list keeps its name when a station is picked; the station is its value.
    auto *list = qobject_cast<ui::ComboBox *>(
        platform::control(QStringLiteral("Form1"), QStringLiteral("Combo1")));
    list->stepSelection(+1);
    QAccessibleInterface *listIface = QAccessible::queryAccessibleInterface(list);
    QCOMPARE(listIface->text(QAccessible::Name), QStringLiteral("Radio List"));
    QCOMPARE(listIface->text(QAccessible::Value), QStringLiteral("Radio GoonGoo0n"));

    // The picture buttons and the banner work from the screen reader as by a click.
    QAccessibleInterface *banner = QAccessible::queryAccessibleInterface(
        platform::control(QStringLiteral("Form1"), QStringLiteral("Label3")));
    banner->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    QWidget *form2 = platform::window(QStringLiteral("Form2"));
    QTRY_VERIFY(form2->isVisible() && !form1->isVisible());
    checkTree(QAccessible::queryAccessibleInterface(form2), QString());
    QCOMPARE(QAccessible::queryAccessibleInterface(form2)->text(QAccessible::Name),
        QStringLiteral("Credits"));
    QAccessible::queryAccessibleInterface(
        platform::control(QStringLiteral("Form2"), QStringLiteral("Image2")))
        ->actionInterface()
        ->doAction(QAccessibleActionInterface::pressAction());
    QTRY_VERIFY(form1->isVisible() && !form2->isVisible());
    QAccessible::queryAccessibleInterface(
        platform::control(QStringLiteral("Form1"), QStringLiteral("Image2")))
        ->actionInterface()
        ->doAction(QAccessibleActionInterface::pressAction());
    QTRY_VERIFY(form1->isMinimized());
}

QTEST_MAIN(TestAccessibility)
#include "tst_accessibility.moc"
