// "一键归零" in the main window: every sheet cleared through its own "清零",
// the main window's totals, summaries and bill emptied, and nothing else
// touched: names, prices, the bill number and the settings store stay.

#include "testsupport.h"

#include "main_window/form2.h"
#include "shell/program.h"
#include "sheets/order_sheet.h"
#include "sheets/settle_list.h"

#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QtTest>

using namespace testsupport;

namespace {

const char *const totals[7] = {"L1", "L2", "L3", "L4", "L5", "L6", "L7"};
const char *const texts[7] = {"Label2", "Label3", "Label4", "Label5", "Label6", "Label7", "Label8"};

// Everything the reset may change, and everything it must leave: every label
// of the main window and of the six sheets, and the sheets' settle lists.
QHash<QString, QString> state()
{
    QHash<QString, QString> all;
    for (QLabel *l : form2().findChildren<QLabel *>())  // the bill sits in its pane
        all.insert(QStringLiteral("Form2.") + l->objectName(), l->text());
    for (int k = 1; k <= 6; ++k) {
        OrderSheet &sheet = orderSheet(k);
        for (QLabel *l : sheet.findChildren<QLabel *>(QString(), Qt::FindDirectChildrenOnly))
            all.insert(sheet.objectName() + u'.' + l->objectName(), l->text());
        all.insert(sheet.objectName() + QStringLiteral(".Picture1"),
                   sheet.settleList()->lines().join(u'|'));
    }
    return all;
}

// Whole-number quantities and totals are the only labels a reset turns to
// "0"; names, headings and prices are the 46 stored ones.
bool isCount(const QString &label)
{
    static const QRegularExpression count(QStringLiteral("^(L\\d+|la1|La\\d+|面钱)$"));
    return count.match(label).hasMatch();
}

}  // namespace

class TstReset : public QObject {
    Q_OBJECT

private slots:
    void init() { clearStore(); }

    void resetRightAfterStart();
    void resetAfterCountingOnSeveralSheets();
    void resetTwiceIsResetOnce();
    void resetLeavesTheStoreAlone();
};

void TstReset::resetRightAfterStart()
{
    openStore().setValue(QStringLiteral("Form7/l02"), QStringLiteral("9"));
    Program program;
    form2().showForm();
    form2().label(QStringLiteral("Label9"))->setText(QStringLiteral("41"));
    for (int k = 1; k <= 6; ++k)
        QVERIFY(!program.sheetExists(k));

    pressMain("Command1");
    for (int k = 1; k <= 6; ++k) {
        QVERIFY(program.sheetExists(k));
        QVERIFY(orderSheet(k).isLoaded());
        QVERIFY(!orderSheet(k).isVisible());
        QCOMPARE(orderSheet(k).subtotal(), QStringLiteral("0"));
    }
    QCOMPARE(text(orderSheet(5), "l02"), QStringLiteral("9"));
    QCOMPARE(text(orderSheet(5), "l01"), QStringLiteral(" "));
    QVERIFY(form2().isVisible());
    for (const char *t : totals)
        QCOMPARE(mainText(t), QStringLiteral("0"));
    for (const char *t : texts)
        QCOMPARE(mainText(t), QString());
    QCOMPARE(mainText("Label9"), QStringLiteral("41"));
}

void TstReset::resetAfterCountingOnSeveralSheets()
{
    Program program;
    for (int k = 1; k <= 6; ++k) {
        OrderSheet &sheet = openCategory(k);
        set(sheet, "Label1", QStringLiteral("菜%1").arg(k));
        set(sheet, "Label10", QStringLiteral("汤%1").arg(k));
        set(sheet, "l01", QString::number(k));
        set(sheet, "l028", QStringLiteral("2.5"));
        set(sheet, "Label46", QStringLiteral("大碗"));
        press(sheet, "Command4");
        press(sheet, "Command4");
        press(sheet, "Command58");
        press(sheet, "Command7");  // row 2, a press at zero
        press(sheet, "Command2");  // handed off
    }
    pressMain("Command2");
    for (const char *t : texts)  // every summary and the bill filled
        QVERIFY2(!mainText(t).isEmpty(), t);
    QVERIFY(mainText("L7") != QStringLiteral("0"));
    OrderSheet &open = openCategory(6);  // counted further, settled and left open
    press(open, "Command8");
    press(open, "Command1");
    const QHash<QString, QString> before = state();

    form2().showForm();
    pressMain("Command1");

    const QHash<QString, QString> after = state();
    QCOMPARE(after.size(), before.size());
    for (auto it = before.cbegin(); it != before.cend(); ++it) {
        const QString window = it.key().section(u'.', 0, 0);
        const QString label = it.key().section(u'.', 1);
        QString expected = it.value();
        if (window == QStringLiteral("Form2")) {
            if (QRegularExpression(QStringLiteral("^L[1-7]$")).match(label).hasMatch())
                expected = QStringLiteral("0");
            else if (QRegularExpression(QStringLiteral("^Label[2-8]$")).match(label).hasMatch())
                expected = QString();
        } else if (isCount(label)) {
            expected = QStringLiteral("0");
        } else if (label == QStringLiteral("Picture1")) {
            expected = QString();
        }
        QVERIFY2(after.value(it.key()) == expected,
                 qPrintable(QStringLiteral("%1: expected \"%2\", got \"%3\"")
                                .arg(it.key(), expected, after.value(it.key()))));
    }
    // The sheet left open stays open; the others stay hidden.
    QVERIFY(orderSheet(6).isVisible());
    QVERIFY(!orderSheet(1).isVisible());
    QCOMPARE(text(orderSheet(1), "Label1"), QStringLiteral("菜1"));
    QCOMPARE(text(orderSheet(3), "l01"), QStringLiteral("3"));
    QVERIFY(before.contains(QStringLiteral("Form2.Label2")));

    // The next bill continues the numbering and is empty.
    QCOMPARE(mainText("Label9"), QStringLiteral("1"));
    pressMain("Command2");
    QCOMPARE(mainText("Label2"),
             QStringLiteral("第2位\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n总计   0元"));
}

void TstReset::resetTwiceIsResetOnce()
{
    Program program;
    OrderSheet &sheet = openCategory(2);
    set(sheet, "l05", QStringLiteral("7"));
    press(sheet, "Command8");
    press(sheet, "Command2");
    pressMain("Command2");

    pressMain("Command1");
    const QHash<QString, QString> once = state();
    pressMain("Command1");
    QCOMPARE(state(), once);
    QCOMPARE(text(sheet, "l05"), QStringLiteral("7"));
    QCOMPARE(text(sheet, "L5"), QStringLiteral("0"));
}

void TstReset::resetLeavesTheStoreAlone()
{
    Program program;
    OrderSheet &sheet = openCategory(1);
    set(sheet, "l01", QStringLiteral("6"));
    press(sheet, "Command2");  // saves Form3
    QFile file(storeFile());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray saved = file.readAll();
    file.close();
    QVERIFY(saved.contains("l01=6"));

    // Edits not yet saved, on a sheet and on a category button.
    openCategory(1);
    set(sheet, "l01", QStringLiteral("7"));
    sheet.hide();
    form2().showForm();
    form2().button(QStringLiteral("c4"))->setText(QStringLiteral("饮料"));
    pressMain("Command1");

    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), saved);
    QCOMPARE(text(sheet, "l01"), QStringLiteral("7"));
    QCOMPARE(form2().button(QStringLiteral("c4"))->text(), "饮料");
}

QTEST_MAIN(TstReset)
#include "tst_reset.moc"
