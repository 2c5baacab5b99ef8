#pragma once
// The orders of a busy day, as the takings benchmarks record them: order `i`
// has four lines over three categories and 40 dishes; every other one is
// paid in cash.

#include "journal/journal.h"

#include <QDateTime>

namespace bench {

inline journal::Order busyOrder(int i, const QDateTime &endedAt)
{
    journal::Order order;
    order.endedAt = endedAt;
    order.billNumber = i % 99 + 1;
    order.printed = true;
    order.categoryNames = {QStringLiteral("面条"), QStringLiteral("小炒"), QStringLiteral("包子 馒头")};
    for (int k = 0; k < 4; ++k) {
        journal::OrderLine line;
        line.category = k % 3 + 1;
        line.categoryName = order.categoryNames[line.category - 1];
        line.dish = QStringLiteral("菜品%1").arg((i + k * 7) % 40 + 1);
        line.smallQuantity = k % 2 + 1;
        line.smallHeading = QStringLiteral("小份");
        line.largeQuantity = k % 3;
        line.largeHeading = QStringLiteral("大份");
        line.lineTotal = line.smallQuantity * 6 + line.largeQuantity * 8.5;
        order.lines << line;
        order.categoryTotals[line.category - 1] += line.lineTotal;
        order.grandTotal += line.lineTotal;
    }
    order.billText = QStringLiteral("第%1位\r\n...\r\n\r\n总计   %2元").arg(*order.billNumber).arg(order.grandTotal);
    if (i % 2) {
        const journal::Fen due = journal::toFen(order.grandTotal);
        order.status = journal::OrderStatus::Paid;
        order.payment = journal::Payment{due, 0, QString(), 0, due, {{QStringLiteral("现金"), due}}, due, 0};
    }
    return order;
}

}  // namespace bench
