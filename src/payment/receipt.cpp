#include "payment/receipt.h"

#include "common/caption_number.h"
#include "payment/checkout.h"

namespace payment {

namespace {

const QString crlf = QStringLiteral("\r\n");
const QString rule = QStringLiteral("--------------------");

QString portion(double quantity, const QString &heading, const char16_t *fallback)
{
    const QString name = heading.trimmed().isEmpty() ? QString::fromUtf16(fallback) : heading.trimmed();
    return QStringLiteral("%1×%2").arg(name, captionText(quantity));
}

QString orderedLine(const journal::OrderLine &line)
{
    QStringList parts{line.dish.trimmed().isEmpty() ? QStringLiteral("（未命名）") : line.dish.trimmed()};
    if (line.smallQuantity != 0)
        parts << portion(line.smallQuantity, line.smallHeading, u"小份");
    if (line.largeQuantity != 0)
        parts << portion(line.largeQuantity, line.largeHeading, u"大份");
    parts << captionText(line.lineTotal);
    return parts.join(u' ');
}

}  // namespace

QString receiptText(const journal::Order &order, const ShopSettings &shop)
{
    QStringList lines = shop.headerLines();
    lines << QStringLiteral("结账单");
    lines << QStringLiteral("单号 %1").arg(order.receiptNumber);
    lines << QStringLiteral("时间 %1").arg(order.endedAt.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
    lines << rule;
    for (const journal::OrderLine &line : order.lines)
        lines << orderedLine(line);
    lines << rule;

    const journal::Payment paid = order.payment.value_or(journal::Payment{});
    const Fen total = order.payment ? paid.total : journal::toFen(order.grandTotal);
    lines << QStringLiteral("合计  %1").arg(yuanText(total));
    if (paid.discount != 0)
        lines << QStringLiteral("折扣%1  -%2")
                     .arg(paid.discountLabel.isEmpty() ? QString() : QStringLiteral("（%1）").arg(paid.discountLabel),
                          yuanText(paid.discount));
    if (paid.rounding != 0)
        lines << QStringLiteral("抹零  -%1").arg(yuanText(paid.rounding));
    if (order.payment) {
        lines << QStringLiteral("应收  %1").arg(yuanText(paid.due));
        for (const journal::PaymentPart &part : paid.parts)
            lines << QStringLiteral("%1  %2").arg(part.method, yuanText(part.amount));
        if (paid.cashGiven > 0) {
            lines << QStringLiteral("实收现金  %1").arg(yuanText(paid.cashGiven));
            lines << QStringLiteral("找零  %1").arg(yuanText(paid.change));
        }
    } else {
        lines << QStringLiteral("未结账");
    }
    if (!shop.footer.trimmed().isEmpty()) {
        lines << QString();
        lines << shop.footer.trimmed();
    }
    return lines.join(crlf);
}

QString withShopName(const QString &printableBill, const ShopSettings &shop)
{
    const QString name = shop.name.trimmed();
    return name.isEmpty() ? printableBill : name + crlf + printableBill;
}

}  // namespace payment
