// The journal's figures: a day's summary, its slip and the two CSV files
// agree to the 分 with each other, whatever mix of paid, unpaid and voided
// orders the day had; a spreadsheet reads every text cell as text.

#include "journal/report.h"

#include <QBuffer>
#include <QtTest>

#include <numeric>

using namespace journal;

namespace {

const QDate day(2026, 12, 7);

OrderLine line(int category, const QString &dish, double small, double large, double total)
{
    return OrderLine{category, QStringLiteral("面条"), dish, small, QStringLiteral("小份"),
                     large, QStringLiteral("大份"), total};
}

// An order of `lines` ending at `time`, unpaid (as 1.2.0 recorded every one).
Order order(const char *time, const QList<OrderLine> &lines, const char *receipt = "")
{
    Order o;
    o.endedAt = QDateTime(day, QTime::fromString(QString::fromLatin1(time)));
    o.receiptNumber = QString::fromLatin1(receipt);
    o.categoryNames[0] = QStringLiteral("面条");
    for (const OrderLine &l : lines) {
        o.categoryTotals[l.category - 1] += l.lineTotal;
        o.grandTotal += l.lineTotal;
    }
    o.lines = lines;
    return o;
}

// `o` paid with `parts`, less `discount` and `rounding`; `cashGiven` handed
// over (the cash part when none is given).
Order paid(Order o, QList<PaymentPart> parts, Fen rounding = 0, Fen discount = 0, Fen cashGiven = 0)
{
    Payment p;
    p.total = toFen(o.grandTotal);
    p.discount = discount;
    p.rounding = rounding;
    p.due = p.total - discount - rounding;
    p.parts = parts;
    for (const PaymentPart &part : parts)
        if (part.method == QStringLiteral("现金")) {
            p.cashGiven = std::max(cashGiven, part.amount);
            p.change = p.cashGiven - part.amount;
        }
    o.status = OrderStatus::Paid;
    o.payment = p;
    return o;
}

Order voided(Order o, const QString &reason)
{
    o.status = OrderStatus::Voided;
    o.voidReason = reason;
    return o;
}

Order cashWithChange() { return paid(order("11:00:00", {line(1, QStringLiteral("牛肉面"), 1, 4, 40.5)}, "20261207-0001"), {{QStringLiteral("现金"), 4000}}, 50, 0, 5000); }
Order split() { return paid(order("12:00:00", {line(1, QStringLiteral("炒饭"), 0, 8, 88)}, "20261207-0002"), {{QStringLiteral("微信"), 5000}, {QStringLiteral("现金"), 3800}}); }
Order unpaid() { return order("12:30:00", {line(1, QStringLiteral("牛肉面"), 2, 0, 12), line(1, QStringLiteral("汤"), 1, 0, 8)}, "20261207-0003"); }
Order voidedPaid() { return voided(paid(order("13:00:00", {line(1, QStringLiteral("炒饭"), 1, 0, 30)}, "20261207-0004"), {{QStringLiteral("美团"), 3000}}), QStringLiteral("点错")); }
// Recorded by 1.2.0: no 单号, no payment, and this one a total without lines.
Order old() { return order("09:00:00", {}); }

QByteArray csv(const QList<Order> &orders, CsvKind kind)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    return writeCsv(buffer, orders, kind) ? buffer.data() : QByteArray();
}

// RFC 4180 rows of a file written by writeCsv (after its byte order mark).
QList<QStringList> parse(const QByteArray &bytes)
{
    const QString text = QString::fromUtf8(bytes.mid(3));
    QList<QStringList> rows(1);
    QString cell;
    bool quoted = false;
    const auto next = [&text](qsizetype i) { return i + 1 < text.size() ? text[i + 1] : QChar(); };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted && c == u'"' && next(i) == u'"')
            cell += text[++i];
        else if (c == u'"')
            quoted = !quoted;
        else if (!quoted && c == u',')
            rows.last() << std::exchange(cell, QString());
        else if (!quoted && c == u'\r' && next(i) == u'\n') {
            rows.last() << std::exchange(cell, QString());
            rows.append(QStringList());
            ++i;
        } else
            cell += c;
    }
    rows.removeLast();
    return rows;
}

// The sum of the column headed `heading`, as a spreadsheet makes it: in 分,
// empty cells as 0.
Fen columnSum(const QList<QStringList> &rows, const QString &heading)
{
    const qsizetype column = rows.value(0).indexOf(heading);
    Fen sum = 0;
    for (qsizetype r = 1; column >= 0 && r < rows.size(); ++r)
        sum += toFen(rows[r][column].toDouble());
    return sum;
}

}  // namespace

class TstReport : public QObject {
    Q_OBJECT

private slots:
    void figuresAddUp_data();
    void figuresAddUp();
    void slipOfADay();
    void csvCells();
};

void TstReport::figuresAddUp_data()
{
    QTest::addColumn<QList<Order>>("orders");
    QTest::addColumn<QStringList>("slip");  // lines the slip holds, among others
    QTest::newRow("paid in cash: 抹零, change")
        << QList<Order>{cashWithChange()}
        << QStringList{"营业额 40元", "现金 40元", "已结账 1笔 40.5元", "抹零 -0.5元", "未结账 0笔 0元"};
    QTest::newRow("split 微信 and 现金")
        << QList<Order>{split()} << QStringList{"营业额 88元", "现金 38元", "微信 50元", "折扣 0元"};
    QTest::newRow("unpaid") << QList<Order>{unpaid()}
                            << QStringList{"营业额 0元", "未结账 1笔 20元", "面条 20元", "牛肉面 2小份 0大份 12元"};
    QTest::newRow("voided") << QList<Order>{voidedPaid()}
                            << QStringList{"营业额 0元", "已作废 1笔 30元", "作废", "20261207-0004 13:00 点错 30元"};
    QTest::newRow("1.2.0: no payment, no lines") << QList<Order>{old()} << QStringList{"未结账 1笔 0元"};
    QList<Order> whole{old(), cashWithChange(), split(), unpaid(), voidedPaid()};
    whole[0].grandTotal = whole[0].categoryTotals[1] = 7;  // a total without lines still counts
    QTest::newRow("the whole day")
        << whole << QStringList{"订单数 5", "营业额 128元", "现金 78元", "微信 50元", "已结账 2笔 128.5元",
                                "未结账 2笔 27元", "已作废 1笔 30元", "面条 148.5元", "类别2 7元"};
    QTest::newRow("parts short of 应收: the rest unassigned")
        << QList<Order>{paid(order("15:00:00", {line(1, QStringLiteral("汤"), 1, 0, 10)}), {{QStringLiteral("现金"), 600}})}
        << QStringList{"营业额 10元", "现金 6元", "未记方式 4元"};
    // Sold as 炒菜, renamed 小炒 and sold again, then a noodles-only order
    // that names no other category.
    Order stirFry = order("10:00:00", {line(2, QStringLiteral("宫保鸡丁"), 1, 0, 28)});
    stirFry.categoryNames[1] = QStringLiteral("炒菜");
    Order renamed = order("11:00:00", {line(2, QStringLiteral("回锅肉"), 0, 1, 80)});
    renamed.categoryNames[1] = QStringLiteral("小炒");
    QTest::newRow("each category under the latest name it was sold under")
        << QList<Order>{stirFry, renamed, unpaid()} << QStringList{"小炒 108元", "面条 20元"};
    QList<Order> small;
    for (int i = 0; i < 300; ++i)
        small << order("10:00:00", {line(1, QStringLiteral("茶"), 1, 0, 3.3)});
    QTest::newRow("300 orders of 3.3")
        << small << QStringList{"未结账 300笔 990元", "面条 990元", "茶 300小份 0大份 990元"};
}

void TstReport::figuresAddUp()
{
    QFETCH(QList<Order>, orders);
    QFETCH(QStringList, slip);
    const DaySummary s = summarize(day, orders);

    Fen byMethod = 0, categories = 0, dishes = 0;
    for (const PaymentPart &part : s.byMethod)
        byMethod += part.amount;
    for (const CategorySummary &c : s.categories)
        categories += c.total;
    for (const DishSummary &d : s.dishes)
        dishes += d.amount;
    QCOMPARE(byMethod, s.takings);
    QCOMPARE(s.paidTotal - s.discounts - s.roundings, s.takings);
    QCOMPARE(categories, s.paidTotal + s.unpaidTotal);
    QCOMPARE(s.paidCount + s.unpaidCount + s.voidedCount, s.orderCount);
    QCOMPARE(s.voids.size(), s.voidedCount);
    const Fen linesWithout = std::accumulate(orders.begin(), orders.end(), Fen(0), [](Fen sum, const Order &o) {
        return sum + (o.lines.isEmpty() && o.status != OrderStatus::Voided ? toFen(o.grandTotal) : 0);
    });
    QCOMPARE(dishes + linesWithout, categories);

    const QStringList text = summaryText(s).split(u'\n');
    for (const QString &expected : slip)
        QVERIFY2(text.contains(expected), qPrintable(expected + QStringLiteral(" in:\n") + text.join(u'\n')));

    // The files sum as the slip does: the orders' 应收 and each method's
    // column to the takings and its share, the lines to the orders' totals.
    const QList<QStringList> rows = parse(csv(orders, CsvKind::Orders));
    const QList<QStringList> lines = parse(csv(orders, CsvKind::Lines));
    QCOMPARE(rows.size(), 1 + orders.size());
    QCOMPARE(columnSum(rows, QStringLiteral("应收")), s.takings);
    QCOMPARE(columnSum(rows, QStringLiteral("折扣")), s.discounts);
    QCOMPARE(columnSum(rows, QStringLiteral("抹零")), s.roundings);
    for (const PaymentPart &part : s.byMethod)
        QCOMPARE(columnSum(rows, part.method), part.amount);
    QCOMPARE(rows[0].size(), 9 + s.byMethod.size());  // no column for a method without takings
    QCOMPARE(columnSum(lines, QStringLiteral("金额")), columnSum(rows, QStringLiteral("合计")));
    QCOMPARE(columnSum(rows, QStringLiteral("合计")), s.paidTotal + s.unpaidTotal + s.voidedTotal);
}

void TstReport::slipOfADay()
{
    // Each category under the latest name an order used it under; an
    // unnamed category with sales and a named one without; a dish name over
    // two lines; a day whose only order has no lines has no rule for the
    // dishes. The shop's header above; each 交班 of the day with its
    // difference.
    Order first = order("10:00:00", {line(1, QStringLiteral("牛肉\r\n面"), 1, 0, 6), line(2, QStringLiteral("汤"), 1, 0, 5)});
    first.categoryNames = {QStringLiteral("旧名"), QString(), QStringLiteral("包子")};
    first.categoryTotals = {6, 5};
    Order second = order("11:00:00", {line(1, QStringLiteral("牛肉\r\n面"), 0, 1, 8)});
    second.categoryNames = {QStringLiteral("面条"), QString(), QStringLiteral("包子")};
    QCOMPARE(summaryText(summarize(day, {first, second})),
             QStringLiteral("营业日结 2026-12-07\n订单数 2\n营业额 0元\n----------------\n"
                            "已结账 0笔 0元\n折扣 0元\n抹零 0元\n未结账 2笔 19元\n已作废 0笔 0元\n"
                            "----------------\n面条 14元\n类别2 5元\n包子 0元\n----------------\n"
                            "牛肉 面 1小份 1大份 14元\n汤 1小份 0大份 5元\n"));
    DaySummary withCashUps = summarize(day, {old()});
    for (const auto &[id, time, difference] : {std::tuple{1, "14:05", -200}, {2, "21:30", 50}, {3, "23:00", 0}}) {
        CashUp up;
        up.id = id;
        up.at = QDateTime(day, QTime::fromString(QString::fromLatin1(time)));
        up.difference = difference;
        withCashUps.cashUps.append(up);
    }
    QCOMPARE(summaryText(withCashUps, {QStringLiteral("老王面馆"), QStringLiteral("人民路 8 号")}),
             QStringLiteral("老王面馆\n人民路 8 号\n营业日结 2026-12-07\n订单数 1\n营业额 0元\n----------------\n"
                            "已结账 0笔 0元\n折扣 0元\n抹零 0元\n未结账 1笔 0元\n已作废 0笔 0元\n"
                            "----------------\n面条 0元\n----------------\n"
                            "交班 第1次 14:05 短款 2元\n交班 第2次 21:30 长款 0.5元\n交班 第3次 23:00 无差额\n"));
}

void TstReport::csvCells()
{
    // Text that starts like a formula is inert; a negative amount stays a
    // number; a cell with a line break or a quote is quoted.
    Order odd = paid(order("14:00:00", {line(1, QStringLiteral("=1+1"), 1, 0, 5), line(1, QStringLiteral("@菜\r名"), 0, 1, -3.3),
                                        line(1, QStringLiteral("+辣\n\"特\""), 1, 0, 2)}, "20261207-0005"),
                     {{QStringLiteral("-会员卡"), 370}});
    odd.lines[0].categoryName = QStringLiteral("-面");
    QCOMPARE(QString::fromUtf8(csv({odd, old()}, CsvKind::Lines)),
             QStringLiteral("单号,日期,时间,类别,菜品,小份数量,小份,大份数量,大份,金额,状态\r\n"
                            "20261207-0005,2026-12-07,14:00:00,'-面,'=1+1,1,小份,0,大份,5,已结账\r\n"
                            "20261207-0005,2026-12-07,14:00:00,面条,\"'@菜\r名\",0,小份,1,大份,-3.3,已结账\r\n"
                            "20261207-0005,2026-12-07,14:00:00,面条,\"'+辣\n\"\"特\"\"\",1,小份,0,大份,2,已结账\r\n"
                            ",2026-12-07,09:00:00,,,,,,,0,未结账\r\n"));
    QCOMPARE(QString::fromUtf8(csv({cashWithChange(), odd, split(), unpaid(), voidedPaid()}, CsvKind::Orders)),
             QStringLiteral("单号,日期,时间,合计,折扣,抹零,应收,现金,微信,'-会员卡,找零,状态\r\n"
                            "20261207-0001,2026-12-07,11:00:00,40.5,0,0.5,40,40,,,10,已结账\r\n"
                            "20261207-0005,2026-12-07,14:00:00,3.7,0,0,3.7,,,3.7,0,已结账\r\n"
                            "20261207-0002,2026-12-07,12:00:00,88,0,0,88,38,50,,0,已结账\r\n"
                            "20261207-0003,2026-12-07,12:30:00,20,,,,,,,,未结账\r\n"
                            "20261207-0004,2026-12-07,13:00:00,30,,,,,,,,已作废\r\n"));
}

QTEST_GUILESS_MAIN(TstReport)
#include "tst_report.moc"
