#pragma once

namespace app {

// Registers the embedded components under their class names.
void registerComponents();

// Registers the two windows: each is made from its description on first reference, with its
// handled events bound.
void registerWindows();

// The whole run: identity, registrations, Form1 created and shown centred, then events until
// the program ends. Returns the exit status. Needs a QApplication.
int run();

} // namespace app
