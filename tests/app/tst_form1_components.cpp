#include "app/startup.h"
#include "platform/components.h"
#include "platform/forms.h"
#include "platform/runtime.h"
#include "platform/windows.h"
#include "player/component.h"
#include "player/mediaplayer.h"
#include "title/flashplayer.h"
#include "title/flashsettings.h"
#include "ui/description.h"

#include <QApplication>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>
#include <QUrl>
#include <QWindow>

#include <clocale>

// Form1 as the program builds it, with the real components: the media player with its engine
// idle, and animation players whose movie cannot be fetched. Their movie address keeps its path
// but points at a loopback port that refuses, so nothing leaves the machine.
class TestForm1Components : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void focusAtStartAndKeyboardOrder();
    void nothingPopsUp();

private:
    QString focused() const;
    QImage grabStrip(const QRect &rect) const;

    QWidget *m_form = nullptr;
    QList<QSignalSpy *> m_fetches;
    QList<int> m_errors;
};

void TestForm1Components::initTestCase()
{
    std::setlocale(LC_NUMERIC, "C"); // as main() does, for the player's engine
    qunsetenv("http_proxy");
    qunsetenv("HTTP_PROXY");
    quint16 refusingPort = 0;
    {
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost, 0));
        refusingPort = server.serverPort();
    }
    platform::registerComponent(ui::mediaPlayerClass, player::createMediaPlayer);
    platform::registerComponent(
        ui::flashPlayerClass, [refusingPort](QWidget *parent, const QByteArray &block) {
            title::FlashSettings settings = title::decodeFlashSettings(block);
            for (QString *address : { &settings.movie, &settings.src }) {
                QUrl url(*address);
                url.setHost(QStringLiteral("127.0.0.1"));
                url.setPort(refusingPort);
                *address = url.toString(QUrl::FullyEncoded);
            }
            return title::createFlashPlayer(parent, title::encodeFlashSettings(settings));
        });
    platform::setErrorReporter([this](const platform::RuntimeError &e) { m_errors << e.number(); });
    app::registerWindows();

    m_form = platform::window(QStringLiteral("Form1"));
    for (const char *name : { "ShockwaveFlash1", "ShockwaveFlash3" }) {
        auto *movie = m_form->findChild<title::FlashPlayer *>(QLatin1String(name));
        QVERIFY(movie);
        m_fetches << new QSignalSpy(movie, &title::FlashPlayer::movieFetched);
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
    QCOMPARE(wm->volume(), 45);
    QTest::keyClick(window, Qt::Key_Up);
    QCOMPARE(wm->volume(), 50);
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
    for (auto *movie : m_form->findChildren<title::FlashPlayer *>()) {
        QVERIFY(!movie->hasMovie());
    }
}

QTEST_MAIN(TestForm1Components)
#include "tst_form1_components.moc"
