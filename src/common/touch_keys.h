#pragma once
// A till is often worked by finger or keyboard rather than by mouse.
//
// Touch: a finger held still on a control whose caption the right button
// edits opens the same input box, and the control's click does not follow
// when the finger lifts; a short tap stays a click. Mouse input is left alone:
// the right button edits, the left button clicks however long it is held.
// Touch is told from the mouse by where the event comes from, never by time.
//
// Keyboard: Enter and the keypad's Enter press the focused button, as Space
// does; F2 or the context menu key on a focused editable control opens its
// input box.

#include <QList>

class QWidget;

namespace tillinput {

// How long a finger rests on a control before its input box opens.
inline constexpr int holdMilliseconds = 600;

// Binds every button of `window` to the Enter keys, and `editable` (the
// controls a right press edits) to the touch hold and the edit keys. Both edit
// gestures reach the control as a right press, so the window's own right-press
// handler does the editing.
void equip(QWidget *window, const QList<QWidget *> &editable);

// Opens `control`'s input box the way the mouse does: a right press,
// delivered to the control so that the window's handler for it runs.
void openEditor(QWidget *control);

}  // namespace tillinput
