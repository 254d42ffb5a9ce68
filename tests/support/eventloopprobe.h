#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QStringList>
#include <QTimer>

namespace testsupport {

// Watches the user-interface thread while a test runs: a 10 ms timer notes the longest gap
// between its ticks (a stalled event loop shows as a long gap), and every tick looks for a
// dialog (any visible QDialog, message boxes included) among the top-level widgets.
class EventLoopProbe : public QObject
{
    Q_OBJECT
public:
    explicit EventLoopProbe(QObject *parent = nullptr);

    void start();
    void stop();
    void reset();

    qint64 longestGapMs() const { return m_longestGap; }
    // When the longest gap ended, in ms after the last start or reset.
    qint64 longestGapEndMs() const { return m_longestGapEnd; }
    qint64 ticks() const { return m_ticks; }
    // Class and title of every dialog seen since the last reset.
    QStringList dialogsSeen() const { return m_dialogs; }

private:
    void tick();

    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = -1;
    qint64 m_longestGap = 0;
    qint64 m_longestGapEnd = 0;
    qint64 m_ticks = 0;
    QStringList m_dialogs;
};

} // namespace testsupport
