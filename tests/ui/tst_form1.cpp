#include "../common/standins.h"

#include "platform/colour.h"
#include "platform/settingsblock.h"
#include "platform/windowregistry.h"
#include "ui/builder.h"
#include "ui/controls.h"
#include "ui/description.h"
#include "ui/timercontrol.h"

#include <QAbstractItemView>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QWindow>

// The main window as built from its description, with stand-ins for the embedded components.
class TestForm1 : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void clientAreaAndFrame();
    void controlRectangles_data();
    void controlRectangles();
    void frontMostControl_data();
    void frontMostControl();
    void bannerIsOneClickArea();
    void clicksReachTheRightControl_data();
    void clicksReachTheRightControl();
    void keyboardOrder();
    void storedSettings();
    void textsFontsAndColours();
    void textColourLeavesTheListsScrollBar();
    void hiddenListTakesTheColourAsItDropsDown();
    void timersRun();
    void labelRepaintsOnlyOnChange();

private:
    QWidget *controlAt(int x, int y) const;
    ui::Form *m_form = nullptr;
};

void TestForm1::initTestCase()
{
    registerStandIns();
    QStringList names;
    for (int i = 1; i <= 35; ++i) {
        names << QStringLiteral("Station %1").arg(i);
    }
    m_form = qobject_cast<ui::Form *>(ui::buildWindow(ui::form1Description(names)));
    QVERIFY(m_form);
    m_form->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_form));
}

void TestForm1::cleanupTestCase()
{
    delete m_form;
}

// The control directly on the window that is front-most at a client point.
QWidget *TestForm1::controlAt(int x, int y) const
{
    QWidget *w = m_form->childAt(x, y);
    while (w && w->parentWidget() != m_form) {
        w = w->parentWidget();
    }
    return w;
}

void TestForm1::clientAreaAndFrame()
{
    QCOMPARE(m_form->size(), QSize(246, 325));
    QCOMPARE(m_form->minimumSize(), QSize(246, 325));
    QCOMPARE(m_form->maximumSize(), QSize(246, 325));
    QCOMPARE(m_form->windowTitle(), QStringLiteral("Tarvelin Bangla Radio Player"));
    const Qt::WindowFlags flags = m_form->windowFlags();
    QVERIFY(!(flags & Qt::WindowMinimizeButtonHint));
    QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
    QVERIFY(flags & Qt::WindowTitleHint);
    // An ordinary window, not a tool window: it keeps a taskbar entry and can be restored.
    QCOMPARE(m_form->windowType(), Qt::Window);
    QVERIFY(!m_form->isMinimized() && !m_form->isMaximized());
}

void TestForm1::controlRectangles_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("rect");
    QTest::newRow("Combo1") << "Combo1" << QRect(0, 96, 241, 27);
    QTest::newRow("ShockwaveFlash1") << "ShockwaveFlash1" << QRect(0, 0, 193, 17);
    QTest::newRow("Label3") << "Label3" << QRect(0, 40, 249, 57);
    QTest::newRow("Label2") << "Label2" << QRect(0, 0, 193, 17);
    QTest::newRow("ShockwaveFlash3") << "ShockwaveFlash3" << QRect(0, 280, 249, 49);
    QTest::newRow("wm") << "wm" << QRect(0, 128, 249, 153);
    QTest::newRow("Label1") << "Label1" << QRect(0, 16, 305, 25);
}

void TestForm1::controlRectangles()
{
    QFETCH(QString, name);
    QFETCH(QRect, rect);
    auto *w = m_form->findChild<QWidget *>(name, Qt::FindDirectChildrenOnly);
    QVERIFY(w);
    QCOMPARE(w->geometry(), rect);
    QVERIFY(w->isVisible());
    QVERIFY(w->isEnabled());
}

void TestForm1::frontMostControl_data()
{
    QTest::addColumn<QPoint>("point");
    QTest::addColumn<QString>("name"); // empty: the skin
    QTest::newRow("title strip") << QPoint(100, 8) << "ShockwaveFlash1";
    QTest::newRow("column 192 is the title strip's") << QPoint(192, 8) << "ShockwaveFlash1";
    QTest::newRow("minimise from 193") << QPoint(193, 8) << "Image2";
    QTest::newRow("overlap 216 minimises") << QPoint(216, 8) << "Image2";
    QTest::newRow("overlap 218 minimises") << QPoint(218, 16) << "Image2";
    QTest::newRow("close from 219") << QPoint(219, 8) << "Image1";
    QTest::newRow("close to 242") << QPoint(242, 0) << "Image1";
    QTest::newRow("skin at 243") << QPoint(243, 8) << "";
    QTest::newRow("date line") << QPoint(5, 17) << "Label1";
    QTest::newRow("date line right") << QPoint(245, 39) << "Label1";
    QTest::newRow("banner top") << QPoint(0, 40) << "Label3";
    QTest::newRow("skin under banner row 91") << QPoint(20, 91) << "Label3";
    QTest::newRow("skin under banner row 95") << QPoint(20, 95) << "Label3";
    QTest::newRow("row 96 is the list's") << QPoint(20, 96) << "Combo1";
    QTest::newRow("row 96 right of the list") << QPoint(243, 96) << "Label3";
    QTest::newRow("list") << QPoint(240, 122) << "Combo1";
    QTest::newRow("skin under the list") << QPoint(10, 125) << "";
    QTest::newRow("player") << QPoint(10, 128) << "wm";
    QTest::newRow("player last covered row") << QPoint(245, 279) << "wm";
    QTest::newRow("layout strip over the player's last row")
        << QPoint(10, 280) << "ShockwaveFlash3";
    QTest::newRow("layout strip bottom") << QPoint(245, 324) << "ShockwaveFlash3";
}

void TestForm1::frontMostControl()
{
    QFETCH(QPoint, point);
    QFETCH(QString, name);
    QWidget *w = controlAt(point.x(), point.y());
    QCOMPARE(w ? w->objectName() : QString(), name);
}

void TestForm1::bannerIsOneClickArea()
{
    for (int y = 40; y <= 95; ++y) {
        for (int x = 0; x < 246; ++x) {
            QWidget *w = controlAt(x, y);
            QVERIFY2(w && w->objectName() == QLatin1String("Label3"),
                qPrintable(QStringLiteral("(%1, %2)").arg(x).arg(y)));
        }
    }
}

void TestForm1::clicksReachTheRightControl_data()
{
    QTest::addColumn<QPoint>("point");
    QTest::addColumn<QString>("name");
    QTest::newRow("216") << QPoint(216, 8) << "Image2";
    QTest::newRow("218") << QPoint(218, 8) << "Image2";
    QTest::newRow("219") << QPoint(219, 8) << "Image1";
    QTest::newRow("242") << QPoint(242, 8) << "Image1";
    QTest::newRow("banner") << QPoint(120, 60) << "Label3";
    QTest::newRow("row 95") << QPoint(10, 95) << "Label3";
}

void TestForm1::clicksReachTheRightControl()
{
    QFETCH(QPoint, point);
    QFETCH(QString, name);
    // Through the window system, so the toolkit picks the control under the pointer.
    QMap<QString, QSignalSpy *> spies;
    for (const char *n : { "Image1", "Image2", "Image3", "Label3" }) {
        auto *c = m_form->findChild<ui::ClickableWidget *>(QLatin1String(n));
        QVERIFY(c);
        spies.insert(QLatin1String(n), new QSignalSpy(c, &ui::ClickableWidget::Click));
    }
    QTest::mouseClick(m_form->windowHandle(), Qt::LeftButton, {}, point);
    for (auto it = spies.begin(); it != spies.end(); ++it) {
        QCOMPARE(it.value()->count(), it.key() == name ? 1 : 0);
    }
    qDeleteAll(spies);
}

void TestForm1::keyboardOrder()
{
    // Labels never take the focus: the order is wm, Combo1, the layout strip, the title strip.
    QStringList chain;
    QWidget *w = m_form->findChild<QWidget *>(QStringLiteral("wm"));
    QVERIFY(w);
    for (int i = 0; i < 4; ++i) {
        chain << w->objectName();
        do {
            w = w->nextInFocusChain();
        } while (w->parentWidget() != m_form || w->focusPolicy() == Qt::NoFocus);
    }
    QCOMPARE(chain, QStringList({ "wm", "Combo1", "ShockwaveFlash3", "ShockwaveFlash1" }));
    QCOMPARE(m_form->focusWidget() ? m_form->focusWidget()->objectName() : QString(),
        QStringLiteral("wm"));
}

namespace {

using platform::StoredValue;

StoredValue str(const char *text)
{
    return platform::storedString(QString::fromUtf8(text));
}

// Reads `count` typed values and compares each with `expected`, naming the first that differs
// (a different tag is a different value).
void expectValues(
    platform::SettingsReader &r, const std::vector<std::pair<const char *, StoredValue>> &expected)
{
    for (const auto &[name, value] : expected) {
        const StoredValue found = r.value();
        QVERIFY2(found == value, name);
    }
}

// The movie address of an animation player: http, a host, no port, the path exactly as given
// (percent-encoding included), no query.
QString movieHost(const StoredValue &value, const QString &path)
{
    const auto *s = std::get_if<platform::StoredString>(&value);
    if (!s || s->bare) {
        return {};
    }
    const QRegularExpression shape(
        QStringLiteral("^http://([A-Za-z0-9.-]+)") + QRegularExpression::escape(path) + '$');
    return shape.match(s->text).captured(1);
}

} // namespace

void TestForm1::storedSettings()
{
    // The blocks exactly as the window hands them to its components, read value by value.
    auto *wm = m_form->findChild<RecordingPlayer *>(QStringLiteral("wm"));
    auto *title = m_form->findChild<StandInMovie *>(QStringLiteral("ShockwaveFlash1"));
    auto *layout = m_form->findChild<StandInMovie *>(QStringLiteral("ShockwaveFlash3"));
    QVERIFY(wm && title && layout);

    // The player's block is none of the description's own: the window hands it the stored
    // settings registered with its class.
    QVERIFY(!platform::storedSettings(platform::mediaPlayerClass).isEmpty());
    QCOMPARE(wm->m_settings, platform::storedSettings(platform::mediaPlayerClass));

    struct Movie
    {
        StandInMovie *control;
        int size;
        std::uint32_t width, height;
        QString path;
    };
    const Movie movies[] = {
        { title, 582, 5106, 450, QStringLiteral("/200000230-d0997d1931/New%20Title.swf") },
        { layout, 562, 6588, 1296, QStringLiteral("/200000208-cdea9cee36/Layout.swf") },
    };
    QStringList hosts;
    for (const Movie &m : movies) {
        QCOMPARE(m.control->m_settings.size(), m.size);
        platform::SettingsReader r(m.control->m_settings);
        QCOMPARE(r.raw(4), QByteArray("gUfU"));
        QCOMPARE(r.u32(), 0x900u);
        QCOMPARE(r.u32(), m.width);
        QCOMPARE(r.u32(), m.height);
        expectValues(r, { { "FlashVars", str("") } });
        const StoredValue movie = r.value();
        const StoredValue src = r.value();
        QVERIFY(src == movie);
        hosts << movieHost(movie, m.path);
        QVERIFY2(!hosts.last().isEmpty(), qPrintable(m.path));
        expectValues(r,
            { { "WMode", str("Transparent") }, { "Play", str("-1") }, { "Loop", str("-1") },
                { "Quality", str("High") }, { "SAlign", str("") }, { "Menu", str("-1") },
                { "Base", str("") }, { "AllowScriptAccess", str("") }, { "Scale", str("ShowAll") },
                { "DeviceFont", str("0") }, { "EmbedMovie", str("0") }, { "BGColor", str("") },
                { "SWRemote", str("") }, { "MovieData", str("") },
                { "object slot", platform::ObjectSlot {} }, { "SeamlessTabbing", str("1") },
                { "Profile", str("0") }, { "ProfileAddress", platform::bareString() },
                { "ProfilePort", str("0") }, { "AllowNetworking", str("all") },
                { "AllowFullScreen", str("false") } });
        QVERIFY(r.atEnd());
    }
    QCOMPARE(hosts[0], hosts[1]); // both movies live on one host
    // The player starts with nothing to play.
    QVERIFY(wm->puts.isEmpty());
}

void TestForm1::textsFontsAndColours()
{
    auto *combo = m_form->findChild<ui::ComboBox *>(QStringLiteral("Combo1"));
    QVERIFY(combo);
    QCOMPARE(combo->text(), QStringLiteral("             Radio List"));
    QCOMPARE(combo->count(), 35);
    QCOMPARE(combo->currentIndex(), -1);
    QVERIFY(combo->isEditable());
    QCOMPARE(combo->foreColour(), 255u);
    QCOMPARE(combo->palette().color(QPalette::Base), QColor(Qt::black));
    QCOMPARE(combo->font().family(), QStringLiteral("Comic Sans MS"));
    QCOMPARE(combo->font().pixelSize(), 13);
    QCOMPARE(combo->font().weight(), QFont::Bold);

    auto *label1 = m_form->findChild<ui::Label *>(QStringLiteral("Label1"));
    auto *label2 = m_form->findChild<ui::Label *>(QStringLiteral("Label2"));
    auto *label3 = m_form->findChild<ui::Label *>(QStringLiteral("Label3"));
    QVERIFY(label1 && label2 && label3);
    QVERIFY(label1->caption().isEmpty());
    QCOMPARE(label1->font().pixelSize(), 16);
    QCOMPARE(label1->font().weight(), QFont::Bold);
    QCOMPARE(label2->caption(), QStringLiteral("Label2"));
    QVERIFY(label3->caption().isEmpty());
}

void TestForm1::textColourLeavesTheListsScrollBar()
{
    // The text colour changes five times a second, also while the list is dropped down. The items
    // take each colour; the scroll bar keeps its palette, by which the style keys what it caches
    // of the bar's drawing (a new palette each time left a new cached picture each time).
    auto *combo = m_form->findChild<ui::ComboBox *>(QStringLiteral("Combo1"));
    QVERIFY(combo && combo->view());
    const platform::ColourValue before = combo->foreColour();
    const platform::ColourValue back = combo->backColour();
    combo->showPopup();
    QScrollBar *bar = combo->view()->verticalScrollBar();
    QTRY_VERIFY(bar->isVisible());
    const qint64 barPalette = bar->palette().cacheKey();
    const QColor barColour = bar->palette().color(QPalette::Button);
    for (const platform::ColourValue colour :
        { platform::rgbColour(255, 0, 0), platform::rgbColour(0, 255, 0),
            platform::rgbColour(0, 0, 255), platform::rgbColour(255, 255, 0) }) {
        combo->setForeColour(colour);
        QCOMPARE(combo->view()->palette().color(QPalette::Text), platform::toQColor(colour));
        QTest::qWait(20);
        QCOMPARE(bar->palette().cacheKey(), barPalette);
    }
    // A new box colour still reaches it.
    combo->setBackColour(platform::rgbColour(64, 64, 64));
    QCOMPARE(bar->palette().color(QPalette::Base), QColor(64, 64, 64));
    combo->setBackColour(back);
    QCOMPARE(bar->palette().color(QPalette::Button), barColour);
    combo->hidePopup();
    combo->setForeColour(before);
}

void TestForm1::hiddenListTakesTheColourAsItDropsDown()
{
    // The hidden list is not repainted five times a second for nothing; dropped down, it shows
    // the colour of the moment.
    auto *combo = m_form->findChild<ui::ComboBox *>(QStringLiteral("Combo1"));
    const platform::ColourValue before = combo->foreColour();
    const qint64 hiddenPalette = combo->view()->palette().cacheKey();
    combo->setForeColour(platform::rgbColour(0, 128, 255));
    QCOMPARE(combo->view()->palette().cacheKey(), hiddenPalette);
    combo->showPopup();
    QCOMPARE(combo->view()->palette().color(QPalette::Text), QColor(0, 128, 255));
    combo->hidePopup();
    combo->setForeColour(before);
}

void TestForm1::timersRun()
{
    auto *timer1 = m_form->findChild<ui::TimerControl *>(QStringLiteral("Timer1"));
    auto *timer3 = m_form->findChild<ui::TimerControl *>(QStringLiteral("Timer3"));
    QVERIFY(timer1 && timer3);
    QCOMPARE(timer1->interval(), 10);
    QCOMPARE(timer3->interval(), 200);
    QVERIFY(timer1->isRunning() && timer3->isRunning());
    QSignalSpy ticks(timer3, &ui::TimerControl::Timer);
    QVERIFY(ticks.wait(1000));
}

void TestForm1::labelRepaintsOnlyOnChange()
{
    auto *label1 = m_form->findChild<ui::Label *>(QStringLiteral("Label1"));
    struct PaintCounter : QObject
    {
        int paints = 0;
        bool eventFilter(QObject *, QEvent *e) override
        {
            if (e->type() == QEvent::Paint) {
                ++paints;
            }
            return false;
        }
    } counter;
    label1->installEventFilter(&counter);
    label1->setCaption(QStringLiteral("12/8/2026      5:50:53 AM"));
    QTRY_COMPARE(counter.paints, 1);
    for (int i = 0; i < 20; ++i) {
        label1->setCaption(QStringLiteral("12/8/2026      5:50:53 AM"));
        QTest::qWait(5);
    }
    QCOMPARE(counter.paints, 1);
    label1->setCaption(QStringLiteral("12/8/2026      5:50:54 AM"));
    QTRY_COMPARE(counter.paints, 2);
    label1->removeEventFilter(&counter);
}

QTEST_MAIN(TestForm1)
#include "tst_form1.moc"
