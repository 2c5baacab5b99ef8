// The bill of the main window: "清单" composes it byte for byte, "复制" puts it
// on the clipboard, "打印" reports a printer it cannot reach.

#include "testsupport.h"

#include "main_window/bill.h"
#include "main_window/bill_print.h"
#include "main_window/form2.h"
#include "shell/program.h"
#include "sheets/order_sheet.h"

#include <QClipboard>
#include <QLabel>
#include <QMimeData>
#include <QPageSize>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

using namespace testsupport;

namespace {

const QString crlf = QStringLiteral("\r\n");

QString billAfterPress()
{
    pressMain("Command2");
    return mainText("Label2");
}

// Counts one dish on category k's sheet, row 1, and hands it off with "关闭".
void order(int k, const QString &dish, const QString &smallPrice, int small, int large)
{
    OrderSheet &sheet = openCategory(k);
    set(sheet, "Label1", dish);
    set(sheet, "Label8", QStringLiteral("小份"));
    set(sheet, "Label45", QStringLiteral("大份"));
    set(sheet, "l01", smallPrice);
    set(sheet, "l02", QStringLiteral("8"));
    press(sheet, "Command4", small);
    press(sheet, "Command6", large);
    press(sheet, "Command2");
}

}  // namespace

class TstBill : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        clearStore();
        QGuiApplication::clipboard()->setText(QStringLiteral("别的内容"));
    }

    // "清单"
    void firstBillWithNothingOrdered();
    void billNumberFiveWithOneOrderLine();
    void orderOnLastCategoryOnly();
    void ordersOnFirstAndThirdCategory();
    void fractionalGrandTotal();
    void numbersWrapAfter99();
    void numberingContinuesAcrossReset();

    // "复制"
    void copyPutsTheBillOnTheClipboard();
    void copyTwiceLeavesOneCopy();
    void copyOfAnEmptyBill();

    // "打印"
    void printWithoutPrinterIsReported();
    void printableTrimsOnlySpaces_data();
    void printableTrimsOnlySpaces();
    void onePrintedLinePerBillLine_data();
    void onePrintedLinePerBillLine();
    void longBillContinuesOnTheNextPage();
};

// ------------------------------------------------------------------ 清单 ---

void TstBill::firstBillWithNothingOrdered()
{
    Program program;
    form2().showForm();
    QCOMPARE(mainText("Label9"), QStringLiteral("0"));
    const QString bill = billAfterPress();
    QCOMPARE(bill, QStringLiteral("第1位\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n总计   0元"));
    QCOMPARE(bill.split(crlf).size(), 9);
    QCOMPARE(mainText("Label9"), QStringLiteral("1"));
}

void TstBill::billNumberFiveWithOneOrderLine()
{
    Program program;
    order(1, QStringLiteral("Label1"), QStringLiteral("6"), 2, 1);
    form2().label(QStringLiteral("Label9"))->setText(QStringLiteral("4"));
    QCOMPARE(billAfterPress(), QStringLiteral("第5位\r\n"
                                              "\r\n"
                                              "Label1 2小份 1大份 20\r\n"
                                              "\r\n\r\n\r\n\r\n\r\n\r\n"
                                              "总计   20元"));
    QCOMPARE(mainText("Label9"), QStringLiteral("5"));
}

void TstBill::orderOnLastCategoryOnly()
{
    Program program;
    order(6, QStringLiteral("豆浆"), QStringLiteral("2"), 1, 0);
    QCOMPARE(billAfterPress(), QStringLiteral("第1位\r\n"
                                              "\r\n\r\n\r\n\r\n\r\n\r\n"
                                              "豆浆 1小份 0大份 2\r\n"
                                              "\r\n"
                                              "总计   2元"));
}

void TstBill::ordersOnFirstAndThirdCategory()
{
    Program program;
    order(1, QStringLiteral("拉面"), QStringLiteral("6"), 1, 0);
    order(3, QStringLiteral("包子"), QStringLiteral("1.5"), 4, 1);
    QCOMPARE(billAfterPress(), QStringLiteral("第1位\r\n"
                                              "\r\n"
                                              "拉面 1小份 0大份 6\r\n"
                                              "\r\n\r\n"
                                              "包子 4小份 1大份 14\r\n"
                                              "\r\n\r\n\r\n\r\n"
                                              "总计   20元"));
}

void TstBill::fractionalGrandTotal()
{
    Program program;
    order(2, QStringLiteral("小菜"), QStringLiteral("6.25"), 2, 0);
    QCOMPARE(mainText("L7"), QStringLiteral("12.5"));
    QVERIFY(billAfterPress().endsWith(QStringLiteral("\r\n\r\n总计   12.5元")));
}

void TstBill::numbersWrapAfter99()
{
    Program program;
    form2().showForm();
    for (int i = 1; i <= 98; ++i)
        pressMain("Command2");
    QCOMPARE(mainText("Label9"), QStringLiteral("98"));
    QVERIFY(billAfterPress().startsWith(QStringLiteral("第99位\r\n")));
    QCOMPARE(mainText("Label9"), QStringLiteral("99"));
    QVERIFY(billAfterPress().startsWith(QStringLiteral("第1位\r\n")));
    QCOMPARE(mainText("Label9"), QStringLiteral("1"));
    QVERIFY(billAfterPress().startsWith(QStringLiteral("第2位\r\n")));
}

void TstBill::numberingContinuesAcrossReset()
{
    Program program;
    order(1, QStringLiteral("面"), QStringLiteral("6"), 1, 0);
    form2().label(QStringLiteral("Label9"))->setText(QStringLiteral("6"));
    QVERIFY(billAfterPress().startsWith(QStringLiteral("第7位\r\n\r\n面 1小份")));
    pressMain("Command1");
    QCOMPARE(mainText("Label2"), QString());
    QCOMPARE(mainText("Label9"), QStringLiteral("7"));
    QCOMPARE(billAfterPress(), QStringLiteral("第8位\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n总计   0元"));
}

// ------------------------------------------------------------------ 复制 ---

void TstBill::copyPutsTheBillOnTheClipboard()
{
    Program program;
    order(1, QStringLiteral("拉面"), QStringLiteral("6"), 1, 0);
    auto *rich = new QMimeData;
    rich->setHtml(QStringLiteral("<b>旧</b>"));
    rich->setText(QStringLiteral("旧"));
    QGuiApplication::clipboard()->setMimeData(rich);

    const QString bill = billAfterPress();
    pressMain("Command4");
    const QMimeData *copied = QGuiApplication::clipboard()->mimeData();
    QVERIFY(copied);
    QCOMPARE(copied->text(), bill);
    QVERIFY(!copied->hasHtml());
    QCOMPARE(mainText("Label2"), bill);

    // Untrimmed, unlike the print.
    form2().label(QStringLiteral("Label2"))->setText(QStringLiteral("  第1位 \r\n "));
    pressMain("Command4");
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("  第1位 \r\n "));
}

void TstBill::copyTwiceLeavesOneCopy()
{
    Program program;
    form2().showForm();
    const QString bill = billAfterPress();
    pressMain("Command4");
    pressMain("Command4");
    QCOMPARE(QGuiApplication::clipboard()->text(), bill);
}

void TstBill::copyOfAnEmptyBill()
{
    Program program;
    form2().showForm();
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("别的内容"));
    pressMain("Command4");
    QCOMPARE(QGuiApplication::clipboard()->text(), QString());

    // After "一键归零" the bill is empty again.
    billAfterPress();
    pressMain("Command1");
    QGuiApplication::clipboard()->setText(QStringLiteral("别的内容"));
    pressMain("Command4");
    QCOMPARE(QGuiApplication::clipboard()->text(), QString());
}

// ------------------------------------------------------------------ 打印 ---

// main() points CUPS at a server that does not exist: there is no default
// printer, and the cashier must hear about it.
void TstBill::printWithoutPrinterIsReported()
{
    Program program;
    order(1, QStringLiteral("拉面"), QStringLiteral("6"), 1, 0);
    const QString bill = billAfterPress();
    for (int attempt = 0; attempt < 2; ++attempt) {
        QString message;
        QCOMPARE(answerModals(acceptingMessageBox(&message), [] { pressMain("Command3"); }), 1);
        QVERIFY2(message.startsWith(QStringLiteral("打印失败")), qPrintable(message));
        QCOMPARE(mainText("Label2"), bill);
        QVERIFY(form2().isVisible());
    }
    // The program goes on.
    QVERIFY(billAfterPress().startsWith(QStringLiteral("第2位")));
}

void TstBill::printableTrimsOnlySpaces_data()
{
    QTest::addColumn<QString>("bill");
    QTest::addColumn<QString>("printed");
    QTest::newRow("nothing to trim") << "第1位\r\n总计   0元" << "第1位\r\n总计   0元";
    QTest::newRow("spaces both ends") << "   第1位\r\n总计   0元  " << "第1位\r\n总计   0元";
    QTest::newRow("line breaks stay") << " \r\n 第1位 \r\n " << "\r\n 第1位 \r\n";
    QTest::newRow("tabs stay") << "\t 第1位 \t" << "\t 第1位 \t";
    QTest::newRow("ideographic space stays") << "\u3000第1位 " << "\u3000第1位";
    QTest::newRow("only spaces") << "    " << "";
    QTest::newRow("empty") << "" << "";
}

void TstBill::printableTrimsOnlySpaces()
{
    QFETCH(QString, bill);
    QTEST(bill::printable(bill), "printed");
}

void TstBill::onePrintedLinePerBillLine_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("empty bill") << "" << QStringList{QString()};
    QTest::newRow("one line") << "第1位" << QStringList{QStringLiteral("第1位")};
    QTest::newRow("bill") << "第5位\r\n\r\nLabel1 2小份 1大份 20\r\n\r\n总计   20元"
                          << QStringList{QStringLiteral("第5位"), QString(),
                                         QStringLiteral("Label1 2小份 1大份 20"), QString(),
                                         QStringLiteral("总计   20元")};
    QTest::newRow("ends with a break") << "a\r\n" << QStringList{QStringLiteral("a"), QString()};
    QTest::newRow("spaces kept") << "总计   0元" << QStringList{QStringLiteral("总计   0元")};
}

void TstBill::onePrintedLinePerBillLine()
{
    QFETCH(QString, text);
    QFETCH(QStringList, lines);
    QCOMPARE(bill::printLines(text), lines);
}

// What poppler reads from a PDF: its page count, or its text.
QString pdfTool(const QString &tool, const QStringList &arguments)
{
    QProcess process;
    process.start(tool, arguments);
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
        return QStringLiteral("<%1 failed: %2>").arg(tool, QString::fromUtf8(process.readAllStandardError()));
    return QString::fromUtf8(process.readAllStandardOutput());
}

void TstBill::longBillContinuesOnTheNextPage()
{
    // Six full categories: 14 order lines each, with the heading, the empty
    // lines and the total line, longer than one A4 page.
    QStringList summaries;
    QStringList dishes;
    for (int k = 1; k <= 6; ++k) {
        QString summary;
        for (int row = 1; row <= 14; ++row) {
            const QString line = QStringLiteral("菜%1-%2 2小份 1大份 %3").arg(k).arg(row).arg(k * 100 + row);
            dishes << line;
            summary += crlf + line;
        }
        summaries << summary;
    }
    const QString text = bill::compose(QStringLiteral("7"), summaries, QStringLiteral("1234.5"));

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString pdf = dir.filePath(QStringLiteral("bill.pdf"));
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdf);
    printer.setPageSize(QPageSize(QPageSize::A4));
    QVERIFY(bill::printText(printer, bill::printable(text)));

    const QString info = pdfTool(QStringLiteral("pdfinfo"), {pdf});
    const QRegularExpressionMatch pages = QRegularExpression(QStringLiteral("Pages:\\s+(\\d+)")).match(info);
    QVERIFY2(pages.hasMatch(), qPrintable(info));
    QVERIFY2(pages.captured(1).toInt() >= 2, qPrintable(info));

    // Every line printed once, in order, none lost at a page break.
    QStringList expected{QStringLiteral("第7位")};
    expected << dishes << QStringLiteral("总计 1234.5元");
    QStringList printed;
    for (const QString &line : pdfTool(QStringLiteral("pdftotext"), {QStringLiteral("-raw"), pdf, QStringLiteral("-")})
                                   .split(u'\n')) {
        const QString folded = line.simplified().remove(u'\f');
        if (!folded.isEmpty())
            printed << folded;
    }
    QCOMPARE(printed, expected);
}

int main(int argc, char *argv[])
{
    // No default printer: a CUPS server that is not there, and no printer
    // named by the environment. Set before anything asks CUPS.
    qputenv("CUPS_SERVER", QByteArray("/nonexistent/tavelko-test/cups.sock"));
    qunsetenv("PRINTER");
    qunsetenv("LPDEST");
    QApplication app(argc, argv);
    app.setAttribute(Qt::AA_Use96Dpi, true);
    TstBill test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_bill.moc"
