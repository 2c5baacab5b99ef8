#pragma once
// The till's outbox: every change a till of a shop records (an order ended,
// a void, a 交班) is also written, in the same transaction, as one row of the
// outbox with a gap-free sequence number (from 1; rows are never removed).
// Whoever carries them to the shop reads them in order from its own
// connection and keeps for itself how far the shop has them. Without a shop
// nothing is written here. The rows' payloads are JSON the journal makes
// from its own records; what the shop does with them is not known here.

#include "journal/journal.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>

#include <optional>

namespace journal {

namespace sql {
class Database;
}

// This till as the shop knows it, kept in the journal once it has joined.
struct TillIdentity {
    QString uid;     // made when it first joined (a UUID)
    int number = 0;  // 1 to 99
    QString name;    // 前台, 二楼
    bool isSet() const { return !uid.isEmpty() && number > 0; }
};

struct OutboxRow {
    qint64 seq = 0;
    QString kind;     // "order", "void", "cash_up", "menu", "table_keep", "table_drop"
    QString entity;   // the order's uid; the cash-up's "<till uid>:<its number>"
    QString at;       // when it was written, local time
    QByteArray payload;
};

// The JSON each kind of change carries.
QByteArray orderPayload(const Order &order);
QByteArray voidPayload(const QString &reason, const QDateTime &at);
QByteArray cashUpPayload(const CashUp &cashUp);
QString cashUpEntity(const QString &tillUid, qint64 cashUpId);
// An order put aside (挂单, "table_keep"), under the name it is kept by.
QByteArray tablePayload(const OpenOrder &open, const QString &name);
// An edit of the menu ("menu"): its captions, the shop's version it was
// made on and who made it.
QByteArray menuPayload(const QMap<QString, QString> &entries, qint64 base, const QString &by);

// The till's identity in `db` (meta table); not set when it joined no shop.
TillIdentity tillIdentity(sql::Database &db);

// Adds one change to the outbox: the caller's transaction is the change's.
bool addToOutbox(sql::Database &db, const QString &kind, const QString &entity, const QByteArray &payload);

// Up to `limit` rows after `after`, in order. nullopt when the file cannot
// be read (it is read from a connection of the caller's own).
std::optional<QList<OutboxRow>> readOutbox(sql::Database &db, qint64 after, int limit);
// The last sequence number given: 0 when none.
std::optional<qint64> outboxEnd(sql::Database &db);

// The orders put aside (挂单) on this till now: how many and their sum.
struct PutAside {
    int count = 0;
    Fen total = 0;
};
std::optional<PutAside> putAside(sql::Database &db);
// The identities of the orders put aside here.
std::optional<QStringList> openOrderUids(sql::Database &db);

// Opens the journal in `folder` for reading the outbox alone, from another
// thread than the journal's own.
bool openOutboxReader(sql::Database &db, const QString &folder);

}  // namespace journal
