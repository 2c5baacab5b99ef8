#pragma once
// What the tills of a shop share besides their sales, as the server keeps
// it: the menu's edits, in the order stored, and the orders put aside in the
// shop (挂单), each on at most one till's windows at a time. Each call is one
// server transaction, made off the GUI thread.

#include "shop/pg_db.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

namespace shop {

// One caption of the menu as a till edited it.
struct MenuEdit {
    qint64 version = 0;  // the order the server stored it in
    qint64 base = 0;     // the last version the editing till had seen
    QString tillUid;
    QString tillName;    // 前台, 二楼
    QString key;         // "window/control"
    QString value;
};

// The edits stored after `after`, oldest first, at most `limit`.
std::optional<QList<MenuEdit>> menuSince(pg::Connection &db, qint64 after, int limit = 5000);
// The shop's menu as a joining till asks of it: how many captions it has
// (0: none yet) and the version it stands at.
struct MenuState {
    int size = 0;
    qint64 version = 0;
};
std::optional<MenuState> menuState(pg::Connection &db);

// An order put aside in the shop.
struct ShopTable {
    QString uid;
    QString name;        // as the shop keeps it: "5号桌（2）" when the name was taken
    QString askedName;   // as the till put it aside: "5号桌"
    int putBy = 0;       // the till that put it aside: its number…
    QString putByName;   // …and name
    int heldBy = 0;      // the till that has it on its windows; 0: none
    QString heldByName;
    QByteArray state;    // the till's own JSON of the order
    qint64 totalFen = 0;
    int dishCount = 0;
    QDateTime heldAt;
    qint64 version = 0;

    bool operator==(const ShopTable &) const = default;
};

// The shop's open tables as this till last saw them.
struct TablesView {
    bool reachable = false;  // read from the server just now; else only this till's own are known
    QList<ShopTable> open;   // every open table of the shop, oldest first
    QStringList closed;      // those put aside here that the shop has closed since
};

// The highest version of any table, open or closed: unchanged, nothing to read.
std::optional<qint64> tablesVersion(pg::Connection &db);
// Every open table, oldest first.
std::optional<QList<ShopTable>> openTables(pg::Connection &db);
// Those of `uids` that the shop has closed (paid or cleared).
std::optional<QStringList> closedOf(pg::Connection &db, const QStringList &uids);

// 取单 of `uid` for `tillUid` (`take`), or the owner's 强制取回 (not `take`).
struct TakeAnswer {
    enum class Outcome { Taken, Freed, Held, Closed, Missing } outcome = Outcome::Missing;
    int holder = 0;       // Held: the till that has it; Freed: the one that had it
    QString holderName;
    QString name;
    QByteArray state;
};
std::optional<TakeAnswer> takeTable(pg::Connection &db, const QString &tillUid, const QString &uid, bool take);

}  // namespace shop
