#pragma once
// What can still be read of a damaged journal, copied into a new one: row by
// row, each table of the new journal from the table of its name, a damaged
// page skipped and the reading taken up again after it.

#include <QString>

namespace journal {

namespace sql {
class Database;
}

// Copies what can be read of the journal `damaged` into the open, empty
// journal `into`, in one transaction. Returns how many orders were saved,
// or -1 when nothing could be read at all (`into` is left empty).
int salvage(sql::Database &into, const QString &damaged);

}  // namespace journal
