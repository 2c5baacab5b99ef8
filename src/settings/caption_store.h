#pragma once
// The per-user store of the captions the restaurant edits: category names on
// the main window, dish names, portion headings and prices on the order
// sheets. One entry per control: application "Tavelko", section = the window's
// name, key = the control's name, value = the caption, verbatim.

#include <QList>
#include <functional>
#include <QMap>
#include <QString>
#include <QStringList>

class QWidget;

namespace settings {

// The only kind of control whose caption a window persists.
enum class CaptionKind { CommandButton, Label };

// What a missing entry reads as.
inline const QString missingCaption = QStringLiteral(" ");

// Full path of the store on this machine (on Linux the .conf file).
QString storeLocation();

// Sets the caption of every control of `kind` in `controls`, in order, from
// the store; a missing entry gives " ". The whole store is read, and every
// entry that can be read is used even when other parts are damaged. Returns
// false when the store could not be read completely (see takeReadProblem()).
bool GetSettingEx(const QString &section, const QList<QWidget *> &controls, CaptionKind kind);

// Writes the captions of the controls of `kind` in `controls` that were
// edited (setEditedCaption()) since the window loaded or last saved, and
// those the store has no entry for; leaves every other entry as the store
// holds it now: another copy of the program (a second login of the same
// user) may have saved since. Checks the
// store back before returning. Returns false when it could not be saved (see
// saveFailureMessage()); the store then holds what it held before and the
// edits stay pending for the next save. A damaged store is first copied
// aside; a store that cannot be read is never written over.
bool SaveSettingEx(const QString &section, const QList<QWidget *> &controls, CaptionKind kind);

// Sets a control's caption as the user's edit: the next save of its window
// writes it, even when it is the text the control had before.
void setEditedCaption(QWidget *control, const QString &text);

// The message for a store that could not be read completely, once per run:
// empty when there is nothing to tell or it was told already.
QString takeReadProblem();

// The message for the last failed save: `what` (e.g. "类别名称") was not
// saved, why, and where the store is.
QString saveFailureMessage(const QString &what);

// Removes the lock and temporary files that a run which ended abruptly left
// beside the store. Only while no other copy of the program runs.
void removeLeftovers();

// Forgets what earlier reads found (for a fresh start within one process).
void resetReadState();

// Captions of several windows at once, for the menu import and export; keys
// are "section/control".
//
// The stored caption of each of `keys` (a missing entry as " "), as a window
// loading now would show it, without touching what the open windows loaded.
// False, with the reason in `problem`, when the store cannot be read at all;
// a damaged store gives what can be read, and the reason.
bool readCaptions(const QStringList &keys, QMap<QString, QString> *captions, QString *problem);

// Writes every entry of `captions` in one save, keeping every other entry of
// the store, and checks the store back, as SaveSettingEx does. Returns false
// when it could not be saved (see saveFailureMessage()); the store then holds
// what it held before.
bool saveCaptions(const QMap<QString, QString> &captions);

// Told, after each save, of the captions it changed ("section/control" ->
// caption; a caption written where the store had none counts as changed
// only when it is not blank): a till of a shop hands them on. One hook;
// an empty one stops it.
using ChangedHook = std::function<void(const QMap<QString, QString> &changed)>;
void setChangedHook(ChangedHook hook);

// While one lives, saves are not told to the hook: the captions being
// written came from the shop.
class QuietSaves {
public:
    QuietSaves();
    ~QuietSaves();
    QuietSaves(const QuietSaves &) = delete;
    QuietSaves &operator=(const QuietSaves &) = delete;
};

}  // namespace settings
