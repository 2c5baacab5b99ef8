// Writes sample pages as a 203 dpi receipt printer prints them, to look at:
// a receipt, a 交班单, a 日结 and a kitchen ticket, each on a 58 mm roll
// (48 mm printed) and an 80 mm roll (72 mm printed), as PNG files in the
// folder given (scripts/roll-samples.sh runs it).
//   roll_samples FOLDER

#include "journal/report.h"
#include "main_window/roll_layout.h"
#include "payment/cash_up.h"
#include "payment/receipt.h"
#include "till/kitchen_ticket.h"

#include <QApplication>
#include <QDir>
#include <QTextStream>

namespace {

journal::Order sampleOrder()
{
    journal::Order order;
    order.receiptNumber = QStringLiteral("20261208-0042");
    order.status = journal::OrderStatus::Paid;
    order.endedAt = QDateTime(QDate(2026, 12, 8), QTime(12, 31, 5));
    order.lines = {
        {1, QStringLiteral("面条"), QStringLiteral("红烧牛肉面加卤蛋青菜香菜特大碗"), 2, QStringLiteral("小份"), 0,
         QStringLiteral("大份"), 36},
        {1, QStringLiteral("面条"), QStringLiteral("牛肉面"), 1, QStringLiteral("小份"), 2, QStringLiteral("大份"), 46},
        {2, QStringLiteral("小吃"), QStringLiteral("凉拌黄瓜"), 0, QStringLiteral("小份"), 1, QStringLiteral("大份"), 8.5},
        {3, QStringLiteral("饮料"), QStringLiteral("可乐"), 3, QStringLiteral("瓶"), 0, QStringLiteral("大份"), 12},
    };
    order.grandTotal = 102.5;
    journal::Payment paid;
    paid.total = 10250;
    paid.discount = 1025;
    paid.discountLabel = QStringLiteral("9折");
    paid.rounding = 25;
    paid.due = 9200;
    paid.parts = {{QStringLiteral("微信"), 5000}, {QStringLiteral("现金"), 4200}};
    paid.cashGiven = 5000;
    paid.change = 800;
    order.payment = paid;
    return order;
}

payment::ShopSettings sampleShop()
{
    payment::ShopSettings shop;
    shop.name = QStringLiteral("老王面馆");
    shop.address = QStringLiteral("杭州市西湖区人民路 8 号");
    shop.phone = QStringLiteral("0571-88886666");
    shop.footer = QStringLiteral("谢谢惠顾，欢迎再来");
    return shop;
}

journal::CashUp sampleCashUp()
{
    journal::CashUp up;
    up.id = 3;
    up.since = QDateTime(QDate(2026, 12, 8), QTime(9, 0));
    up.at = QDateTime(QDate(2026, 12, 8), QTime(14, 5));
    up.paidCount = 23;
    up.paidTotal = 186450;
    up.discounts = 3210;
    up.roundings = 140;
    up.byMethod = {{QStringLiteral("现金"), 64200}, {QStringLiteral("微信"), 98250}, {QStringLiteral("支付宝"), 24000}};
    up.unpaidCount = 1;
    up.unpaidTotal = 2800;
    up.voidedCount = 1;
    up.voidedTotal = 4050;
    up.openingFloat = 20000;
    up.cashTaken = 70000;
    up.changeGiven = 5800;
    up.expectedCash = 84200;
    payment::countCash(up, QList<QPair<journal::Fen, int>>{{10000, 6}, {5000, 3}, {1000, 8}, {100, 10}});
    up.floatLeft = 20000;
    return up;
}

till::KitchenTicket sampleTicket()
{
    return {17, QStringLiteral("3号桌"), QDateTime(QDate(2026, 12, 8), QTime(12, 10)),
            {{QStringLiteral("红烧牛肉刀削面加辣"), QStringLiteral("大份"), 1.5, true},
             {QStringLiteral("牛肉面"), QStringLiteral("大份"), 2, false},
             {QStringLiteral("凉拌黄瓜"), QStringLiteral("小份"), 1, false}}};
}

}  // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QTextStream err(stderr);
    if (argc != 2) {
        err << "usage: roll_samples FOLDER\n";
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    const QList<journal::OpenOrder> open{{QStringLiteral("a"), QStringLiteral("5号桌"), {}, 6450, 4, "{}"},
                                         {QStringLiteral("b"), QStringLiteral("外卖 王先生"), {}, 2200, 2, "{}"}};
    const QStringList header = sampleShop().headerLines();
    journal::DaySummary day = journal::summarize(QDate(2026, 12, 8), {sampleOrder()});
    day.cashUps = {sampleCashUp()};
    const QList<std::pair<QString, roll::Page>> pages{
        {QStringLiteral("receipt"), payment::receiptPage(sampleOrder(), sampleShop(), {QStringLiteral("3号桌"), {}})},
        {QStringLiteral("reprint"),
         payment::reprintPage(sampleOrder(), sampleShop(), QDateTime(QDate(2026, 12, 8), QTime(18, 2, 40)))},
        {QStringLiteral("cash-up"), payment::cashUpPage(sampleCashUp(), {header, true, open})},
        {QStringLiteral("day"), journal::summaryPage(day, header)},
        {QStringLiteral("kitchen"), till::kitchenTicketPage(sampleTicket())},
    };
    // A roll, its printed width, as the receipt printers' own papers give them.
    const QList<std::tuple<int, double>> rolls{{58, 48}, {80, 72}};
    for (const auto &[name, page] : pages)
        for (const auto &[paper, printed] : rolls) {
            const QString file = folder.filePath(QStringLiteral("%1-%2mm.png").arg(name).arg(paper));
            if (!roll::rollImage(page, paper, printed, 203).save(file)) {
                err << "cannot write " << file << '\n';
                return 1;
            }
        }
    return 0;
}
