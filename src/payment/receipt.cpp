#include "payment/receipt.h"

#include "common/caption_number.h"
#include "journal/report.h"
#include "main_window/bill.h"
#include "payment/checkout.h"

#include <cmath>

namespace payment {

namespace {

using roll::Align;
using roll::Size;

QString named(const QString &text, const char16_t *fallback)
{
    return text.trimmed().isEmpty() ? QString::fromUtf16(fallback) : journal::singleLine(text.trimmed());
}

// One line of the order in the columns 品名, 数量, 单价, 金额. A line with
// both portions gives its amount on the dish's row and each portion's
// quantity on a row of its own below.
void addLine(roll::Page &page, const journal::OrderLine &line)
{
    const QString dish = named(line.dish, u"（未命名）");
    const QString amount = yuanText(journal::toFen(line.lineTotal));
    const bool small = line.smallQuantity != 0, large = line.largeQuantity != 0;
    if (small != large) {
        const QString heading = small ? named(line.smallHeading, u"小份") : named(line.largeHeading, u"大份");
        const std::optional<journal::Fen> price = unitPrice(line);
        page.columns({dish + u' ' + heading, captionText(small ? line.smallQuantity : line.largeQuantity),
                      price ? yuanText(*price) : QString(), amount});
        return;
    }
    page.columns({dish, QString(), QString(), amount});
    if (small) {
        page.columns({QStringLiteral("  ") + named(line.smallHeading, u"小份"), captionText(line.smallQuantity),
                      QString(), QString()});
        page.columns({QStringLiteral("  ") + named(line.largeHeading, u"大份"), captionText(line.largeQuantity),
                      QString(), QString()});
    }
}

// A line at the top that stands out: white on black, centred.
void mark(roll::Page &page, const QString &text)
{
    page.rows.append({roll::Row::Kind::Text, {{text, Align::Centre}}, Size::Body, true, true, false});
}

void marks(roll::Page &page, const journal::Order &order, const QDateTime &reprintedAt)
{
    if (reprintedAt.isValid())
        mark(page, QStringLiteral("重打 %1").arg(reprintedAt.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))));
    if (order.status == journal::OrderStatus::Voided) {
        QString head = QStringLiteral("已作废");
        if (!order.voidReason.trimmed().isEmpty())
            head += QStringLiteral("（%1）").arg(journal::singleLine(order.voidReason.trimmed()));
        mark(page, head);
    }
}

}  // namespace

std::optional<journal::Fen> unitPrice(const journal::OrderLine &line)
{
    if ((line.smallQuantity != 0) == (line.largeQuantity != 0))
        return std::nullopt;
    const double quantity = line.smallQuantity != 0 ? line.smallQuantity : line.largeQuantity;
    const journal::Fen amount = journal::toFen(line.lineTotal);
    const double each = std::round(double(amount) / quantity);
    if (!std::isfinite(each) || std::abs(each) > 1e12 || std::round(each * quantity) != double(amount))
        return std::nullopt;
    return journal::Fen(each);
}

roll::Page receiptPage(const journal::Order &order, const ShopSettings &shop, const ReceiptMarks &extra)
{
    roll::Page page;
    if (extra.reprintedAt.isValid())
        marks(page, order, extra.reprintedAt);
    if (!shop.name.trimmed().isEmpty())
        page.centred(shop.name, Size::Large, true);
    for (const QString &line : {shop.address, shop.phone})
        if (!line.trimmed().isEmpty())
            page.centred(line);
    page.text(QStringLiteral("结账单"), Align::Centre, Size::Body, true);
    page.text(QStringLiteral("单号 %1").arg(order.receiptNumber));
    page.text(QStringLiteral("时间 %1").arg(order.endedAt.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))));
    if (!extra.table.trimmed().isEmpty())
        page.text(QStringLiteral("桌号 %1").arg(journal::singleLine(extra.table.trimmed())));
    page.rule();
    page.columns({QStringLiteral("品名"), QStringLiteral("数量"), QStringLiteral("单价"), QStringLiteral("金额")});
    for (const journal::OrderLine &line : order.lines)
        addLine(page, line);
    page.rule();

    const journal::Payment paid = order.payment.value_or(journal::Payment{});
    const journal::Fen total = order.payment ? paid.total : journal::toFen(order.grandTotal);
    page.figure(QStringLiteral("合计"), yuanText(total));
    if (paid.discount != 0)
        page.figure(QStringLiteral("折扣%1").arg(paid.discountLabel.isEmpty()
                                                    ? QString()
                                                    : QStringLiteral("（%1）").arg(paid.discountLabel)),
                    u'-' + yuanText(paid.discount));
    if (paid.rounding != 0)
        page.figure(QStringLiteral("抹零"), u'-' + yuanText(paid.rounding));
    if (order.payment) {
        page.figure(QStringLiteral("应收"), yuanText(paid.due), true);
        for (const journal::PaymentPart &part : paid.parts)
            page.figure(journal::singleLine(part.method), yuanText(part.amount));
        if (paid.cashGiven > 0) {
            page.figure(QStringLiteral("实收现金"), yuanText(paid.cashGiven));
            page.figure(QStringLiteral("找零"), yuanText(paid.change), true);
        }
    } else {
        page.text(QStringLiteral("未结账"));
    }
    if (!shop.footer.trimmed().isEmpty()) {
        page.rule();
        page.centred(shop.footer.trimmed());
    }
    return page;
}

QString receiptText(const journal::Order &order, const ShopSettings &shop)
{
    return roll::plainText(receiptPage(order, shop));
}

roll::Page reprintPage(const journal::Order &order, const ShopSettings &shop, const QDateTime &now)
{
    if (order.payment)
        return receiptPage(order, shop, {QString(), now});
    roll::Page page = roll::textPage(withShopName(bill::printable(order.billText), shop), 9);
    roll::Page head;
    marks(head, order, now);
    page.rows = head.rows + page.rows;
    return page;
}

QString withShopName(const QString &printableBill, const ShopSettings &shop)
{
    const QString name = shop.name.trimmed();
    return name.isEmpty() ? printableBill : name + QStringLiteral("\r\n") + printableBill;
}

}  // namespace payment
