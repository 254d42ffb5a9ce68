#include "app/events.h"

#include "app/commands.h"

#include "decor/colourcycle.h"
#include "decor/datetimelabel.h"
#include "platform/runtime.h"
#include "stations/selection.h"
#include "ui/timercontrol.h"

#include <QMetaMethod>
#include <QObject>
#include <QWidget>

#include <array>

namespace app {

namespace {

constexpr std::array<HandledEvent, 8> table { {
    { "Form1", "Combo1", "Click", stations::combo1Click },
    { "Form1", "Timer1", "Timer", decor::timer1Timer, ResultChanges::AtWholeSeconds },
    { "Form1", "Timer3", "Timer", decor::timer3Timer },
    { "Form1", "Label3", "Click", form1Label3Click },
    { "Form1", "Image1", "Click", form1Image1Click },
    { "Form1", "Image2", "Click", form1Image2Click },
    { "Form2", "Image2", "Click", form2Image2Click },
    { "Form2", "Image1", "DblClick", form2Image1DblClick },
} };

// Carries one event of one control to its handler.
class EventRelay : public QObject
{
    Q_OBJECT

public:
    EventRelay(Handler handler, QObject *parent)
        : QObject(parent)
        , m_handler(handler)
    {
    }

public slots:
    void fire() { platform::runHandler(m_handler); }

private:
    Handler m_handler;
};

// Every control carries its events as signals of the same names.
QByteArray signalFor(const char *event)
{
    return QByteArray(event) + "()";
}

void tellPace(QObject *control, const HandledEvent &row)
{
    if (row.changes == ResultChanges::AnyTime) {
        return;
    }
    auto *timer = qobject_cast<ui::TimerControl *>(control);
    if (!timer) {
        qFatal("%s.%s is no timer to pace by the clock", row.window, row.control);
    }
    timer->setPace(ui::TimerControl::Pace::WholeSeconds);
}

} // namespace

std::span<const HandledEvent> handledEvents()
{
    return table;
}

void bindEvents(QWidget *window)
{
    const QString windowName = window->objectName();
    for (const HandledEvent &row : table) {
        if (windowName != QLatin1String(row.window)) {
            continue;
        }
        QObject *control
            = window->findChild<QObject *>(QLatin1String(row.control), Qt::FindDirectChildrenOnly);
        if (!control) {
            qFatal("%s has no control %s", row.window, row.control);
        }
        const int signalIndex
            = control->metaObject()->indexOfSignal(signalFor(row.event).constData());
        if (signalIndex < 0) {
            qFatal("%s.%s raises no %s event", row.window, row.control, row.event);
        }
        tellPace(control, row);
        auto *relay = new EventRelay(row.handler, control);
        QObject::connect(control, control->metaObject()->method(signalIndex), relay,
            relay->metaObject()->method(relay->metaObject()->indexOfSlot("fire()")));
    }
}

} // namespace app

#include "events.moc"
