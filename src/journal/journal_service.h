#pragma once
// The program's sales journal on a thread of its own: the window never waits
// on the database. A lock held by another program, a slow disk or a large
// check at start only delays the writing; the cashier's press answers at once.
// The GUI hands orders over with record() and asks for anything else through
// run(), whose answer comes back on the GUI thread.

#include "journal/journal.h"

#include <QObject>
#include <QPointer>

#include <chrono>
#include <functional>

namespace journal {

class JournalService : public QObject {
    Q_OBJECT

public:
    explicit JournalService(const QString &folder = defaultFolder(), QObject *parent = nullptr);
    ~JournalService() override;  // finishes the work queued, then ends the thread

    // Opens (and checks) the journal on its thread; notices come as notice().
    void start();

    // Records `order` off the GUI thread, giving it an identity (uid) first
    // if it has none. Returns at once. A write that fails keeps the order
    // pending and tries again; the owner hears of it only if it stays
    // unwritten for a while.
    void record(Order order);

    // Queued in order with record(): written off the GUI thread, kept pending and
    // tried again when a write fails, rescued at finish() and merged at the next start
    // like the orders. Return at once.
    // An open order whose name another has taken by the time it is written
    // is kept under that name with a number ("3号桌（2）"): never refused.
    void keepOpen(OpenOrder open);
    void dropOpen(QString uid);

    // Adds `receiptMarks` (ReceiptMark bits) to the recorded order
    // `orderUid`: queued in order with record(), so it follows the order it
    // marks; written, retried and rescued like the rest. Returns at once.
    void mark(QString orderUid, int receiptMarks);

    // The order on the windows as it now is, or gone from them with nothing
    // to record: written off the GUI thread, in order with the rest, and
    // tried again when a write fails. Never rescued at finish(): the order on
    // the windows ends before, and its record goes with what ends it.
    void keepCurrent(CurrentOrder current);
    void dropCurrent(QString uid);

    // Runs `work` with the journal on its thread, then `done` with the result
    // on `context`'s thread, unless `context` is gone by then.
    template <class Result>
    void run(QObject *context, std::function<Result(Journal &)> work,
             std::function<void(Result)> done)
    {
        QPointer<QObject> guard(context);
        post([guard, work = std::move(work), done = std::move(done)](Journal &journal) {
            Result result = work(journal);
            if (QObject *target = guard.data())
                QMetaObject::invokeMethod(
                    target, [guard, done, result = std::move(result)]() mutable {
                        if (guard)
                            done(std::move(result));
                    },
                    Qt::QueuedConnection);
        });
    }

    // Orders handed to record() and not yet written, as the GUI last heard.
    int pendingCount() const;
    // The other changes handed (to open orders, marks) and not yet written.
    int pendingOpenCount() const;

    // At the program's end: writes what is pending, waiting at most
    // `timeout`; whatever is still unwritten goes to the rescue file, to be
    // merged into the journal at the next start that can write. Returns a
    // Chinese sentence for the owner (how many orders, what amount, how many
    // open orders, where) when any did not reach the journal, else an empty text.
    QString finish(std::chrono::milliseconds timeout);

signals:
    // Something the owner must hear, in Chinese, told once: a damaged journal
    // set aside, a journal that may not be written, orders unwritten for a
    // while, rescued orders merged.
    void notice(const QString &message);

private:
    void post(std::function<void(Journal &)> job);

    struct Private;
    std::unique_ptr<Private> d;
};

// The program's own journal service, started by the shell; lives until the
// program ends.
JournalService &programJournalService();

}  // namespace journal
