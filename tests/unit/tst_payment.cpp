// Taking the money: the arithmetic of 结账 exact to the 分, the 结账 window
// as a cashier works it, the receipt's text, the order in progress that the
// journal gets, and the figures of a 交班.

#include "main_window/form2.h"
#include "payment/cash_up.h"
#include "payment/checkout.h"
#include "payment/payment_window.h"
#include "payment/receipt.h"
#include "payment/shop_settings.h"
#include "payment/shop_window.h"
#include "shell/program.h"
#include "sheets/order_sheet.h"
#include "sheets/sheet_design.h"
#include "testsupport.h"
#include "till/order_in_progress.h"

#include <QDir>
#include <QFile>

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

using namespace payment;
using journal::Fen;
using journal::PaymentPart;

namespace {

const QString cash = QStringLiteral("现金");
const QString wechat = QStringLiteral("微信");

// "现金:3800 微信:5000" -> the parts, in that order.
QList<PaymentPart> parts(const QString &text)
{
    QList<PaymentPart> list;
    for (const QString &part : text.split(u' ', Qt::SkipEmptyParts))
        list.append({part.section(u':', 0, 0), part.section(u':', 1).toLongLong()});
    return list;
}

QString partsText(const QList<PaymentPart> &list)
{
    QStringList text;
    for (const PaymentPart &p : list)
        text << QStringLiteral("%1:%2").arg(p.method).arg(p.amount);
    return text.join(u' ');
}

journal::Order paidOrder(const QString &receipt, Fen total, Fen rounding, const QString &paidWith,
                         Fen cashGiven)
{
    journal::Order order;
    order.receiptNumber = receipt;
    order.status = journal::OrderStatus::Paid;
    order.endedAt = QDateTime(QDate(2026, 12, 7), QTime(12, 30));
    order.grandTotal = total / 100.0;
    order.lines = {{1, QStringLiteral("面条"), QStringLiteral("牛肉面"), 2, QStringLiteral("小份"), 1,
                    QStringLiteral("大份"), order.grandTotal}};
    journal::Payment p;
    p.total = total;
    p.rounding = rounding;
    p.due = total - rounding;
    p.parts = parts(paidWith);
    p.cashGiven = cashGiven;
    Fen cashPart = 0;
    for (const PaymentPart &part : p.parts)
        if (part.method == cash)
            cashPart += part.amount;
    p.change = cashGiven - cashPart;
    order.payment = p;
    return order;
}

}  // namespace

class TstPayment : public QObject {
    Q_OBJECT

private slots:
    void settling_data();
    void settling();
    void amountsAsTyped();
    void cashUpCountsTheDrawer();
    void paymentWindowAsTheCashierWorksIt();
    void receiptCarriesShopNumberMethodsAndChange();
    void orderInProgressBecomesTheJournalsOrder();
    void mainWindowTakesTheMoneyAndRecordsIt();
    void shopSettingsSavedOrTold();
};

void TstPayment::settling_data()
{
    QTest::addColumn<Fen>("total");
    QTest::addColumn<int>("rate");  // 0: no discount; else per mille paid
    QTest::addColumn<Fen>("amountOff");
    QTest::addColumn<int>("rounding");  // Rounding::Kind
    QTest::addColumn<QString>("tenders");
    QTest::addColumn<Fen>("due");
    QTest::addColumn<QString>("paid");  // the parts, or the refusal
    QTest::addColumn<Fen>("change");

    QTest::newRow("40.5 抹零 to 40, 50 in cash") << Fen(4050) << 0 << Fen(0) << int(Rounding::ToYuan)
                                               << "现金:5000" << Fen(4000) << "现金:4000" << Fen(1000);
    QTest::newRow("88 split 微信 50 + 现金 38") << Fen(8800) << 0 << Fen(0) << int(Rounding::None)
                                            << "微信:5000 现金:3800" << Fen(8800) << "微信:5000 现金:3800" << Fen(0);
    QTest::newRow("9折 of 88") << Fen(8800) << 900 << Fen(0) << int(Rounding::None) << "支付宝:7920"
                              << Fen(7920) << "支付宝:7920" << Fen(0);
    QTest::newRow("8.8折 of 40.5 rounds half up to the 分") << Fen(4050) << 880 << Fen(0) << int(Rounding::None)
                                                          << "现金:3564" << Fen(3564) << "现金:3564" << Fen(0);
    QTest::newRow("抹零 to the 角") << Fen(4057) << 0 << Fen(0) << int(Rounding::ToJiao) << "现金:10000"
                                  << Fen(4050) << "现金:4050" << Fen(5950);
    QTest::newRow("split with change from the cash") << Fen(8800) << 0 << Fen(0) << int(Rounding::None)
                                                     << "微信:5000 现金:5000" << Fen(8800) << "微信:5000 现金:3800" << Fen(1200);
    QTest::newRow("short payment refused") << Fen(4050) << 0 << Fen(0) << int(Rounding::None) << "现金:4000"
                                           << Fen(4050) << "还差 0.5 元" << Fen(0);
    QTest::newRow("non-cash more than due refused") << Fen(8800) << 0 << Fen(0) << int(Rounding::None)
                                                    << "微信:9000" << Fen(8800) << "只有现金可以找零" << Fen(0);
    QTest::newRow("an amount off larger than the total leaves 0") << Fen(4050) << 0 << Fen(5000) << int(Rounding::ToYuan)
                                                                  << "" << Fen(0) << "" << Fen(0);
}

void TstPayment::settling()
{
    QFETCH(Fen, total);
    QFETCH(int, rate);
    QFETCH(Fen, amountOff);
    QFETCH(int, rounding);
    QFETCH(QString, tenders);
    QFETCH(Fen, due);
    QFETCH(QString, paid);
    QFETCH(Fen, change);

    const Discount discount = rate ? Discount::rate(rate) : amountOff ? Discount::off(amountOff) : Discount{};
    const Due figures = dueOf(total, discount, {Rounding::Kind(rounding), 0});
    QCOMPARE(figures.due, due);
    QCOMPARE(figures.discount + figures.rounding + figures.due, total);

    QList<Tender> taken;
    for (const PaymentPart &p : parts(tenders))
        taken.append({p.method, p.amount});
    const auto settled = settle(figures, discount, taken);
    if (const auto *refused = std::get_if<QString>(&settled)) {
        QVERIFY2(refused->contains(paid), qPrintable(*refused));
        return;
    }
    const journal::Payment &payment = std::get<journal::Payment>(settled);
    QCOMPARE(partsText(payment.parts), paid);
    QCOMPARE(payment.change, change);
    Fen sum = 0;
    for (const PaymentPart &p : payment.parts)
        sum += p.amount;
    QCOMPARE(sum, payment.due);
    if (rate)
        QCOMPARE(payment.discountLabel, discount.label());
}

void TstPayment::amountsAsTyped()
{
    QCOMPARE(parseYuan(QStringLiteral("40.5")), std::optional<Fen>(4050));
    QCOMPARE(parseYuan(QStringLiteral(" 12。5")), std::optional<Fen>(1250));
    QCOMPARE(parseYuan(QStringLiteral("0.05")), std::optional<Fen>(5));
    for (const char *bad : {"", "1.234", "-1", "abc", "1e3", "."})
        QVERIFY2(!parseYuan(QString::fromUtf8(bad)), bad);
    QCOMPARE(parseRate(QStringLiteral("8.8")), std::optional<int>(880));
    QVERIFY(!parseRate(QStringLiteral("10")));
    QCOMPARE(yuanText(4050), QStringLiteral("40.5"));
    QCOMPARE(yuanText(5), QStringLiteral("0.05"));
    QCOMPARE(quickAmounts(3800), (QList<Fen>{3800, 4000, 5000, 10000}));
}

void TstPayment::cashUpCountsTheDrawer()
{
    journal::Order unpaid;
    unpaid.grandTotal = 20;
    journal::Order voided = paidOrder(QStringLiteral("v"), 1000, 0, QStringLiteral("现金:1000"), 1000);
    voided.status = journal::OrderStatus::Voided;
    const QList<journal::Order> orders{
        paidOrder(QStringLiteral("1"), 4050, 50, QStringLiteral("现金:4000"), 5000),
        paidOrder(QStringLiteral("2"), 8800, 0, QStringLiteral("微信:5000 现金:3800"), 3800), unpaid, voided};
    journal::CashUp up = cashUpFigures(orders, 20000, standardMethods());
    QCOMPARE(up.paidCount, 2);
    QCOMPARE(up.unpaidCount, 1);
    QCOMPARE(up.unpaidTotal, Fen(2000));
    QCOMPARE(up.voidedCount, 1);
    QCOMPARE(up.paidTotal, Fen(12800));
    QCOMPARE(up.roundings, Fen(50));
    QCOMPARE(partsText(up.byMethod), QStringLiteral("现金:7800 微信:5000 支付宝:0 银行卡:0"));
    QCOMPARE(up.expectedCash, Fen(20000 + 8800 - 1000));  // 备用金 + cash taken - change

    countCash(up, up.expectedCash - 200);
    QCOMPARE(differenceText(up.difference), QStringLiteral("短款 2"));
    // Counted note by note: 2 x 100, 1 x 50, 2 x 10, 5 x 1, 3 x 0.1 = 275.3.
    countCash(up, QList<QPair<Fen, int>>{{10000, 2}, {5000, 1}, {1000, 2}, {100, 5}, {10, 3}});
    QCOMPARE(up.countedCash, Fen(27530));
    QCOMPARE(differenceText(up.difference), QStringLiteral("短款 2.7"));
    QVERIFY(cashUpText(up).contains(QStringLiteral("短款 2.7")));
}

void TstPayment::paymentWindowAsTheCashierWorksIt()
{
    ShopSettings shop;
    shop.extraMethods = {QStringLiteral("美团")};
    {
        PaymentWindow window(4050, shop);
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QCOMPARE(QApplication::focusWidget(), window.cashField());
        window.findChild<QComboBox *>(QStringLiteral("RoundingChoice"))->setCurrentIndex(1);  // 抹到元
        QCOMPARE(window.findChild<QLabel *>(QStringLiteral("DueValue"))->text(), QStringLiteral("40"));
        QTest::keyClicks(window.cashField(), QStringLiteral("30"));
        QString refusal;
        QCOMPARE(testsupport::answerModals(testsupport::acceptingMessageBox(&refusal),
                                           [&] { QTest::keyClick(window.cashField(), Qt::Key_Return); }), 1);
        QCOMPARE(refusal, QStringLiteral("还差 10 元"));
        QVERIFY(window.isVisible());
        QTest::mouseClick(window.findChild<QPushButton *>(QStringLiteral("KeyClear")), Qt::LeftButton);
        QTest::mouseClick(window.findChild<QPushButton *>(QStringLiteral("Key5")), Qt::LeftButton);
        QTest::mouseClick(window.findChild<QPushButton *>(QStringLiteral("Key0")), Qt::LeftButton);
        QLabel *change = window.findChild<QLabel *>(QStringLiteral("ChangeValue"));
        QCOMPARE(change->text(), QStringLiteral("找零 10"));
        QVERIFY(change->accessibleName().contains(QStringLiteral("找零 10")));
        QTest::keyClick(window.cashField(), Qt::Key_Return);
        QCOMPARE(window.result(), int(QDialog::Accepted));
        QCOMPARE(partsText(window.payment().parts), QStringLiteral("现金:4000"));
        QCOMPARE(window.payment().cashGiven, Fen(5000));
    }
    {
        // A second method takes the rest: 38 in cash typed, 微信 then takes 50.
        PaymentWindow window(8800, shop);
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QTest::keyClicks(window.cashField(), QStringLiteral("38"));
        QTest::mouseClick(window.findChild<QPushButton *>(QStringLiteral("MethodButton2")), Qt::LeftButton);
        QCOMPARE(window.findChild<QLineEdit *>(QStringLiteral("MethodAmount2"))->text(), QStringLiteral("50"));
        QCOMPARE(window.findChild<QPushButton *>(QStringLiteral("MethodButton5"))->text(), QStringLiteral("美团"));
        QTest::keyClick(&window, Qt::Key_Escape);
        QCOMPARE(window.result(), int(QDialog::Rejected));
    }
}

void TstPayment::receiptCarriesShopNumberMethodsAndChange()
{
    ShopSettings shop;
    shop.name = QStringLiteral("老王面馆");
    shop.phone = QStringLiteral("0571-88886666");
    shop.footer = QStringLiteral("谢谢惠顾");
    const QString text = receiptText(
        paidOrder(QStringLiteral("20261207-0012"), 4050, 50, QStringLiteral("现金:4000"), 5000), shop);
    const QStringList lines = text.split(QStringLiteral("\r\n"));
    QCOMPARE(lines.mid(0, 3), (QStringList{QStringLiteral("老王面馆"), QStringLiteral("0571-88886666"),
                                           QStringLiteral("结账单")}));  // the blank address left out
    for (const char *expected : {"单号 20261207-0012", "时间 2026-12-07 12:30:00", "牛肉面 小份×2 大份×1 40.5",
                                 "合计  40.5", "抹零  -0.5", "应收  40", "现金  40", "实收现金  50", "找零  10"})
        QVERIFY2(lines.contains(QString::fromUtf8(expected)), expected);
    QCOMPARE(lines.last(), QStringLiteral("谢谢惠顾"));
    QVERIFY(!lines.contains(QString()) || lines.indexOf(QString()) == lines.size() - 2);  // only before the footer
    QCOMPARE(withShopName(QStringLiteral("第1位"), shop), QStringLiteral("老王面馆\r\n第1位"));
    QCOMPARE(withShopName(QStringLiteral("第1位"), ShopSettings{}), QStringLiteral("第1位"));
}

void TstPayment::orderInProgressBecomesTheJournalsOrder()
{
    QTemporaryDir folder;
    till::OrderInProgress order;
    order.setNumbering([&](const QDate &day) { return nextReceiptNumber(day, folder.path()); });
    QSignalSpy ended(&order, &till::OrderInProgress::ended);

    order.end(journal::OrderStatus::Unpaid);  // nothing ordered: nothing to keep
    QCOMPARE(ended.count(), 0);

    journal::OrderLine line{0, {}, QStringLiteral("牛肉面"), 2, QStringLiteral("小份"), 0, {}, 12};
    order.handOff(1, QStringLiteral("面条"), 12, {line});
    order.handOff(3, QStringLiteral("包子"), 8, {line});
    order.handOff(3, QStringLiteral("包子"), 0, {});  // handed on again, emptied
    order.billBuilt(4, QStringLiteral("第4位"));
    order.billPrinted();
    const journal::Order first = order.end(journal::OrderStatus::Unpaid);
    QCOMPARE(ended.count(), 1);
    QCOMPARE(first.lines.size(), 1);
    QCOMPARE(first.lines[0].categoryName, QStringLiteral("面条"));
    QCOMPARE(first.grandTotal, 12.0);
    QCOMPARE(first.billNumber, std::optional<int>(4));
    QVERIFY(first.printed && !first.copied);
    QVERIFY(!first.uid.isEmpty());
    const QString today = QDate::currentDate().toString(QStringLiteral("yyyyMMdd"));
    QCOMPARE(first.receiptNumber, today + QStringLiteral("-0001"));
    QVERIFY(order.isEmpty());

    // The numbering goes on past what the journal holds, and never repeats.
    continueReceiptNumbersAfter(today + QStringLiteral("-0041"));
    order.handOff(2, QStringLiteral("小炒"), 28, {line});
    journal::Payment paid;
    paid.total = paid.due = 2800;
    const journal::Order second = order.end(journal::OrderStatus::Paid, paid);
    QCOMPARE(second.receiptNumber, today + QStringLiteral("-0042"));
    QCOMPARE(second.payment->due, Fen(2800));
    QVERIFY(second.uid != first.uid);
}

void TstPayment::mainWindowTakesTheMoneyAndRecordsIt()
{
    testsupport::clearStore();
    QDir(journal::defaultFolder()).removeRecursively();
    QVERIFY(savePrintChoice(false).isEmpty());  // no printer here
    {
        Program program;
        form2().showForm();
        auto sell = [](int times) {
            OrderSheet &sheet = testsupport::openCategory(1);
            testsupport::set(sheet, sheet::dishRows()[0].smallPrice, QStringLiteral("6"));
            testsupport::press(sheet, sheet::dishRows()[0].buttons[1].name, times);
            testsupport::press(sheet, QStringLiteral("Command2"));
        };

        QString told;
        QCOMPARE(testsupport::answerModals(testsupport::acceptingMessageBox(&told),
                                           [] { testsupport::pressMain(QStringLiteral("CheckoutButton")); }), 1);
        QVERIFY2(told.contains(QStringLiteral("总计为 0")), qPrintable(told));

        sell(2);  // 12
        auto pay = [](QWidget *dialog) {
            if (auto *window = qobject_cast<PaymentWindow *>(dialog)) {
                window->cashField()->setText(QStringLiteral("20"));
                window->confirm();
            }
        };
        QCOMPARE(testsupport::answerModals(pay, [] { testsupport::pressMain(QStringLiteral("CheckoutButton")); }), 1);
        QCOMPARE(testsupport::mainText(QStringLiteral("L7")), QStringLiteral("0"));  // cleared as 一键归零 does
        QCOMPARE(orderSheet(1).subtotal(), QStringLiteral("0"));

        sell(1);  // 6, cleared unpaid
        testsupport::pressMain(QStringLiteral("Command1"));
        program.end();
        testsupport::settleQuitRequest();
    }
    journal::Journal reader(journal::defaultFolder(), journal::Journal::Mode::Reading);
    const QList<journal::Order> orders = reader.ordersOf(QDate::currentDate()).value_or(QList<journal::Order>{});
    QCOMPARE(orders.size(), 2);
    QCOMPARE(orders[0].status, journal::OrderStatus::Paid);
    QCOMPARE(partsText(orders[0].payment->parts), QStringLiteral("现金:1200"));
    QCOMPARE(orders[0].payment->change, Fen(800));
    QCOMPARE(orders[1].status, journal::OrderStatus::Unpaid);
    QCOMPARE(orders[1].grandTotal, 6.0);
    QVERIFY(orders[0].receiptNumber < orders[1].receiptNumber);
}

void TstPayment::shopSettingsSavedOrTold()
{
    QTemporaryDir data;
    const QString folder = data.filePath(QStringLiteral("Tavelko"));
    {
        QFile blocker(folder);  // a file where the folder belongs: nothing can be written
        QVERIFY(blocker.open(QIODevice::WriteOnly));
    }
    ShopSettings typed;
    typed.name = QStringLiteral("老王面馆");
    typed.extraMethods = {QStringLiteral("美团")};
    typed.printReceipt = false;
    ShopWindow window(typed, nullptr, folder);
    auto save = [&] {
        QString told;
        const int boxes = testsupport::answerModals(testsupport::acceptingMessageBox(&told), [&] { window.save(); });
        return boxes ? told : QString();
    };
    QVERIFY(save().contains(QStringLiteral("店铺信息未能保存")));
    QCOMPARE(window.result(), int(QDialog::Rejected));  // still open, nothing typed lost
    QCOMPARE(window.settings().name, typed.name);

    QVERIFY(QFile::remove(folder));
#ifdef Q_OS_UNIX
    // A pipe where shop.ini belongs: read as no settings at once (never
    // waited on), and saving says why.
    QVERIFY(QDir().mkpath(folder));
    QCOMPARE(::mkfifo(QFile::encodeName(shopFile(folder)).constData(), 0600), 0);
    QCOMPARE(loadShop(folder).name, QString());
    QVERIFY(save().contains(QStringLiteral("管道")));
    QCOMPARE(window.result(), int(QDialog::Rejected));
    QVERIFY(QFile::remove(shopFile(folder)));
#endif
    window.findChild<QLineEdit *>(QStringLiteral("ExtraMethod2"))->setText(QStringLiteral("微信"));
    QVERIFY(save().contains(QStringLiteral("已经有了")));
    window.findChild<QLineEdit *>(QStringLiteral("ExtraMethod2"))->clear();
    QCOMPARE(save(), QString());
    QCOMPARE(window.result(), int(QDialog::Accepted));
    const ShopSettings saved = loadShop(folder);
    QCOMPARE(saved.name, typed.name);
    QCOMPARE(saved.methods().last(), QStringLiteral("美团"));
    QVERIFY(!saved.printReceipt);
}

QTEST_MAIN(TstPayment)
#include "tst_payment.moc"
