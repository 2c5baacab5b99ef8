// Taking the money: the arithmetic of 结账 exact to the 分, the 结账 window
// as a cashier works it, the receipt's text, the order in progress that the
// journal gets, and the figures of a 交班.

#include "main_window/form2.h"
#include "common/caption_number.h"
#include "common/design.h"
#include "main_window/roll_layout.h"
#include "payment/cash_up.h"
#include "payment/cash_up_window.h"
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
#include <QFontInfo>
#include <QAbstractButton>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

#include <functional>

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
    void totalTakenToTheFen_data();
    void totalTakenToTheFen();
    void cashUpCountsTheDrawer();
    void cashUpWaitsForTheCount();
    void paymentWindowAsTheCashierWorksIt();
    void paymentWindowHoldsStillAndShowsWhatPays();
    void receiptCarriesShopNumberMethodsAndChange();
    void receiptOnARoll_data();
    void receiptOnARoll();
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
    QTest::newRow("9折 of 10.55 rounds half up to the 分") << Fen(1055) << 900 << Fen(0) << int(Rounding::None)
                                                       << "现金:950" << Fen(950) << "现金:950" << Fen(0);
    QTest::newRow("9折 of the largest 合计 a caption holds") << Fen(99999999999999900) << 900 << Fen(0) << int(Rounding::None)
                                                         << "微信:89999999999999910" << Fen(89999999999999910)
                                                         << "微信:89999999999999910" << Fen(0);
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
    // As large as a caption writes without an exponent, to the 分.
    QCOMPARE(parseYuan(QStringLiteral("999999999999999.99")), std::optional<Fen>(99999999999999999));
    QVERIFY(!parseYuan(QStringLiteral("1000000000000000")));
}

void TstPayment::totalTakenToTheFen_data()
{
    // The main window's 总计 caption; what 结账 takes in 分, or -1 and the
    // refusal.
    QTest::addColumn<QString>("caption");
    QTest::addColumn<Fen>("fen");
    QTest::addColumn<QString>("refusal");
    QTest::newRow("40.5") << "40.5" << Fen(4050) << "";
    QTest::newRow("99,999,990 gains no 分") << "99999990" << Fen(9999999000) << "";
    QTest::newRow("5,000,000.07") << "5000000.07" << Fen(500000007) << "";
    QTest::newRow("12,345,678,901.23") << "12345678901.23" << Fen(1234567890123) << "";
    QTest::newRow("the largest without an exponent") << "999999999999999" << Fen(99999999999999900) << "";
    QTest::newRow("an exponent") << "1E+15" << Fen(-1) << "太大";
    QTest::newRow("out of range") << "溢出" << Fen(-1) << "为 0";
    QTest::newRow("beyond a double") << "1E999" << Fen(-1) << "太大";
    QTest::newRow("a part of a 分") << "10.555" << Fen(-1) << "不足一分";
    QTest::newRow("a part of a 分 a double holds below") << "1.005" << Fen(-1) << "不足一分";
    QTest::newRow("a tenth of a 分 only") << "0.001" << Fen(-1) << "不足一分";
    QTest::newRow("nothing") << "0" << Fen(-1) << "总计为 0";
    QTest::newRow("below 0") << "-5" << Fen(-1) << "小于 0";
}

void TstPayment::totalTakenToTheFen()
{
    QFETCH(QString, caption);
    QFETCH(Fen, fen);
    QFETCH(QString, refusal);
    const std::variant<Fen, QString> taken = amountToTake(caption);
    if (fen < 0) {
        QVERIFY(std::holds_alternative<QString>(taken));
        QVERIFY2(std::get<QString>(taken).contains(refusal), qPrintable(std::get<QString>(taken)));
        return;
    }
    QCOMPARE(std::get<Fen>(taken), fen);
    // Every record of the order reads its caption amounts the same way.
    QCOMPARE(journal::toFen(*captionValue(caption)), fen);
    // A sum as the windows make it: 0.1 + 0.2 is the 0.3 its caption shows.
    if (fen < Fen(100000000000000))
        QCOMPARE(captionFen(*captionValue(caption) + 0.1 + 0.2), std::optional<qint64>(fen + 30));
}

void TstPayment::cashUpCountsTheDrawer()
{
    journal::Order unpaid;
    unpaid.grandTotal = 20;
    journal::Order voided = paidOrder(QStringLiteral("v"), 1000, 50, QStringLiteral("现金:950"), 1000);
    voided.status = journal::OrderStatus::Voided;
    const QList<journal::Order> orders{
        paidOrder(QStringLiteral("1"), 4050, 50, QStringLiteral("现金:4000"), 5000),
        paidOrder(QStringLiteral("2"), 8800, 0, QStringLiteral("微信:5000 现金:3800"), 3800), unpaid, voided};
    journal::CashUp up = cashUpFigures(orders, 20000, standardMethods());
    QCOMPARE(up.paidCount, 2);
    QCOMPARE(up.unpaidCount, 1);
    QCOMPARE(up.unpaidTotal, Fen(2000));
    QCOMPARE(up.voidedCount, 1);
    QCOMPARE(up.voidedTotal, Fen(1000));  // its 合计, as the day's figures count it
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
    // Each figure under its own name: the paid orders' 合计, then 折扣 and
    // 抹零 down to the 营业额 (应收); the orders still put aside listed.
    const QList<journal::OpenOrder> open{{QStringLiteral("a"), QStringLiteral("3号桌"), {}, 4050, 3, "{}"},
                                         {QStringLiteral("b"), QStringLiteral("外卖\n王"), {}, 2200, 3, "{}"}};
    const QStringList slip = cashUpText(up, {{QStringLiteral("老王面馆")}, true, open}).split(QStringLiteral("\r\n"));
    for (const char *line : {"老王面馆", "已结账 2单 合计  128.5", "抹零合计  0.5", "营业额（应收）  128",
                             "未结账 1单 合计  20", "已作废 1单 合计  10", "短款  2.7", "挂单 2张 合计  62.5",
                             "  3号桌  40.5", "  外卖 王  22"})
        QVERIFY2(slip.contains(QString::fromUtf8(line)), line);
}

void TstPayment::cashUpWaitsForTheCount()
{
    // The first 交班: 备用金 200 typed, 304.4 in cash taken. The drawer is
    // counted, never taken to hold what it should.
    journal::CashUp figures = cashUpFigures({paidOrder(QStringLiteral("1"), 30440, 0, QStringLiteral("现金:30440"), 30440)},
                                            0, standardMethods());
    CashUpWindow window(figures, true, ShopSettings{});
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    auto *openingFloat = window.findChild<QLineEdit *>(QStringLiteral("OpeningFloat"));
    auto *counted = window.findChild<QLineEdit *>(QStringLiteral("CountedTotal"));
    auto *confirm = window.findChild<QPushButton *>(QStringLiteral("CashUpButton"));
    auto *difference = window.findChild<QLabel *>(QStringLiteral("DifferenceValue"));
    QCOMPARE(QApplication::focusWidget(), openingFloat);
    QTest::keyClicks(openingFloat, QStringLiteral("200"));
    QCOMPARE(counted->text(), QString());
    QVERIFY(!confirm->isEnabled());
    QVERIFY(confirm->toolTip().contains(QStringLiteral("实点现金")));
    QCOMPARE(confirm->accessibleDescription(), confirm->toolTip());
    QCOMPARE(difference->text(), QStringLiteral("未点数"));
    journal::CashUp up;
    QString why;
    QVERIFY(!window.cashUp(up, &why));
    QVERIFY2(why.contains(QStringLiteral("实点现金")), qPrintable(why));
    QTest::keyClick(openingFloat, Qt::Key_Return);  // the default button waits too
    QCOMPARE(window.result(), int(QDialog::Rejected));
    QVERIFY(window.isVisible());

    // Typed: 502.4 against 504.4.
    QTest::keyClicks(counted, QStringLiteral("502.4"));
    QVERIFY(confirm->isEnabled());
    QCOMPARE(confirm->accessibleDescription(), QString());
    QVERIFY(window.cashUp(up, &why));
    QCOMPARE(up.expectedCash, Fen(50440));
    QCOMPARE(difference->text(), QStringLiteral("短款 2"));
    counted->selectAll();
    QTest::keyClick(counted, Qt::Key_Delete);  // taken back: not counted any more
    QVERIFY(!confirm->isEnabled());
    // Counted note by note: 5 x 100 元.
    window.findChild<QSpinBox *>(QStringLiteral("Count1"))->setValue(5);
    QCOMPARE(counted->text(), QStringLiteral("500"));
    QVERIFY(confirm->isEnabled());
    QVERIFY(window.cashUp(up, &why));
    QCOMPARE(up.difference, Fen(-440));
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
        double refusalPoints = 0;  // of the words the cashier reads
        const auto readRefusal = [&](QWidget *box) {
            if (auto *words = box->findChild<QLabel *>(QStringLiteral("qt_msgbox_label")))
                refusalPoints = words->font().pointSizeF();
            testsupport::acceptingMessageBox(&refusal)(box);
        };
        QCOMPARE(testsupport::answerModals(readRefusal,
                                           [&] { QTest::keyClick(window.cashField(), Qt::Key_Return); }), 1);
        QCOMPARE(refusal, QStringLiteral("还差 10 元"));
        QVERIFY(refusalPoints >= design::readingPoints);
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

// Each press of a 结账: the controls that are always there stay where they
// were as the discount figure and the quick amounts come and go, and the
// methods pressed are those that pay.
void TstPayment::paymentWindowHoldsStillAndShowsWhatPays()
{
    PaymentWindow window(8800, ShopSettings{});
    window.resize(window.minimumSizeHint());  // no room to spare
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    auto *total = window.findChild<QLabel *>(QStringLiteral("TotalValue"));
    auto *due = window.findChild<QLabel *>(QStringLiteral("DueValue"));
    QCOMPARE(total->font(), due->font());
    QCOMPARE(QFontInfo(total->font()).family(), QFontInfo(due->font()).family());

    QList<QWidget *> fixed;
    for (QWidget *w : window.findChildren<QWidget *>())
        if ((qobject_cast<QAbstractButton *>(w) || qobject_cast<QComboBox *>(w) || qobject_cast<QLineEdit *>(w)) &&
            w->isVisible() && !w->objectName().startsWith(QStringLiteral("QuickAmount")))
            fixed << w;
    const auto places = [&] {
        QStringList where;
        for (QWidget *w : fixed)
            where << QStringLiteral("%1 %2,%3 %4x%5").arg(w->objectName()).arg(w->x()).arg(w->y()).arg(w->width()).arg(w->height());
        return where;
    };
    const auto pressed = [&] {
        QStringList methods;
        for (int i = 1; auto *b = window.findChild<QPushButton *>(QStringLiteral("MethodButton%1").arg(i)); ++i)
            if (b->isChecked())
                methods << b->text();
        return methods.join(u' ');
    };
    const auto press = [&](const char *name) {
        QTest::mouseClick(window.findChild<QPushButton *>(QString::fromLatin1(name)), Qt::LeftButton);
    };
    const QStringList before = places();
    const struct {
        const char *step;
        std::function<void()> act;
        QString pressed;
        bool quickShown;
    } steps[] = {
        {"9折: the discount figure appears",
         [&] { window.findChild<QComboBox *>(QStringLiteral("DiscountChoice"))->setCurrentIndex(1); }, QStringLiteral("现金"), true},
        {"微信 takes all that is left", [&] { press("MethodButton2"); }, QStringLiteral("微信"), false},
        {"a digit: cash pays too", [&] { press("Key5"); }, QStringLiteral("现金 微信"), false},
        {"现金 pressed again: it pays no more", [&] { press("MethodButton1"); }, QStringLiteral("微信"), false},
        {"微信 pressed again: the one chosen stays chosen", [&] { press("MethodButton2"); }, QStringLiteral("微信"), false},
    };
    for (const auto &s : steps) {
        s.act();
        QApplication::processEvents();
        QCOMPARE(pressed(), s.pressed);
        QVERIFY2(window.findChild<QPushButton *>(QStringLiteral("QuickAmount1"))->isVisible() == s.quickShown, s.step);
        QVERIFY2(!window.findChild<QLabel *>(QStringLiteral("DiscountShown"))->text().isEmpty(), s.step);
        QCOMPARE(places(), before);
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
    for (const char *expected : {"单号 20261207-0012", "时间 2026-12-07 12:30:00", "品名  数量  单价  金额",
                                 "牛肉面  40.5", "  小份  2", "  大份  1",
                                 "合计  40.5", "抹零  -0.5", "应收  40", "现金  40", "实收现金  50", "找零  10"})
        QVERIFY2(lines.contains(QString::fromUtf8(expected)), expected);
    QCOMPARE(lines.last(), QStringLiteral("谢谢惠顾"));
    QVERIFY(!lines.join(u'\n').contains(QStringLiteral("桌号")));  // not put aside: no table
    QVERIFY(!lines.join(u'\n').contains(QStringLiteral("重打")));

    // A reprint says so at the top, with its own time; a voided order says
    // so too; a table's name goes under the time.
    journal::Order voided = paidOrder(QStringLiteral("20261207-0014"), 4050, 50, QStringLiteral("现金:4000"), 5000);
    voided.status = journal::OrderStatus::Voided;
    voided.voidReason = QStringLiteral("点错");
    const QDateTime later(QDate(2026, 12, 8), QTime(9, 5, 7));
    const QStringList again = roll::plainText(reprintPage(voided, shop, later)).split(QStringLiteral("\r\n"));
    QCOMPARE(again.mid(0, 3), (QStringList{QStringLiteral("重打 2026-12-08 09:05:07"), QStringLiteral("已作废（点错）"),
                                           QStringLiteral("老王面馆")}));
    journal::Order unpaid = voided;
    unpaid.payment.reset();
    unpaid.billText = QStringLiteral("  第3位\r\n牛肉面 2小份 1大份 40.5  ");
    QCOMPARE(roll::plainText(reprintPage(unpaid, shop, later)).split(QStringLiteral("\r\n")),
             (QStringList{QStringLiteral("重打 2026-12-08 09:05:07"), QStringLiteral("已作废（点错）"),
                          QStringLiteral("老王面馆"), QStringLiteral("第3位"), QStringLiteral("牛肉面 2小份 1大份 40.5")}));
    const QStringList atTable = roll::plainText(receiptPage(voided, shop, {QStringLiteral("3号桌"), {}}))
                                    .split(QStringLiteral("\r\n"));
    QCOMPARE(atTable.indexOf(QStringLiteral("桌号 3号桌")), atTable.indexOf(QStringLiteral("时间 2026-12-07 12:30:00")) + 1);
    QVERIFY(!atTable.contains(QStringLiteral("重打 2026-12-08 09:05:07")));

    // A portion's unit price comes from its line when one price gives it.
    using Line = journal::OrderLine;
    QCOMPARE(unitPrice(Line{1, {}, QStringLiteral("面"), 3, {}, 0, {}, 19.5}), std::optional<Fen>(650));
    QCOMPARE(unitPrice(Line{1, {}, QStringLiteral("面"), 0, {}, 0.5, {}, 4}), std::optional<Fen>(800));
    QCOMPARE(unitPrice(Line{1, {}, QStringLiteral("面"), 3, {}, 0, {}, 10}), std::optional<Fen>());  // 3.333...
    QCOMPARE(unitPrice(Line{1, {}, QStringLiteral("面"), 2, {}, 1, {}, 20}), std::optional<Fen>());   // two portions
    journal::Order discounted = paidOrder(QStringLiteral("20261207-0013"), 4050, 45, QStringLiteral("现金:3600"), 5000);
    discounted.payment->discount = 405;
    discounted.payment->discountLabel = QStringLiteral("9折");
    discounted.payment->due = 3600;
    const QStringList discountLines = receiptText(discounted, shop).split(QStringLiteral("\r\n"));
    for (const char *expected : {"折扣（9折）  -4.05", "抹零  -0.45", "应收  36"})
        QVERIFY2(discountLines.contains(QString::fromUtf8(expected)), expected);
    QVERIFY(!lines.contains(QString()) || lines.indexOf(QString()) == lines.size() - 2);  // only before the footer
    QCOMPARE(withShopName(QStringLiteral("第1位"), shop), QStringLiteral("老王面馆\r\n第1位"));
    QCOMPARE(withShopName(QStringLiteral("第1位"), ShopSettings{}), QStringLiteral("第1位"));
}

void TstPayment::receiptOnARoll_data()
{
    // A roll's width and what its printer prints of it, in millimetres; the
    // receipt's longest dish name and its largest amount (分).
    QTest::addColumn<double>("paper");
    QTest::addColumn<double>("printed");
    QTest::addColumn<QString>("dish");
    QTest::addColumn<Fen>("amount");
    QTest::newRow("58 mm") << 58.0 << 48.0 << QStringLiteral("牛肉面") << Fen(4050);
    QTest::newRow("80 mm") << 80.0 << 72.0 << QStringLiteral("牛肉面") << Fen(4050);
    QTest::newRow("58 mm, a long name") << 58.0 << 48.0 << QStringLiteral("红烧牛肉面加卤蛋青菜香菜葱花辣椒油特大碗")
                                        << Fen(4050);
    QTest::newRow("58 mm, a large amount") << 58.0 << 48.0 << QStringLiteral("佛跳墙") << Fen(128888850);
    QTest::newRow("80 mm, a long name") << 80.0 << 72.0 << QStringLiteral("红烧牛肉面加卤蛋青菜香菜葱花辣椒油特大碗")
                                        << Fen(98650);
}

void TstPayment::receiptOnARoll()
{
    // Printed by a 203 dpi receipt printer: every figure lies within the
    // printed width, and the amounts' column has one right edge, the one
    // 合计, 应收 and 找零 share; no cell runs into the next.
    QFETCH(double, paper);
    QFETCH(double, printed);
    QFETCH(QString, dish);
    QFETCH(Fen, amount);
    ShopSettings shop;
    shop.name = QStringLiteral("老王面馆");
    shop.address = QStringLiteral("人民路 8 号");
    shop.footer = QStringLiteral("谢谢惠顾");
    journal::Order order = paidOrder(QStringLiteral("20261207-0012"), amount, 50,
                                     QStringLiteral("现金:%1").arg(amount - 50), amount + 950);
    order.lines.prepend({1, QStringLiteral("面条"), dish, 3, QStringLiteral("小份"), 0, QStringLiteral("大份"), 19.5});
    roll::Laid laid;
    const QImage image = roll::rollImage(receiptPage(order, shop, {QStringLiteral("3号桌"), {}}), paper, printed, 203, &laid);
    const double dots = 203 / 25.4;
    const int left = (image.width() - int(std::floor(printed * dots))) / 2;
    const int right = left + int(std::floor(printed * dots));  // the first pixel past the printed width
    QVERIFY(image.width() == int(std::lround(paper * dots)));

    // Ink: where the row of a piece has its rightmost dark pixel.
    auto inkRightOf = [&image](const QRectF &box) {
        int last = -1;
        for (int y = int(box.top()); y < int(box.bottom()) && y < image.height(); ++y)
            for (int x = int(box.left()); x < image.width(); ++x)
                if (qGray(image.pixel(x, y)) < 128)
                    last = std::max(last, x);
        return last;
    };
    for (int y = 0; y < image.height(); ++y)
        for (int x : {left - 1, right})
            QVERIFY2(qGray(image.pixel(x, y)) >= 128, qPrintable(QStringLiteral("ink outside at %1,%2").arg(x).arg(y)));

    // Each amount: the pieces on the right edge of the printed width.
    QList<int> edges;
    QStringList amounts;
    for (const roll::Piece &piece : laid.pieces)
        if (!piece.rule && !piece.text.isEmpty() && std::abs(piece.box.right() - (left + std::floor(printed * dots))) < 0.5
            && piece.text.front() != u'金' && piece.box.left() > left) {
            edges << inkRightOf(QRectF(piece.box.left(), piece.box.top(), piece.box.width(), piece.box.height()));
            amounts << piece.text;
        }
    QVERIFY2(amounts.contains(yuanText(amount)) && amounts.contains(QStringLiteral("19.5")), qPrintable(amounts.join(u' ')));
    QCOMPARE(amounts.size(), 8);  // the two lines', 合计, 抹零, 应收, 现金, 实收现金, 找零
    const auto [least, most] = std::minmax_element(edges.begin(), edges.end());
    QVERIFY2(*most < right && *most - *least <= 2,
             qPrintable(QStringLiteral("right edges %1 to %2 (printed to %3): %4").arg(*least).arg(*most).arg(right)
                            .arg(amounts.join(u' '))));

    // Within a row, the cells' ink never overlaps: a long name wraps in its
    // column.
    for (const roll::Piece &a : laid.pieces)
        for (const roll::Piece &b : laid.pieces)
            if (&a != &b && !a.rule && !b.rule && !a.text.isEmpty() && !b.text.isEmpty() && a.box.top() == b.box.top()
                && a.origin.x() < b.origin.x())
                QVERIFY2(a.inkRight <= b.origin.x(), qPrintable(a.text + QStringLiteral(" runs into ") + b.text));
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
    order.handOff(6, QStringLiteral("饮料"), 3, {line});  // the last category counts too
    journal::Payment paid;
    paid.total = paid.due = 2800;
    const journal::Order second = order.end(journal::OrderStatus::Paid, paid);
    QCOMPARE(second.receiptNumber, today + QStringLiteral("-0042"));
    QCOMPARE(second.payment->due, Fen(2800));
    QVERIFY(second.uid != first.uid);
    QCOMPARE(second.lines.size(), 2);
    QCOMPARE(second.lines[1].category, 6);
    QCOMPARE(second.categoryNames[5], QStringLiteral("饮料"));
    QCOMPARE(second.grandTotal, 31.0);

    // An older day's number arriving late (a journal read slowly at start)
    // leaves today's count alone.
    continueReceiptNumbersAfter(QDate::currentDate().addDays(-1).toString(QStringLiteral("yyyyMMdd")) +
                                QStringLiteral("-0099"));
    order.handOff(1, QStringLiteral("面条"), 12, {line});
    QCOMPARE(order.end(journal::OrderStatus::Unpaid).receiptNumber, today + QStringLiteral("-0043"));
}

void TstPayment::mainWindowTakesTheMoneyAndRecordsIt()
{
    testsupport::clearStore();
    QDir(journal::defaultFolder()).removeRecursively();
    QVERIFY(savePrintChoice(false).isEmpty());  // no printer here
    {
        Program program;
        form2().showForm();
        auto sell = [](int times, const QString &price = QStringLiteral("6")) {
            OrderSheet &sheet = testsupport::openCategory(1);
            testsupport::set(sheet, sheet::dishRows()[0].smallPrice, price);
            testsupport::press(sheet, sheet::dishRows()[0].buttons[1].name, times);
            testsupport::press(sheet, QStringLiteral("Command2"));
        };

        QString told;
        QCOMPARE(testsupport::answerModals(testsupport::acceptingMessageBox(&told),
                                           [] { testsupport::pressMain(QStringLiteral("CheckoutButton")); }), 1);
        QVERIFY2(told.contains(QStringLiteral("总计为 0")), qPrintable(told));

        sell(2);  // 12
        QString shownTotal;
        auto payWith = [&shownTotal](const QString &cashGiven) {
            return [&shownTotal, cashGiven](QWidget *dialog) {
                if (auto *window = qobject_cast<PaymentWindow *>(dialog)) {
                    shownTotal = window->findChild<QLabel *>(QStringLiteral("TotalValue"))->text();
                    window->cashField()->setText(cashGiven);
                    window->confirm();
                }
            };
        };
        const auto pay = payWith(QStringLiteral("20"));
        QCOMPARE(testsupport::answerModals(pay, [] { testsupport::pressMain(QStringLiteral("CheckoutButton")); }), 1);
        QCOMPARE(testsupport::mainText(QStringLiteral("L7")), QStringLiteral("0"));  // cleared as 一键归零 does
        QCOMPARE(orderSheet(1).subtotal(), QStringLiteral("0"));

        // 99,999,990 taken as the main window shows it, to the 分: 10 back
        // from 100,000,000.
        sell(1, QStringLiteral("99999990"));
        QCOMPARE(testsupport::answerModals(payWith(QStringLiteral("100000000")),
                                           [] { testsupport::pressMain(QStringLiteral("CheckoutButton")); }), 1);
        QCOMPARE(shownTotal, QStringLiteral("99999990"));

        sell(1);  // 6, cleared unpaid
        testsupport::pressMain(QStringLiteral("Command1"));
        program.end();
        testsupport::settleQuitRequest();
    }
    journal::Journal reader(journal::defaultFolder(), journal::Journal::Mode::Reading);
    const QList<journal::Order> orders = reader.ordersOf(QDate::currentDate()).value_or(QList<journal::Order>{});
    QCOMPARE(orders.size(), 3);
    QCOMPARE(orders[0].status, journal::OrderStatus::Paid);
    QCOMPARE(partsText(orders[0].payment->parts), QStringLiteral("现金:1200"));
    QCOMPARE(orders[0].payment->change, Fen(800));
    QCOMPARE(orders[1].payment->total, Fen(9999999000));
    QCOMPARE(orders[1].payment->change, Fen(1000));
    QCOMPARE(orders[2].status, journal::OrderStatus::Unpaid);
    QCOMPARE(orders[2].grandTotal, 6.0);
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
