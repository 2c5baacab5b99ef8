#include "shop/shop_shared.h"

#include <QMap>

namespace shop {

std::optional<QList<MenuEdit>> menuSince(pg::Connection &db, qint64 after, int limit)
{
    const std::optional<pg::Result> rows = db.exec(
        "SELECT m.version, m.base, m.till::text, t.name, m.key, m.value FROM tavelko.menu m "
        "JOIN tavelko.tills t ON t.uid = m.till WHERE m.version > $1 ORDER BY m.version LIMIT $2",
        {QString::number(after), QString::number(limit)});
    if (!rows)
        return std::nullopt;
    QList<MenuEdit> edits;
    edits.reserve(rows->rows());
    for (int r = 0; r < rows->rows(); ++r) {
        const std::optional<qint64> version = rows->integer(r, 0);
        const std::optional<qint64> base = rows->integer(r, 1);
        if (!version || !base || *version <= after)
            return std::nullopt;  // a broken answer is refused whole
        edits.append({*version, *base, rows->text(r, 2), rows->text(r, 3), rows->text(r, 4), rows->text(r, 5)});
    }
    return edits;
}

std::optional<MenuState> menuState(pg::Connection &db)
{
    const std::optional<pg::Result> answer =
        db.exec("SELECT count(DISTINCT key), coalesce(max(version), 0) FROM tavelko.menu");
    if (!answer)
        return std::nullopt;
    const std::optional<qint64> size = answer->integer(0, 0), version = answer->integer(0, 1);
    if (!size || !version || *size < 0 || *version < 0)
        return std::nullopt;
    return MenuState{int(*size), *version};
}

std::optional<qint64> tablesVersion(pg::Connection &db)
{
    const std::optional<pg::Result> answer = db.exec("SELECT coalesce(max(version), 0) FROM tavelko.open_tables");
    if (!answer)
        return std::nullopt;
    return answer->integer(0, 0);
}

std::optional<QList<ShopTable>> openTables(pg::Connection &db)
{
    const std::optional<pg::Result> rows = db.exec(
        "SELECT o.uid, o.name, o.asked_name, p.number, p.name, coalesce(h.number, 0), coalesce(h.name, ''), "
        "o.state::text, o.total_fen, o.dish_count, coalesce(o.held_at, ''), o.version "
        "FROM tavelko.open_tables o JOIN tavelko.tills p ON p.uid = o.put_by "
        "LEFT JOIN tavelko.tills h ON h.uid = o.held_by WHERE o.closed_at IS NULL ORDER BY o.held_at, o.uid");
    if (!rows)
        return std::nullopt;
    QList<ShopTable> tables;
    tables.reserve(rows->rows());
    for (int r = 0; r < rows->rows(); ++r) {
        const std::optional<qint64> putBy = rows->integer(r, 3), heldBy = rows->integer(r, 5),
                                    total = rows->integer(r, 8), dishes = rows->integer(r, 9),
                                    version = rows->integer(r, 11);
        if (!putBy || !heldBy || !total || !dishes || !version)
            return std::nullopt;
        ShopTable t;
        t.uid = rows->text(r, 0);
        t.name = rows->text(r, 1);
        t.askedName = rows->text(r, 2);
        t.putBy = int(*putBy);
        t.putByName = rows->text(r, 4);
        t.heldBy = int(*heldBy);
        t.heldByName = rows->text(r, 6);
        t.state = rows->text(r, 7).toUtf8();
        t.totalFen = *total;
        t.dishCount = int(*dishes);
        t.heldAt = QDateTime::fromString(rows->text(r, 10), QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
        t.version = *version;
        tables.append(t);
    }
    return tables;
}

std::optional<QStringList> closedOf(pg::Connection &db, const QStringList &uids)
{
    if (uids.isEmpty())
        return QStringList();
    // As a JSON array: no text of a till's is ever spliced into the statement.
    QStringList quoted;
    for (QString uid : uids)
        quoted << u'"' + uid.remove(u'"').remove(u'\\') + u'"';
    const std::optional<pg::Result> rows = db.exec(
        "SELECT uid FROM tavelko.open_tables WHERE closed_at IS NOT NULL "
        "AND uid IN (SELECT jsonb_array_elements_text($1::jsonb))",
        {u'[' + quoted.join(u',') + u']'});
    if (!rows)
        return std::nullopt;
    QStringList closed;
    for (int r = 0; r < rows->rows(); ++r)
        closed << rows->text(r, 0);
    return closed;
}

std::optional<TakeAnswer> takeTable(pg::Connection &db, const QString &tillUid, const QString &uid, bool take)
{
    const std::optional<pg::Result> row =
        db.exec("SELECT outcome, coalesce(holder_number, 0), coalesce(holder_name, ''), coalesce(name, ''), "
                "coalesce(state::text, '') FROM tavelko.take_table($1::uuid, $2, $3)",
                {tillUid, uid, take ? QStringLiteral("true") : QStringLiteral("false")}, 5000);
    if (!row || row->rows() != 1)
        return std::nullopt;
    static const QMap<QString, TakeAnswer::Outcome> outcomes{
        {QStringLiteral("taken"), TakeAnswer::Outcome::Taken}, {QStringLiteral("freed"), TakeAnswer::Outcome::Freed},
        {QStringLiteral("held"), TakeAnswer::Outcome::Held},   {QStringLiteral("closed"), TakeAnswer::Outcome::Closed},
        {QStringLiteral("missing"), TakeAnswer::Outcome::Missing}};
    const auto outcome = outcomes.constFind(row->text(0, 0));
    const std::optional<qint64> holder = row->integer(0, 1);
    if (outcome == outcomes.cend() || !holder)
        return std::nullopt;
    return TakeAnswer{*outcome, int(*holder), row->text(0, 2), row->text(0, 3), row->text(0, 4).toUtf8()};
}

}  // namespace shop
