#pragma once
// How the till reaches the program's sales journal: orders handed over to be
// recorded, and questions whose answers come back on the GUI thread. Both go
// through the journal's own thread, so the window never waits on SQLite.

#include "journal/journal_service.h"

#include <functional>

namespace till {

// Hands `order` to the journal, which writes it off the GUI thread.
inline void recordOrder(const journal::Order &order)
{
    journal::programJournalService().record(order);
}

// Marks what became of the recorded order `uid`'s receipt
// (journal::ReceiptMark), queued after the order itself.
inline void markReceipt(const QString &uid, int receiptMarks)
{
    journal::programJournalService().mark(uid, receiptMarks);
}

// Keeps the order on the windows in the journal as it now is, off the GUI
// thread; drops it when it left the windows with nothing to record.
inline void keepCurrentOrder(const journal::CurrentOrder &current)
{
    journal::programJournalService().keepCurrent(current);
}
inline void dropCurrentOrder(const QString &uid)
{
    journal::programJournalService().dropCurrent(uid);
}

// Runs `work` with the journal on its thread, then `done` with its result on
// `context`'s thread, unless `context` is gone by then.
template <class Result>
void askJournal(QObject *context, std::function<Result(journal::Journal &)> work,
                std::function<void(Result)> done)
{
    journal::programJournalService().run<Result>(context, std::move(work), std::move(done));
}

}  // namespace till
