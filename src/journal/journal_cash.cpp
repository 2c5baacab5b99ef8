// Payments and cash-ups: voiding an order, the 交班 recorded and read back.
#include "journal/journal.h"
#include "journal/journal_private.h"

#include "journal/sqlite_db.h"

namespace journal {

// ---------------------------------------------------------------- payments

bool Journal::voidOrder(qint64 id, const QString &reason, const QDateTime &at)
{
    if (d->mode == Mode::Reading) {
        d->error = QStringLiteral("营业记录以只读方式打开，无法作废。");
        return false;
    }
    if (!open())
        return false;
    QString refusal;
    const bool done = d->transaction([&] {
        sql::Statement found(d->db, "SELECT status, cash_up_id, uid FROM orders WHERE id = ?");
        found.bind(1, id);
        if (!found.next()) {
            if (!found.failed())
                refusal = QStringLiteral("找不到这一单（编号 %1），没有作废。").arg(id);
            return false;
        }
        if (!found.isNull(1))
            refusal = QStringLiteral("这一单已计入第 %1 次交班，不能再作废。").arg(found.integer(1));
        else if (found.integer(0) == int(OrderStatus::Voided))
            refusal = QStringLiteral("这一单已经作废过了。");
        if (!refusal.isEmpty())
            return false;
        sql::Statement mark(d->db, "UPDATE orders SET status = ?, void_reason = ?, voided_at = ?"
                                   " WHERE id = ?");
        return mark.bind(1, int(OrderStatus::Voided))
                   .bind(2, reason)
                   .bind(3, at.toString(timeFormat))
                   .bind(4, id)
                   .run() &&
               (found.isNull(2) || d->toOutbox(QStringLiteral("void"), found.text(2), voidPayload(reason, at)));
    });
    if (!done)
        d->error = refusal.isEmpty() ? d->why(QStringLiteral("写入")) : refusal;
    return done;
}

std::optional<QList<Order>> Journal::ordersSinceLastCashUp()
{
    QList<Order> list;
    if (!open())
        return d->error.isEmpty() ? std::optional(list) : std::nullopt;
    if (!d->forEach(Private::Which::NotCashedUp, {}, false, [&](Order &order, const QString &) {
            list.append(std::move(order));
            return true;
        }))
        return std::nullopt;
    return list;
}

namespace {

QDateTime storedTime(const QString &text)
{
    return text.isEmpty() ? QDateTime() : endedAtFrom(text);
}

}  // namespace

std::optional<std::optional<CashUp>> Journal::lastCashUp()
{
    if (!open() || d->version < 2)
        return d->error.isEmpty() ? std::optional(std::optional<CashUp>()) : std::nullopt;
    sql::Statement row(d->db, "SELECT id, at, since, paid_count, unpaid_count, voided_count,"
                              " paid_total_fen, unpaid_total_fen, voided_total_fen, discounts_fen,"
                              " roundings_fen, opening_float_fen, cash_taken_fen, change_given_fen,"
                              " expected_cash_fen, counted_cash_fen, difference_fen, float_left_fen"
                              " FROM cash_ups ORDER BY id DESC LIMIT 1");
    if (!row.next()) {
        if (row.failed() || !row.isValid()) {
            d->readError();
            return std::nullopt;
        }
        return std::optional<CashUp>();
    }
    CashUp c;
    c.id = row.integer(0);
    c.at = storedTime(row.text(1));
    c.since = storedTime(row.text(2));
    c.paidCount = int(row.integer(3));
    c.unpaidCount = int(row.integer(4));
    c.voidedCount = int(row.integer(5));
    Fen *const money[] = {&c.paidTotal,   &c.unpaidTotal,   &c.voidedTotal,  &c.discounts,
                          &c.roundings,   &c.openingFloat,  &c.cashTaken,    &c.changeGiven,
                          &c.expectedCash, &c.countedCash,  &c.difference,   &c.floatLeft};
    for (int i = 0; i < 12; ++i)
        *money[i] = row.integer(6 + i);
    sql::Statement methods(d->db, "SELECT method, amount_fen FROM cash_up_methods"
                                  " WHERE cash_up_id = ? ORDER BY position");
    methods.bind(1, c.id);
    while (methods.next())
        c.byMethod.append(PaymentPart{methods.text(0), methods.integer(1)});
    sql::Statement counts(d->db, "SELECT value_fen, count FROM cash_up_counts"
                                 " WHERE cash_up_id = ? ORDER BY value_fen DESC");
    counts.bind(1, c.id);
    while (counts.next())
        c.counts.append({counts.integer(0), int(counts.integer(1))});
    if (methods.failed() || counts.failed()) {
        d->readError();
        return std::nullopt;
    }
    return std::optional<CashUp>(c);
}

std::optional<QList<CashUp>> Journal::cashUpsOf(const QDate &day)
{
    QList<CashUp> list;
    if (!open() || d->version < 2)
        return d->error.isEmpty() ? std::optional(list) : std::nullopt;
    sql::Statement row(d->db, "SELECT id, at, expected_cash_fen, counted_cash_fen, difference_fen"
                              " FROM cash_ups WHERE substr(at, 1, 10) = ? ORDER BY id");
    row.bind(1, day.toString(QStringLiteral("yyyy-MM-dd")));
    while (row.next()) {
        CashUp c;
        c.id = row.integer(0);
        c.at = storedTime(row.text(1));
        c.expectedCash = row.integer(2);
        c.countedCash = row.integer(3);
        c.difference = row.integer(4);
        list.append(c);
    }
    if (row.failed()) {
        d->readError();
        return std::nullopt;
    }
    return list;
}

bool Journal::recordCashUp(CashUp &cashUp)
{
    if (d->mode == Mode::Reading) {
        d->error = QStringLiteral("营业记录以只读方式打开，无法记录交班。");
        return false;
    }
    if (!open())
        return false;
    qint64 id = 0;
    const bool done = d->transaction([&] {
        sql::Statement row(d->db, "INSERT INTO cash_ups (at, since, paid_count, unpaid_count,"
                                  " voided_count, paid_total_fen, unpaid_total_fen,"
                                  " voided_total_fen, discounts_fen, roundings_fen,"
                                  " opening_float_fen, cash_taken_fen, change_given_fen,"
                                  " expected_cash_fen, counted_cash_fen, difference_fen,"
                                  " float_left_fen)"
                                  " VALUES (?,?,?,?,?, ?,?,?,?,?, ?,?,?,?,?, ?,?)");
        row.bind(1, cashUp.at.toString(timeFormat));
        bindText(row, 2, cashUp.since.isValid() ? cashUp.since.toString(timeFormat) : QString());
        row.bind(3, cashUp.paidCount).bind(4, cashUp.unpaidCount).bind(5, cashUp.voidedCount);
        const Fen money[] = {cashUp.paidTotal,    cashUp.unpaidTotal, cashUp.voidedTotal,
                             cashUp.discounts,    cashUp.roundings,   cashUp.openingFloat,
                             cashUp.cashTaken,    cashUp.changeGiven, cashUp.expectedCash,
                             cashUp.countedCash,  cashUp.difference,  cashUp.floatLeft};
        for (int i = 0; i < 12; ++i)
            row.bind(6 + i, money[i]);
        if (!row.run())
            return false;
        id = d->db.lastInsertId();
        sql::Statement method(d->db, "INSERT INTO cash_up_methods VALUES (?,?,?,?)");
        for (qsizetype i = 0; i < cashUp.byMethod.size(); ++i)
            if (!method.bind(1, id)
                     .bind(2, qint64(i))
                     .bind(3, cashUp.byMethod[i].method)
                     .bind(4, cashUp.byMethod[i].amount)
                     .run())
                return false;
        sql::Statement count(d->db, "INSERT INTO cash_up_counts VALUES (?,?,?)");
        for (const auto &[value, howMany] : cashUp.counts)
            if (!count.bind(1, id).bind(2, value).bind(3, howMany).run())
                return false;
        sql::Statement mark(d->db, "UPDATE orders SET cash_up_id = ?1"
                                   " WHERE cash_up_id IS NULL AND uid IS NOT NULL AND ended_at <= ?2");
        if (!mark.bind(1, id).bind(2, cashUp.at.toString(timeFormat)).run())
            return false;
        CashUp recorded = cashUp;
        recorded.id = id;
        return d->toOutbox(QStringLiteral("cash_up"), cashUpEntity(d->till.uid, id), cashUpPayload(recorded));
    });
    if (!done) {
        d->error = d->why(QStringLiteral("写入"));
        return false;
    }
    cashUp.id = id;
    return true;
}

}  // namespace journal
