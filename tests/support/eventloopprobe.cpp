#include "eventloopprobe.h"

#include <QApplication>
#include <QDialog>
#include <QWidget>

namespace testsupport {

EventLoopProbe::EventLoopProbe(QObject *parent)
    : QObject(parent)
{
    m_timer.setInterval(10);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &EventLoopProbe::tick);
}

void EventLoopProbe::start()
{
    reset();
    m_timer.start();
}

void EventLoopProbe::stop()
{
    m_timer.stop();
}

void EventLoopProbe::reset()
{
    m_clock.start();
    m_last = -1;
    m_longestGap = 0;
    m_longestGapEnd = 0;
    m_ticks = 0;
    m_dialogs.clear();
}

void EventLoopProbe::tick()
{
    const qint64 t = m_clock.elapsed();
    if (m_last >= 0 && t - m_last > m_longestGap) {
        m_longestGap = t - m_last;
        m_longestGapEnd = t;
    }
    m_last = t;
    ++m_ticks;
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (widget->isVisible() && qobject_cast<QDialog *>(widget)) {
            const QString what
                = QStringLiteral("%1 \"%2\"")
                      .arg(QLatin1String(widget->metaObject()->className()), widget->windowTitle());
            if (!m_dialogs.contains(what)) {
                m_dialogs.append(what);
            }
        }
    }
}

} // namespace testsupport
