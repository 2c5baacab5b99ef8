#include "till/held_order.h"

#include "common/caption_number.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>

namespace till {

namespace {

QJsonArray dishesToJson(const QList<HeldDish> &dishes)
{
    QJsonArray array;
    for (const HeldDish &d : dishes)
        array.append(QJsonObject{{"category", d.category}, {"row", d.row}, {"dish", d.dish},
                                 {"smallHeading", d.smallHeading}, {"largeHeading", d.largeHeading},
                                 {"smallPrice", d.smallPrice}, {"largePrice", d.largePrice},
                                 {"smallQuantity", d.smallQuantity}, {"largeQuantity", d.largeQuantity}});
    return array;
}

std::optional<QList<HeldDish>> dishesFromJson(const QJsonValue &value)
{
    if (!value.isArray())
        return std::nullopt;
    QList<HeldDish> dishes;
    for (const QJsonValue &item : value.toArray()) {
        const QJsonObject o = item.toObject();
        HeldDish d;
        d.category = o.value("category").toInt();
        d.row = o.value("row").toInt();
        if (d.category < 1 || d.category > journal::categoryCount || d.row < 1 || d.row > 14)
            return std::nullopt;
        d.dish = o.value("dish").toString();
        d.smallHeading = o.value("smallHeading").toString();
        d.largeHeading = o.value("largeHeading").toString();
        d.smallPrice = o.value("smallPrice").toString();
        d.largePrice = o.value("largePrice").toString();
        d.smallQuantity = o.value("smallQuantity").toDouble();
        d.largeQuantity = o.value("largeQuantity").toDouble();
        dishes.append(d);
    }
    return dishes;
}

}  // namespace

int HeldOrder::dishCount() const
{
    double count = 0;
    for (const HeldDish &d : dishes)
        count += d.smallQuantity + d.largeQuantity;
    return int(count);
}

journal::OpenOrder HeldOrder::toOpen() const
{
    QJsonObject state{{"version", 1}, {"dishes", dishesToJson(dishes)},
                      {"kitchen", dishesToJson(sentToKitchen)}};
    if (billNumber)
        state.insert("bill", QJsonObject{{"number", *billNumber}, {"text", billText},
                                         {"printed", printed}, {"copied", copied}});
    journal::OpenOrder open;
    open.uid = uid;
    open.name = name;
    open.heldAt = heldAt;
    open.total = total;
    open.dishCount = dishCount();
    open.state = QJsonDocument(state).toJson(QJsonDocument::Compact);
    open.closesCurrent = closesCurrent;
    return open;
}

std::optional<HeldOrder> HeldOrder::fromOpen(const journal::OpenOrder &open)
{
    const QJsonObject state = QJsonDocument::fromJson(open.state).object();
    if (state.value("version").toInt() != 1)
        return std::nullopt;
    const std::optional<QList<HeldDish>> dishes = dishesFromJson(state.value("dishes"));
    const std::optional<QList<HeldDish>> sent = dishesFromJson(state.value("kitchen"));
    if (!dishes || !sent)
        return std::nullopt;
    HeldOrder held;
    held.uid = open.uid;
    held.name = open.name;
    held.heldAt = open.heldAt;
    held.total = open.total;
    held.dishes = *dishes;
    held.sentToKitchen = *sent;
    if (const QJsonObject bill = state.value("bill").toObject(); !bill.isEmpty()) {
        held.billNumber = bill.value("number").toInt();
        held.billText = bill.value("text").toString();
        held.printed = bill.value("printed").toBool();
        held.copied = bill.value("copied").toBool();
    }
    return held;
}

QList<HeldDish> dishesOf(const QList<HeldDish> &dishes, int category)
{
    QList<HeldDish> of;
    std::copy_if(dishes.begin(), dishes.end(), std::back_inserter(of),
                 [category](const HeldDish &d) { return d.category == category; });
    return of;
}

QStringList changesSince(const QList<HeldDish> &held, const QList<HeldDish> &now)
{
    QStringList changes;
    for (const HeldDish &was : held) {
        const auto is = std::find_if(now.begin(), now.end(), [&](const HeldDish &d) {
            return d.category == was.category && d.row == was.row;
        });
        if (is == now.end())
            continue;
        if (is->dish != was.dish) {
            changes << QStringLiteral("%1 → %2").arg(was.dish, is->dish);
            continue;
        }
        if (was.smallQuantity != 0 && is->smallPrice != was.smallPrice)
            changes << QStringLiteral("%1 %2 %3 → %4").arg(was.dish, portionName(is->smallHeading, false),
                                                            was.smallPrice, is->smallPrice);
        if (was.largeQuantity != 0 && is->largePrice != was.largePrice)
            changes << QStringLiteral("%1 %2 %3 → %4").arg(was.dish, portionName(is->largeHeading, true),
                                                            was.largePrice, is->largePrice);
    }
    return changes;
}

QString portionName(const QString &heading, bool large)
{
    const QString name = heading.simplified();
    if (!name.isEmpty())
        return name;
    return large ? QStringLiteral("大份") : QStringLiteral("小份");
}

QString tableName(const QString &typed)
{
    const QString name = typed.trimmed();
    const QString digits = name.normalized(QString::NormalizationForm_KC);  // "３" is 3
    bool number = false;
    const int table = digits.toInt(&number);
    if (number && table >= 1 && table <= 99 && digits == QString::number(table))
        return QStringLiteral("%1号桌").arg(table);
    return name;
}

}  // namespace till
