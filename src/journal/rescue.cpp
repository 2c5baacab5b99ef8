#include "journal/rescue.h"

#include "common/save_file.h"
#include "journal/platform_facts.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QStandardPaths>

#include <algorithm>
#include <utility>

namespace journal::rescue {

namespace {

const QString timeFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz");

QJsonArray array(const std::array<QString, categoryCount> &texts)
{
    QJsonArray list;
    for (const QString &text : texts)
        list.append(text);
    return list;
}

QJsonObject toJson(const Order &order)
{
    QJsonObject o{{QStringLiteral("uid"), order.uid},
                  {QStringLiteral("receipt"), order.receiptNumber},
                  {QStringLiteral("status"), int(order.status)},
                  {QStringLiteral("endedAt"), order.endedAt.toString(timeFormat)},
                  {QStringLiteral("printed"), order.printed},
                  {QStringLiteral("copied"), order.copied},
                  {QStringLiteral("names"), array(order.categoryNames)},
                  {QStringLiteral("grandTotal"), order.grandTotal},
                  {QStringLiteral("billText"), order.billText},
                  {QStringLiteral("voidReason"), order.voidReason}};
    if (order.receipt)
        o.insert(QStringLiteral("receiptMarks"), order.receipt);
    if (order.billNumber)
        o.insert(QStringLiteral("bill"), *order.billNumber);
    if (order.voidedAt.isValid())
        o.insert(QStringLiteral("voidedAt"), order.voidedAt.toString(timeFormat));
    if (!order.closesOpenUid.isEmpty())
        o.insert(QStringLiteral("closesOpen"), order.closesOpenUid);
    QJsonArray totals;
    for (double total : order.categoryTotals)
        totals.append(total);
    o.insert(QStringLiteral("totals"), totals);
    QJsonArray lines;
    for (const OrderLine &l : order.lines)
        lines.append(QJsonArray{l.category, l.categoryName, l.dish, l.smallQuantity, l.smallHeading,
                                l.largeQuantity, l.largeHeading, l.lineTotal});
    o.insert(QStringLiteral("lines"), lines);
    if (const std::optional<Payment> &p = order.payment) {
        QJsonArray parts;
        for (const PaymentPart &part : p->parts)
            parts.append(QJsonArray{part.method, part.amount});
        // 分 as JSON numbers: exact far beyond any till's sums (2^53).
        o.insert(QStringLiteral("payment"),
                 QJsonObject{{QStringLiteral("total"), p->total},
                             {QStringLiteral("discount"), p->discount},
                             {QStringLiteral("discountLabel"), p->discountLabel},
                             {QStringLiteral("rounding"), p->rounding},
                             {QStringLiteral("due"), p->due},
                             {QStringLiteral("parts"), parts},
                             {QStringLiteral("cashGiven"), p->cashGiven},
                             {QStringLiteral("change"), p->change}});
    }
    return o;
}

QDateTime timeFrom(const QJsonValue &value)
{
    return QDateTime::fromString(value.toString(), timeFormat);
}

std::optional<Order> fromJson(const QJsonObject &o)
{
    Order order;
    order.uid = o.value(QStringLiteral("uid")).toString();
    order.endedAt = timeFrom(o.value(QStringLiteral("endedAt")));
    if (order.uid.isEmpty() || !order.endedAt.isValid())
        return std::nullopt;
    order.receiptNumber = o.value(QStringLiteral("receipt")).toString();
    order.status = OrderStatus(std::clamp(o.value(QStringLiteral("status")).toInt(), 0, 2));
    order.printed = o.value(QStringLiteral("printed")).toBool();
    order.copied = o.value(QStringLiteral("copied")).toBool();
    order.receipt = o.value(QStringLiteral("receiptMarks")).toInt();
    if (o.contains(QStringLiteral("bill")))
        order.billNumber = o.value(QStringLiteral("bill")).toInt();
    const QJsonArray names = o.value(QStringLiteral("names")).toArray();
    const QJsonArray totals = o.value(QStringLiteral("totals")).toArray();
    for (int c = 0; c < categoryCount; ++c) {
        order.categoryNames[c] = names.at(c).toString();
        order.categoryTotals[c] = totals.at(c).toDouble();
    }
    order.grandTotal = o.value(QStringLiteral("grandTotal")).toDouble();
    order.billText = o.value(QStringLiteral("billText")).toString();
    order.voidReason = o.value(QStringLiteral("voidReason")).toString();
    order.voidedAt = timeFrom(o.value(QStringLiteral("voidedAt")));
    order.closesOpenUid = o.value(QStringLiteral("closesOpen")).toString();
    for (const QJsonValue &value : o.value(QStringLiteral("lines")).toArray()) {
        const QJsonArray l = value.toArray();
        order.lines.append(OrderLine{l.at(0).toInt(), l.at(1).toString(), l.at(2).toString(),
                                     l.at(3).toDouble(), l.at(4).toString(), l.at(5).toDouble(),
                                     l.at(6).toString(), l.at(7).toDouble()});
    }
    if (o.contains(QStringLiteral("payment"))) {
        const QJsonObject p = o.value(QStringLiteral("payment")).toObject();
        const auto fen = [&p](const char *key) { return Fen(p.value(QLatin1String(key)).toInteger()); };
        Payment payment{fen("total"), fen("discount"), p.value(QStringLiteral("discountLabel")).toString(),
                        fen("rounding"), fen("due"), {}, fen("cashGiven"), fen("change")};
        for (const QJsonValue &value : p.value(QStringLiteral("parts")).toArray())
            payment.parts.append(PaymentPart{value.toArray().at(0).toString(),
                                             Fen(value.toArray().at(1).toInteger())});
        order.payment = payment;
    }
    return order;
}

// The file holds the changes in the order they were handed over: orders as
// the first rescue files held them (no "kind"), and open orders kept or
// dropped, each with the change's own id.
const QString keepKind = QStringLiteral("keepOpen");
const QString dropKind = QStringLiteral("dropOpen");
const QString markKind = QStringLiteral("mark");

QJsonObject toJson(const Change &change)
{
    switch (change.kind) {
    case Change::Kind::Record:
        break;
    case Change::Kind::KeepOpen: {
        const OpenOrder &open = change.open;
        return QJsonObject{{QStringLiteral("kind"), keepKind},
                           {QStringLiteral("id"), change.id},
                           {QStringLiteral("uid"), open.uid},
                           {QStringLiteral("name"), open.name},
                           {QStringLiteral("heldAt"), open.heldAt.toString(timeFormat)},
                           {QStringLiteral("total"), open.total},
                           {QStringLiteral("dishes"), open.dishCount},
                           {QStringLiteral("state"), QString::fromLatin1(open.state.toBase64())},
                           {QStringLiteral("closesCurrent"), open.closesCurrent}};
    }
    case Change::Kind::DropOpen:
        return QJsonObject{{QStringLiteral("kind"), dropKind},
                           {QStringLiteral("id"), change.id},
                           {QStringLiteral("uid"), change.open.uid}};
    case Change::Kind::Mark:
        return QJsonObject{{QStringLiteral("kind"), markKind},
                           {QStringLiteral("id"), change.id},
                           {QStringLiteral("uid"), change.order.uid},
                           {QStringLiteral("receiptMarks"), change.order.receipt}};
    case Change::Kind::KeepCurrent:
    case Change::Kind::DropCurrent:
        break;  // never handed to a rescue: the order on the windows ends first
    }
    return toJson(change.order);
}

std::optional<Change> changeFromJson(const QJsonObject &o)
{
    const QString kind = o.value(QStringLiteral("kind")).toString();
    if (kind.isEmpty()) {
        const std::optional<Order> order = fromJson(o);
        if (!order)
            return std::nullopt;
        return Change::record(*order);
    }
    Change change;
    change.id = o.value(QStringLiteral("id")).toString();
    change.open.uid = o.value(QStringLiteral("uid")).toString();
    if (change.id.isEmpty() || change.open.uid.isEmpty())
        return std::nullopt;
    if (kind == markKind) {
        change.kind = Change::Kind::Mark;
        change.order.uid = std::exchange(change.open.uid, QString());
        change.order.receipt = o.value(QStringLiteral("receiptMarks")).toInt();
        return change;
    }
    if (kind == dropKind) {
        change.kind = Change::Kind::DropOpen;
        return change;
    }
    if (kind != keepKind)
        return std::nullopt;  // a change of a later version: left alone
    change.kind = Change::Kind::KeepOpen;
    change.open.name = o.value(QStringLiteral("name")).toString();
    change.open.heldAt = timeFrom(o.value(QStringLiteral("heldAt")));
    change.open.total = Fen(o.value(QStringLiteral("total")).toInteger());
    change.open.dishCount = o.value(QStringLiteral("dishes")).toInt();
    change.open.state = QByteArray::fromBase64(o.value(QStringLiteral("state")).toString().toLatin1());
    change.open.closesCurrent = o.value(QStringLiteral("closesCurrent")).toString();
    return change;
}

// A rescue file's changes; nullopt when there is none or it cannot be read
// (it is then left where it is).
std::optional<QList<Change>> read(const QString &file)
{
    QFile in(file);
    if (!QFileInfo::exists(file))
        return std::nullopt;
    // Only a file the user wrote: another account's, or one others could
    // have written, would bring orders no one took.
    if (const QString refused = platform::notOwnFile(file); !refused.isEmpty()) {
        qWarning("Tavelko: the rescue file %s is not merged: %s", qPrintable(QDir::toNativeSeparators(file)),
                 qPrintable(refused));
        return std::nullopt;
    }
    if (!in.open(QIODevice::ReadOnly))
        return std::nullopt;
    QJsonParseError parsed;
    const QJsonDocument document = QJsonDocument::fromJson(in.readAll(), &parsed);
    if (parsed.error != QJsonParseError::NoError || !document.isArray())
        return std::nullopt;
    QList<Change> changes;
    for (const QJsonValue &value : document.array())
        if (const std::optional<Change> change = changeFromJson(value.toObject()))
            changes.append(*change);
    return changes;
}

}  // namespace

QStringList places()
{
    // Outside the journal's folder first: a folder that cannot be written
    // (forbidden) must not keep the rescue from being written too. Only the
    // user's own folders: in a shared one another account could put a file.
    const QString settings = platform::settingsFolder();
    QStringList list;
    if (!settings.isEmpty())
        list << settings + QStringLiteral("/Tavelko/journal-rescue.json");
    list << defaultFolder() + QStringLiteral("/journal-rescue.json");
    return list;
}

QString save(const QList<Change> &changes, QString *error)
{
    QStringList earlierFiles;
    QList<Change> all = load(&earlierFiles);  // older: they stay first
    QSet<QString> known;
    for (const Change &change : all)
        known.insert(change.id);
    for (const Change &change : changes)
        if (!known.contains(change.id))
            all.append(change);
    QJsonArray list;
    for (const Change &change : all)
        list.append(toJson(change));
    const QByteArray bytes = QJsonDocument(list).toJson(QJsonDocument::Compact);
    QStringList failures;
    for (const QString &file : places()) {
        // For the user alone, whatever the umask; a file another put there
        // makes way.
        platform::makeOwnFolder(QFileInfo(file).path());
        if (QFileInfo::exists(file) && !platform::notOwnFile(file).isEmpty())
            QFile::remove(file);
        QSaveFile out(file);
        if (out.open(QIODevice::WriteOnly) && out.setPermissions(QFile::ReadOwner | QFile::WriteOwner) &&
            out.write(bytes) == bytes.size() && commitWhole(out)) {
            // Every order is in this one now.
            for (const QString &earlier : earlierFiles)
                if (earlier != file)
                    QFile::remove(earlier);
            return file;
        }
        out.cancelWriting();
        failures << QStringLiteral("%1（%2）").arg(QDir::toNativeSeparators(file), out.errorString());
    }
    *error = failures.join(QStringLiteral("；"));
    return QString();
}

QList<Change> load(QStringList *files)
{
    QList<Change> changes;
    QSet<QString> known;
    for (const QString &file : places()) {
        const std::optional<QList<Change>> some = read(file);
        if (!some)
            continue;
        files->append(file);
        for (const Change &change : *some)
            if (!known.contains(change.id)) {
                known.insert(change.id);
                changes.append(change);
            }
    }
    return changes;
}

QList<Order> ordersOf(const QList<Change> &changes)
{
    QList<Order> orders;
    for (const Change &change : changes)
        if (change.kind == Change::Kind::Record)
            orders.append(change.order);
    return orders;
}

int openOrderCount(const QList<Change> &changes)
{
    QSet<QString> uids;
    for (const Change &change : changes)
        if (change.kind == Change::Kind::KeepOpen || change.kind == Change::Kind::DropOpen)
            uids.insert(change.open.uid);
    return int(uids.size());
}

QString amountText(const QList<Order> &orders)
{
    Fen sum = 0;
    for (const Order &order : orders)
        sum += order.payment ? order.payment->due : toFen(order.grandTotal);
    const QString sign = sum < 0 ? QStringLiteral("-") : QString();
    sum = std::abs(sum);
    QString text = sign + QString::number(sum / 100);
    if (sum % 100)
        text += QStringLiteral(".%1").arg(sum % 100, 2, 10, QLatin1Char('0'));
    if (text.endsWith(u'0') && text.contains(u'.'))
        text.chop(1);
    return text;
}

}  // namespace journal::rescue
