// The journal's part in a shop of several tills: the till's identity, kept
// in the journal's meta table, and the outbox filled with the till's past
// when it first joins. What carries the outbox to the shop is elsewhere.
#include "journal/journal.h"
#include "journal/journal_private.h"
#include "journal/outbox.h"
#include "journal/platform_facts.h"

#include <QUuid>

namespace journal {

TillIdentity Journal::tillIdentity()
{
    if (!open() || d->version < 5)
        return {};
    return d->till = journal::tillIdentity(d->db);
}

bool Journal::joinShop(const TillIdentity &till)
{
    if (d->mode == Mode::Reading) {
        d->error = QStringLiteral("营业记录以只读方式打开，不能加入店铺。");
        return false;
    }
    if (!open() || !flush())
        return false;
    const TillIdentity before = journal::tillIdentity(d->db);
    const bool done = d->transaction([&] {
        sql::Statement keep(d->db, "INSERT OR REPLACE INTO meta (key, value) VALUES (?, ?)");
        if (!keep.bind(1, QStringLiteral("till.uid")).bind(2, till.uid).run() ||
            !keep.bind(1, QStringLiteral("till.number")).bind(2, QString::number(till.number)).run() ||
            !keep.bind(1, QStringLiteral("till.name")).bind(2, till.name).run())
            return false;
        if (before.isSet())
            return true;  // joined before: the outbox has the past already
        d->till = till;
        // The past, in the order it happened: every order as it stands now
        // (a void made since is in it), then every 交班.
        bool added = d->forEach(Private::Which::Days, {QStringLiteral("0000-01-01"), QStringLiteral("9999-12-31")},
                                false, [&](Order &order, const QString &) {
                                    return order.uid.isEmpty() ||  // 1.2.0's orders have no identity
                                           d->toOutbox(QStringLiteral("order"), order.uid, orderPayload(order));
                                });
        sql::Statement cashUps(d->db, "SELECT id, at, expected_cash_fen, counted_cash_fen, difference_fen"
                                      " FROM cash_ups ORDER BY id");
        while (added && cashUps.next()) {
            CashUp c;
            c.id = cashUps.integer(0);
            c.at = QDateTime::fromString(cashUps.text(1), timeFormat);
            c.expectedCash = cashUps.integer(2);
            c.countedCash = cashUps.integer(3);
            c.difference = cashUps.integer(4);
            added = d->toOutbox(QStringLiteral("cash_up"), cashUpEntity(till.uid, c.id), cashUpPayload(c));
        }
        // And what waits put aside, for every till's 取单.
        sql::Statement tables(d->db, "SELECT uid, name, held_at, total_fen, dish_count, state FROM open_orders");
        while (added && tables.next()) {
            OpenOrder open;
            open.uid = tables.text(0);
            open.heldAt = QDateTime::fromString(tables.text(2), timeFormat);
            open.total = tables.integer(3);
            open.dishCount = int(tables.integer(4));
            open.state = tables.text(5).toUtf8();
            added = d->toOutbox(QStringLiteral("table_keep"), open.uid, tablePayload(open, tables.text(1)));
        }
        return added && !cashUps.failed() && !tables.failed();
    });
    if (!done) {
        d->till = before;
        d->error = d->why(QStringLiteral("写入"));
        return false;
    }
    d->till = till;
    return true;
}

bool Journal::shareMenu(const QMap<QString, QString> &entries, qint64 base)
{
    if (entries.isEmpty())
        return true;
    if (d->mode == Mode::Reading) {
        d->error = QStringLiteral("营业记录以只读方式打开，菜单的改动没有传给店铺。");
        return false;
    }
    if (!open())
        return false;
    if (d->transaction([&] {
            return d->toOutbox(QStringLiteral("menu"), QUuid::createUuid().toString(QUuid::WithoutBraces),
                               menuPayload(entries, base, platform::currentUser()));
        }))
        return true;
    d->error = d->why(QStringLiteral("写入"));
    return false;
}

}  // namespace journal
