#include "../common/standins.h"

#include "app/events.h"
#include "app/startup.h"
#include "decor/colourcycle.h"
#include "decor/datetimelabel.h"
#include "platform/alarm.h"
#include "platform/clock.h"
#include "platform/random.h"
#include "platform/runtime.h"
#include "platform/windowregistry.h"
#include "platform/windows.h"
#include "ui/controls.h"
#include "ui/timercontrol.h"

#include <QApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QIcon>
#include <QMessageBox>
#include <QSet>
#include <QTest>
#include <QTimer>
#include <QWindow>

// Start-up, the handled events and the window commands, with stand-ins for the components.
class TestApp : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void eventTableIsComplete();
    void startUpCreatesOnlyForm1();
    void minimiseKeepsEverythingGoing();
    void bannerSwitchesToTheCreditsWindow();
    void creditsWindowSwitchesBack();
    void creditsWindowHasNoIcon();
    void timersAndPlayerCarryOnWhileHidden();
    void colourSequenceKeepsInStepOffScreen_data();
    void colourSequenceKeepsInStepOffScreen();
    void labelTurnsWithTheClockAtMidnight();
    void closePictureEndsTheProgram();
    void closePictureEndsTheProgramAfterTheCreditsWindow();
    void failingPutInAHandlerEndsTheProgram();
    void closingTheLastShownWindowEndsTheProgram_data();
    void closingTheLastShownWindowEndsTheProgram();

private:
    QWidget *form1() const { return platform::window(QStringLiteral("Form1")); }
    QObject *control(const char *window, const char *name) const
    {
        return platform::control(QLatin1String(window), QLatin1String(name));
    }
    void clickAt(QWidget *window, QPoint at, bool twice = false);
    void startForm1();
};

void TestApp::initTestCase()
{
    registerStandIns();
}

void TestApp::init()
{
    app::registerWindows();
}

void TestApp::cleanup()
{
    platform::setClockOffset(0);
    platform::setErrorReporter({});
    platform::destroyWindows();
}

void TestApp::startForm1()
{
    platform::showWindow(form1());
    QVERIFY(QTest::qWaitForWindowExposed(form1()));
}

// A click through the window system, so the front-most control at that point gets it.
void TestApp::clickAt(QWidget *window, QPoint at, bool twice)
{
    QTest::mouseClick(window->windowHandle(), Qt::LeftButton, {}, at);
    if (twice) {
        QTest::mouseDClick(window->windowHandle(), Qt::LeftButton, {}, at);
    }
}

void TestApp::eventTableIsComplete()
{
    QSet<QString> rows;
    for (const app::HandledEvent &e : app::handledEvents()) {
        rows.insert(
            QStringLiteral("%1.%2.%3")
                .arg(QLatin1String(e.window), QLatin1String(e.control), QLatin1String(e.event)));
        QVERIFY(e.handler);
    }
    const QSet<QString> expected { "Form1.Combo1.Click", "Form1.Timer1.Timer", "Form1.Timer3.Timer",
        "Form1.Label3.Click", "Form1.Image1.Click", "Form1.Image2.Click", "Form2.Image2.Click",
        "Form2.Image1.DblClick" };
    QCOMPARE(rows, expected);
    QCOMPARE(app::handledEvents().size(), size_t(8));
}

void TestApp::startUpCreatesOnlyForm1()
{
    startForm1();
    QVERIFY(!platform::existingWindow(QStringLiteral("Form2")));
    QVERIFY(form1()->isVisible());
    // Form1 is placed at the centre of the screen.
    const QRect screen = form1()->screen()->availableGeometry();
    QVERIFY(std::abs(form1()->geometry().center().x() - screen.center().x()) <= 1);
    QVERIFY(std::abs(form1()->geometry().center().y() - screen.center().y()) <= 1);
    // The list's text keeps its first colour until Timer3's first tick; the label its empty
    // caption until Timer1's.
    auto *combo = qobject_cast<ui::ComboBox *>(control("Form1", "Combo1"));
    QCOMPARE(combo->foreColour(), 255u);
    QTRY_VERIFY(!qobject_cast<ui::Label *>(control("Form1", "Label1"))->caption().isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(combo->foreColour() != 255u, 5000);
}

void TestApp::minimiseKeepsEverythingGoing()
{
    startForm1();
    auto *combo = qobject_cast<ui::ComboBox *>(control("Form1", "Combo1"));
    auto *player = qobject_cast<RecordingPlayer *>(control("Form1", "wm"));
    combo->setFocus();
    QTest::keyClick(combo, Qt::Key_Down);
    QCOMPARE(player->puts.size(), 1);
    const QPoint before = form1()->pos();

    clickAt(form1(), QPoint(217, 8)); // where the two pictures overlap: minimise
    QTRY_VERIFY(form1()->isMinimized());
    QCOMPARE(platform::getProperty(form1(), "WindowState").toInt(), 1);
    QVERIFY(!platform::existingWindow(QStringLiteral("Form2")));

    auto *label1 = qobject_cast<ui::Label *>(control("Form1", "Label1"));
    const platform::ColourValue colour = combo->foreColour();
    QTRY_VERIFY_WITH_TIMEOUT(combo->foreColour() != colour, 5000);
    QTRY_VERIFY(!label1->caption().isEmpty());
    QCOMPARE(player->puts.size(), 1);

    // Restored by the desktop's usual means: the same station, the same place.
    form1()->setWindowState(form1()->windowState() & ~Qt::WindowMinimized);
    QTRY_VERIFY(!form1()->isMinimized());
    QCOMPARE(combo->text(), QStringLiteral("Radio GoonGoo0n"));
    QCOMPARE(form1()->pos(), before);
}

void TestApp::bannerSwitchesToTheCreditsWindow()
{
    startForm1();
    clickAt(form1(), QPoint(120, 93)); // the skin strip under the banner still belongs to Label3
    QTRY_VERIFY(!form1()->isVisible());
    QWidget *form2 = platform::existingWindow(QStringLiteral("Form2"));
    QVERIFY(form2);
    QVERIFY(QTest::qWaitForWindowExposed(form2));
    QCOMPARE(form2->size(), QSize(431, 311));
    QVERIFY(form2->windowFlags() & Qt::FramelessWindowHint);
    const QPoint placed = form2->pos();

    // Back, and again: the same instance at the same place.
    clickAt(form2, QPoint(15, 295)); // its close button
    QTRY_VERIFY(form1()->isVisible());
    QVERIFY(!form2->isVisible());
    clickAt(form1(), QPoint(30, 60));
    QTRY_VERIFY(form2->isVisible());
    QCOMPARE(platform::existingWindow(QStringLiteral("Form2")), form2);
    QCOMPARE(form2->pos(), placed);
    QCOMPARE(qobject_cast<ui::Label *>(control("Form2", "Label1"))->caption(),
        QStringLiteral("  Using"));
}

void TestApp::creditsWindowSwitchesBack()
{
    startForm1();
    clickAt(form1(), QPoint(30, 60));
    QWidget *form2 = platform::window(QStringLiteral("Form2"));
    QTRY_VERIFY(form2->isVisible());

    // A single click on the picture does nothing; nor does a double click on a label.
    clickAt(form2, QPoint(300, 200));
    QTest::qWait(50);
    QVERIFY(form2->isVisible());
    clickAt(form2, QPoint(160, 115), true); // Label1
    clickAt(form2, QPoint(380, 30), true); // Label2
    QTest::qWait(50);
    QVERIFY(form2->isVisible() && !form1()->isVisible());

    // A double click on the picture does.
    clickAt(form2, QPoint(300, 200), true);
    QTRY_VERIFY(form1()->isVisible());
    QVERIFY(!form2->isVisible());
}

void TestApp::creditsWindowHasNoIcon()
{
    // Form2's icon is cleared: the window system gets an icon with nothing in it, not the
    // application's icon that the toolkit falls back to; Form1 shows that one.
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/pictures/icon.png")));
    startForm1();
    clickAt(form1(), QPoint(30, 60));
    QWidget *form2 = platform::window(QStringLiteral("Form2"));
    QVERIFY(QTest::qWaitForWindowExposed(form2));
    const QImage icon2 = form2->windowHandle()->icon().pixmap(32).toImage();
    const QImage icon1 = form1()->windowHandle()->icon().pixmap(32).toImage();
    QApplication::setWindowIcon(QIcon());
    QVERIFY(!icon2.isNull() && !icon1.isNull());
    QCOMPARE(icon1.pixelColor(0, 0).alpha(), 255);
    for (int y = 0; y < icon2.height(); ++y) {
        for (int x = 0; x < icon2.width(); ++x) {
            QCOMPARE(icon2.pixelColor(x, y).alpha(), 0);
        }
    }
}

void TestApp::timersAndPlayerCarryOnWhileHidden()
{
    startForm1();
    auto *combo = qobject_cast<ui::ComboBox *>(control("Form1", "Combo1"));
    auto *label1 = qobject_cast<ui::Label *>(control("Form1", "Label1"));
    auto *player = qobject_cast<RecordingPlayer *>(control("Form1", "wm"));
    combo->setFocus();
    QTest::keyClick(combo, Qt::Key_Down);
    clickAt(form1(), QPoint(30, 60));
    QTRY_VERIFY(!form1()->isVisible());
    const platform::ColourValue colour = combo->foreColour();
    QTRY_VERIFY_WITH_TIMEOUT(combo->foreColour() != colour, 5000);
    const QString caption = label1->caption();
    QTRY_VERIFY_WITH_TIMEOUT(label1->caption() != caption, 5000);
    QCOMPARE(player->puts.size(), 1);
    QCOMPARE(player->url(), QStringLiteral("http://192.0.2.11:8032"));
}

void TestApp::colourSequenceKeepsInStepOffScreen_data()
{
    QTest::addColumn<bool>("minimise");
    QTest::newRow("minimised") << true;
    QTest::newRow("behind the credits window") << false;
}

void TestApp::colourSequenceKeepsInStepOffScreen()
{
    // Off screen the colours need not be drawn, but the sequence keeps its place: back on screen,
    // the list shows at once the colour that a window always shown would show after as many
    // 200 ms ticks as have passed, each tick three draws.
    QFETCH(bool, minimise);
    const platform::RandomSource start = platform::RandomSource::instance();
    const auto colourAfter = [&start](qint64 ticks) {
        platform::RandomSource source = start;
        platform::ColourValue colour = platform::rgbColour(255, 0, 0);
        for (qint64 i = 0; i < ticks; ++i) {
            colour = decor::nextColour(source);
        }
        return colour;
    };
    QElapsedTimer beforeCreation;
    beforeCreation.start();
    form1();
    const qint64 createdAt = platform::currentMSecsSinceEpoch();
    startForm1();
    auto *timer3 = qobject_cast<ui::TimerControl *>(control("Form1", "Timer3"));
    auto *combo = qobject_cast<ui::ComboBox *>(control("Form1", "Combo1"));
    QVERIFY(timer3);

    if (minimise) {
        clickAt(form1(), QPoint(205, 8));
        QTRY_VERIFY(form1()->isMinimized());
    } else {
        clickAt(form1(), QPoint(30, 60));
        QTRY_VERIFY(!form1()->isVisible());
    }
    QTest::qWait(1300);
    QCOMPARE(combo->foreColour(), colourAfter(timer3->ticksDelivered()));

    // Due by now: the points of the wall clock's 200 ms grid from one interval after the creation
    // on (less a millisecond: the timer counts on another clock, rounded apart).
    const qint64 firstDue = platform::gridPointAtOrAfter(createdAt + 200, 200);
    const qint64 now = platform::currentMSecsSinceEpoch() - 1;
    const qint64 dueOnReturn = now < firstDue ? 0 : (now - firstDue) / 200 + 1;
    if (minimise) {
        form1()->setWindowState(form1()->windowState() & ~Qt::WindowMinimized);
    } else {
        clickAt(platform::window(QStringLiteral("Form2")), QPoint(15, 295));
    }
    QVERIFY(form1()->isVisible() && !form1()->isMinimized());
    QCoreApplication::processEvents();
    const qint64 ticks = timer3->ticksDelivered();
    QVERIFY2(ticks >= dueOnReturn,
        qPrintable(QStringLiteral("%1 ticks, %2 due").arg(ticks).arg(dueOnReturn)));
    QVERIFY(ticks <= beforeCreation.elapsed() / 200);
    QCOMPARE(combo->foreColour(), colourAfter(ticks));
}

void TestApp::labelTurnsWithTheClockAtMidnight()
{
    // At a tick the clock is moved to 1.3 s before the end of the year, 0.7 s out of step with the
    // rhythm of the ticks so far: the label follows the clock, not the rhythm it had. Its first
    // tick after midnight shows the new date and 00:00:00, right after the turn (well inside the
    // half second that would be a stall).
    startForm1();
    auto *timer1 = qobject_cast<ui::TimerControl *>(control("Form1", "Timer1"));
    auto *label1 = qobject_cast<ui::Label *>(control("Form1", "Label1"));
    QVERIFY(timer1);
    const QDateTime eve(QDate(2026, 12, 31), QTime(23, 59, 58, 700));
    QList<std::pair<qint64, QString>> ticks; // the clock at each tick, and the label after it
    connect(timer1, &ui::TimerControl::Timer, this, [&] {
        // The second tick is the first that the turn of a second brought.
        if (ticks.size() == 1) {
            platform::setClockOffset(eve.toMSecsSinceEpoch() - QDateTime::currentMSecsSinceEpoch());
        }
        ticks.append({ platform::currentMSecsSinceEpoch(), label1->caption() });
    });
    const qint64 midnight = QDateTime(QDate(2027, 1, 1), QTime(0, 0)).toMSecsSinceEpoch();
    QTRY_VERIFY_WITH_TIMEOUT(!ticks.isEmpty() && ticks.last().first >= midnight, 10000);
    const auto first = std::find_if(
        ticks.begin(), ticks.end(), [midnight](const auto &t) { return t.first >= midnight; });
    QCOMPARE(first->second, decor::dateTimeText(QDate(2027, 1, 1), QTime(0, 0, 0)));
    QVERIFY2(first->first - midnight < 500, qPrintable(QString::number(first->first - midnight)));
    disconnect(timer1, nullptr, this, nullptr);
}

void TestApp::closePictureEndsTheProgram()
{
    startForm1();
    QTimer::singleShot(0, this, [&] { clickAt(form1(), QPoint(230, 8)); });
    QTimer guard;
    guard.setSingleShot(true);
    connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(99); });
    guard.start(30000);
    QCOMPARE(QApplication::exec(), 0);
    // Nothing is left on the screen, and no handler ran after the end.
    for (QWidget *w : QApplication::topLevelWidgets()) {
        QVERIFY(!w->isVisible());
    }
}

void TestApp::closePictureEndsTheProgramAfterTheCreditsWindow()
{
    startForm1();
    QTimer::singleShot(0, this, [&] {
        clickAt(form1(), QPoint(30, 60));
        clickAt(platform::window(QStringLiteral("Form2")), QPoint(15, 295));
        clickAt(form1(), QPoint(230, 8));
    });
    QTimer guard;
    guard.setSingleShot(true);
    connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(99); });
    guard.start(30000);
    QCOMPARE(QApplication::exec(), 0);
    QVERIFY(platform::existingWindow(QStringLiteral("Form2")));
    for (QWidget *w : QApplication::topLevelWidgets()) {
        QVERIFY(!w->isVisible());
    }
}

void TestApp::failingPutInAHandlerEndsTheProgram()
{
    // A Form1 whose date label cannot take a caption: Timer1's first tick fails, the user is told
    // the error's number and description, and the program ends.
    startForm1();
    auto *label1 = control("Form1", "Label1");
    label1->setObjectName(QStringLiteral("Label1Renamed"));
    auto *notALabel = new QObject(form1());
    notALabel->setObjectName(QStringLiteral("Label1"));

    QString shown;
    QTimer closer;
    closer.setInterval(20);
    connect(&closer, &QTimer::timeout, [&] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            shown = box->text();
            box->accept();
        }
    });
    closer.start();
    QTimer guard;
    guard.setSingleShot(true);
    connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(99); });
    guard.start(30000);
    QCOMPARE(QApplication::exec(), platform::untrappedErrorExitCode);
    QVERIFY2(shown.contains(QStringLiteral("438")), qPrintable(shown));
    QVERIFY(shown.contains(QStringLiteral("doesn't support this property")));
}

void TestApp::closingTheLastShownWindowEndsTheProgram_data()
{
    QTest::addColumn<bool>("fromCredits");
    QTest::newRow("Form1 closed by the desktop") << false;
    QTest::newRow("Form2 closed by the desktop while Form1 is hidden") << true;
}

void TestApp::closingTheLastShownWindowEndsTheProgram()
{
    // No process is left running without a window the user could reach.
    QFETCH(bool, fromCredits);
    startForm1();
    if (fromCredits) {
        clickAt(form1(), QPoint(30, 60));
        QTRY_VERIFY(platform::window(QStringLiteral("Form2"))->isVisible());
    }
    QWidget *shown = fromCredits ? platform::window(QStringLiteral("Form2")) : form1();
    QTimer::singleShot(0, shown, [shown] { shown->close(); });
    QTimer guard;
    guard.setSingleShot(true);
    connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(99); });
    guard.start(30000);
    QCOMPARE(QApplication::exec(), 0);
}

QTEST_MAIN(TestApp)
#include "tst_app.moc"
