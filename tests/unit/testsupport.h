#pragma once
// Shared helpers for the unit tests: a clean settings store per test, the
// modal input box answered from a timer, and small lookups.

#include <QPointer>
#include <QString>
#include <functional>
#include <memory>

class QTimer;
class QWidget;

namespace testsupport {

// Empties the per-user settings store (the test's own XDG_CONFIG_HOME) and
// forgets what earlier reads found.
void clearStore();

// The path of the settings file.
QString storeFile();

// Puts something in the store's way, since the tests run as root and
// permissions block nothing: a folder where the settings file belongs
// (`fileIsFolder`), or a file where its folder belongs. False if it could not.
bool blockStore(bool fileIsFolder);

// Arms a timer that answers the next modal dialog: `answer` gets the dialog.
void whenModal(std::function<void(QWidget *dialog)> answer);

// Answers the next input box: types `text` and confirms it; returns (through
// `seen`, when given) the text the box was opened with.
void answerInputBox(const QString &text, QString *seen = nullptr);

// Cancels the next input box.
void cancelInputBox(QString *seen = nullptr);

// Accepts the next message box; its text goes to `text` when given.
void acceptMessageBox(QString *text = nullptr);

// Drops every answer armed above that no dialog has taken yet, so that a test
// that failed before its dialog came up cannot answer the next test's dialog.
void disarmModalAnswers();

// While it lives, closes (rejects) every modal dialog that comes up and
// counts it: a press that must not open a dialog is checked with count() == 0.
// Dialogs run their own event loop, so a dialog opened by a press has been
// seen by the time the press returns.
class ModalRecorder {
public:
    ModalRecorder();
    ~ModalRecorder();
    ModalRecorder(const ModalRecorder &) = delete;
    ModalRecorder &operator=(const ModalRecorder &) = delete;
    int count() const { return *m_count; }

private:
    std::shared_ptr<int> m_count;
    QTimer *m_timer;
};

// Closing the welcome window asks the application to quit; with no main
// event loop running (as in a test) that request stays pending and makes
// every later dialog return at once. This runs the request off.
void settleQuitRequest();

// Answers every modal dialog that opens while it lives, through `answer`,
// and counts them. Unlike whenModal it stops watching when it goes out of
// scope, so a case that expects no dialog leaves nothing armed behind it.
class ModalWatch {
public:
    explicit ModalWatch(std::function<void(QWidget *dialog)> answer);
    ~ModalWatch();
    ModalWatch(const ModalWatch &) = delete;
    ModalWatch &operator=(const ModalWatch &) = delete;

    int count() const { return m_count; }

private:
    QTimer *m_timer;
    QPointer<QWidget> m_last;
    int m_count = 0;
};

// Answers for ModalWatch: accept a message box (its text to `text`); type
// `value` into an input box and confirm it (its title, prompt and the text it
// opened with to the pointers given).
std::function<void(QWidget *)> acceptingMessageBox(QString *text = nullptr);
std::function<void(QWidget *)> confirmingInputBox(const QString &value, QString *opened = nullptr,
                                                  QString *title = nullptr,
                                                  QString *prompt = nullptr);
std::function<void(QWidget *)> cancellingInputBox(QString *opened = nullptr);

}  // namespace testsupport
