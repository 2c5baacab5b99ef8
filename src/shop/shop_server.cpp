#include "shop/shop_server.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace shop {

QString joinShop(pg::Connection &db, const TillIdentity &till, bool replacing)
{
    if (till.number < 1 || till.number > 99)
        return QStringLiteral("收银机编号要在 1 到 99 之间。");
    if (!db.run("BEGIN"))
        return db.describeFailure();
    auto fail = [&db](const QString &why) {
        db.run("ROLLBACK");
        return why;
    };
    // Two tills joining together with one number: one waits for the other.
    if (!db.exec("SELECT pg_advisory_xact_lock(hashtext('tavelko.tills'))"))
        return fail(db.describeFailure());
    const std::optional<pg::Result> holder = db.exec(
        "SELECT uid::text, name FROM tavelko.tills WHERE number = $1 AND replaced_at IS NULL",
        {QString::number(till.number)});
    if (!holder)
        return fail(db.describeFailure());
    if (holder->rows() > 0 && holder->text(0, 0) != till.uid) {
        if (!replacing)
            return fail(QStringLiteral("%1 号收银机已经是“%2”。如果这台电脑是换下那台坏了的，"
                                       "请选“替换那台收银机”；否则请换一个编号。")
                            .arg(till.number)
                            .arg(holder->text(0, 1)));
        if (!db.exec("UPDATE tavelko.tills SET replaced_at = now(), replaced_by = $2::uuid "
                     "WHERE number = $1 AND replaced_at IS NULL",
                     {QString::number(till.number), till.uid}))
            return fail(db.describeFailure());
    }
    if (!db.exec("INSERT INTO tavelko.tills (uid, number, name) VALUES ($1::uuid, $2, $3) "
                 "ON CONFLICT (uid) DO UPDATE SET number = EXCLUDED.number, name = EXCLUDED.name, "
                 "replaced_at = NULL, replaced_by = NULL",
                 {till.uid, QString::number(till.number), till.name}))
        return fail(db.describeFailure());
    if (!db.run("COMMIT"))
        return db.describeFailure();
    return {};
}

std::optional<BatchAnswer> storeBatch(pg::Connection &db, const QString &tillUid,
                                      const QList<OutgoingChange> &changes)
{
    QJsonArray batch;
    for (const OutgoingChange &change : changes) {
        QJsonParseError error;
        const QJsonDocument payload = QJsonDocument::fromJson(change.payload, &error);
        batch.append(QJsonObject{{QStringLiteral("seq"), change.seq},
                                 {QStringLiteral("kind"), change.kind},
                                 {QStringLiteral("entity"), change.entity},
                                 {QStringLiteral("at"), change.at},
                                 {QStringLiteral("payload"), payload.object()}});
    }
    // One statement, hence one transaction: all of the batch or none of it.
    // A batch takes the server well under a second; one that has no answer
    // in 20 s finds the server hung, and the link is told away rather than
    // shown connected meanwhile. Should the server store it after all, the
    // till learns so when it next asks how far the shop has its changes.
    const std::optional<pg::Result> answer =
        db.exec("SELECT last_seq, stored, aside FROM tavelko.apply($1::uuid, $2::jsonb)",
                {tillUid, QString::fromUtf8(QJsonDocument(batch).toJson(QJsonDocument::Compact))}, 20000);
    if (!answer)
        return std::nullopt;
    const std::optional<qint64> last = answer->integer(0, 0);
    const std::optional<qint64> stored = answer->integer(0, 1);
    const std::optional<qint64> aside = answer->integer(0, 2);
    // A broken server's answer is refused: nothing counts as stored.
    if (answer->rows() != 1 || !last || !stored || !aside || *last != (changes.isEmpty() ? 0 : changes.last().seq) ||
        *stored < 0 || *aside < 0 || *stored > changes.size() || *aside > changes.size())
        return std::nullopt;
    return BatchAnswer{*last, int(*stored), int(*aside)};
}

std::optional<qint64> storedUpTo(pg::Connection &db, const QString &tillUid)
{
    const std::optional<pg::Result> answer =
        db.exec("SELECT coalesce(max(seq), 0) FROM tavelko.changes WHERE till = $1::uuid", {tillUid});
    if (!answer)
        return std::nullopt;
    const std::optional<qint64> seq = answer->integer(0, 0);
    if (!seq || *seq < 0)
        return std::nullopt;
    return seq;
}

}  // namespace shop

namespace shop {

bool reportOutbox(pg::Connection &db, const QString &tillUid, qint64 outboxEnd, int putAsideCount,
                  qint64 putAsideFen)
{
    return db
        .exec("UPDATE tavelko.tills SET outbox_end = $2, last_seen = now(), put_aside_count = $3, "
              "put_aside_fen = $4 WHERE uid = $1::uuid",
              {tillUid, QString::number(outboxEnd), QString::number(putAsideCount), QString::number(putAsideFen)})
        .has_value();
}

}  // namespace shop
