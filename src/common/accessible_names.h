#pragma once
// Names that a screen reader speaks for the controls whose captions alone say
// too little: a "-" or "+", a bare number, a blank caption. A name is worked
// out each time it is asked for, from the captions as they are then, so it
// follows every edit without being kept up to date.

#include <QString>
#include <functional>

class QWidget;

namespace a11y {

using Namer = std::function<QString()>;

// From now on `control` answers a screen reader with what `namer` returns.
// Needs a running QApplication.
void nameBy(QWidget *control, Namer namer);

// `caption` without surrounding blanks, or `blank` where nothing is left.
QString said(const QString &caption, const QString &blank);

// What a blank number or text is read as.
QString emptyWord();

}  // namespace a11y
