#include "journal/journal_current.h"

#include <QUuid>

#include <algorithm>

namespace journal {

namespace {

const QString timeFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz");

// The uid of the order on the windows that `change` ends, or empty.
QString endedBy(const Change &change)
{
    switch (change.kind) {
    case Change::Kind::Record:
        return change.order.uid;
    case Change::Kind::KeepOpen:
        return change.open.closesCurrent;
    case Change::Kind::DropCurrent:
        return change.current.uid;
    case Change::Kind::DropOpen:
    case Change::Kind::KeepCurrent:
    case Change::Kind::Mark:
        break;
    }
    return QString();
}

// `list` as `change` leaves it once written.
void applyTo(QList<CurrentOrder> &list, const Change &change)
{
    const QString uid = change.kind == Change::Kind::KeepCurrent ? change.current.uid : endedBy(change);
    if (uid.isEmpty())
        return;
    list.removeIf([&](const CurrentOrder &c) { return c.uid == uid; });
    if (change.kind == Change::Kind::KeepCurrent)
        list.append(change.current);
}

}  // namespace

Change Change::keepCurrent(const CurrentOrder &current)
{
    Change c = handed(Kind::KeepCurrent);
    c.current = current;
    return c;
}

Change Change::dropCurrent(const QString &uid)
{
    Change c = handed(Kind::DropCurrent);
    c.current.uid = uid;
    return c;
}

bool applyToCurrent(sql::Database &db, const Change &change)
{
    if (change.kind == Change::Kind::KeepCurrent) {
        if (change.current.uid.isEmpty())
            return true;
        sql::Statement keep(db, "INSERT OR REPLACE INTO current_order (uid, saved_at, total_fen, state)"
                                " VALUES (?1, ?2, ?3, ?4)");
        const CurrentOrder &c = change.current;
        return keep.bind(1, c.uid)
            .bind(2, c.savedAt.toString(timeFormat))
            .bind(3, c.total)
            .bind(4, c.state.isNull() ? QByteArray("") : c.state)
            .run();
    }
    const QString uid = endedBy(change);
    if (uid.isEmpty())
        return true;
    sql::Statement drop(db, "DELETE FROM current_order WHERE uid = ?");
    return drop.bind(1, uid).run();
}

std::optional<QList<CurrentOrder>> Journal::currentOrders()
{
    QList<CurrentOrder> list;
    if (sql::Database *db = currentTables()) {
        sql::Statement rows(*db, "SELECT uid, saved_at, total_fen, state FROM current_order ORDER BY saved_at");
        while (rows.next())
            list.append(CurrentOrder{rows.text(0), QDateTime::fromString(rows.text(1), timeFormat),
                                     rows.integer(2), rows.blob(3)});
        if (rows.failed() || !rows.isValid())
            return std::nullopt;
    } else if (!error().isEmpty()) {
        return std::nullopt;
    }
    // What waits to be written shows as it will be.
    for (const Change &change : pendingChanges())
        applyTo(list, change);
    std::stable_sort(list.begin(), list.end(),
                     [](const CurrentOrder &a, const CurrentOrder &b) { return a.savedAt < b.savedAt; });
    return list;
}

}  // namespace journal
