#pragma once
// Names that a screen reader speaks for the controls whose captions alone say
// too little: a "-" or "+", a bare number, a blank caption, a window. A name
// is worked out each time it is asked for, from the captions as they are
// then, so it follows every edit without being kept up to date.
//
// Besides names: what a press changed (the pressed button's description,
// spoken at once after the press), the name changes of controls whose names
// quote another control's caption, and boxes of printed lines that a screen
// reader reads line by line. Nothing is told about a control that is not
// shown: a name or description that changed in a hidden window is told when
// the window shows again, if a screen reader saw it before.

#include <QList>
#include <QRect>
#include <QString>
#include <functional>

class QAbstractButton;
class QAbstractItemView;
class QWidget;

namespace a11y {

using Namer = std::function<QString()>;

// Makes everything below, and the program's text fields and choice boxes
// (accessible_text.h), answer a screen reader. Done by the first name given;
// the program calls it at its start so that windows without named controls
// answer too. Needs a running QApplication; safe to call more than once.
void install();

// From now on `control` answers a screen reader with what `namer` returns.
// A window is told as a window, a button as a button, anything else as
// static text. Needs a running QApplication.
void nameBy(QWidget *control, Namer namer);

// After every press of `button` (mouse, keyboard, finger or a screen
// reader's "Press"), its description is what `describer` then returns, and
// the screen reader is told that it changed, so it speaks it at once. Once
// the button loses the focus, its description is what `restingWords` returns
// (nothing without it) until the next press. The button keeps the name it had
// (its caption where it had none of ours).
void describeAfterPress(QAbstractButton *button, Namer describer, Namer restingWords = {});

// Says `words` now, as news about `control`: the control the keyboard is on,
// or the one it goes back to as a window closes (a screen reader speaks news
// only about the control it takes for focused, and says it with the control
// when the focus arrives there later). The news is the control's description
// until the control loses the focus or is hidden. Nothing is said for empty
// words; the same words again are said again.
void sayNow(QWidget *control, const QString &words);

// Returns what `control`'s edits call: once they stop for a short pause
// (typing goes on, so nothing is said at every key), what `words` then
// returns is said as news about `control`, if it still has the focus.
std::function<void()> sayAfterPause(QWidget *control, Namer words);

// `dependent`'s name quotes `source`'s caption: whenever the source's
// caption changes, the screen reader also hears that the dependent's name
// changed.
void nameFollows(QWidget *dependent, QWidget *source);

// One printed line of a box, where it stands in the box.
struct Line {
    QString text;
    QRect rect;  // in the box's coordinates
};
using LineSource = std::function<QList<Line>()>;

// `box` is told as a list named by `namer`, whose items are the lines
// `lines` returns at the time of asking. Whenever its name is told to have
// changed (a label's caption set), so are its lines. Tab reaches it, and
// with the focus on it the arrow keys (Home, End) read it line by line.
void listBy(QWidget *box, Namer namer, LineSource lines);

// `view` (a list of rows drawn in columns) is told as a list named by
// `namer`, not as a tree or a table: its items are its rows, each said as
// `row` returns for its number, and the row the view's current index is on
// is told as focused as it changes. The view keeps its own keys.
void listRowsBy(QAbstractItemView *view, Namer namer, std::function<QString(int row)> row);

// As the keyboard comes to `table` (a table view), its current cell is told
// as focused too, so that a screen reader reads the row the table is on
// rather than only how many rows it has. Up on the first row and Down on the
// last say "已是第一行" and "已是最后一行" (as in a list of listRowsBy).
void tellCurrentCellOnFocus(QAbstractItemView *table);

// Tells the screen reader that `box`'s lines (and its name) changed, for a
// box that does not tell it by itself.
void linesChanged(QWidget *box);

// `control`'s input box tells the screen reader what it edits: "修改 " and
// what `what` returns then ("牛肉面 的小份价格"). The box's visible prompt
// stays as designed.
void editedAs(QWidget *control, Namer what);

// What the input box of `control` is told as, or nothing where it has not
// been said.
QString editPrompt(const QWidget *control);

// `caption` without surrounding blanks, or `blank` where nothing is left.
QString said(const QString &caption, const QString &blank);

// What a blank number or text is read as.
QString emptyWord();

}  // namespace a11y
