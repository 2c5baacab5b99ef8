// Several tables at once: an order put aside under a name (挂单) comes back
// (取单) into the sheets and the main window as it was, a name in use is
// refused, a price changed meanwhile is told once, and an order on the
// windows is put aside first or left alone; a table keeps one identity from
// 挂单 to its end, in the till and in the journal. A 结账 whose kitchen ticket
// did not print stops before the payment and asks.

#include "journal/journal.h"
#include "journal/journal_service.h"
#include "main_window/form2.h"
#include "payment/payment_window.h"
#include "payment/shop_settings.h"
#include "shell/program.h"
#include "sheets/order_sheet.h"
#include "sheets/sheet_design.h"
#include "testsupport.h"
#include "till/current_order.h"
#include "till/open_orders.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

using namespace testsupport;

namespace {

const sheet::DishRow &row1 = sheet::dishRows()[0];

// Dish 1 of `category`, small, at `price`, `times` over, handed on by "关闭".
void sell(int category, const QString &price, int times)
{
    OrderSheet &sheet = openCategory(category);
    set(sheet, row1.dishName, QStringLiteral("牛肉面"));
    set(sheet, row1.smallPrice, price);
    press(sheet, row1.buttons[1].name, times);
    press(sheet, QStringLiteral("Command2"));
}

// Answers the dialogs in turn, one step each: "name:3" types a name into 挂单
// and confirms, "pick:3号桌" chooses that order in 取单, "button:先挂单"
// presses that button of a message box (whose text goes to `told`), "pay:50"
// takes 50 in cash in 结账 (no receipt printed), "cancel" rejects. A dialog with no step left is cancelled. Each answer is queued, so
// that a dialog it opens in turn is answered too.
struct Script {
    QStringList steps;
    QStringList told;

    void operator()(QWidget *dialog)
    {
        QMetaObject::invokeMethod(dialog, [this, dialog] { answer(dialog); }, Qt::QueuedConnection);
    }

    void answer(QWidget *dialog)
    {
        const QString step = steps.isEmpty() ? QStringLiteral("cancel") : steps.takeFirst();
        const QString what = step.section(u':', 0, 0), value = step.section(u':', 1);
        if (auto *box = qobject_cast<QMessageBox *>(dialog)) {
            told << box->text();
            for (QAbstractButton *b : box->buttons())
                if (what == u"button" ? b->text() == value : box->buttonRole(b) != QMessageBox::RejectRole) {
                    b->click();
                    return;
                }
        }
        if (what == u"name") {
            dialog->findChild<QComboBox *>()->setEditText(value);
            dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->click();
        } else if (what == u"pick") {
            auto *list = dialog->findChild<QTreeWidget *>();
            const QList<QTreeWidgetItem *> found = list->findItems(value, Qt::MatchExactly, 0);
            QVERIFY2(!found.isEmpty(), qPrintable(value));
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(found[0]).center());
        } else if (auto *pay = qobject_cast<payment::PaymentWindow *>(dialog); pay && what == u"pay") {
            pay->findChild<QCheckBox *>(QStringLiteral("PrintReceiptChoice"))->setChecked(false);
            pay->cashField()->setText(value);
            pay->confirm();
        } else {
            QMetaObject::invokeMethod(dialog, "reject");
        }
    }
};

int run(Script &script, const QString &mainButton)
{
    return answerModals(std::ref(script), [&] { pressMain(mainButton); });
}

// The orders on the windows as the journal's file holds them, read by
// another connection: "total:dishes on sheet 1:kitchen's share of sheet 1".
QString keptOnWindows()
{
    QStringList kept;
    for (const journal::CurrentOrder &c : journal::Journal().currentOrders().value_or(QList<journal::CurrentOrder>{})) {
        const std::optional<till::HeldOrder> held = till::fromCurrent(c);
        kept << QStringLiteral("%1:%2:%3")
                    .arg(c.total)
                    .arg(held && !held->dishes.isEmpty() ? held->dishes[0].smallQuantity : -1)
                    .arg(held && !held->sentToKitchen.isEmpty() ? held->sentToKitchen[0].smallQuantity : 0);
    }
    return kept.join(u' ');
}

QString quantity(int category)
{
    return text(orderSheet(category), row1.smallQuantity);
}

// The journal has written every change handed to it.
bool journalCaughtUp()
{
    const journal::JournalService &service = journal::programJournalService();
    return service.pendingCount() + service.pendingOpenCount() == 0;
}

// The open orders the journal keeps, as the next start reads them.
QList<journal::OpenOrder> keptInJournal()
{
    return journal::Journal(journal::defaultFolder(), journal::Journal::Mode::Reading)
        .openOrders()
        .value_or(QList<journal::OpenOrder>{});
}

QString namesKept()
{
    QStringList names;
    for (const journal::OpenOrder &open : keptInJournal())
        names << open.name;
    return names.join(QStringLiteral(", "));
}

}  // namespace

class TstTables : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // No print service: a CUPS server that is not there.
        qputenv("CUPS_SERVER", QByteArray("/nonexistent/tavelko-test/cups.sock"));
    }
    void init()
    {
        clearStore();
        QDir(journal::defaultFolder()).removeRecursively();
    }
    void aNameInUseIsRefused();
    void aPriceChangedWhileAsideIsToldOnce();
    void bringingBackOverAnOrderAsksFirst();
    void aTableKeepsOneIdentity();
    void checkoutWithATicketNotPrintedAsks_data();
    void checkoutWithATicketNotPrintedAsks();
    void theOrderOnTheWindowsComesBackAfterACrash();
    void theTableBroughtBackIsShownUntilTheOrderGoes_data();
    void theTableBroughtBackIsShownUntilTheOrderGoes();
};

void TstTables::aNameInUseIsRefused()
{
    Program program;
    program.openOrders().load({});  // as the journal answers at start: none put aside
    form2().showForm();
    Script script;
    script.steps = {QStringLiteral("cancel")};
    QCOMPARE(run(script, QStringLiteral("HoldButton")), 1);  // nothing ordered: told, nothing asked
    QVERIFY(script.told.value(0).contains(QStringLiteral("没有点菜")));

    sell(1, QStringLiteral("10"), 1);
    script = {{QStringLiteral("name: 3 ")}, {}};
    run(script, QStringLiteral("HoldButton"));
    QCOMPARE(mainText(QStringLiteral("L7")), QStringLiteral("0"));  // cleared for the next customer

    sell(1, QStringLiteral("10"), 2);
    script = {{QStringLiteral("name:3号桌"), QStringLiteral("ok"), QStringLiteral("cancel")}, {}};
    QCOMPARE(run(script, QStringLiteral("HoldButton")), 3);
    QVERIFY2(script.told.value(0).contains(QStringLiteral("“3号桌”已经有一张挂单")), qPrintable(script.told.join('|')));
    QCOMPARE(mainText(QStringLiteral("L7")), QStringLiteral("20"));  // refused and cancelled: still on the windows
    QCOMPARE(quantity(1), QStringLiteral("2"));
    program.end();
    settleQuitRequest();
}

void TstTables::aPriceChangedWhileAsideIsToldOnce()
{
    Program program;
    program.openOrders().load({});  // as the journal answers at start: none put aside
    form2().showForm();
    sell(1, QStringLiteral("12"), 2);
    sell(2, QStringLiteral("5"), 1);
    pressMain(QStringLiteral("Command2"));  // 清单
    const QString label3 = mainText(QStringLiteral("Label3"));
    Script script{{QStringLiteral("name:外卖 王")}, {}};
    run(script, QStringLiteral("HoldButton"));
    QCOMPARE(mainText(QStringLiteral("L7")), QStringLiteral("0"));

    OrderSheet &sheet = openCategory(1);  // the owner changes a price meanwhile
    set(sheet, row1.smallPrice, QStringLiteral("14"));
    press(sheet, QStringLiteral("Command2"));

    script = {{QStringLiteral("pick:外卖 王")}, {}};
    QCOMPARE(run(script, QStringLiteral("RecallButton")), 2);  // the list, then the notice
    QCOMPARE(script.told.size(), 1);
    QVERIFY2(script.told[0].contains(QStringLiteral("牛肉面 小份 12 → 14")), qPrintable(script.told[0]));
    QVERIFY(!script.told[0].contains(QStringLiteral(" 5 → ")));  // the other category's price stands
    QCOMPARE(quantity(1), QStringLiteral("2"));
    QCOMPARE(text(orderSheet(1), row1.lineTotal), QStringLiteral("28"));  // at today's price
    QCOMPARE(orderSheet(1).subtotal(), QStringLiteral("28"));
    QCOMPARE(mainText(QStringLiteral("L1")), QStringLiteral("28"));
    QCOMPARE(mainText(QStringLiteral("L2")), QStringLiteral("5"));
    QCOMPARE(mainText(QStringLiteral("L7")), QStringLiteral("33"));
    QCOMPARE(mainText(QStringLiteral("Label3")), QString(label3).replace(QStringLiteral("24"), QStringLiteral("28")));

    script = {{QStringLiteral("name:外卖 王")}, {}};  // aside again, under its own name
    run(script, QStringLiteral("HoldButton"));
    script = {{QStringLiteral("pick:外卖 王")}, {}};
    QCOMPARE(run(script, QStringLiteral("RecallButton")), 1);  // nothing changed now: nothing told
    QCOMPARE(mainText(QStringLiteral("L7")), QStringLiteral("33"));
    program.end();
    settleQuitRequest();
}

void TstTables::bringingBackOverAnOrderAsksFirst()
{
    Program program;
    program.openOrders().load({});  // as the journal answers at start: none put aside
    form2().showForm();
    sell(1, QStringLiteral("10"), 1);
    Script script{{QStringLiteral("name:3")}, {}};
    run(script, QStringLiteral("HoldButton"));
    sell(1, QStringLiteral("10"), 4);

    script = {{QStringLiteral("button:取消")}, {}};
    QCOMPARE(run(script, QStringLiteral("RecallButton")), 1);
    QVERIFY(script.told.value(0).contains(QStringLiteral("先把它挂起")));
    QCOMPARE(quantity(1), QStringLiteral("4"));  // left alone

    script = {{QStringLiteral("button:先挂单"), QStringLiteral("name:5"), QStringLiteral("pick:3号桌")}, {}};
    QCOMPARE(run(script, QStringLiteral("RecallButton")), 3);
    QCOMPARE(quantity(1), QStringLiteral("1"));  // table 3 back
    QCOMPARE(mainText(QStringLiteral("L7")), QStringLiteral("10"));

    pressMain(QStringLiteral("Command1"));  // 一键归零 ends table 3
    script = {{QStringLiteral("pick:5号桌")}, {}};
    QCOMPARE(run(script, QStringLiteral("RecallButton")), 1);
    QCOMPARE(quantity(1), QStringLiteral("4"));
    QCOMPARE(mainText(QStringLiteral("L7")), QStringLiteral("40"));
    program.end();
    settleQuitRequest();
}

// Brought back, table 3 is no longer offered in 取单; put aside again under
// its own name it replaces itself; the next customer's order leaves it
// alone; what the journal keeps of it (its last row too) comes back whole at
// the next start; ended on the windows, cleared or emptied, it is gone from
// the journal.
void TstTables::aTableKeepsOneIdentity()
{
    Program program;
    program.openOrders().load({});
    form2().showForm();
    const sheet::DishRow &row14 = sheet::dishRows()[sheet::rowCount - 1];
    sell(1, QStringLiteral("10"), 1);
    OrderSheet &sheet = openCategory(1);
    set(sheet, row14.dishName, QStringLiteral("饺子"));
    set(sheet, row14.smallPrice, QStringLiteral("5"));
    press(sheet, row14.buttons[1].name);
    press(sheet, QStringLiteral("Command2"));
    Script script{{QStringLiteral("name:3")}, {}};
    run(script, QStringLiteral("HoldButton"));
    script = {{QStringLiteral("pick:3号桌")}, {}};
    run(script, QStringLiteral("RecallButton"));
    QCOMPARE(mainText(QStringLiteral("L7")), QStringLiteral("15"));
    script = {};
    QCOMPARE(run(script, QStringLiteral("RecallButton")), 1);
    QVERIFY2(script.told.value(0).contains(QStringLiteral("现在没有挂单")), qPrintable(script.told.join('|')));

    sell(1, QStringLiteral("10"), 1);
    script = {{QStringLiteral("name:3号桌")}, {}};
    QCOMPARE(run(script, QStringLiteral("HoldButton")), 1);  // its own name: not refused
    QCOMPARE(mainText(QStringLiteral("L7")), QStringLiteral("0"));
    sell(2, QStringLiteral("8"), 1);  // the next customer, cleared
    pressMain(QStringLiteral("Command1"));
    QCOMPARE(program.openOrders().waiting().size(), 1);
    QTRY_VERIFY_WITH_TIMEOUT(journalCaughtUp(), 10000);
    QCOMPARE(namesKept(), QStringLiteral("3号桌"));
    till::OpenOrders restarted;
    restarted.load(keptInJournal());
    const QList<till::HeldDish> dishes = restarted.waiting().value(0).dishes;
    QCOMPARE(dishes.size(), 2);
    QCOMPARE(dishes, program.openOrders().waiting().value(0).dishes);

    script = {{QStringLiteral("pick:3号桌")}, {}};
    run(script, QStringLiteral("RecallButton"));
    QCOMPARE(mainText(QStringLiteral("L7")), QStringLiteral("25"));
    pressMain(QStringLiteral("Command1"));  // ends on the windows
    sell(1, QStringLiteral("10"), 1);
    script = {{QStringLiteral("name:5")}, {}};
    run(script, QStringLiteral("HoldButton"));
    script = {{QStringLiteral("pick:5号桌")}, {}};
    run(script, QStringLiteral("RecallButton"));
    OrderSheet &again = openCategory(1);
    press(again, row1.buttons[0].name);  // emptied
    press(again, QStringLiteral("Command2"));
    QCOMPARE(mainText(QStringLiteral("L7")), QStringLiteral("0"));
    pressMain(QStringLiteral("Command1"));
    QVERIFY(program.openOrders().waiting().isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(journalCaughtUp(), 10000);
    QCOMPARE(namesKept(), QString());
    program.end();
    settleQuitRequest();
}

void TstTables::theTableBroughtBackIsShownUntilTheOrderGoes_data()
{
    QTest::addColumn<QString>("press");
    QTest::addColumn<QStringList>("answers");
    QTest::newRow("一键归零") << QStringLiteral("Command1") << QStringList{};
    QTest::newRow("挂单") << QStringLiteral("HoldButton") << QStringList{"name:5"};
    QTest::newRow("结账") << QStringLiteral("CheckoutButton") << QStringList{"pay:50"};
}

void TstTables::theTableBroughtBackIsShownUntilTheOrderGoes()
{
    QFETCH(QString, press);
    QFETCH(QStringList, answers);
    Program program;
    program.openOrders().load({});
    form2().showForm();
    sell(1, QStringLiteral("10"), 1);
    Script script{{QStringLiteral("name:3")}, {}};
    run(script, QStringLiteral("HoldButton"));
    QLabel *table = form2().label(QStringLiteral("TableShown"));
    QVERIFY(!table->isVisible());

    script = {{QStringLiteral("pick:3号桌")}, {}};
    run(script, QStringLiteral("RecallButton"));
    QVERIFY(table->isVisible());
    QCOMPARE(table->text(), QStringLiteral("桌号：3号桌"));
    // Where the design has nothing: no control of the window lies under it,
    // shown or not.
    for (const QWidget *other : form2().findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
        if (other != table && !other->isWindow())
            QVERIFY2(!other->geometry().intersects(table->geometry()), qPrintable(other->objectName()));

    script = {answers, {}};
    run(script, press);
    QCOMPARE(mainText(QStringLiteral("L7")), QStringLiteral("0"));  // the order has gone
    QVERIFY(!table->isVisible());
    program.end();
    settleQuitRequest();
}

void TstTables::checkoutWithATicketNotPrintedAsks_data()
{
    QTest::addColumn<QStringList>("answers");
    QTest::addColumn<int>("asked");    // how often 厨房单没有打印 asked
    QTest::addColumn<bool>("paying");  // the 结账 window opened (and is cancelled)
    QTest::newRow("取消") << QStringList{"button:取消"} << 1 << false;
    QTest::newRow("重试, then 取消") << QStringList{"button:重试", "button:取消"} << 2 << false;
    QTest::newRow("仍然结账") << QStringList{"button:仍然结账", "cancel"} << 1 << true;
}

void TstTables::checkoutWithATicketNotPrintedAsks()
{
    QFETCH(QStringList, answers);
    QFETCH(int, asked);
    QFETCH(bool, paying);
    payment::ShopSettings shop;
    shop.kitchenPrinter = QStringLiteral("厨房");
    QVERIFY(payment::saveShop(shop).isEmpty());
    Program program;
    program.openOrders().load({});
    form2().showForm();
    sell(1, QStringLiteral("10"), 1);
    Script script{answers, {}};
    QCOMPARE(run(script, QStringLiteral("CheckoutButton")), asked + int(paying));
    QCOMPARE(script.told.size(), asked);
    for (const QString &told : std::as_const(script.told))
        QVERIFY2(told.startsWith(QStringLiteral("厨房单没有打印：")) &&
                     told.contains(QStringLiteral("厨房还没有收到：\n牛肉面 小份 ×1\n")),
                 qPrintable(told));
    QCOMPARE(mainText(QStringLiteral("L7")), QStringLiteral("10"));  // not paid: still on the windows
    // A ticket that never reached the spooler used no number.
    QCOMPARE(payment::upcomingKitchenTicketNumber(QDate::currentDate()), 1);
    program.end();
    settleQuitRequest();
}

// Table 3 brought back and extended, its bill built, when the program
// dies: the next start brings it back onto the windows as it was, with what
// the kitchen has, still table 3; once cleared it is recorded once and never
// comes back.
void TstTables::theOrderOnTheWindowsComesBackAfterACrash()
{
    QString bill;
    {
        Program program;  // goes without ending its order, as a crash would
        program.openOrders().load({});
        form2().showForm();
        sell(1, QStringLiteral("10"), 1);
        Script script{{QStringLiteral("name:3")}, {}};
        run(script, QStringLiteral("HoldButton"));
        script = {{QStringLiteral("pick:3号桌")}, {}};
        run(script, QStringLiteral("RecallButton"));
        sell(1, QStringLiteral("10"), 2);  // one more, handed on
        pressMain(QStringLiteral("Command2"));  // 清单
        bill = mainText(QStringLiteral("Label2"));
        QTRY_COMPARE(keptOnWindows(), u"3000:3:0"_qs);
    }
    // What the kitchen had been sent stays with it.
    QList<journal::CurrentOrder> stored = journal::Journal().currentOrders().value_or(QList<journal::CurrentOrder>{});
    QCOMPARE(stored.size(), 1);
    std::optional<till::HeldOrder> held = till::fromCurrent(stored[0]);
    QVERIFY(held);
    held->sentToKitchen = held->dishes;
    held->sentToKitchen[0].smallQuantity = 2;
    stored[0] = till::toCurrent(stored[0].uid, *held);

    Program program;
    program.openOrders().load(journal::Journal().openOrders().value_or(QList<journal::OpenOrder>{}));
    QCOMPARE(form2().restoreOnWindows(stored), u"上次未完成的订单已恢复：合计 30 元"_qs);
    form2().showForm();
    QCOMPARE(quantity(1), u"3"_qs);
    QCOMPARE(mainText(QStringLiteral("L7")), u"30"_qs);
    QCOMPARE(mainText(QStringLiteral("Label2")), bill);
    QVERIFY(program.openOrders().waiting().isEmpty());  // on the windows, not offered again
    QTRY_COMPARE(keptOnWindows(), u"3000:3:2"_qs);
    QCOMPARE(form2().restoreOnWindows(stored), QString());  // this run's own: once only

    pressMain(QStringLiteral("Command1"));  // 一键归零 ends table 3
    QTRY_COMPARE(keptOnWindows(), QString());
    const QList<journal::Order> orders = journal::Journal().ordersOf(QDate::currentDate()).value_or(QList<journal::Order>{});
    QCOMPARE(orders.size(), 1);
    QCOMPARE(orders[0].grandTotal, 30.0);
    QVERIFY(journal::Journal().openOrders().value_or(QList<journal::OpenOrder>{{}}).isEmpty());
    program.end();
    settleQuitRequest();
}

QTEST_MAIN(TstTables)
#include "tst_tables.moc"
