#pragma once
// What became of an order's receipt once it was recorded (the column
// orders.receipt): set with the order, then marked later (a failed print, a
// reprint from 营业记录) by changes queued like any other, so that the
// window never waits. Only the journal's own writing calls this.

#include "journal/journal.h"
#include "journal/sqlite_db.h"

namespace journal {

// Version 6 of the journal's tables: the receipt's marks of each order.
extern const char receiptMarksVersion6[];

// In the open transaction, after the order `orderId` was inserted: its
// receipt marks as it was recorded.
bool writeReceiptMarks(sql::Database &db, qint64 orderId, int receipt);

// In the open transaction: adds the marks of a Mark change to its order. An
// order not (or no longer) in the journal is no failure: there is nothing
// to mark.
bool applyMark(sql::Database &db, const Change &change);

}  // namespace journal
