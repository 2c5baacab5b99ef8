#include "takings/day_rows.h"

#include "common/caption_number.h"
#include "journal/report.h"

#include <cmath>

namespace takings {

namespace {

using journal::Order;

// A quantity as the windows write numbers ("2", "1.5").
QString quantity(double count, const QString &heading)
{
    return (std::isfinite(count) ? captionText(count) : QStringLiteral("数值超出范围")) +
           journal::singleLine(heading);
}

QString orderStatus(const Order &order)
{
    QString text = journal::statusText(order);
    if (order.status == journal::OrderStatus::Voided && !order.voidReason.trimmed().isEmpty())
        text += QStringLiteral("（%1）").arg(journal::singleLine(order.voidReason.trimmed()));
    if (journal::isPaid(order)) {
        QStringList methods;
        for (const journal::PaymentPart &part : order.payment->parts)
            methods << journal::singleLine(part.method);
        text += u' ' + methods.join(u'+');
    }
    return text;
}

// What left the till on paper or the clipboard for the order: its bill
// (清单) printed or copied on the main window, its receipt (结账单) printed
// at 结账 (or failed there), either printed again from 营业记录.
QString billFate(const Order &order)
{
    QStringList said;
    if (order.printed && order.copied)
        said << QStringLiteral("清单已打印、已复制");
    else if (order.printed)
        said << QStringLiteral("清单已打印");
    else if (order.copied)
        said << QStringLiteral("清单已复制");
    // A paid order prints again as its receipt, any other as its bill.
    if (order.receipt & journal::ReceiptReprinted)
        said << (order.payment ? QStringLiteral("结账单已重打") : QStringLiteral("清单已重打"));
    else if (order.receipt & journal::ReceiptFailed)
        said << QStringLiteral("结账单打印失败");
    else if (order.receipt & journal::ReceiptSent)
        said << QStringLiteral("结账单已打印");
    if (!said.isEmpty())
        return said.join(QStringLiteral("，"));
    if (order.payment)
        return QStringLiteral("结账单未打印");
    return order.billText.isEmpty() ? QStringLiteral("无清单") : QStringLiteral("清单未打印");
}

}  // namespace

QString orderName(const Order &order)
{
    if (!order.receiptNumber.isEmpty())
        return order.receiptNumber;
    return order.billNumber ? QStringLiteral("第%1位").arg(*order.billNumber) : QStringLiteral("—");
}

QString categoryName(int category, const QString &name)
{
    return name.trimmed().isEmpty() ? QStringLiteral("类别%1").arg(category) : journal::singleLine(name);
}

journal::Fen orderAmount(const Order &order)
{
    return journal::isPaid(order) ? order.payment->due : journal::toFen(order.grandTotal);
}

DayRows dayRows(const QDate &day, const QList<Order> &orders)
{
    DayRows rows;
    rows.summary = journal::summarize(day, orders);
    rows.orders.reserve(orders.size());
    for (const Order &o : orders)
        rows.orders.append({o.endedAt.time().toString(QStringLiteral("HH:mm:ss")), orderName(o),
                            journal::fenText(orderAmount(o)), orderStatus(o), billFate(o)});
    for (const journal::DishSummary &d : rows.summary.dishes)
        rows.dishes.append({journal::singleLine(d.dish), categoryName(d.category, d.categoryName),
                            quantity(d.smallQuantity, d.smallHeading), quantity(d.largeQuantity, d.largeHeading),
                            journal::fenText(d.amount)});
    return rows;
}

}  // namespace takings
