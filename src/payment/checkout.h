#pragma once
// The arithmetic of 结账, exact in 分: the discount, 抹零, 应收, and how what
// the customer handed over settles it. No widgets here; refusals come back
// as the Chinese sentence the cashier reads.

#include "journal/journal.h"

#include <QList>
#include <QString>

#include <optional>
#include <variant>

namespace payment {

using journal::Fen;

// "40.5" -> 4050, "12。5" -> 1250, "0.05" -> 5; empty, negative, more than two
// decimals, 10^15 元 or more, or anything else -> nullopt.
std::optional<Fen> parseYuan(QString text);
// 4050 -> "40.5", 4000 -> "40", 5 -> "0.05", -200 -> "-2".
QString yuanText(Fen fen);

// The main window's 总计 caption as the 合计 结账 takes, exactly in 分 as the
// caption shows it; or, in Chinese, why it cannot be taken: nothing to
// take, below 0, too large to count in 分, or a part of a 分 that no payment
// can hold ("10.555").
std::variant<Fen, QString> amountToTake(const QString &caption);

struct Discount {
    enum Kind { None, Rate, Amount } kind = None;
    int perMille = 1000;  // Rate: what is paid, 900 for 9折, 880 for 8.8折
    Fen amount = 0;       // Amount: taken off

    static Discount rate(int perMille) { return {Rate, perMille, 0}; }
    static Discount off(Fen amount) { return {Amount, 1000, amount}; }
    QString label() const;  // "9折", "8.8折", "减5元"; empty for none
};
// A typed rate: "9" or "8.8" (折) -> 900, 880; anything outside (0, 10) -> nullopt.
std::optional<int> parseRate(QString text);

struct Rounding {
    enum Kind { None, ToYuan, ToJiao, Amount } kind = None;
    Fen amount = 0;  // Amount: taken off
};

// 合计, 折扣, 抹零 and 应收 of one order: total = discount + rounding + due,
// none below 0.
struct Due {
    Fen total = 0;
    Fen discount = 0;
    Fen rounding = 0;
    Fen due = 0;
};
Due dueOf(Fen total, const Discount &discount, const Rounding &rounding);

// What one method brought: for cash, what the customer handed over.
struct Tender {
    QString method;
    Fen amount = 0;
};

// Settles `due` with `tenders` (methods left at 0 are skipped): refused with
// "还差 X 元" when they come short, and when a method other than cash brings
// more than is left to pay ("只有现金可以找零"). Otherwise the payment, whose
// parts sum to 应收, the cash part being what stays in the drawer.
std::variant<journal::Payment, QString> settle(const Due &due, const Discount &discount,
                                               const QList<Tender> &tenders);

// Quick amounts for the cash still to pay: the exact sum, the next 10, 50
// and 100, each once, smallest first.
QList<Fen> quickAmounts(Fen rest);

}  // namespace payment
