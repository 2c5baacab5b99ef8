#pragma once
// The per-user store of the captions the restaurant edits: category names on
// the main window, dish names, portion headings and prices on the order
// sheets. One entry per control: application "Tavelko", section = the window's
// name, key = the control's name, value = the caption, verbatim.

#include <QList>
#include <QString>

class QWidget;

namespace settings {

// The only kind of control whose caption a window persists.
enum class CaptionKind { CommandButton, Label };

// What a missing entry reads as.
inline const QString missingCaption = QStringLiteral(" ");

// Full path of the store on this machine (on Linux the .conf file).
QString storeLocation();

// Sets the caption of every control of `kind` in `controls`, in order, from
// the store; a missing entry gives " ". Returns false when the store could not
// be read (then every caption becomes " ").
bool GetSettingEx(const QString &section, const QList<QWidget *> &controls, CaptionKind kind);

// Writes the caption of every control of `kind` in `controls` and flushes the
// store to disk before returning. Returns false when it could not be written.
// If an earlier read found the store unreadable, the old file is first copied
// aside to "<file>.bak".
bool SaveSettingEx(const QString &section, const QList<QWidget *> &controls, CaptionKind kind);

// The message for a failed read, once per run: empty after the first call.
QString takeReadProblem();

// Forgets what earlier reads found (for a fresh start within one process).
void resetReadState();

}  // namespace settings
