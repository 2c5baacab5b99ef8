#pragma once
// What a till asks of the shop's database: to join it under a number, to
// store a batch of its changes, and how far the shop has its changes. Each
// call is one server transaction; none is made on the GUI thread.

#include "shop/pg_db.h"

#include <QDateTime>
#include <QList>
#include <QString>

namespace shop {

// This till as the shop knows it.
struct TillIdentity {
    QString uid;     // made once, when the till first joins (a UUID)
    int number = 0;  // 1 to 99; its receipts' 单号 carry it
    QString name;    // 前台, 二楼
};

// One change of the till's outbox, as it goes up.
struct OutgoingChange {
    qint64 seq = 0;       // gap-free, from 1, given when the change was recorded
    QString kind;         // order, void, cash_up
    QString entity;       // the order's uid, the cash-up's identity
    QString at;           // when it was recorded, the till's local time
    QByteArray payload;   // the change itself, JSON
};

// Joins (or joins again) the shop as `till`. Another till holding the
// number refuses it unless `replacing`: then that till is marked replaced
// and this one takes the number. Empty on success; otherwise why, in Chinese.
QString joinShop(pg::Connection &db, const TillIdentity &till, bool replacing);

struct BatchAnswer {
    qint64 lastSeq = 0;  // every change up to here is stored
    int stored = 0;      // new to the server
    int keptAside = 0;   // contradicted what the server had: kept apart, told
};

// Stores `changes` (in sequence order) in one server transaction. nullopt
// on failure (db tells why): nothing of the batch counts as stored.
std::optional<BatchAnswer> storeBatch(pg::Connection &db, const QString &tillUid,
                                      const QList<OutgoingChange> &changes);

// The highest sequence number the shop holds of this till: 0 for none.
std::optional<qint64> storedUpTo(pg::Connection &db, const QString &tillUid);

}  // namespace shop

namespace shop {

// Tells the shop how far this till's outbox goes (and that it is alive),
// and how many orders it has put aside (挂单) and their sum in 分.
bool reportOutbox(pg::Connection &db, const QString &tillUid, qint64 outboxEnd, int putAsideCount = 0,
                  qint64 putAsideFen = 0);

}  // namespace shop
