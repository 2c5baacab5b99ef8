#pragma once
// The main window for fingers, keyboards and screen readers: the touch hold
// and the edit keys on the six category buttons, Enter on every button, and
// names for the blank category buttons and the bare numbers.

class QWidget;

namespace main_window {

// Called once the main window's controls are built.
void equipForAccess(QWidget &form2);

}  // namespace main_window
