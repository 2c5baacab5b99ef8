#pragma once
// Shared helpers for the unit tests: a clean settings store per test, modal
// dialogs answered from a timer, and the presses and lookups the window tests
// share.

#include <QPointer>
#include <QSettings>
#include <QString>
#include <QStringList>
#include <functional>

class OrderSheet;
class QFont;
class QTimer;
class QWidget;

namespace testsupport {

// ---------------------------------------------------------------- store ---

// Empties the per-user settings store (the test's own XDG_CONFIG_HOME), its
// copies and leftovers, and
// forgets what earlier reads found.
void clearStore();

QString storeFile();

// True where the store is the Windows registry (the Windows build under
// Wine): the cases about the settings file do not apply there.
bool storeIsRegistry();

// The store as any other reader sees it: application "Tavelko".
QSettings openStore();

// Puts something in the store's way, since the tests run as root and
// permissions block nothing: a folder where the settings file belongs
// (`fileIsFolder`), or a file where its folder belongs. False if it could not.
bool blockStore(bool fileIsFolder);

// Takes away what blockStore() put in the store's way.
void unblockStore();

// The data rows of a test run once for each way blockStore() blocks: column
// "fileIsFolder".
void addBlockedStoreRows();

// --------------------------------------------------------------- dialogs ---

// Closing the welcome window asks the application to quit; with no main
// event loop running (as in a test) that request stays pending and makes
// every later dialog return at once. This runs the request off.
void settleQuitRequest();

using ModalAnswer = std::function<void(QWidget *dialog)>;

// Answers every modal dialog that opens while it lives, through `answer`,
// and counts them. It stops watching when it goes out of scope, so a case
// that expects no dialog leaves nothing armed behind it. Dialogs run their
// own event loop, so a dialog opened by a press has been answered by the time
// the press returns.
class ModalWatch {
public:
    explicit ModalWatch(ModalAnswer answer);
    ~ModalWatch();
    ModalWatch(const ModalWatch &) = delete;
    ModalWatch &operator=(const ModalWatch &) = delete;

    int count() const { return m_count; }

private:
    QTimer *m_timer;
    QPointer<QWidget> m_last;
    int m_count = 0;
};

// Runs `action` under a ModalWatch with `answer`; returns how many modal
// dialogs it answered.
int answerModals(const ModalAnswer &answer, const std::function<void()> &action);

// Answers: accept any dialog (a message box's text to `text`); type `value`
// into an input box and confirm it (its title, prompt, the text it opened
// with and the texts of its shown buttons, sorted, to the pointers given;
// any other dialog is closed); reject any dialog
// (an input box's opening text to `opened`).
ModalAnswer acceptingMessageBox(QString *text = nullptr);
ModalAnswer confirmingInputBox(const QString &value, QString *opened = nullptr,
                               QString *title = nullptr, QString *prompt = nullptr,
                               QStringList *buttons = nullptr);
ModalAnswer cancellingInputBox(QString *opened = nullptr);

// --------------------------------------------------------------- windows ---

void rightPress(QWidget *target, Qt::KeyboardModifiers modifiers = Qt::NoModifier);

// A label caption of the main window; a click on one of its buttons.
QString mainText(const QString &label);
void pressMain(const QString &button);

// Opens category k (1 to 6) through its button in the main window.
OrderSheet &openCategory(int k);

// A label caption of an order sheet, read or set; clicks on one of its
// buttons.
QString text(OrderSheet &sheet, const QString &label);
void set(OrderSheet &sheet, const QString &label, const QString &caption);
void press(OrderSheet &sheet, const QString &button, int times = 1);

// ----------------------------------------------------------------- fonts ---

// What is wrong with `font`'s families against the `designed` list, or an
// empty string: the families must be the designed ones in their order, less
// only those the font database lacks (so SimSun leads wherever it is
// installed), and the face drawn must be the one the whole list would give.
QString familiesFault(const QFont &font, const QStringList &designed);

// ------------------------------------------------------------------ disk ---

#ifdef Q_OS_UNIX
// Runs `action` with every file the process writes limited to `bytes`, as on
// a disk that fills up; the limit is lifted again afterwards. The signal the
// limit sends is ignored, unless `programIgnoresSignal`: then it is left at
// its default, which ends the process, and the code under test must ignore it.
void withFileSizeLimit(qint64 bytes, const std::function<void()> &action, bool programIgnoresSignal = false);
#endif

}  // namespace testsupport
