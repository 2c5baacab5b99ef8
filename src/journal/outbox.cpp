#include "journal/outbox.h"

#include "journal/sqlite_db.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace journal {

namespace {

const QString timeFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz");

QString statusName(OrderStatus status)
{
    switch (status) {
    case OrderStatus::Paid:
        return QStringLiteral("paid");
    case OrderStatus::Voided:
        return QStringLiteral("voided");
    case OrderStatus::Unpaid:
        break;
    }
    return QStringLiteral("unpaid");
}

QByteArray compact(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QJsonArray partsOf(const QList<PaymentPart> &parts)
{
    QJsonArray list;
    for (const PaymentPart &part : parts)
        list.append(QJsonObject{{QStringLiteral("method"), part.method}, {QStringLiteral("fen"), part.amount}});
    return list;
}

}  // namespace

QByteArray orderPayload(const Order &order)
{
    QJsonObject o;
    o[QStringLiteral("receipt")] = order.receiptNumber;
    o[QStringLiteral("status")] = statusName(order.status);
    o[QStringLiteral("day")] = order.endedAt.date().toString(Qt::ISODate);
    o[QStringLiteral("endedAt")] = order.endedAt.toString(timeFormat);
    o[QStringLiteral("totalFen")] = toFen(order.grandTotal);
    if (order.payment) {
        const Payment &p = *order.payment;
        o[QStringLiteral("totalFen")] = p.total;
        o[QStringLiteral("discountFen")] = p.discount;
        o[QStringLiteral("discountLabel")] = p.discountLabel;
        o[QStringLiteral("roundingFen")] = p.rounding;
        o[QStringLiteral("dueFen")] = p.due;
        o[QStringLiteral("cashGivenFen")] = p.cashGiven;
        o[QStringLiteral("changeFen")] = p.change;
        o[QStringLiteral("parts")] = partsOf(p.parts);
    }
    if (order.status == OrderStatus::Voided) {
        o[QStringLiteral("voidReason")] = order.voidReason;
        o[QStringLiteral("voidedAt")] = order.voidedAt.toString(timeFormat);
    }
    QJsonArray lines;
    for (const OrderLine &line : order.lines)
        lines.append(QJsonObject{{QStringLiteral("category"), line.category},
                                 {QStringLiteral("categoryName"), line.categoryName},
                                 {QStringLiteral("dish"), line.dish},
                                 {QStringLiteral("small"), line.smallQuantity},
                                 {QStringLiteral("smallHeading"), line.smallHeading},
                                 {QStringLiteral("large"), line.largeQuantity},
                                 {QStringLiteral("largeHeading"), line.largeHeading},
                                 {QStringLiteral("lineFen"), toFen(line.lineTotal)}});
    o[QStringLiteral("lines")] = lines;
    if (!order.closesOpenUid.isEmpty())  // in a shop, the table it was closes with it
        o[QStringLiteral("closesOpen")] = order.closesOpenUid;
    return compact(o);
}

QByteArray voidPayload(const QString &reason, const QDateTime &at)
{
    return compact(QJsonObject{{QStringLiteral("reason"), reason}, {QStringLiteral("at"), at.toString(timeFormat)}});
}

QByteArray cashUpPayload(const CashUp &c)
{
    QJsonArray counts;
    for (const auto &[value, count] : c.counts)
        counts.append(QJsonArray{value, count});
    return compact(QJsonObject{
        {QStringLiteral("day"), c.at.date().toString(Qt::ISODate)},
        {QStringLiteral("at"), c.at.toString(timeFormat)},
        {QStringLiteral("since"), c.since.isValid() ? c.since.toString(timeFormat) : QString()},
        {QStringLiteral("paidCount"), c.paidCount},
        {QStringLiteral("unpaidCount"), c.unpaidCount},
        {QStringLiteral("voidedCount"), c.voidedCount},
        {QStringLiteral("paidFen"), c.paidTotal},
        {QStringLiteral("unpaidFen"), c.unpaidTotal},
        {QStringLiteral("voidedFen"), c.voidedTotal},
        {QStringLiteral("byMethod"), partsOf(c.byMethod)},
        {QStringLiteral("discountFen"), c.discounts},
        {QStringLiteral("roundingFen"), c.roundings},
        {QStringLiteral("openingFloatFen"), c.openingFloat},
        {QStringLiteral("cashTakenFen"), c.cashTaken},
        {QStringLiteral("changeGivenFen"), c.changeGiven},
        {QStringLiteral("expectedCashFen"), c.expectedCash},
        {QStringLiteral("countedCashFen"), c.countedCash},
        {QStringLiteral("differenceFen"), c.difference},
        {QStringLiteral("counts"), counts},
        {QStringLiteral("floatLeftFen"), c.floatLeft},
    });
}

QByteArray tablePayload(const OpenOrder &open, const QString &name)
{
    return compact(QJsonObject{
        {QStringLiteral("name"), name},
        {QStringLiteral("heldAt"), open.heldAt.toString(timeFormat)},
        {QStringLiteral("totalFen"), open.total},
        {QStringLiteral("dishCount"), open.dishCount},
        {QStringLiteral("onWindows"), open.onWindows},
        {QStringLiteral("state"), QJsonDocument::fromJson(open.state).object()},
    });
}

QByteArray menuPayload(const QMap<QString, QString> &entries, qint64 base, const QString &by)
{
    QJsonObject captions;
    for (auto entry = entries.cbegin(); entry != entries.cend(); ++entry)
        captions[entry.key()] = entry.value();
    return compact(QJsonObject{{QStringLiteral("entries"), captions},
                               {QStringLiteral("base"), base},
                               {QStringLiteral("by"), by}});
}

QString cashUpEntity(const QString &tillUid, qint64 cashUpId)
{
    return QStringLiteral("%1:%2").arg(tillUid).arg(cashUpId);
}

TillIdentity tillIdentity(sql::Database &db)
{
    TillIdentity till;
    sql::Statement read(db, "SELECT key, value FROM meta WHERE key IN ('till.uid', 'till.number', 'till.name')");
    while (read.next()) {
        const QString key = read.text(0);
        if (key == QLatin1String("till.uid"))
            till.uid = read.text(1);
        else if (key == QLatin1String("till.number"))
            till.number = read.text(1).toInt();
        else
            till.name = read.text(1);
    }
    return till;
}

bool addToOutbox(sql::Database &db, const QString &kind, const QString &entity, const QByteArray &payload)
{
    sql::Statement add(db, "INSERT INTO outbox (kind, entity, at, payload) VALUES (?, ?, ?, ?)");
    return add.bind(1, kind)
        .bind(2, entity)
        .bind(3, QDateTime::currentDateTime().toString(timeFormat))
        .bind(4, QString::fromUtf8(payload))
        .run();
}

std::optional<QList<OutboxRow>> readOutbox(sql::Database &db, qint64 after, int limit)
{
    sql::Statement read(db, "SELECT seq, kind, entity, at, payload FROM outbox WHERE seq > ? ORDER BY seq LIMIT ?");
    read.bind(1, after).bind(2, limit);
    QList<OutboxRow> rows;
    while (read.next())
        rows.append({read.integer(0), read.text(1), read.text(2), read.text(3), read.text(4).toUtf8()});
    if (read.failed() || !read.isValid())
        return std::nullopt;
    return rows;
}

std::optional<qint64> outboxEnd(sql::Database &db)
{
    sql::Statement read(db, "SELECT coalesce(max(seq), 0) FROM outbox");
    if (!read.next())
        return std::nullopt;
    return read.integer(0);
}

std::optional<PutAside> putAside(sql::Database &db)
{
    sql::Statement read(db, "SELECT count(*), coalesce(sum(total_fen), 0) FROM open_orders");
    if (!read.next())
        return std::nullopt;
    return PutAside{int(read.integer(0)), read.integer(1)};
}

std::optional<QStringList> openOrderUids(sql::Database &db)
{
    sql::Statement read(db, "SELECT uid FROM open_orders ORDER BY uid");
    QStringList uids;
    while (read.next())
        uids << read.text(0);
    if (read.failed() || !read.isValid())
        return std::nullopt;
    return uids;
}

bool openOutboxReader(sql::Database &db, const QString &folder)
{
    return db.open(QDir(folder).filePath(QStringLiteral("journal.sqlite")), true, false);
}

}  // namespace journal
