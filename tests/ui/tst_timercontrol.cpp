#include "platform/clock.h"
#include "ui/timercontrol.h"

#include <QDateTime>
#include <QScopeGuard>
#include <QTest>
#include <QTimer>
#include <QWidget>

class TestTimerControl : public QObject
{
    Q_OBJECT

private slots:
    void ticksOnTheWallClocksGrid();
};

void TestTimerControl::ticksOnTheWallClocksGrid()
{
    // Started 270 ms before a turn of the second (70 ms off the 200 ms grid), a 200 ms timer's
    // first tick is due one interval on, at the next point of the grid: the turn. Its ticks are
    // all set for points of the grid, none comes before its point, and the one on the turn comes
    // in the same pass of the event loop as the turn of the second (one wake-up for both).
    QWidget window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const auto normalClock = qScopeGuard([] { platform::setClockOffset(0); });
    const qint64 system = QDateTime::currentMSecsSinceEpoch();
    platform::setClockOffset((system / 1000 + 1) * 1000 - 270 - system);
    const qint64 start = platform::currentMSecsSinceEpoch();
    ui::TimerControl timer(&window);
    timer.setInterval(200);
    const qint64 first = timer.lastTickSetFor();
    QCOMPARE(first % 200, 0);
    QVERIFY2(first >= start + 200 && first < start + 400, qPrintable(QString::number(first)));

    // What came in each pass of the event loop: the ticks (by the instant each was set for) and
    // the turns of the second (as -1).
    QList<QList<qint64>> passes;
    bool passOpen = false;
    const auto note = [&](qint64 what) {
        if (!passOpen) {
            passOpen = true;
            passes.append(QList<qint64>());
            QTimer::singleShot(0, &window, [&] { passOpen = false; });
        }
        passes.last().append(what);
    };
    connect(&timer, &ui::TimerControl::Timer, this, [&] {
        const qint64 setFor = timer.lastTickSetFor();
        QVERIFY2(platform::currentMSecsSinceEpoch() >= setFor, "a tick came early");
        QCOMPARE(setFor % 200, 0);
        note(setFor);
    });
    connect(&platform::SecondTicker::instance(), &platform::SecondTicker::secondTurned, this,
        [&] { note(-1); });
    const auto turnWithItsTick = [&] {
        return std::any_of(passes.begin(), passes.end(), [](const QList<qint64> &pass) {
            return pass.contains(-1) && std::any_of(pass.begin(), pass.end(), [](qint64 t) {
                return t > 0 && t % 1000 == 0;
            });
        });
    };
    QTRY_VERIFY_WITH_TIMEOUT(turnWithItsTick(), 5000);
    QVERIFY(timer.ticksDelivered() >= 1);
}

QTEST_MAIN(TestTimerControl)
#include "tst_timercontrol.moc"
