#pragma once
// Shared helpers for the unit tests: a clean settings store per test, the
// modal input box answered from a timer, and small lookups.

#include <QString>
#include <functional>

class QWidget;

namespace testsupport {

// Empties the per-user settings store (the test's own XDG_CONFIG_HOME) and
// forgets what earlier reads found.
void clearStore();

// The path of the settings file.
QString storeFile();

// Arms a timer that answers the next modal dialog: `answer` gets the dialog.
void whenModal(std::function<void(QWidget *dialog)> answer);

// Answers the next input box: types `text` and confirms it; returns (through
// `seen`, when given) the text the box was opened with.
void answerInputBox(const QString &text, QString *seen = nullptr);

// Cancels the next input box.
void cancelInputBox(QString *seen = nullptr);

// Accepts the next message box; its text goes to `text` when given.
void acceptMessageBox(QString *text = nullptr);

}  // namespace testsupport
