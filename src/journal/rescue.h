#pragma once
// Orders the journal could not write by the program's end (a full disk, a
// journal another program holds, one that may not be written) are kept in a
// rescue file outside the journal's folder, written whole or not at all, and
// merged into the journal at the next start that can write. Each order
// carries its identity, so merging one twice keeps one copy.

#include "journal/journal.h"

#include <QStringList>

namespace journal::rescue {

// Where a rescue file may be, the first choice first: the user's settings
// folder, then the temporary folder as a last resort.
QStringList places();

// Adds `orders` to the rescue file (orders rescued earlier and not merged
// yet stay). Returns the file written, or empty with `error` set.
QString save(const QList<Order> &orders, QString *error);

// The orders of every rescue file there is; `files` gets their names.
QList<Order> load(QStringList *files);

// The orders' total, as the owner reads it: "12.5".
QString amountText(const QList<Order> &orders);

}  // namespace journal::rescue
