#pragma once
// The figures of a 交班 over the orders since the last one: how many were
// paid, unpaid and voided, the takings by method, the discounts and 抹零,
// and the cash the drawer should hold against what was counted. No widgets,
// no journal: a pure function of the orders, and the printed text.

#include "common/roll_page.h"
#include "journal/journal.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace payment {

using journal::Fen;

// The notes and coins counted, largest first: 100, 50, 20, 10, 5, 1 元, 5 角, 1 角.
QList<Fen> drawerDenominations();

// Everything but the count: the figures of `orders` (those since the last
// 交班), the methods listed in `methods`' order (then any other found),
// starting from `openingFloat`. The counted cash is left for the cashier to
// count (countCash): nothing is taken as counted.
journal::CashUp cashUpFigures(const QList<journal::Order> &orders, Fen openingFloat,
                              const QStringList &methods);

// Puts the counted cash in: a typed total, or the notes and coins counted
// (value in 分, how many), whose sum it then is. Sets the difference.
void countCash(journal::CashUp &cashUp, Fen countedTotal);
void countCash(journal::CashUp &cashUp, const QList<QPair<Fen, int>> &counts);

// "长款 2", "短款 2" or "无差额".
QString differenceText(Fen difference);

// What a 交班's text shows besides its figures.
struct CashUpSlip {
    QStringList header;                   // the shop's lines, above
    bool counted = true;                  // false: the drawer is not counted yet
    std::optional<QList<journal::OpenOrder>> open;  // the orders still put aside, listed below
};

// The 交班单: the shop's header, then the figures in one column. Each paid,
// unpaid and voided count goes with its orders' 合计, as in the day's
// figures; 折扣 and 抹零 lead from it to the 营业额 (应收), taken by the
// methods listed; then the drawer, its difference, and the orders still put
// aside. The text is the same page as plain text.
roll::Page cashUpPage(const journal::CashUp &cashUp, const CashUpSlip &slip = {});
QString cashUpText(const journal::CashUp &cashUp, const CashUpSlip &slip = {});

}  // namespace payment
