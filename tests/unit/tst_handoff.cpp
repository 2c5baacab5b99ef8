// "关闭" on an order sheet: the order lines and subtotal it hands to the main
// window, the grand total over all six sheets, and the captions it saves for
// the next run.

#include "testsupport.h"

#include "main_window/form2.h"
#include "shell/program.h"
#include "sheets/order_sheet.h"
#include "sheets/settle_list.h"

#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QtTest>

#include <cstdio>

using namespace testsupport;

namespace {

const QString crlf = QStringLiteral("\r\n");

// A few rows of the sheet by their design names.
struct Row {
    const char *name, *smallPrice, *largePrice, *smallPlus, *largePlus, *smallMinus;
};
const Row row1{"Label1", "l01", "l02", "Command4", "Command6", "Command3"};
const Row row3{"Label3", "l09", "l010", "Command12", "Command14", "Command11"};
const Row row7{"Label7", "l025", "l026", "Command28", "Command30", "Command27"};
const Row row8{"Label16", "l03", "l04", "Command32", "Command34", "Command31"};
const Row row12{"Label12", "l019", "l020", "Command48", "Command50", "Command47"};

// The design captions of the headings and a dish name and prices for a row.
void menu(OrderSheet &sheet, const Row &row, const QString &name, const QString &small,
          const QString &large)
{
    set(sheet, "Label8", QStringLiteral("小份"));
    set(sheet, "Label45", QStringLiteral("大份"));
    set(sheet, "Label9", QStringLiteral("小份"));
    set(sheet, "Label46", QStringLiteral("大份"));
    set(sheet, row.name, name);
    set(sheet, row.smallPrice, small);
    set(sheet, row.largePrice, large);
}

void edit(OrderSheet &sheet, const QString &label, const QString &typed)
{
    QCOMPARE(answerModals(confirmingInputBox(typed), [&] { rightPress(sheet.label(label)); }), 1);
}

QVariant stored(const QString &key)
{
    return openStore().value(key);
}

// Runs this executable again as a fresh program that loads sheet `name` and
// prints its 46 stored captions, one "label=caption" a line.
QHash<QString, QString> captionsInFreshProcess(const QString &name)
{
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--print-sheet"), name});
    if (!child.waitForFinished(-1) || child.exitCode() != 0)
        return {};
    QHash<QString, QString> captions;
    for (const QString &line : QString::fromUtf8(child.readAllStandardOutput()).split(u'\n')) {
        const qsizetype eq = line.indexOf(u'=');
        if (eq > 0)
            captions.insert(line.left(eq), line.mid(eq + 1));
    }
    return captions;
}

int printSheet(const QString &name)
{
    Program program;
    for (int k = 1; k <= 6; ++k) {
        OrderSheet &sheet = orderSheet(k);
        if (sheet.objectName() != name)
            continue;
        for (const QString &label : sheet::captionList())
            std::printf("%s=%s\n", qPrintable(label), sheet.label(label)->text().toUtf8().constData());
        return 0;
    }
    return 1;
}

}  // namespace

class TstHandoff : public QObject {
    Q_OBJECT

private slots:
    void init() { clearStore(); }

    // Order lines and totals
    void roadOfOneOrder();
    void eachSheetFillsItsOwnLabels_data();
    void eachSheetFillsItsOwnLabels();
    void closingWithoutSettleHandsOffMatchingTotal();
    void closingTwiceGivesTheSameText();
    void rowsWithNothingToPayAreLeftOut();
    void rowsInRowOrder();
    void headingsOfEachHalf();
    void blankCaptionsFromEmptyStore();
    void firstHandOffLoadsTheOtherSheets();
    void grandTotalOfAllSheets_data();
    void grandTotalOfAllSheets();
    void grandTotalAddsInSheetOrder();
    void billIsNotRebuilt();
    void overflowInGrandTotal();

    // Captions saved for the next run
    void editSurvivesRestartAfterClose();
    void editWithoutCloseIsLost();
    void eachSheetHasItsOwnSection();
};

// ------------------------------------------------------------ order lines ---

void TstHandoff::roadOfOneOrder()
{
    Program program;
    OrderSheet &sheet = openCategory(1);
    QVERIFY(sheet.isVisible());
    QVERIFY(!form2().isVisible());
    menu(sheet, row1, QStringLiteral("牛肉面"), QStringLiteral("6"), QStringLiteral("8"));
    press(sheet, row1.smallPlus, 2);
    press(sheet, row1.largePlus);
    QCOMPARE(text(sheet, "L1"), QStringLiteral("2"));
    QCOMPARE(text(sheet, "L2"), QStringLiteral("1"));
    QCOMPARE(text(sheet, "la1"), QStringLiteral("20"));

    press(sheet, "Command1");
    QCOMPARE(sheet.settleList()->lines(), QStringList{QStringLiteral("牛肉面   20")});
    QCOMPARE(text(sheet, "面钱"), QStringLiteral("20"));

    press(sheet, "Command2");
    QCOMPARE(mainText("Label3"), crlf + QStringLiteral("牛肉面 2小份 1大份 20"));
    QCOMPARE(mainText("L1"), QStringLiteral("20"));
    QCOMPARE(mainText("L7"), QStringLiteral("20"));
    QVERIFY(!sheet.isVisible());
    QVERIFY(form2().isVisible());
    for (const char *other : {"Label4", "Label5", "Label6", "Label7", "Label8"})
        QCOMPARE(mainText(other), QString());
    for (const char *other : {"L2", "L3", "L4", "L5", "L6"})
        QCOMPARE(mainText(other), QStringLiteral("0"));

    // Hidden, not forgotten: the same button shows the same sheet again.
    OrderSheet &again = openCategory(1);
    QCOMPARE(&again, &sheet);
    QCOMPARE(text(sheet, "la1"), QStringLiteral("20"));
    QCOMPARE(text(sheet, "面钱"), QStringLiteral("20"));
}

void TstHandoff::eachSheetFillsItsOwnLabels_data()
{
    QTest::addColumn<int>("category");
    QTest::addColumn<QString>("summary");
    QTest::addColumn<QString>("total");
    QTest::newRow("Form3") << 1 << "Label3" << "L1";
    QTest::newRow("Form4") << 2 << "Label4" << "L2";
    QTest::newRow("Form5") << 3 << "Label5" << "L3";
    QTest::newRow("Form6") << 4 << "Label6" << "L4";
    QTest::newRow("Form7") << 5 << "Label7" << "L5";
    QTest::newRow("Form8") << 6 << "Label8" << "L6";
}

void TstHandoff::eachSheetFillsItsOwnLabels()
{
    QFETCH(int, category);
    QFETCH(QString, summary);
    QFETCH(QString, total);

    Program program;
    OrderSheet &sheet = openCategory(category);
    QCOMPARE(sheet.objectName(), QStringLiteral("Form%1").arg(category + 2));
    menu(sheet, row8, QStringLiteral("包子"), QStringLiteral("1.5"), QStringLiteral("3"));
    press(sheet, row8.smallPlus, 3);
    press(sheet, "Command2");

    const QString line = crlf + QStringLiteral("包子 3小份 0大份 4.5");
    for (int k = 1; k <= 6; ++k) {
        const QString s = QStringLiteral("Label%1").arg(k + 2), t = QStringLiteral("L%1").arg(k);
        QCOMPARE(mainText(s), s == summary ? line : QString());
        QCOMPARE(mainText(t), t == total ? QStringLiteral("4.5") : QStringLiteral("0"));
    }
    QCOMPARE(mainText("L7"), QStringLiteral("4.5"));
    QVERIFY(!sheet.isVisible());
    QVERIFY(form2().isVisible());
}

// Counting and leaving with "关闭" settles first, so the total handed on
// always covers the lines handed on.
void TstHandoff::closingWithoutSettleHandsOffMatchingTotal()
{
    Program program;
    OrderSheet &sheet = openCategory(2);
    menu(sheet, row3, QStringLiteral("鱼香肉丝"), QStringLiteral("18"), QStringLiteral("26"));
    press(sheet, row3.largePlus);
    press(sheet, "Command2");
    QCOMPARE(mainText("Label4"), crlf + QStringLiteral("鱼香肉丝 0小份 1大份 26"));
    QCOMPARE(mainText("L2"), QStringLiteral("26"));
    QCOMPARE(mainText("L7"), QStringLiteral("26"));
    QCOMPARE(text(sheet, "面钱"), QStringLiteral("26"));
    QCOMPARE(sheet.settleList()->lines(), QStringList{QStringLiteral("鱼香肉丝   26")});
}

void TstHandoff::closingTwiceGivesTheSameText()
{
    Program program;
    OrderSheet &sheet = openCategory(1);
    menu(sheet, row1, QStringLiteral("面"), QStringLiteral("6"), QStringLiteral("8"));
    press(sheet, row1.smallPlus);
    press(sheet, "Command2");
    const QString first = mainText("Label3");
    QCOMPARE(first, crlf + QStringLiteral("面 1小份 0大份 6"));

    openCategory(1);
    press(sheet, "Command2");
    QCOMPARE(mainText("Label3"), first);
    QCOMPARE(mainText("L1"), QStringLiteral("6"));
    QCOMPARE(mainText("L7"), QStringLiteral("6"));
}

// Rows whose line total is 0 are left out; a negative one (a discount) is
// listed, so that the subtotal is the sum of the listed lines.
void TstHandoff::rowsWithNothingToPayAreLeftOut()
{
    Program program;
    OrderSheet &sheet = openCategory(1);
    menu(sheet, row1, QStringLiteral("优惠"), QStringLiteral("-6"), QStringLiteral("8"));
    press(sheet, row1.smallPlus);                  // -6
    press(sheet, row1.smallMinus, 2);              // back to 0, and a press at 0
    press(sheet, row1.smallPlus);                  // -6 again
    menu(sheet, row7, QStringLiteral("送"), QStringLiteral(" "), QStringLiteral("0"));
    press(sheet, row7.smallPlus, 2);               // 0 with quantities counted
    menu(sheet, row12, QStringLiteral("汤"), QStringLiteral("5"), QStringLiteral("9"));
    press(sheet, row12.largePlus);                 // 9
    press(sheet, row12.smallPlus);                 // 14
    press(sheet, "Command2");
    QCOMPARE(mainText("Label3"), crlf + QStringLiteral("优惠 1小份 0大份 -6") + crlf +
                                     QStringLiteral("汤 1小份 1大份 14"));
    QCOMPARE(mainText("L1"), QStringLiteral("8"));

    // Nothing to pay at all: the summary is empty.
    openCategory(1);
    press(sheet, "Command59");
    press(sheet, "Command2");
    QCOMPARE(mainText("Label3"), QString());
    QCOMPARE(mainText("L1"), QStringLiteral("0"));
    QCOMPARE(mainText("L7"), QStringLiteral("0"));
}

void TstHandoff::rowsInRowOrder()
{
    Program program;
    OrderSheet &sheet = openCategory(1);
    menu(sheet, row12, QStringLiteral("炒饭"), QStringLiteral("6"), QStringLiteral("8"));
    menu(sheet, row3, QStringLiteral("拉面"), QStringLiteral("7"), QStringLiteral("9"));
    press(sheet, row12.smallPlus, 2);
    press(sheet, row3.largePlus);
    press(sheet, "Command2");
    QCOMPARE(mainText("Label3"), crlf + QStringLiteral("拉面 0小份 1大份 9") + crlf +
                                     QStringLiteral("炒饭 2小份 0大份 12"));
    QCOMPARE(mainText("L7"), QStringLiteral("21"));
}

// Rows 1-7 take their portion words from Label8/Label45, rows 8-14 from
// Label9/Label46.
void TstHandoff::headingsOfEachHalf()
{
    Program program;
    OrderSheet &sheet = openCategory(1);
    menu(sheet, row7, QStringLiteral("左"), QStringLiteral("1"), QStringLiteral("2"));
    menu(sheet, row8, QStringLiteral("右"), QStringLiteral("1"), QStringLiteral("2"));
    edit(sheet, "Label45", QStringLiteral("碗"));
    press(sheet, row7.smallPlus);
    press(sheet, row7.largePlus);
    press(sheet, row8.smallPlus);
    press(sheet, row8.largePlus);
    press(sheet, "Command2");
    QCOMPARE(mainText("Label3"), crlf + QStringLiteral("左 1小份 1碗 3") + crlf +
                                     QStringLiteral("右 1小份 1大份 3"));
}

void TstHandoff::blankCaptionsFromEmptyStore()
{
    Program program;
    OrderSheet &sheet = openCategory(1);
    set(sheet, "l01", QStringLiteral("6"));
    set(sheet, "l02", QStringLiteral("8"));
    press(sheet, row1.smallPlus, 2);
    press(sheet, row1.largePlus);
    press(sheet, "Command2");
    QCOMPARE(mainText("Label3"), crlf + QStringLiteral("  2  1  20"));
}

void TstHandoff::firstHandOffLoadsTheOtherSheets()
{
    // Something stored for a sheet that is never opened.
    openStore().setValue(QStringLiteral("Form6/Label1"), QStringLiteral("豆浆"));
    Program program;
    OrderSheet &sheet = openCategory(3);
    for (int k : {1, 2, 4, 5, 6})
        QVERIFY(!program.sheetExists(k));
    set(sheet, "l01", QStringLiteral("5"));
    press(sheet, row1.smallPlus);
    press(sheet, "Command2");

    for (int k = 1; k <= 6; ++k) {
        QVERIFY(program.sheetExists(k));
        QVERIFY(orderSheet(k).isLoaded());
        QVERIFY(!orderSheet(k).isVisible());
    }
    QCOMPARE(text(orderSheet(4), "Label1"), QStringLiteral("豆浆"));
    QCOMPARE(text(orderSheet(5), "Label1"), QStringLiteral(" "));
    QCOMPARE(text(orderSheet(5), "面钱"), QStringLiteral("0"));
    QCOMPARE(mainText("L3"), QStringLiteral("5"));
    QCOMPARE(mainText("L7"), QStringLiteral("5"));
}

void TstHandoff::grandTotalOfAllSheets_data()
{
    QTest::addColumn<QList<int>>("order");
    QTest::newRow("in order") << QList<int>{1, 2, 3, 4, 5, 6};
    QTest::newRow("reversed") << QList<int>{6, 5, 4, 3, 2, 1};
    QTest::newRow("mixed") << QList<int>{3, 1, 5, 2, 6, 4};
}

void TstHandoff::grandTotalOfAllSheets()
{
    QFETCH(QList<int>, order);

    Program program;
    // Fractions that doubles hold inexactly: added as they come, the six
    // give 0.499999999999999.
    const QString subtotals[6] = {QStringLiteral("1.1"), QStringLiteral("2.2"),
                                  QStringLiteral("3.3"), QStringLiteral("0.1"),
                                  QStringLiteral("-6.7"), QStringLiteral("0.5")};
    for (int k : order) {
        OrderSheet &sheet = openCategory(k);
        const QString amount = subtotals[k - 1];
        set(sheet, "l03", amount);
        press(sheet, row8.smallPlus);
        press(sheet, "Command2");
        QCOMPARE(mainText(QStringLiteral("L%1").arg(k)), amount);
    }
    QCOMPARE(mainText("L7"), QStringLiteral("0.5"));
}

// The six subtotals are added Form3 first, Form8 last: with these values any
// other order gives a different double.
void TstHandoff::grandTotalAddsInSheetOrder()
{
    Program program;
    const char *prices[6] = {"1e16", "1", "1", "-1e16", "0", "0"};
    for (int k = 1; k <= 4; ++k) {
        OrderSheet &sheet = openCategory(k);
        set(sheet, "l01", QString::fromLatin1(prices[k - 1]));
        press(sheet, row1.smallPlus);
        press(sheet, "Command1");
    }
    OrderSheet &last = orderSheet(4);
    QCOMPARE(text(last, "面钱"), QStringLiteral("-1E+16"));
    press(last, "Command2");
    QCOMPARE(mainText("L7"), QStringLiteral("0"));
}

void TstHandoff::billIsNotRebuilt()
{
    Program program;
    form2().showForm();
    pressMain("Command2");
    const QString bill = mainText("Label2");
    QVERIFY(bill.startsWith(QStringLiteral("第1位")));

    OrderSheet &sheet = openCategory(1);
    set(sheet, "l01", QStringLiteral("6"));
    press(sheet, row1.smallPlus);
    press(sheet, "Command2");
    QCOMPARE(mainText("L7"), QStringLiteral("6"));
    QCOMPARE(mainText("Label2"), bill);
    QCOMPARE(mainText("Label9"), QStringLiteral("1"));
}

// A grand total beyond the range of a double: the cashier is told, the sheet's
// own labels in the main window are written, L7 keeps its text and the sheet
// stays on screen.
void TstHandoff::overflowInGrandTotal()
{
    Program program;
    OrderSheet &second = openCategory(2);
    set(second, "l01", QStringLiteral("1e308"));
    press(second, row1.smallPlus);
    press(second, "Command2");
    QCOMPARE(mainText("L7"), QStringLiteral("1E+308"));

    OrderSheet &first = openCategory(1);
    menu(first, row1, QStringLiteral("金"), QStringLiteral("1e308"), QStringLiteral("8"));
    press(first, row1.smallPlus);
    QString message;
    QCOMPARE(answerModals(acceptingMessageBox(&message), [&] { press(first, "Command2"); }), 1);
    QVERIFY2(message.contains(QStringLiteral("数值超出范围")), qPrintable(message));
    QCOMPARE(mainText("Label3"), crlf + QStringLiteral("金 1小份 0大份 1E+308"));
    QCOMPARE(mainText("L1"), QStringLiteral("1E+308"));
    QCOMPARE(mainText("L7"), QStringLiteral("1E+308"));
    QVERIFY(first.isVisible());
    QVERIFY(!form2().isVisible());
    QCOMPARE(stored(QStringLiteral("Form3/Label1")).toString(), QStringLiteral("金"));

    // The same overflow with a store that cannot be written: both are told.
    if (storeIsRegistry())
        return;
    QVERIFY(blockStore(false));
    QStringList messages;
    QCOMPARE(answerModals([&](QWidget *box) { messages << static_cast<QMessageBox *>(box)->text();
                                              static_cast<QMessageBox *>(box)->accept(); },
                          [&] { press(first, "Command2"); }),
             2);
    unblockStore();
    QVERIFY2(messages.value(1).contains(QStringLiteral("未能保存")), qPrintable(messages.join(u'|')));
}

// ---------------------------------------------------------- persistence ---

void TstHandoff::editSurvivesRestartAfterClose()
{
    {
        Program program;
        OrderSheet &sheet = openCategory(1);
        edit(sheet, "l01", QStringLiteral("6.5"));
        edit(sheet, "Label1", QStringLiteral("牛肉面"));
        edit(sheet, "Label45", QStringLiteral("大碗"));
        press(sheet, "Command2");
    }
    QCOMPARE(stored(QStringLiteral("Form3/l01")).toString(), QStringLiteral("6.5"));
    QCOMPARE(stored(QStringLiteral("Form3/Label1")).toString(), QStringLiteral("牛肉面"));
    QCOMPARE(stored(QStringLiteral("Form3/Label45")).toString(), QStringLiteral("大碗"));
    QCOMPARE(stored(QStringLiteral("Form3/l02")).toString(), QStringLiteral(" "));
    // Counts and totals are not kept.
    for (const char *key : {"Form3/L1", "Form3/la1", "Form3/面钱", "Form3/Label17"})
        QVERIFY2(!stored(QString::fromUtf8(key)).isValid(), key);

    {
        Program program;
        OrderSheet &sheet = openCategory(1);
        QCOMPARE(text(sheet, "l01"), QStringLiteral("6.5"));
        QCOMPARE(text(sheet, "Label1"), QStringLiteral("牛肉面"));
        QCOMPARE(text(sheet, "Label45"), QStringLiteral("大碗"));
        QCOMPARE(text(sheet, "L1"), QStringLiteral("0"));
    }

    const QHash<QString, QString> fresh = captionsInFreshProcess(QStringLiteral("Form3"));
    QCOMPARE(fresh.size(), 46);
    QCOMPARE(fresh.value(QStringLiteral("l01")), QStringLiteral("6.5"));
    QCOMPARE(fresh.value(QStringLiteral("Label1")), QStringLiteral("牛肉面"));
    QCOMPARE(fresh.value(QStringLiteral("Label45")), QStringLiteral("大碗"));
    QCOMPARE(fresh.value(QStringLiteral("l028")), QStringLiteral(" "));
}

void TstHandoff::editWithoutCloseIsLost()
{
    {
        Program program;
        OrderSheet &sheet = openCategory(1);
        edit(sheet, "l01", QStringLiteral("6"));
        press(sheet, "Command2");
        openCategory(1);
        edit(sheet, "l01", QStringLiteral("7"));
        edit(sheet, "Label10", QStringLiteral("馄饨"));
        sheet.close();  // refused; nothing saved
    }
    QCOMPARE(stored(QStringLiteral("Form3/l01")).toString(), QStringLiteral("6"));
    Program program;
    OrderSheet &sheet = openCategory(1);
    QCOMPARE(text(sheet, "l01"), QStringLiteral("6"));
    QCOMPARE(text(sheet, "Label10"), QStringLiteral(" "));
}

void TstHandoff::eachSheetHasItsOwnSection()
{
    {
        Program program;
        for (int k = 1; k <= 6; ++k) {
            OrderSheet &sheet = openCategory(k);
            set(sheet, "l01", QString::number(10 + k));
            set(sheet, "Label16", QStringLiteral("菜%1").arg(k));
            if (k != 4)  // Form6 is left without "关闭"
                press(sheet, "Command2");
            else
                sheet.hide();
        }
    }
    for (int k = 1; k <= 6; ++k) {
        const QVariant price = stored(QStringLiteral("Form%1/l01").arg(k + 2));
        if (k == 4)
            QVERIFY(!price.isValid());
        else
            QCOMPARE(price.toString(), QString::number(10 + k));
    }
    QVERIFY(!stored(QStringLiteral("Form2/l01")).isValid());

    Program program;
    for (int k = 1; k <= 6; ++k) {
        OrderSheet &sheet = orderSheet(k);
        QCOMPARE(text(sheet, "l01"), k == 4 ? QStringLiteral(" ") : QString::number(10 + k));
        QCOMPARE(text(sheet, "Label16"), k == 4 ? QStringLiteral(" ") : QStringLiteral("菜%1").arg(k));
    }
    const QHash<QString, QString> fresh = captionsInFreshProcess(QStringLiteral("Form8"));
    QCOMPARE(fresh.value(QStringLiteral("l01")), QStringLiteral("16"));
    QCOMPARE(fresh.value(QStringLiteral("Label16")), QStringLiteral("菜6"));
}

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc == 3 && qstrcmp(argv[1], "--print-sheet") == 0)
        return printSheet(QString::fromLocal8Bit(argv[2]));
    app.setAttribute(Qt::AA_Use96Dpi, true);
    TstHandoff test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_handoff.moc"
