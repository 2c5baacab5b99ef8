#pragma once
// The main window for fingers, keyboards and screen readers: the touch hold
// and the edit keys on the six category buttons, Enter on every button,
// names for the window, the blank category buttons and the bare numbers, the
// bill line by line, and what "清单" and "一键归零" changed.

class QWidget;

namespace main_window {

// Called once the main window's controls are built.
void equipForAccess(QWidget &form2);

}  // namespace main_window
