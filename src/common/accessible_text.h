#pragma once
// What a screen reader reads of the program's text fields and choice boxes.
//
// A screen reader asks a field for the character, word, sentence or line at,
// before or after any offset of its text, and for the run of text attributes
// at an offset. The toolkit's own answers for a one-line field (Qt 6.4) never
// return for a word or a sentence asked at the end of the text, which hangs
// the whole program, and give runs of no length, after which a screen reader
// drops a value's last character. Every QLineEdit of the program, and so every
// spin box, date field and editable choice box built on one, answers through
// the interface made here instead.
//
// A choice box that cannot be typed into is told with its chosen text as its
// text, which is what a screen reader reads as its value; a change of choice
// made while it has the focus is told as a change of its description, which
// is the chosen text, so that it is spoken.

#include <QAccessible>
#include <QString>

class QAccessibleEvent;

namespace a11y {

// Where a piece of text of the given kind lies in `text`: the piece at
// `offset`, the one before it or the one after it. Offsets run from 0 to the
// text's length; at the length the piece is the last one (an empty piece for
// characters). Nothing found, or an offset outside the text, gives -1, -1 and
// an empty text. Always returns, for any text and offset.
enum class Piece { At, Before, After };
QString textPiece(const QString &text, int offset, QAccessible::TextBoundaryType boundary,
                  Piece which, int *startOffset, int *endOffset);

// Makes the program's text fields and choice boxes answer through the
// interfaces above from now on. Needs a running QApplication; safe to call
// more than once.
void answerTextFields();

// True for a text field's caret or selection event that comes before the
// field's focus has been told, which the program's update handler holds back.
// Called for every event the handler sees.
bool tellsFocusTooEarly(QAccessibleEvent *event);

// Tells a change of a choice box's choice as a change of its description,
// where the box has the focus. Called for every event the program's update
// handler sees.
void tellChoiceChanged(QAccessibleEvent *event);

}  // namespace a11y
