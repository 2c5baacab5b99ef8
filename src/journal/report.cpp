#include "journal/report.h"

#include "common/caption_number.h"

#include <QHash>
#include <QIODevice>

#include <algorithm>
#include <cmath>

namespace journal {

namespace {

const QString dayFormat = QStringLiteral("yyyy-MM-dd");
const QString timeFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz");

// A number as the windows write it; a sum gone out of range says so.
QString number(double value)
{
    return std::isfinite(value) ? captionText(value) : QStringLiteral("溢出");
}

QString yuan(double value)
{
    return number(value) + QStringLiteral("元");
}

}  // namespace

// ---------------------------------------------------------------- summary

DaySummary summarize(const QDate &day, const QList<Order> &orders)
{
    DaySummary summary;
    summary.day = day;
    summary.orderCount = int(orders.size());
    for (int c = 1; c <= categoryCount; ++c)
        summary.categories.append(CategorySummary{c, QString(), 0});
    QHash<QPair<int, QString>, qsizetype> dishIndex;
    for (const Order &order : orders) {
        summary.takings += order.grandTotal;
        for (int c = 0; c < categoryCount; ++c) {
            summary.categories[c].name = order.categoryNames[c];
            summary.categories[c].total += order.categoryTotals[c];
        }
        for (const OrderLine &line : order.lines) {
            const QPair<int, QString> key{line.category, line.dish};
            auto found = dishIndex.constFind(key);
            if (found == dishIndex.constEnd()) {
                found = dishIndex.insert(key, summary.dishes.size());
                DishSummary dish;
                dish.category = line.category;
                dish.dish = line.dish;
                summary.dishes.append(dish);
            }
            DishSummary &dish = summary.dishes[*found];
            dish.categoryName = line.categoryName;
            dish.smallHeading = line.smallHeading;
            dish.largeHeading = line.largeHeading;
            dish.smallQuantity += line.smallQuantity;
            dish.largeQuantity += line.largeQuantity;
            dish.amount += line.lineTotal;
        }
    }
    std::stable_sort(summary.dishes.begin(), summary.dishes.end(),
                     [](const DishSummary &a, const DishSummary &b) { return a.amount > b.amount; });
    return summary;
}

QString summaryText(const DaySummary &summary)
{
    const QString rule(16, u'-');
    QStringList lines;
    lines << QStringLiteral("营业日结 %1").arg(summary.day.toString(dayFormat))
          << QStringLiteral("订单数 %1").arg(summary.orderCount)
          << QStringLiteral("营业额 %1").arg(yuan(summary.takings)) << rule;
    for (const CategorySummary &c : summary.categories)
        if (!c.name.trimmed().isEmpty() || c.total != 0)
            lines << QStringLiteral("%1 %2").arg(c.name.trimmed().isEmpty()
                                                     ? QStringLiteral("类别%1").arg(c.category)
                                                     : c.name,
                                                 yuan(c.total));
    if (!summary.dishes.isEmpty())
        lines << rule;
    for (const DishSummary &d : summary.dishes)
        lines << QStringLiteral("%1 %2%3 %4%5 %6")
                     .arg(d.dish, number(d.smallQuantity), d.smallHeading, number(d.largeQuantity),
                          d.largeHeading, yuan(d.amount));
    return lines.join(u'\n') + u'\n';
}

// ---------------------------------------------------------------- CSV

namespace {

QString csvField(const QString &value)
{
    static const QString special = QStringLiteral(",\"\r\n");
    if (std::none_of(value.begin(), value.end(), [](QChar c) { return special.contains(c); }))
        return value;
    QString quoted = value;
    quoted.replace(u'"', QStringLiteral("\"\""));
    return u'"' + quoted + u'"';
}

bool writeRow(QIODevice &device, const QStringList &fields)
{
    QStringList quoted;
    for (const QString &field : fields)
        quoted << csvField(field);
    const QString row = quoted.join(u',') + QStringLiteral("\r\n");
    const QByteArray bytes = row.toUtf8();
    return device.write(bytes) == bytes.size();
}

}  // namespace

bool writeCsvHeading(QIODevice &device)
{
    const QByteArray bom("\xEF\xBB\xBF");
    return device.write(bom) == bom.size() &&
           writeRow(device, {QStringLiteral("日期"), QStringLiteral("时间"), QStringLiteral("单号"),
                             QStringLiteral("类别"), QStringLiteral("菜品"),
                             QStringLiteral("小份数量"), QStringLiteral("小份"),
                             QStringLiteral("大份数量"), QStringLiteral("大份"),
                             QStringLiteral("金额"), QStringLiteral("订单总计")});
}

// `endedAt`: the order's end as stored, "yyyy-MM-dd HH:mm:ss..." (reading
// it into a local QDateTime costs more than the rest of the row).
bool writeCsvOrder(QIODevice &device, const Order &order, const QString &endedAt)
{
    const QStringList start{endedAt.left(10), endedAt.mid(11, 8),
                            order.billNumber ? QString::number(*order.billNumber) : QString()};
    const QString grand = number(order.grandTotal);
    if (order.lines.isEmpty())  // a total without lines still counts
        return writeRow(device, start + QStringList{QString(), QString(), QString(), QString(),
                                                    QString(), QString(), QString(), grand});
    for (const OrderLine &line : order.lines)
        if (!writeRow(device, start + QStringList{line.categoryName, line.dish,
                                                  number(line.smallQuantity), line.smallHeading,
                                                  number(line.largeQuantity), line.largeHeading,
                                                  number(line.lineTotal), grand}))
            return false;
    return true;
}

bool writeCsv(QIODevice &device, const QList<Order> &orders)
{
    if (!writeCsvHeading(device))
        return false;
    for (const Order &order : orders)
        if (!writeCsvOrder(device, order, order.endedAt.toString(timeFormat)))
            return false;
    return true;
}

}  // namespace journal
