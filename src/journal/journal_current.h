#pragma once
// The order on the windows in the journal (the table current_order): kept as
// it changes, dropped in the same transaction as the change that ends it.
// Only the journal's own writing calls this.

#include "journal/journal.h"
#include "journal/sqlite_db.h"

namespace journal {

// In the open transaction: keeps or drops the order on the windows as
// `change` says, or drops the one that `change` ends (an order recorded
// under its uid, an open order put aside from it). Other changes leave it.
bool applyToCurrent(sql::Database &db, const Change &change);

}  // namespace journal
