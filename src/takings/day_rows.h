#pragma once
// One day of the journal made ready for the takings window: its figures and
// the text of every row the window lists. Made on the journal's thread, so
// that the window only hands the rows to its views, whatever the day's size.
// No widgets here.

#include "journal/journal.h"

#include <QList>
#include <QStringList>

namespace takings {

// How the owner tells the order apart: its 单号, else its bill's number.
QString orderName(const journal::Order &order);
// What the order came to: the 应收 taken when paid, else its total.
journal::Fen orderAmount(const journal::Order &order);
// A category as the owner named it, else "类别N".
QString categoryName(int category, const QString &name);

struct DayRows {
    journal::DaySummary summary;
    QList<QStringList> orders;  // 时间, 单号, 金额, 状态, 打印/复制: one per order, in order
    QList<QStringList> dishes;  // 菜名, 类别, 小份, 大份, 金额: as the summary lists them
};

DayRows dayRows(const QDate &day, const QList<journal::Order> &orders);

}  // namespace takings
