#include "payment/cash_up.h"

#include "journal/report.h"
#include "payment/checkout.h"

namespace payment {

QList<Fen> drawerDenominations()
{
    return {10000, 5000, 2000, 1000, 500, 100, 50, 10};
}

journal::CashUp cashUpFigures(const QList<journal::Order> &orders, Fen openingFloat,
                              const QStringList &methods)
{
    journal::CashUp up;
    up.openingFloat = openingFloat;
    for (const QString &method : methods)
        up.byMethod.append({method, 0});
    for (const journal::Order &order : orders) {
        switch (order.status) {
        case journal::OrderStatus::Voided:
            ++up.voidedCount;
            up.voidedTotal += order.payment ? order.payment->total : journal::toFen(order.grandTotal);
            continue;
        case journal::OrderStatus::Unpaid:
            ++up.unpaidCount;
            up.unpaidTotal += journal::toFen(order.grandTotal);
            continue;
        case journal::OrderStatus::Paid:
            break;
        }
        ++up.paidCount;
        const journal::Payment paid = order.payment.value_or(journal::Payment{});
        up.paidTotal += paid.due;
        up.discounts += paid.discount;
        up.roundings += paid.rounding;
        up.cashTaken += paid.cashGiven;
        up.changeGiven += paid.change;
        for (const journal::PaymentPart &part : paid.parts) {
            auto known = std::find_if(up.byMethod.begin(), up.byMethod.end(),
                                      [&](const journal::PaymentPart &p) { return p.method == part.method; });
            if (known == up.byMethod.end())
                up.byMethod.append(part);
            else
                known->amount += part.amount;
        }
    }
    up.expectedCash = up.openingFloat + up.cashTaken - up.changeGiven;
    up.floatLeft = up.openingFloat;
    return up;
}

void countCash(journal::CashUp &cashUp, Fen countedTotal)
{
    cashUp.counts.clear();
    cashUp.countedCash = countedTotal;
    cashUp.difference = cashUp.countedCash - cashUp.expectedCash;
}

void countCash(journal::CashUp &cashUp, const QList<QPair<Fen, int>> &counts)
{
    Fen sum = 0;
    for (const auto &[value, how] : counts)
        sum += value * how;
    countCash(cashUp, sum);
    cashUp.counts = counts;
}

QString differenceText(Fen difference)
{
    if (difference > 0)
        return QStringLiteral("长款 %1").arg(yuanText(difference));
    if (difference < 0)
        return QStringLiteral("短款 %1").arg(yuanText(-difference));
    return QStringLiteral("无差额");
}

QString cashUpText(const journal::CashUp &up, const CashUpSlip &slip)
{
    QStringList lines = slip.header;
    const QString timeFormat = QStringLiteral("yyyy-MM-dd HH:mm");
    lines << (up.id > 0 ? QStringLiteral("交班 第%1次").arg(up.id) : QStringLiteral("交班"));
    if (up.since.isValid())
        lines << QStringLiteral("自 %1").arg(up.since.toString(timeFormat));
    lines << QStringLiteral("至 %1").arg(up.at.toString(timeFormat));
    lines << QString();
    // From the paid orders' 合计 down to the takings and how they were taken;
    // then the orders counted apart.
    lines << QStringLiteral("已结账 %1单  合计 %2元")
                 .arg(up.paidCount)
                 .arg(yuanText(up.paidTotal + up.discounts + up.roundings));
    lines << QStringLiteral("折扣合计  %1").arg(yuanText(up.discounts));
    lines << QStringLiteral("抹零合计  %1").arg(yuanText(up.roundings));
    lines << QStringLiteral("营业额（应收）  %1元").arg(yuanText(up.paidTotal));
    for (const journal::PaymentPart &part : up.byMethod)
        lines << QStringLiteral("%1  %2").arg(journal::singleLine(part.method), yuanText(part.amount));
    lines << QStringLiteral("未结账 %1单  合计 %2元").arg(up.unpaidCount).arg(yuanText(up.unpaidTotal));
    lines << QStringLiteral("已作废 %1单  合计 %2元").arg(up.voidedCount).arg(yuanText(up.voidedTotal));
    lines << QString();
    lines << QStringLiteral("备用金  %1").arg(yuanText(up.openingFloat));
    lines << QStringLiteral("收现金  %1").arg(yuanText(up.cashTaken));
    lines << QStringLiteral("找零  %1").arg(yuanText(up.changeGiven));
    lines << QStringLiteral("应有现金  %1").arg(yuanText(up.expectedCash));
    if (slip.counted) {
        for (const auto &[value, how] : up.counts)
            if (how != 0)
                lines << QStringLiteral("  %1元 × %2").arg(yuanText(value)).arg(how);
        lines << QStringLiteral("实点现金  %1").arg(yuanText(up.countedCash));
        lines << differenceText(up.difference);
    } else {
        lines << QStringLiteral("实点现金  （未点数）");
    }
    lines << QStringLiteral("留作备用金  %1").arg(yuanText(up.floatLeft));
    if (slip.open) {
        // Put aside, in no figure above: 取单 and 结账 count them in a later 交班.
        Fen sum = 0;
        for (const journal::OpenOrder &o : *slip.open)
            sum += o.total;
        lines << QString();
        lines << QStringLiteral("挂单 %1张  合计 %2元").arg(slip.open->size()).arg(yuanText(sum));
        if (!slip.open->isEmpty())
            lines << QStringLiteral("（未结账，不计入本次交班）");
        for (const journal::OpenOrder &o : *slip.open)
            lines << QStringLiteral("  %1  %2元").arg(journal::singleLine(o.name), yuanText(o.total));
    }
    return lines.join(QStringLiteral("\r\n"));
}

}  // namespace payment
