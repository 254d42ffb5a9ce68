#include "animation/flashplayer.h"
#include "animation/flashsettings.h"
#include "app/startup.h"
#include "platform/components.h"
#include "platform/runtime.h"
#include "platform/settingsblock.h"
#include "platform/windowregistry.h"
#include "platform/windows.h"
#include "player/view/component.h"
#include "player/view/mediaplayer.h"

#include <QApplication>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>
#include <QUrl>
#include <QWindow>

// Form1 as the program builds it, with the real components as the program registers them: the
// media player with its engine idle, and animation players whose movie cannot be fetched. Their
// movie address keeps its path but points at a loopback port that refuses, so nothing leaves the
// machine.
class TestForm1Components : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void playerStartsWithItsStoredSettings();
    void focusAtStartAndKeyboardOrder();
    void nothingPopsUp();

private:
    QString focused() const;
    QImage grabStrip(const QRect &rect) const;

    QWidget *m_form = nullptr;
    QByteArray m_playerBlock; // the settings block Form1's player was made from
    QList<QSignalSpy *> m_fetches;
    QList<int> m_errors;
};

void TestForm1Components::initTestCase()
{
    qunsetenv("http_proxy");
    qunsetenv("HTTP_PROXY");
    quint16 refusingPort = 0;
    {
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost, 0));
        refusingPort = server.serverPort();
    }
    app::registerComponents();
    platform::registerComponent(
        platform::mediaPlayerClass,
        [this](QWidget *parent, const QByteArray &block) {
            m_playerBlock = block;
            return player::createMediaPlayer(parent, block);
        },
        platform::storedSettings(platform::mediaPlayerClass));
    platform::registerComponent(
        platform::flashPlayerClass, [refusingPort](QWidget *parent, const QByteArray &block) {
            animation::FlashSettings settings = animation::decodeFlashSettings(block);
            for (QString *address : { &settings.movie, &settings.src }) {
                QUrl url(*address);
                url.setHost(QStringLiteral("127.0.0.1"));
                url.setPort(refusingPort);
                *address = url.toString(QUrl::FullyEncoded);
            }
            return animation::createFlashPlayer(parent, animation::encodeFlashSettings(settings));
        });
    platform::setErrorReporter([this](const platform::RuntimeError &e) { m_errors << e.number(); });
    app::registerWindows();

    m_form = platform::window(QStringLiteral("Form1"));
    for (const char *name : { "ShockwaveFlash1", "ShockwaveFlash3" }) {
        auto *movie = m_form->findChild<animation::FlashPlayer *>(QLatin1String(name));
        QVERIFY(movie);
        m_fetches << new QSignalSpy(movie, &animation::FlashPlayer::movieFetched);
    }
    QVERIFY(m_form->findChild<player::MediaPlayer *>(QStringLiteral("wm")));
    platform::showWindow(m_form);
    QVERIFY(QTest::qWaitForWindowActive(m_form));
}

void TestForm1Components::cleanupTestCase()
{
    qDeleteAll(m_fetches);
    platform::destroyWindows();
    platform::setErrorReporter({});
}

// Form1 stores no block for its player: the player starts with the stored settings the program
// registers with its class, read here value by value.
void TestForm1Components::playerStartsWithItsStoredSettings()
{
    using platform::StoredValue;
    const auto text = [](const char *s) { return platform::storedString(QString::fromUtf8(s)); };
    QCOMPARE(m_playerBlock.size(), 164);
    platform::SettingsReader r(m_playerBlock);
    QCOMPARE(r.u32(), 0x300u);
    const std::pair<const char *, StoredValue> expected[] = {
        { "URL", text("") },
        { "rate", 1.0 },
        { "balance", std::int32_t(0) },
        { "currentPosition", 0.0 },
        { "defaultFrame", text("") },
        { "playCount", std::int32_t(1) },
        { "autoStart", true },
        { "currentMarker", std::int32_t(0) },
        { "invokeURLs", true },
        { "baseURL", text("") },
        { "volume", std::int32_t(50) },
        { "mute", false },
        { "uiMode", text("full") },
        { "stretchToFit", false },
        { "windowlessVideo", false },
        { "enabled", true },
        { "enableContextMenu", true },
        { "fullScreen", false },
        { "SAMIStyle", text("") },
        { "SAMILang", text("") },
        { "SAMIFilename", text("") },
        { "captioningID", text("") },
        { "enableErrorDialogs", false },
    };
    for (const auto &[name, value] : expected) {
        QVERIFY2(r.value() == value, name);
    }
    QCOMPARE(r.u32(), 6588u); // extent in hundredths of a millimetre: 3735 x 2295 twips
    QCOMPARE(r.u32(), 4048u);
    QVERIFY(r.atEnd());
}

// The control of Form1 that holds the keyboard focus, and the class of the widget inside it that
// holds it when that is not the control itself.
QString TestForm1Components::focused() const
{
    QWidget *const focus = QApplication::focusWidget();
    QWidget *w = focus;
    while (w && w->parentWidget() != m_form) {
        w = w->parentWidget();
    }
    if (!w) {
        return {};
    }
    return w == focus ? w->objectName()
                      : w->objectName() + '/' + QLatin1String(focus->metaObject()->className());
}

QImage TestForm1Components::grabStrip(const QRect &rect) const
{
    return m_form->grab(rect).toImage();
}

void TestForm1Components::focusAtStartAndKeyboardOrder()
{
    QCOMPARE(focused(), QStringLiteral("wm"));

    // Tab and Shift+Tab step through the four controls that take the focus, in order, and never
    // into the player's own buttons. The animation strips show the focus only while they have it
    // (rows of the title strip above the date line, the visible rows of the layout strip).
    const QRect titleStrip(0, 0, 193, 16);
    const QRect layoutStrip(0, 280, 246, 45);
    const QImage title = grabStrip(titleStrip);
    const QImage layout = grabStrip(layoutStrip);
    QWindow *window = m_form->windowHandle();
    QStringList forward;
    for (int i = 0; i < 4; ++i) {
        QTest::keyClick(window, Qt::Key_Tab);
        forward << focused();
        if (forward.last() == QLatin1String("ShockwaveFlash3")) {
            QVERIFY(grabStrip(layoutStrip) != layout);
        } else if (forward.last() == QLatin1String("ShockwaveFlash1")) {
            QVERIFY(grabStrip(titleStrip) != title);
            QCOMPARE(grabStrip(layoutStrip), layout);
        }
    }
    QCOMPARE(forward, QStringList({ "Combo1", "ShockwaveFlash3", "ShockwaveFlash1", "wm" }));
    QCOMPARE(grabStrip(titleStrip), title);
    QStringList backward;
    for (int i = 0; i < 4; ++i) {
        QTest::keyClick(window, Qt::Key_Backtab, Qt::ShiftModifier);
        backward << focused();
    }
    QCOMPARE(backward, QStringList({ "ShockwaveFlash1", "ShockwaveFlash3", "Combo1", "wm" }));

    // The player's own keys work while it has the focus.
    QCOMPARE(focused(), QStringLiteral("wm"));
    auto *wm = m_form->findChild<player::MediaPlayer *>(QStringLiteral("wm"));
    QTest::keyClick(window, Qt::Key_Down);
    QCOMPARE(wm->playback()->volume(), 45);
    QTest::keyClick(window, Qt::Key_Up);
    QCOMPARE(wm->playback()->volume(), 50);
    QVERIFY(wm->url().isEmpty());
}

void TestForm1Components::nothingPopsUp()
{
    // Both fetches fail; the window stays the only one shown, with no dialog and no error.
    for (QSignalSpy *fetch : m_fetches) {
        QTRY_COMPARE_WITH_TIMEOUT(fetch->size(), 1, 20000);
        QCOMPARE(fetch->first().first().toBool(), false);
    }
    QTest::qWait(200);
    QVERIFY(m_errors.isEmpty());
    QVERIFY(!QApplication::activeModalWidget());
    QVERIFY(!QApplication::activePopupWidget());
    QWidgetList shown;
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (w->isVisible()) {
            shown << w;
        }
    }
    QCOMPARE(shown, QWidgetList { m_form });
    QVERIFY(m_form->isActiveWindow());
    for (auto *movie : m_form->findChildren<animation::FlashPlayer *>()) {
        QVERIFY(!movie->hasMovie());
    }
}

QTEST_MAIN(TestForm1Components)
#include "tst_form1_components.moc"
