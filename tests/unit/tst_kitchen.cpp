// Kitchen tickets: what 下单 tells the kitchen (new lines, 退菜 lines, nothing
// twice), the ticket on paper, the portions kept with an order, the type size
// for the kitchen's roll, the kitchen printer setting and the ticket counter.

#include "testsupport.h"

#include "main_window/bill_print.h"
#include "main_window/roll_layout.h"
#include "payment/shop_settings.h"
#include "payment/shop_window.h"
#include "till/kitchen_ticket.h"

#include <QComboBox>
#include <QFontMetricsF>
#include <QPrinter>
#include <QPrinterInfo>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QtTest>

using till::KitchenLine;
using till::KitchenPortion;

Q_DECLARE_METATYPE(QList<till::KitchenPortion>)

namespace {

using Portions = QList<KitchenPortion>;

// A small or large portion of the dish on row `row` of category `category`.
KitchenPortion small(int category, int row, const QString &dish, double quantity)
{
    return {category, row, false, dish, QStringLiteral("小份"), quantity};
}

KitchenPortion large(int category, int row, const QString &dish, double quantity)
{
    return {category, row, true, dish, QStringLiteral("大份"), quantity};
}

}  // namespace

class TstKitchen : public QObject {
    Q_OBJECT

private slots:
    void changesSinceTheLastTicket_data();
    void changesSinceTheLastTicket();
    void ticketOnPaper();
    void typeSizeForTheRoll();
    void kitchenPrinterFailuresAreTold();
    void kitchenPrinterSetting();
    void ticketNumbersNeverRepeatOrSkipInADay();
};

void TstKitchen::changesSinceTheLastTicket_data()
{
    QTest::addColumn<Portions>("sent");
    QTest::addColumn<Portions>("now");
    QTest::addColumn<QStringList>("lines");  // "退 " for a 退菜, dish, heading, quantity
    const QString beef = QStringLiteral("牛肉面"), buns = QStringLiteral("包子"), milk = QStringLiteral("豆浆");
    // Listed out of order: the ticket goes by category, row, small then large.
    QTest::newRow("first ticket") << Portions{} << Portions{small(3, 2, buns, 4), large(1, 1, beef, 1), small(1, 1, beef, 2), small(1, 5, milk, 0)}
                                  << QStringList{"牛肉面 小份 2", "牛肉面 大份 1", "包子 小份 4"};
    QTest::newRow("addition only") << Portions{small(1, 1, beef, 2), small(3, 2, buns, 4)} << Portions{small(1, 1, beef, 3), small(3, 2, buns, 4)}
                                   << QStringList{"牛肉面 小份 1"};
    QTest::newRow("removal") << Portions{small(1, 1, beef, 2), small(3, 2, buns, 4)} << Portions{small(1, 1, beef, 1), small(3, 2, buns, 4)}
                             << QStringList{"退 牛肉面 小份 1"};
    QTest::newRow("both, a row gone") << Portions{small(1, 1, beef, 2), small(6, 1, milk, 1)} << Portions{small(1, 1, beef, 2), large(1, 1, beef, 1)}
                                      << QStringList{"牛肉面 大份 1", "退 豆浆 小份 1"};
    QTest::newRow("nothing new") << Portions{small(1, 1, beef, 2), large(1, 1, beef, 1)} << Portions{large(1, 1, beef, 1), small(1, 1, beef, 2)}
                                 << QStringList{};
    QTest::newRow("renamed, fewer") << Portions{small(1, 1, beef, 2)} << Portions{small(1, 1, QStringLiteral("牛腩面"), 1)}
                                    << QStringList{"退 牛肉面 小份 1"};
    QTest::newRow("renamed, more") << Portions{small(1, 1, beef, 2)} << Portions{small(1, 1, QStringLiteral("牛腩面"), 3)}
                                   << QStringList{"牛腩面 小份 1"};
    QTest::newRow("blank names, half portions, below zero") << Portions{{2, 3, true, {}, {}, 0.5}}
                                                             << Portions{{2, 3, true, {}, {}, 2}, small(2, 4, milk, -1)}
                                                             << QStringList{"（未命名） 大份 1.5"};
}

// Each (category, row, portion) compared with what was sent: more is cooked,
// less is a 退菜 under the name the kitchen was given; nothing is told twice.
void TstKitchen::changesSinceTheLastTicket()
{
    QFETCH(Portions, sent);
    QFETCH(Portions, now);
    QStringList lines;
    for (const KitchenLine &l : till::kitchenChanges(sent, now)) {
        QVERIFY(l.quantity > 0);
        lines << QStringLiteral("%1%2 %3 %4").arg(l.returned ? "退 " : "", l.dish, l.heading, QString::number(l.quantity));
    }
    QTEST(lines, "lines");
    QVERIFY(till::kitchenChanges(now, now).isEmpty());  // once sent, never again
}

void TstKitchen::ticketOnPaper()
{
    till::KitchenTicket ticket{12, QStringLiteral("3号桌"), QDateTime(QDate(2026, 12, 8), QTime(12, 30, 15)),
                               till::kitchenChanges({small(1, 1, QStringLiteral("牛肉面"), 1)},
                                                    {large(1, 1, QStringLiteral("牛肉面"), 2)})};
    const QString text = till::kitchenTicketText(ticket);
    QCOMPARE(text.split(QStringLiteral("\r\n")),
             (QStringList{"后厨单 第12号", "3号桌", "时间 12:30", "----------------", "★退：牛肉面 小份  ×1",
                          "牛肉面 大份  ×2", "----------------"}));
    ticket.till = 2;  // a kitchen of a shop hears from several tills
    QCOMPARE(till::kitchenTicketText(ticket).section(QStringLiteral("\r\n"), 0, 0), QStringLiteral("后厨单 2号机 第12号"));
    ticket.till = 0;
    ticket.table = QStringLiteral("  ");
    QVERIFY(!till::kitchenTicketText(ticket).contains(QStringLiteral("\r\n\r\n")));

    // On a 58 mm roll (48 mm printed) at 203 dpi, in the kitchen's 14 pt:
    // the heading is one row; a 退菜 of a long name wraps, but its mark, its
    // quantity and the start of its name stay on its first row, white on
    // black.
    ticket.lines = till::kitchenChanges({large(1, 1, QStringLiteral("红烧牛肉刀削面加辣"), 3)},
                                        {large(1, 1, QStringLiteral("红烧牛肉刀削面加辣"), 1.5)});
    roll::Laid laid;
    roll::Page page = till::kitchenTicketPage(ticket);
    page.points = bill::kitchenPoints(58);
    roll::rollImage(page, 58, 48, 203, &laid);
    QList<roll::Piece> heading, mark, quantity;
    for (const roll::Piece &piece : laid.pieces) {
        if (piece.text.contains(QStringLiteral("后厨单")))
            heading << piece;
        if (piece.text.startsWith(QStringLiteral("★退")))
            mark << piece;
        if (piece.text.contains(u'×'))
            quantity << piece;
    }
    QCOMPARE(heading.size(), 1);
    QCOMPARE(heading[0].text, QStringLiteral("后厨单 第12号"));
    QCOMPARE(mark.size(), 1);
    QVERIFY2(mark[0].text.startsWith(QStringLiteral("★退：红烧")), qPrintable(mark[0].text));
    QCOMPARE(quantity.size(), 1);
    QCOMPARE(quantity[0].text, QStringLiteral("×1.5"));
    QCOMPARE(quantity[0].box.top(), mark[0].box.top());
    QVERIFY(mark[0].reversed && quantity[0].reversed);
    QCOMPARE(mark[0].font.pointSizeF(), 14.0);
}

// 14 pt on rolls narrower than 80 mm, 16 pt on 80 mm (which a printer gives
// in whole points), on sheets and when the paper is not known.
void TstKitchen::typeSizeForTheRoll()
{
    for (const auto &[width, points] : {std::pair{58.0, 14.0}, {76.0, 14.0}, {226 * 25.4 / 72, 16.0}, {80.0, 16.0},
                                        {210.0, 16.0}, {0.0, 16.0}})
        QVERIFY2(bill::kitchenPoints(width) == points, qPrintable(QString::number(width)));
    QCOMPARE(bill::kitchenPoints(QPrinterInfo()), 16.0);
}

// main() points CUPS at a server that is not there.
void TstKitchen::kitchenPrinterFailuresAreTold()
{
    const roll::Page text = roll::textPage(QStringLiteral("后厨单 第1号"), 16);
    QVERIFY(bill::printOnPrinter(QString(), text, 16).contains(QStringLiteral("没有选定厨房打印机")));
    const QString failure = bill::printOnPrinter(QStringLiteral("厨房"), text, 16);
    QVERIFY2(failure.startsWith(QStringLiteral("厨房打印机“厨房”")), qPrintable(failure));
    QVERIFY2(failure.contains(QStringLiteral("无法连接打印服务")), qPrintable(failure));
}

// Kept in shop.ini; a printer saved but no longer installed stays chosen, so
// that saving the window again does not drop it.
void TstKitchen::kitchenPrinterSetting()
{
    QCOMPARE(payment::kitchenPrinterChoices({QStringLiteral("厨房")}, QStringLiteral("厨房")).size(), 2);
    QTemporaryDir folder;
    payment::ShopSettings shop;
    shop.name = QStringLiteral("老王面馆");
    shop.kitchenPrinter = QStringLiteral("旧厨房");
    payment::ShopWindow window(shop, nullptr, folder.path());
    auto *combo = window.findChild<QComboBox *>(QStringLiteral("KitchenPrinter"));
    QVERIFY(combo);
    QCOMPARE(combo->itemText(0), QStringLiteral("（不用）"));
    QCOMPARE(combo->currentText(), QStringLiteral("旧厨房（未安装）"));
    QCOMPARE(testsupport::answerModals(testsupport::acceptingMessageBox(), [&] { window.save(); }), 0);
    QCOMPARE(payment::loadShop(folder.path()).kitchenPrinter, shop.kitchenPrinter);

    combo->setCurrentIndex(0);
    window.save();
    QCOMPARE(payment::loadShop(folder.path()).kitchenPrinter, QString());
}

void TstKitchen::ticketNumbersNeverRepeatOrSkipInADay()
{
    QTemporaryDir folder;
    const QDate today = QDate::currentDate();
    {
        QSettings stored(payment::shopFile(folder.path()), QSettings::IniFormat);
        stored.setValue(QStringLiteral("kitchen/day"), today.toString(QStringLiteral("yyyyMMdd")));
        stored.setValue(QStringLiteral("kitchen/last"), 7);
    }
    // A ticket takes the upcoming number; only one handed to the spooler uses it.
    auto ticket = [](const QDate &day, bool spooled, const QString &in) {
        const int number = payment::upcomingKitchenTicketNumber(day, in);
        if (spooled)
            payment::kitchenTicketUsed(day, number, in);
        return number;
    };
    QCOMPARE(ticket(today, true, folder.path()), 8);  // goes on from the file
    QCOMPARE(ticket(today, false, folder.path()), 9);  // did not print
    QCOMPARE(ticket(today, true, folder.path()), 9);   // so no number is skipped
    QCOMPARE(ticket(today.addDays(-1), true, folder.path()), 10);  // the clock put back
    QCOMPARE(ticket(today.addDays(1), true, folder.path()), 1);
    QThreadPool::globalInstance()->waitForDone();
    const QSettings stored(payment::shopFile(folder.path()), QSettings::IniFormat);
    QCOMPARE(stored.value(QStringLiteral("kitchen/last")).toInt(), 1);
    QCOMPARE(stored.value(QStringLiteral("kitchen/day")).toString(), today.addDays(1).toString(QStringLiteral("yyyyMMdd")));

    // A file that cannot be written: counted on in memory.
    const QString blocked = QDir(folder.path()).filePath(QStringLiteral("blocked"));
    QFile blocker(blocked);
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    QCOMPARE(ticket(today.addDays(1), true, blocked), 2);
    QThreadPool::globalInstance()->waitForDone();
    QCOMPARE(ticket(today.addDays(1), true, folder.path()), 3);
    QThreadPool::globalInstance()->waitForDone();  // written before the folder goes
}

int main(int argc, char *argv[])
{
    // No print service: a CUPS server that is not there. Set before anything
    // asks CUPS.
    qputenv("CUPS_SERVER", QByteArray("/nonexistent/tavelko-test/cups.sock"));
    QApplication app(argc, argv);
    app.setAttribute(Qt::AA_Use96Dpi, true);
    TstKitchen test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_kitchen.moc"
