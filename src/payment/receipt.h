#pragma once
// The receipt (结账单) of a paid order as printed text: the shop's header,
// 单号, date and time, the ordered lines, 合计, 折扣, 抹零, 应收, each method
// with its amount, 实收现金 and 找零, and the shop's footer. Lines short
// enough for a 58 mm roll where the dish names allow; the bill printing
// wraps any longer one.

#include "journal/journal.h"
#include "payment/shop_settings.h"

#include <QString>

namespace payment {

QString receiptText(const journal::Order &order, const ShopSettings &shop);

// What "打印" prints: the bill, with the shop's name above it when one is set.
QString withShopName(const QString &printableBill, const ShopSettings &shop);

}  // namespace payment
