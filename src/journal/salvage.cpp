#include "journal/salvage.h"

#include "journal/sqlite_db.h"

#include <QStringList>

#include <algorithm>

namespace journal {

namespace {

// How far past a damaged stretch the reading looks for rows again, in keys.
constexpr qint64 farthestGap = 200000;

QString quoted(const QString &name)
{
    return u'"' + QString(name).replace(u'"', QStringLiteral("\"\"")) + u'"';
}

QStringList columnsOf(sql::Database &db, const QString &table)
{
    QStringList columns;
    sql::Statement read(db, "SELECT name FROM pragma_table_info(?)");
    read.bind(1, table);
    while (read.next())
        columns << read.text(0);
    return columns;
}

// The column that orders the table's rows on its pages: the rowid, or the
// first column of a WITHOUT ROWID table's key.
QString keyOf(sql::Database &db, const QString &table)
{
    sql::Statement plain(db, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ? "
                             "AND sql LIKE '%WITHOUT ROWID%'");
    plain.bind(1, table);
    if (!plain.next())
        return QStringLiteral("rowid");
    sql::Statement key(db, "SELECT name FROM pragma_table_info(?) WHERE pk = 1");
    key.bind(1, table);
    return key.next() ? quoted(key.text(0)) : QString();
}

QByteArray utf8(const QString &text)
{
    return text.toUtf8();
}

// Copies `table` key by key: the next key after the last one copied, then
// its rows. Past a damaged page the next key is sought further on, and then
// back to the first one that can be read again. Each read is a statement of
// its own on the damaged file's connection: a damaged page met there leaves
// the new journal's transaction alone.
void copyTable(sql::Database &from, sql::Database &into, const QString &table)
{
    QStringList columns = columnsOf(into, table);
    const QStringList old = columnsOf(from, table);
    columns.erase(std::remove_if(columns.begin(), columns.end(), [&](const QString &c) { return !old.contains(c); }),
                  columns.end());
    const QString key = keyOf(from, table);
    if (columns.isEmpty() || key.isEmpty())
        return;
    QStringList names, places;
    for (const QString &c : columns) {
        names << quoted(c);
        places << QStringLiteral("?");
    }
    const QString name = quoted(table);
    sql::Statement first(from, utf8(QStringLiteral("SELECT %1 FROM %2 ORDER BY %1 LIMIT 1").arg(key, name)).constData());
    sql::Statement after(from, utf8(QStringLiteral("SELECT %1 FROM %2 WHERE %1 > ? ORDER BY %1 LIMIT 1").arg(key, name)).constData());
    sql::Statement rows(from, utf8(QStringLiteral("SELECT %1 FROM %2 WHERE %3 = ?").arg(names.join(u','), name, key)).constData());
    sql::Statement insert(into, utf8(QStringLiteral("INSERT OR IGNORE INTO %1 (%2) VALUES (%3)")
                                         .arg(name, names.join(u','), places.join(u','))).constData());
    if (!first.isValid() || !after.isValid() || !rows.isValid() || !insert.isValid())
        return;
    const auto copyKey = [&](const auto &value) {
        rows.bind(1, value);
        while (rows.next()) {  // a row that cannot be read ends the key's rows
            for (int i = 0; i < columns.size(); ++i)
                insert.bindValue(i + 1, rows, i);
            insert.run();
        }
        rows.reset();
    };
    const bool hasFirst = first.next();
    if (hasFirst && !first.isInteger(0)) {
        // A text key (a few small tables): in order, up to the first damage.
        QString at = first.text(0);
        for (;;) {
            copyKey(at);
            after.bind(1, at);
            if (!after.next())
                return;
            at = after.text(0);
            after.reset();
        }
    }
    // 1: the next key after `x` is in *at; 0: there is none; -1: unreadable.
    const auto seekAfter = [&](qint64 x, qint64 *at) {
        after.bind(1, x);
        const int found = after.next() ? 1 : after.failed() ? -1 : 0;
        if (found == 1)
            *at = after.integer(0);
        after.reset();
        return found;
    };
    // Keys of ours count from 1: a damaged first page is read past from 0.
    qint64 last = hasFirst ? first.integer(0) - 1 : 0;
    first.reset();
    for (;;) {
        qint64 at = 0;
        int found = seekAfter(last, &at);
        if (found < 0) {
            qint64 bad = last, good = 0;
            for (qint64 gap = 1; gap <= farthestGap && found < 0; gap *= 2) {
                found = seekAfter(last + gap, &at);
                (found < 0 ? bad : good) = last + gap;
            }
            if (found < 0)
                return;
            while (good - bad > 1) {  // back to the first key readable again
                const qint64 middle = bad + (good - bad) / 2;
                qint64 there = 0;
                (seekAfter(middle, &there) >= 0 ? good : bad) = middle;
            }
            found = seekAfter(good, &at);
        }
        if (found <= 0)
            return;
        last = at;
        copyKey(at);
    }
}

}  // namespace

int salvage(sql::Database &into, const QString &damaged)
{
    sql::Database from;
    if (!from.open(damaged, true, false))
        return -1;
    QStringList tables;
    {
        sql::Statement ours(into, "SELECT name FROM sqlite_master WHERE type = 'table' "
                                  "AND name NOT LIKE 'sqlite_%' ORDER BY rootpage");
        while (ours.next())
            tables << ours.text(0);
    }
    int saved = -1;
    if (into.exec("PRAGMA foreign_keys = OFF; BEGIN IMMEDIATE")) {
        for (const QString &table : std::as_const(tables))
            copyTable(from, into, table);
        // When the check last ran belongs to the file checked.
        into.exec("DELETE FROM meta WHERE key = 'integrity_checked'");
        if (into.exec("COMMIT"))
            saved = into.text("SELECT count(*) FROM orders").value_or(QStringLiteral("0")).toInt();
        else
            into.exec("ROLLBACK");
    }
    into.exec("PRAGMA foreign_keys = ON");
    return saved;
}

}  // namespace journal
