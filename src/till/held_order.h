#pragma once
// An order as the six sheets hold it, to be put aside (挂单) and brought back
// (取单): the quantities of every dish row with the captions they were
// counted under, the bill built for it, and what the kitchen has been sent.
// Bringing it back writes the quantities into the sheets once; from then on
// the captions are the data again. No widgets here.

#include "journal/journal.h"

#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace till {

// One dish row of a sheet with something ordered on it.
struct HeldDish {
    int category = 0;  // 1 to 6
    int row = 0;       // 1 to 14
    QString dish;
    QString smallHeading, largeHeading;
    QString smallPrice, largePrice;  // the price captions it was counted at
    double smallQuantity = 0, largeQuantity = 0;

    bool operator==(const HeldDish &) const = default;
};

struct HeldOrder {
    QString uid;        // its identity, made when first put aside
    QString name;       // "3号桌", "外卖 王"
    QDateTime heldAt;
    journal::Fen total = 0;       // the grand total when put aside
    QList<HeldDish> dishes;       // category and row order
    std::optional<int> billNumber;  // the last "清单" built for it
    QString billText;
    bool printed = false, copied = false;
    QList<HeldDish> sentToKitchen;  // the quantities the last 下单 printed
    // The identity it had as the order on the windows when put aside: its
    // record there goes in the same write. Not kept with it.
    QString closesCurrent;

    int dishCount() const;  // portions ordered: the sum of the quantities

    journal::OpenOrder toOpen() const;
    // nullopt when the journal's state is not one this program wrote.
    static std::optional<HeldOrder> fromOpen(const journal::OpenOrder &open);
};

// The rows of `dishes` on sheet `category`.
QList<HeldDish> dishesOf(const QList<HeldDish> &dishes, int category);

// What changed on the sheets while an order was aside, one sentence per
// portion ordered whose price is not the one it was counted at
// ("牛肉面 小份 12 → 14"), or whose row now has another dish.
QStringList changesSince(const QList<HeldDish> &held, const QList<HeldDish> &now);

// A portion as the cashier and the kitchen call it: its heading, or "小份"
// and "大份" under a blank one.
QString portionName(const QString &heading, bool large);

// "3" or "３" or " 3 " → "3号桌" (tables 1 to 99); any other name trimmed.
QString tableName(const QString &typed);

}  // namespace till
