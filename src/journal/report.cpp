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

// A quantity as the windows write it; a sum gone out of range says so.
QString number(double value)
{
    return std::isfinite(value) ? captionText(value) : QStringLiteral("溢出");
}

QString yuan(Fen fen)
{
    return fenText(fen) + QStringLiteral("元");
}

// The methods the till offers, in the order every report lists them; a
// method the owner added comes after them, by name.
const QStringList knownMethods = {QStringLiteral("现金"), QStringLiteral("微信"),
                                  QStringLiteral("支付宝"), QStringLiteral("银行卡")};

bool methodBefore(const QString &a, const QString &b)
{
    const qsizetype ia = knownMethods.indexOf(a), ib = knownMethods.indexOf(b);
    if (ia >= 0 || ib >= 0)
        return ia >= 0 && (ib < 0 || ia < ib);
    return a < b;
}

// What a paid order's payment parts leave unexplained of its 应收 (parts that
// do not add up): counted under this name, so that the methods still sum to
// the takings.
const QString unassigned = QStringLiteral("未记方式");

// The order's 合计 in 分: its payment's when it was paid, else its grand total.
Fen orderTotal(const Order &order)
{
    return order.payment ? order.payment->total : toFen(order.grandTotal);
}

}  // namespace

QString openOrdersText(const QList<OpenOrder> &open)
{
    if (open.isEmpty())
        return QStringLiteral("没有挂单");
    Fen sum = 0;
    for (const OpenOrder &o : open)
        sum += o.total;
    return QStringLiteral("挂单中 %1 张，合计 %2 元（尚未结账，不计入营业额）").arg(open.size()).arg(fenText(sum));
}

QString heldAtText(const QDateTime &heldAt)
{
    if (!heldAt.isValid())
        return QStringLiteral("—");
    return heldAt.toString(heldAt.date() == QDate::currentDate() ? QStringLiteral("HH:mm")
                                                                  : QStringLiteral("MM-dd HH:mm"));
}

QString fenText(Fen fen)
{
    const bool negative = fen < 0;
    const quint64 size = negative ? quint64(0) - quint64(fen) : quint64(fen);
    QString text = QString::number(size / 100);
    if (const quint64 cents = size % 100) {
        text += u'.' + QString::number(cents).rightJustified(2, u'0');
        if (text.endsWith(u'0'))
            text.chop(1);
    }
    return negative ? u'-' + text : text;
}

QString singleLine(QString text)
{
    return text.replace(QStringLiteral("\r\n"), QStringLiteral(" "))
        .replace(u'\r', u' ')
        .replace(u'\n', u' ');
}

bool isPaid(const Order &order)
{
    return order.status == OrderStatus::Paid && order.payment.has_value();
}

QString statusText(const Order &order)
{
    if (order.status == OrderStatus::Voided)
        return QStringLiteral("已作废");
    return isPaid(order) ? QStringLiteral("已结账") : QStringLiteral("未结账");
}

QString whyNotVoidable(const Order &order)
{
    if (order.status == OrderStatus::Voided)
        return QStringLiteral("这一单已经作废过了。");
    if (order.cashUpId > 0)
        return QStringLiteral("这一单已计入第 %1 次交班，不能再作废。").arg(order.cashUpId);
    return {};
}

// ---------------------------------------------------------------- summary

DaySummary summarize(const QDate &day, const QList<Order> &orders)
{
    DaySummary summary;
    summary.day = day;
    summary.orderCount = int(orders.size());
    for (int c = 1; c <= categoryCount; ++c)
        summary.categories.append(CategorySummary{c, QString(), 0});
    QHash<QString, Fen> byMethod;
    QHash<QPair<int, QString>, qsizetype> dishIndex;
    for (const Order &order : orders) {
        // Each category under the latest name it was used under: an order
        // names only the categories it used, and the owner may rename one
        // during the day.
        for (int c = 0; c < categoryCount; ++c)
            if (!order.categoryNames[c].isEmpty())
                summary.categories[c].name = order.categoryNames[c];
        if (order.status == OrderStatus::Voided) {
            const Fen amount = orderTotal(order);
            ++summary.voidedCount;
            summary.voidedTotal += amount;
            summary.voids.append(VoidSummary{order.receiptNumber, order.billNumber, order.endedAt,
                                             amount, order.voidReason});
            continue;  // nothing of it was sold
        }
        if (isPaid(order)) {
            const Payment &payment = *order.payment;
            ++summary.paidCount;
            summary.paidTotal += payment.total;
            summary.discounts += payment.discount;
            summary.roundings += payment.rounding;
            summary.takings += payment.due;
            Fen parts = 0;
            for (const PaymentPart &part : payment.parts) {
                byMethod[part.method] += part.amount;
                parts += part.amount;
            }
            if (parts != payment.due)
                byMethod[unassigned] += payment.due - parts;
        } else {
            ++summary.unpaidCount;
            summary.unpaidTotal += toFen(order.grandTotal);
        }
        for (int c = 0; c < categoryCount; ++c)
            summary.categories[c].total += toFen(order.categoryTotals[c]);
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
            dish.amount += toFen(line.lineTotal);
        }
    }
    for (auto it = byMethod.constBegin(); it != byMethod.constEnd(); ++it)
        summary.byMethod.append(PaymentPart{it.key(), it.value()});
    std::sort(summary.byMethod.begin(), summary.byMethod.end(),
              [](const PaymentPart &a, const PaymentPart &b) { return methodBefore(a.method, b.method); });
    std::stable_sort(summary.dishes.begin(), summary.dishes.end(),
                     [](const DishSummary &a, const DishSummary &b) { return a.amount > b.amount; });
    return summary;
}

roll::Page summaryPage(const DaySummary &summary, const QStringList &header)
{
    // Sections one under the other, a rule between two that have rows.
    roll::Page page;
    page.separator = QStringLiteral(" ");
    QList<roll::Page> sections(1);
    sections.last().header(header);
    sections.last().text(QStringLiteral("营业日结 %1").arg(summary.day.toString(dayFormat)),
                         header.isEmpty() ? roll::Align::Left : roll::Align::Centre, roll::Size::Body, true);
    sections.last().figure(QStringLiteral("订单数"), QString::number(summary.orderCount));
    sections.last().figure(QStringLiteral("营业额"), yuan(summary.takings), true);

    sections.append(roll::Page{});
    for (const PaymentPart &part : summary.byMethod)
        sections.last().figure(singleLine(part.method), yuan(part.amount));

    // From the paid orders' totals down to the takings, then what is apart.
    // Each count goes with its orders' 合计, as in the takings window and on
    // the 交班单.
    sections.append(roll::Page{});
    sections.last().figure(QStringLiteral("已结账 %1笔").arg(summary.paidCount), yuan(summary.paidTotal));
    sections.last().figure(QStringLiteral("折扣"), yuan(-summary.discounts));
    sections.last().figure(QStringLiteral("抹零"), yuan(-summary.roundings));
    sections.last().figure(QStringLiteral("未结账 %1笔").arg(summary.unpaidCount), yuan(summary.unpaidTotal));
    sections.last().figure(QStringLiteral("已作废 %1笔").arg(summary.voidedCount), yuan(summary.voidedTotal));

    sections.append(roll::Page{});
    for (const CategorySummary &c : summary.categories)
        if (!c.name.trimmed().isEmpty() || c.total != 0)
            sections.last().figure(c.name.trimmed().isEmpty() ? QStringLiteral("类别%1").arg(c.category)
                                                              : singleLine(c.name),
                                   yuan(c.total));

    sections.append(roll::Page{});
    for (const DishSummary &d : summary.dishes)
        sections.last().columns({singleLine(d.dish),
                                 QStringLiteral("%1%2 %3%4").arg(number(d.smallQuantity), singleLine(d.smallHeading),
                                                                 number(d.largeQuantity), singleLine(d.largeHeading)),
                                 yuan(d.amount)});

    sections.append(roll::Page{});
    if (!summary.voids.isEmpty())
        sections.last().text(QStringLiteral("作废"));
    for (const VoidSummary &v : summary.voids) {
        const QString which = !v.receiptNumber.isEmpty() ? v.receiptNumber
                              : v.billNumber            ? QStringLiteral("第%1位").arg(*v.billNumber)
                                                        : QString();
        QStringList cells{which, v.endedAt.time().toString(QStringLiteral("HH:mm")), singleLine(v.reason)};
        cells.removeAll(QString());
        sections.last().figure(cells.join(u' '), yuan(v.amount));
    }

    // Each 交班 of the day and what its drawer came to.
    sections.append(roll::Page{});
    for (const CashUp &up : summary.cashUps) {
        const Fen d = up.difference;
        const QString difference = d > 0 ? QStringLiteral("长款 %1").arg(yuan(d))
                                   : d < 0 ? QStringLiteral("短款 %1").arg(yuan(-d))
                                           : QStringLiteral("无差额");
        sections.last().figure(
            QStringLiteral("交班 第%1次 %2").arg(up.id).arg(up.at.time().toString(QStringLiteral("HH:mm"))),
            difference);
    }

    for (const roll::Page &section : std::as_const(sections)) {
        if (section.rows.isEmpty())
            continue;
        if (!page.rows.isEmpty())
            page.rule();
        page.rows << section.rows;
    }
    return page;
}

QString summaryText(const DaySummary &summary, const QStringList &header)
{
    return roll::plainText(summaryPage(summary, header)).replace(QStringLiteral("\r\n"), QStringLiteral("\n")) +
           u'\n';
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

// A text cell a spreadsheet must show as typed: one that begins like a
// formula gets an apostrophe in front ("=1+1" -> "'=1+1").
QString textCell(const QString &value)
{
    static const QString formulaStart = QStringLiteral("=+-@");
    return !value.isEmpty() && formulaStart.contains(value.front()) ? u'\'' + value : value;
}

}  // namespace

QString csvLine(const QStringList &fields, const QList<int> &textColumns)
{
    QStringList quoted;
    for (int i = 0; i < fields.size(); ++i)
        quoted << csvField(textColumns.contains(i) ? textCell(fields[i]) : fields[i]);
    return quoted.join(u',') + QStringLiteral("\r\n");
}

namespace {

bool writeRow(QIODevice &device, const QStringList &fields)
{
    QStringList quoted;
    for (const QString &field : fields)
        quoted << csvField(field);
    const QString row = quoted.join(u',') + QStringLiteral("\r\n");
    const QByteArray bytes = row.toUtf8();
    return device.write(bytes) == bytes.size();
}

bool writeBom(QIODevice &device)
{
    const QByteArray bom("\xEF\xBB\xBF");
    return device.write(bom) == bom.size();
}

// The order's first cells in both files: 单号, date, time.
QStringList orderCells(const Order &order, const QString &endedAt)
{
    return {textCell(order.receiptNumber), endedAt.left(10), endedAt.mid(11, 8)};
}

// A row of the orders file, kept until the method columns are known.
struct OrderRow {
    QStringList start;          // 单号, date, time, 合计, 折扣, 抹零, 应收
    QList<PaymentPart> parts;   // a paid order's methods
    QStringList end;            // 找零, status
};

}  // namespace

struct CsvWriter::Private {
    Private(QIODevice &device, CsvKind kind) : device(device), kind(kind) {}

    QIODevice &device;
    CsvKind kind;
    bool headingWritten = false;
    QList<OrderRow> rows;
    QStringList methods;

    bool lineHeading()
    {
        headingWritten = true;
        return writeBom(device) &&
               writeRow(device, {QStringLiteral("单号"), QStringLiteral("日期"), QStringLiteral("时间"),
                                 QStringLiteral("类别"), QStringLiteral("菜品"), QStringLiteral("小份数量"),
                                 QStringLiteral("小份"), QStringLiteral("大份数量"), QStringLiteral("大份"),
                                 QStringLiteral("金额"), QStringLiteral("状态")});
    }

    bool addLines(const Order &order, const QString &endedAt)
    {
        if (!headingWritten && !lineHeading())
            return false;
        const QStringList start = orderCells(order, endedAt);
        const QString status = statusText(order);
        if (order.lines.isEmpty())  // a total without lines still counts
            return writeRow(device, start + QStringList{QString(), QString(), QString(), QString(),
                                                        QString(), QString(),
                                                        fenText(toFen(order.grandTotal)), status});
        for (const OrderLine &line : order.lines)
            if (!writeRow(device, start + QStringList{textCell(line.categoryName), textCell(line.dish),
                                                      number(line.smallQuantity), textCell(line.smallHeading),
                                                      number(line.largeQuantity), textCell(line.largeHeading),
                                                      fenText(toFen(line.lineTotal)), status}))
                return false;
        return true;
    }

    void keepOrder(const Order &order, const QString &endedAt)
    {
        OrderRow row;
        row.start = orderCells(order, endedAt) << fenText(orderTotal(order));
        // Only what was taken is money in the file: an unpaid or voided
        // order shows its total and nothing taken.
        if (isPaid(order)) {
            const Payment &payment = *order.payment;
            row.start << fenText(payment.discount) << fenText(payment.rounding) << fenText(payment.due);
            Fen parts = 0;
            for (const PaymentPart &part : payment.parts) {
                row.parts.append(part);
                parts += part.amount;
            }
            if (parts != payment.due)
                row.parts.append(PaymentPart{unassigned, payment.due - parts});
            for (const PaymentPart &part : std::as_const(row.parts))
                if (!methods.contains(part.method))
                    methods.append(part.method);
            row.end << fenText(payment.change);
        } else {
            row.start << QString() << QString() << QString();
            row.end << QString();
        }
        row.end << statusText(order);
        rows.append(std::move(row));
    }

    bool writeOrders()
    {
        std::sort(methods.begin(), methods.end(), methodBefore);
        QStringList heading{QStringLiteral("单号"), QStringLiteral("日期"), QStringLiteral("时间"),
                            QStringLiteral("合计"), QStringLiteral("折扣"), QStringLiteral("抹零"),
                            QStringLiteral("应收")};
        for (const QString &method : std::as_const(methods))
            heading << textCell(method);
        heading << QStringLiteral("找零") << QStringLiteral("状态");
        if (!writeBom(device) || !writeRow(device, heading))
            return false;
        for (const OrderRow &row : std::as_const(rows)) {
            QList<Fen> byMethod(methods.size(), 0);
            QList<bool> used(methods.size(), false);
            for (const PaymentPart &part : row.parts) {
                const qsizetype at = methods.indexOf(part.method);
                byMethod[at] += part.amount;
                used[at] = true;
            }
            QStringList cells = row.start;
            for (qsizetype m = 0; m < methods.size(); ++m)
                cells << (used[m] ? fenText(byMethod[m]) : QString());
            if (!writeRow(device, cells + row.end))
                return false;
        }
        return true;
    }
};

CsvWriter::CsvWriter(QIODevice &device, CsvKind kind) : d(std::make_unique<Private>(device, kind)) {}

CsvWriter::~CsvWriter() = default;

bool CsvWriter::add(const Order &order, const QString &endedAt)
{
    if (d->kind == CsvKind::Lines)
        return d->addLines(order, endedAt);
    d->keepOrder(order, endedAt);
    return true;
}

bool CsvWriter::finish()
{
    if (d->kind == CsvKind::Lines)
        return d->headingWritten || d->lineHeading();
    return d->writeOrders();
}

bool writeCsv(QIODevice &device, const QList<Order> &orders, CsvKind kind)
{
    CsvWriter writer(device, kind);
    for (const Order &order : orders)
        if (!writer.add(order, order.endedAt.toString(timeFormat)))
            return false;
    return writer.finish();
}

}  // namespace journal
