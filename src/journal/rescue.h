#pragma once
// Changes the journal could not write by the program's end (a full disk, a
// journal another program holds, one that may not be written): orders, and
// open orders kept or dropped. They are kept in a rescue file outside the
// journal's folder, in the order they were handed over, written whole or not
// at all, and merged into the journal at the next start that can write. Each
// carries its identity, so merging one twice changes nothing.

#include "journal/journal.h"

#include <QStringList>

namespace journal::rescue {

// Where a rescue file may be, the first choice first: the user's settings
// folder, then the journal's. A file there is merged only when it is the
// user's own (not another account's, not writable by others).
QStringList places();

// Adds `changes` to the rescue file, after those rescued earlier and not
// merged yet. Returns the file written, or empty with `error` set.
QString save(const QList<Change> &changes, QString *error);

// The changes of every rescue file there is, in order; `files` gets their
// names. A file of orders only (as earlier versions wrote them) reads as their records.
QList<Change> load(QStringList *files);

// The orders among `changes`, and how many open orders they touch.
QList<Order> ordersOf(const QList<Change> &changes);
int openOrderCount(const QList<Change> &changes);

// The orders' total, as the owner reads it: "12.5".
QString amountText(const QList<Order> &orders);

}  // namespace journal::rescue
