// Writing the journal: the changes handed to it (orders recorded, orders put
// aside or dropped, the order on the windows), each in its own transaction,
// and those that wait when a write fails.
#include "journal/journal.h"
#include "journal/journal_current.h"
#include "journal/journal_marks.h"
#include "journal/journal_private.h"

#include "journal/sqlite_db.h"

#include <QUuid>

namespace journal {

// ---------------------------------------------------------------- writing

bool Journal::Private::write(Waiting &waiting)
{
    return transaction([&] { return apply(waiting.change, waiting.rescued); });
}

// Makes `change` in the open transaction. A rescued change already merged
// (its id remembered) is not made again.
bool Journal::Private::apply(Change &change, bool rescued)
{
    const bool once = rescued && change.kind != Change::Kind::Record;  // an order is once by its uid
    if (once) {
        sql::Statement merged(db, "SELECT 1 FROM merged_changes WHERE id = ?");
        merged.bind(1, change.id);
        if (merged.next())
            return true;
        if (merged.failed())
            return false;
    }
    bool done = false;
    switch (change.kind) {
    case Change::Kind::Record:
        done = insert(change.order);
        break;
    case Change::Kind::KeepOpen:
        done = keep(change.open, false, nullptr);
        break;
    case Change::Kind::DropOpen: {
        sql::Statement drop(db, "DELETE FROM open_orders WHERE uid = ?");
        done = drop.bind(1, change.open.uid).run() &&
               toOutbox(QStringLiteral("table_drop"), change.open.uid, QByteArrayLiteral("{}"));
        break;
    }
    case Change::Kind::Mark:
        done = applyMark(db, change);
        break;
    case Change::Kind::KeepCurrent:
    case Change::Kind::DropCurrent:
        break;
    }
    // The order on the windows: kept, or ended with what ends it.
    done = (done || change.kind == Change::Kind::KeepCurrent || change.kind == Change::Kind::DropCurrent) &&
           applyToCurrent(db, change);
    if (!done || !once)
        return done;
    sql::Statement remember(db, "INSERT INTO merged_changes VALUES (?)");
    return remember.bind(1, change.id).run();
}

// Puts `open` aside or replaces the one with its uid, in the open
// transaction. A name another open order has is refused (`refusal` says so)
// or, when changes handed earlier are written, made free with a number.
bool Journal::Private::keep(const OpenOrder &open, bool refuseTakenName, QString *refusal)
{
    bool failed = false;
    const auto taken = [&](const QString &name) {
        sql::Statement other(db, "SELECT 1 FROM open_orders WHERE name = ?1 AND uid <> ?2");
        other.bind(1, name).bind(2, open.uid);
        const bool found = other.next();
        failed = failed || other.failed() || !other.isValid();
        return found || failed;
    };
    QString name = open.name.isNull() ? QStringLiteral("") : open.name;
    if (refuseTakenName) {
        if (taken(name)) {
            if (!failed && refusal)
                *refusal = QStringLiteral("已有一张名为“%1”的挂单，请换一个名称。").arg(name);
            return false;
        }
    } else {
        name = freeOpenName(name, taken);
    }
    if (failed)
        return false;
    const QString heldAt = open.heldAt.isValid() ? open.heldAt.toString(timeFormat) : QStringLiteral("");
    sql::Statement update(db, "UPDATE open_orders SET name = ?2, held_at = ?3, total_fen = ?4,"
                              " dish_count = ?5, state = ?6 WHERE uid = ?1");
    update.bind(1, open.uid).bind(2, name).bind(3, heldAt).bind(4, open.total);
    update.bind(5, open.dishCount).bind(6, open.state);
    if (!update.run())
        return false;
    if (db.changes() == 0) {
        sql::Statement insert(db, "INSERT INTO open_orders (uid, name, held_at, total_fen, dish_count, state)"
                                  " VALUES (?1, ?2, ?3, ?4, ?5, ?6)");
        insert.bind(1, open.uid).bind(2, name).bind(3, heldAt).bind(4, open.total);
        insert.bind(5, open.dishCount).bind(6, open.state);
        if (!insert.run())
            return false;
    }
    // In a shop the order goes to every till's 取单, in the same write.
    return toOutbox(QStringLiteral("table_keep"), open.uid, tablePayload(open, name));
}

void bindText(sql::Statement &row, int position, const QString &text)
{
    if (text.isEmpty())
        row.bindNull(position);
    else
        row.bind(position, text);
}

// Writes one order in the open transaction. An order whose identity is in the
// journal already (a rescued order merged a second time) is not written again.
bool Journal::Private::insert(Order &order)
{
    if (order.uid.isEmpty())
        order.uid = QUuid::createUuid().toString(QUuid::WithoutBraces);
    // The open order it ends goes with it: a paid table never shows again,
    // and never goes without its order. Done again for an order known
    // already, so that a merge that put the open order back takes it away.
    if (!order.closesOpenUid.isEmpty()) {
        sql::Statement close(db, "DELETE FROM open_orders WHERE uid = ?");
        if (!close.bind(1, order.closesOpenUid).run())
            return false;
    }
    {
        sql::Statement known(db, "SELECT id FROM orders WHERE uid = ?");
        known.bind(1, order.uid);
        if (known.next()) {
            order.id = known.integer(0);
            return true;
        }
        if (known.failed())
            return false;
    }
    // A 单号 already taken (a rescued order numbered before a later one took
    // its number) keeps the order, told apart by a suffix.
    QString receipt = order.receiptNumber;
    for (int n = 2; !receipt.isEmpty(); ++n) {
        sql::Statement taken(db, "SELECT 1 FROM orders WHERE receipt_number = ?");
        taken.bind(1, receipt);
        if (!taken.next()) {
            if (taken.failed())
                return false;
            break;
        }
        receipt = order.receiptNumber + QStringLiteral("-%1").arg(n);
    }
    sql::Statement row(db, "INSERT INTO orders (day, ended_at, bill_number, printed, copied,"
                           " name1, name2, name3, name4, name5, name6,"
                           " total1, total2, total3, total4, total5, total6,"
                           " grand_total, bill_text, uid, receipt_number, status,"
                           " total_fen, discount_fen, discount_label, rounding_fen, due_fen,"
                           " cash_given_fen, change_fen, void_reason, voided_at, cash_up_id)"
                           " VALUES (?,?,?,?,?, ?,?,?,?,?,?, ?,?,?,?,?,?, ?,?,?,?,?,"
                           " ?,?,?,?,?, ?,?,?,?,?)");
    row.bind(1, order.endedAt.date().toString(dayFormat))
        .bind(2, order.endedAt.toString(timeFormat));
    if (order.billNumber)
        row.bind(3, *order.billNumber);
    else
        row.bindNull(3);
    row.bind(4, order.printed).bind(5, order.copied);
    for (int c = 0; c < categoryCount; ++c)
        row.bind(6 + c, order.categoryNames[c]).bind(12 + c, order.categoryTotals[c]);
    row.bind(18, order.grandTotal).bind(19, order.billText).bind(20, order.uid);
    bindText(row, 21, receipt);
    row.bind(22, int(order.status));
    if (const std::optional<Payment> &p = order.payment) {
        row.bind(23, p->total).bind(24, p->discount).bind(26, p->rounding).bind(27, p->due);
        row.bind(25, p->discountLabel).bind(28, p->cashGiven).bind(29, p->change);
    } else {
        for (int position = 23; position <= 29; ++position)
            row.bindNull(position);
    }
    bindText(row, 30, order.voidReason);
    bindText(row, 31, order.voidedAt.isValid() ? order.voidedAt.toString(timeFormat) : QString());
    if (order.cashUpId)
        row.bind(32, order.cashUpId);
    else
        row.bindNull(32);
    bool written = row.run();
    const qint64 id = db.lastInsertId();
    written = written && writeReceiptMarks(db, id, order.receipt);
    sql::Statement addLine(db, "INSERT INTO order_lines VALUES (?,?,?,?,?,?,?,?,?,?)");
    for (qsizetype i = 0; written && i < order.lines.size(); ++i) {
        const OrderLine &line = order.lines[i];
        written = addLine.bind(1, id)
                      .bind(2, qint64(i))
                      .bind(3, line.category)
                      .bind(4, line.categoryName)
                      .bind(5, line.dish)
                      .bind(6, line.smallQuantity)
                      .bind(7, line.smallHeading)
                      .bind(8, line.largeQuantity)
                      .bind(9, line.largeHeading)
                      .bind(10, line.lineTotal)
                      .run();
    }
    if (order.payment) {
        sql::Statement addPart(db, "INSERT INTO payment_parts VALUES (?,?,?,?)");
        for (qsizetype i = 0; written && i < order.payment->parts.size(); ++i)
            written = addPart.bind(1, id)
                          .bind(2, qint64(i))
                          .bind(3, order.payment->parts[i].method)
                          .bind(4, order.payment->parts[i].amount)
                          .run();
    }
    if (written) {
        order.id = id;
        order.receiptNumber = receipt;
        written = toOutbox(QStringLiteral("order"), order.uid, orderPayload(order));
    }
    return written;
}

Change Change::record(const Order &order)
{
    Change c;
    c.order = order;
    if (c.order.uid.isEmpty())  // its identity before its first try
        c.order.uid = QUuid::createUuid().toString(QUuid::WithoutBraces);
    c.id = c.order.uid;
    return c;
}

Change Change::handed(Kind kind)
{
    Change c;
    c.kind = kind;
    c.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    return c;
}

Change Change::keep(const OpenOrder &open)
{
    Change c = handed(Kind::KeepOpen);
    c.open = open;
    if (c.open.uid.isEmpty())  // never one row for every order without an identity
        c.open.uid = QUuid::createUuid().toString(QUuid::WithoutBraces);
    return c;
}

Change Change::drop(const QString &uid)
{
    Change c = handed(Kind::DropOpen);
    c.open.uid = uid;
    return c;
}

QString freeOpenName(const QString &name, const std::function<bool(const QString &)> &taken)
{
    QString free = name;
    for (int n = 2; taken(free) && n < 10000; ++n)
        free = name + QStringLiteral("（%1）").arg(n);
    return free;
}

bool Journal::record(const Order &order)
{
    if (order.isEmpty())
        return flush();
    return apply(Change::record(order));
}

sql::Database *Journal::currentTables()
{
    return open() && d->version >= 4 ? &d->db : nullptr;
}

bool Journal::apply(const Change &change)
{
    if (change.kind == Change::Kind::DropOpen && change.open.uid.isEmpty())
        return flush();  // nothing to drop
    d->pending.append({change, false});
    return flush();
}

bool Journal::keepOpen(const OpenOrder &kept)
{
    if (d->mode == Mode::Reading) {
        d->error = QStringLiteral("营业记录以只读方式打开，无法保存挂单。");
        return false;
    }
    Change change = Change::keep(kept);
    // Behind what waits, it waits too; its name is then made free when written.
    if (!d->pending.isEmpty() || !open()) {
        d->pending.append({change, false});
        return flush();
    }
    QString refusal;
    if (d->transaction([&] { return d->keep(change.open, true, &refusal); })) {
        d->error.clear();
        return true;
    }
    if (!refusal.isEmpty()) {
        d->error = refusal;
        return false;
    }
    d->pending.append({change, false});
    return d->flushFailed();
}

bool Journal::dropOpen(const QString &uid)
{
    return apply(Change::drop(uid));
}

// After a write that failed: says why and leaves the connection, which may
// have lost its file, to be opened anew next time.
bool Journal::Private::flushFailed()
{
    error = why(QStringLiteral("写入"));
    db.close();
    return false;
}

bool Journal::flush()
{
    if (d->pending.isEmpty())
        return true;
    if (d->mode == Mode::Reading) {
        d->error = QStringLiteral("营业记录以只读方式打开，无法记录。");
        return false;
    }
    if (!open())
        return false;
    while (!d->pending.isEmpty()) {
        if (!d->write(d->pending.first()))
            return d->flushFailed();
        d->pending.removeFirst();
    }
    d->error.clear();
    return true;
}

bool Journal::mergeRescued(const QList<Change> &changes)
{
    if (changes.isEmpty())
        return true;
    if (d->mode == Mode::Reading) {
        d->error = QStringLiteral("营业记录以只读方式打开，无法记录。");
        return false;
    }
    if (open() && d->transaction([&] {
            for (Change change : changes)
                if (!d->apply(change, true))
                    return false;
            return true;
        }))
        return true;
    // They came before anything handed since: they go first.
    QList<Private::Waiting> first;
    for (const Change &change : changes)
        first.append({change, true});
    d->pending = first + d->pending;
    if (d->db.isOpen())
        d->flushFailed();
    return false;
}

bool Journal::recordAll(const QList<Order> &orders)
{
    if (d->mode == Mode::Reading) {
        d->error = QStringLiteral("营业记录以只读方式打开，无法记录。");
        return false;
    }
    if (!open())
        return false;
    if (d->transaction([&] {
            for (const Order &order : orders) {
                Order copy = order;
                if (!copy.isEmpty() && !d->insert(copy))
                    return false;
            }
            return true;
        }))
        return true;
    d->error = d->why(QStringLiteral("写入"));
    return false;
}

}  // namespace journal
