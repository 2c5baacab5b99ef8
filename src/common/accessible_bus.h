#pragma once
// The one place where the program talks to a screen reader past the toolkit:
// a changed name or description goes out with its new text in the event
// itself. Qt 6.4's AT-SPI bridge puts the object where the text belongs, and
// Orca refuses to speak that ("bad content"), so nothing a press changed was
// heard.

#include <QAccessible>

class QAccessibleInterface;

namespace a11y {

// Tells the screen reader that `face`'s name or description (`what`) changed,
// carrying the text it now has, on the toolkit's own connection to the
// accessibility bus, so that the event comes from the object the screen
// reader knows. False where there is no such connection (another platform, no
// screen reader listening, a toolkit that connects differently): the
// toolkit's own event is then sent instead.
bool sendTextChange(QAccessibleInterface *face, QAccessible::Event what);

}  // namespace a11y
