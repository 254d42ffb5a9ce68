#pragma once

class QWidget;

namespace platform {

// The window operations that handlers call. Each throws RuntimeError when it is given no window.

// Makes the window visible, modeless and without owner; returns at once. A minimised window is
// brought back to its normal state.
void showWindow(QWidget *window);
// Makes the window invisible; it, its controls and their state stay alive.
void hideWindow(QWidget *window);
// Puts WindowState 1: the window is minimised, nothing else changes.
void minimiseWindow(QWidget *window);
// Ends the program at once: every top-level window disappears, no close notification runs, no
// further event is handled, and the event loop returns the given status.
void endProgram(int status = 0);

} // namespace platform
