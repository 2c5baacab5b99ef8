#pragma once
// An order sheet for fingers, keyboards and screen readers: the touch hold and
// the edit keys on the 46 labels a right press edits, Enter on every button,
// the row's menu of texts to edit on its "-" and "+", names that say what
// each control of a dish row is, what a press changed, and the settle list
// line by line.

class QWidget;

namespace sheet {

// Called once the sheet's controls are built.
void equipForAccess(QWidget &sheet);

}  // namespace sheet
