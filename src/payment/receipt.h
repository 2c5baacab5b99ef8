#pragma once
// The receipt (结账单) of a paid order, laid out as a receipt roll shows it:
// the shop's name centred and larger, its address and phone under it, then
// 单号, 时间 and 桌号; the ordered lines in columns 品名, 数量, 单价, 金额;
// 合计, 折扣, 抹零 and 应收 in the amounts' column, each method, 实收现金
// and 找零; the shop's footer centred. The same page gives the plain text.

#include "common/roll_page.h"
#include "journal/journal.h"
#include "payment/shop_settings.h"

#include <QDateTime>
#include <QString>

#include <optional>

namespace payment {

// What a receipt carries besides its order.
struct ReceiptMarks {
    QString table;          // 桌号: the name the order was put aside under; blank: none
    QDateTime reprintedAt;  // valid: a reprint, "重打" and this time at the top, and
                            // "已作废" under it for a voided order
};

roll::Page receiptPage(const journal::Order &order, const ShopSettings &shop, const ReceiptMarks &marks = {});
QString receiptText(const journal::Order &order, const ShopSettings &shop);

// What "重新打印" prints at `now`: a paid order's receipt, any other order's
// bill under the shop's name; either marked "重打" with the time at the top,
// and a voided one "已作废" and why.
roll::Page reprintPage(const journal::Order &order, const ShopSettings &shop, const QDateTime &now);

// A portion's unit price in 分, from its line's amount: the one price that
// gives that amount for that quantity; none when the line holds both
// portions or no price does.
std::optional<journal::Fen> unitPrice(const journal::OrderLine &line);

// What "打印" prints: the bill, with the shop's name above it when one is set.
QString withShopName(const QString &printableBill, const ShopSettings &shop);

}  // namespace payment
