#include "payment/cash_up.h"

#include "journal/report.h"
#include "payment/checkout.h"

#include <cstdlib>

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

roll::Page cashUpPage(const journal::CashUp &up, const CashUpSlip &slip)
{
    roll::Page page;
    page.header(slip.header);
    const QString timeFormat = QStringLiteral("yyyy-MM-dd HH:mm");
    page.text(up.id > 0 ? QStringLiteral("交班 第%1次").arg(up.id) : QStringLiteral("交班"), roll::Align::Centre,
              roll::Size::Body, true);
    if (up.since.isValid())
        page.text(QStringLiteral("自 %1").arg(up.since.toString(timeFormat)));
    page.text(QStringLiteral("至 %1").arg(up.at.toString(timeFormat)));
    page.rule();
    // From the paid orders' 合计 down to the takings and how they were taken;
    // then the orders counted apart.
    page.figure(QStringLiteral("已结账 %1单 合计").arg(up.paidCount), yuanText(up.paidTotal + up.discounts + up.roundings));
    page.figure(QStringLiteral("折扣合计"), yuanText(up.discounts));
    page.figure(QStringLiteral("抹零合计"), yuanText(up.roundings));
    page.figure(QStringLiteral("营业额（应收）"), yuanText(up.paidTotal), true);
    for (const journal::PaymentPart &part : up.byMethod)
        page.figure(QStringLiteral("  ") + journal::singleLine(part.method), yuanText(part.amount));
    page.figure(QStringLiteral("未结账 %1单 合计").arg(up.unpaidCount), yuanText(up.unpaidTotal));
    page.figure(QStringLiteral("已作废 %1单 合计").arg(up.voidedCount), yuanText(up.voidedTotal));
    page.rule();
    page.figure(QStringLiteral("备用金"), yuanText(up.openingFloat));
    page.figure(QStringLiteral("收现金"), yuanText(up.cashTaken));
    page.figure(QStringLiteral("找零"), yuanText(up.changeGiven));
    page.figure(QStringLiteral("应有现金"), yuanText(up.expectedCash));
    if (slip.counted) {
        for (const auto &[value, how] : up.counts)
            if (how != 0)
                page.figure(QStringLiteral("  %1元 × %2").arg(yuanText(value)).arg(how), yuanText(value * how));
        page.figure(QStringLiteral("实点现金"), yuanText(up.countedCash));
        const QString difference = differenceText(up.difference);
        page.figure(difference.section(u' ', 0, 0), yuanText(std::abs(up.difference)), true);
    } else {
        page.figure(QStringLiteral("实点现金"), QStringLiteral("（未点数）"));
    }
    page.figure(QStringLiteral("留作备用金"), yuanText(up.floatLeft));
    if (slip.open) {
        // Put aside, in no figure above: 取单 and 结账 count them in a later 交班.
        Fen sum = 0;
        for (const journal::OpenOrder &o : *slip.open)
            sum += o.total;
        page.rule();
        page.figure(QStringLiteral("挂单 %1张 合计").arg(slip.open->size()), yuanText(sum));
        if (!slip.open->isEmpty())
            page.text(QStringLiteral("（未结账，不计入本次交班）"));
        for (const journal::OpenOrder &o : *slip.open)
            page.figure(QStringLiteral("  ") + journal::singleLine(o.name), yuanText(o.total));
    }
    return page;
}

QString cashUpText(const journal::CashUp &up, const CashUpSlip &slip)
{
    return roll::plainText(cashUpPage(up, slip));
}

}  // namespace payment
