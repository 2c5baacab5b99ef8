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

QString billFate(const Order &order)
{
    if (order.printed && order.copied)
        return QStringLiteral("已打印、已复制");
    if (order.printed)
        return QStringLiteral("已打印");
    if (order.copied)
        return QStringLiteral("已复制");
    return order.billText.isEmpty() ? QStringLiteral("无清单") : QStringLiteral("未打印");
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
