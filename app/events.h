#pragma once

#include <span>

class QWidget;

namespace app {

using Handler = void (*)();

// When a handler's visible result can change. A timer whose handler shows something that only
// changes as the wall clock's second turns (and keeps no state) need not run it every interval:
// its control is told so and wakes the program once a second instead.
enum class ResultChanges { AnyTime, AtWholeSeconds };

// One handled event: the window, the control, the event, and the handler that does the work.
struct HandledEvent
{
    const char *window;
    const char *control;
    const char *event;
    Handler handler;
    ResultChanges changes = ResultChanges::AnyTime;
};

// The complete table: no other event of any window or control does work of the program's own.
std::span<const HandledEvent> handledEvents();

// Connects the rows of the table that belong to this window (by its name) to its controls.
// Each handler runs as the platform runs handlers: an untrapped runtime error ends it and goes
// to the report.
void bindEvents(QWidget *window);

} // namespace app
