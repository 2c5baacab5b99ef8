// The bill of the main window: "清单" composes it byte for byte, "复制" puts it
// on the clipboard, "打印" lays it out whole inside the printable area and
// reports a print service it cannot reach.

#include "testsupport.h"

#include "common/design.h"
#include "main_window/bill.h"
#include "main_window/bill_print.h"
#include "main_window/roll_layout.h"
#include "main_window/bill_print_cups.h"
#include "main_window/form2.h"
#include "shell/program.h"
#include "sheets/order_sheet.h"

#include <QClipboard>
#include <QFontMetricsF>
#include <QLabel>
#include <QMimeData>
#include <QPageLayout>
#include <QPageSize>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <cups/ipp.h>

#include <memory>

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
    void copyTakenOverAtOnceIsTold();
    void copyOfAnEmptyBill();

    // "打印"
    void printWithoutPrinterIsReported();
    void jobFollowedUp_data();
    void jobFollowedUp();
    void printableTrimsOnlySpaces_data();
    void printableTrimsOnlySpaces();
    void onePrintedLinePerBillLine_data();
    void onePrintedLinePerBillLine();
    void longLinesContinueOnTheNextRow_data();
    void longLinesContinueOnTheNextRow();
    void everyRowInsideThePrintableArea_data();
    void everyRowInsideThePrintableArea();
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

// Another program holding the clipboard: what did not arrive is told; the
// next press copies.
void TstBill::copyTakenOverAtOnceIsTold()
{
    Program program;
    form2().showForm();
    const QString bill = billAfterPress();
    QClipboard *clipboard = QGuiApplication::clipboard();
    auto takeOver = std::make_shared<QMetaObject::Connection>();
    *takeOver = connect(clipboard, &QClipboard::dataChanged, this, [clipboard, takeOver] {
        if (clipboard->text().isEmpty())
            return;  // the clear before the copy
        QObject::disconnect(*takeOver);
        clipboard->setText(QStringLiteral("别的程序"));
    });
    QString message;
    QCOMPARE(answerModals(acceptingMessageBox(&message), [] { pressMain("Command4"); }), 1);
    QVERIFY2(message.startsWith(QStringLiteral("复制失败")), qPrintable(message));
    QCOMPARE(answerModals(acceptingMessageBox(), [] { pressMain("Command4"); }), 0);
    QCOMPARE(clipboard->text(), bill);
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

// main() points CUPS at a server that does not exist: the cashier must hear
// that the print service cannot be reached, not that no printer is chosen.
void TstBill::printWithoutPrinterIsReported()
{
    Program program;
    order(1, QStringLiteral("拉面"), QStringLiteral("6"), 1, 0);
    const QString bill = billAfterPress();
    for (int attempt = 0; attempt < 2; ++attempt) {
        QString message;
        QCOMPARE(answerModals(acceptingMessageBox(&message), [] { pressMain("Command3"); }), 1);
        QVERIFY2(message.startsWith(QStringLiteral("打印失败")), qPrintable(message));
        QVERIFY2(message.contains(QStringLiteral("无法连接打印服务")), qPrintable(message));
        QCOMPARE(mainText("Label2"), bill);
        QVERIFY(form2().isVisible());
    }
    // The program goes on.
    QVERIFY(billAfterPress().startsWith(QStringLiteral("第2位")));
}

void TstBill::jobFollowedUp_data()
{
    QTest::addColumn<int>("job");
    QTest::addColumn<int>("printer");
    QTest::addColumn<QStringList>("reasons");  // the printer's
    QTest::addColumn<QString>("message");      // the printer's
    QTest::addColumn<bool>("failed");
    QTest::addColumn<bool>("troubled");
    QTest::addColumn<QString>("reason");
    const int processing = IPP_JSTATE_PROCESSING, pending = IPP_JSTATE_PENDING;
    const int busy = IPP_PSTATE_PROCESSING, stopped = IPP_PSTATE_STOPPED;
    const QString unreachable = QStringLiteral("Unable to connect to printer; will retry in 30 seconds.");
    QTest::newRow("printing") << processing << busy << QStringList() << QString() << false << false
                              << QString();
    QTest::newRow("toner low") << processing << busy << QStringList{"toner-low-warning"} << QString()
                               << false << false << QStringLiteral("toner-low-warning");
    QTest::newRow("printer in error") << processing << busy << QStringList{"media-empty-error"}
                                      << QString() << false << true
                                      << QStringLiteral("media-empty-error");
    QTest::newRow("printer cannot be reached")
        << processing << busy << QStringList() << unreachable << false << true << unreachable;
    QTest::newRow("waiting behind a printer that cannot be reached")
        << pending << busy << QStringList() << unreachable << false << true << unreachable;
    QTest::newRow("queue stopped under the job")
        << pending << stopped << QStringList{"paused"} << QString() << true << false
        << QStringLiteral("paused");
    QTest::newRow("cancelled") << int(IPP_JSTATE_CANCELED) << int(IPP_PSTATE_IDLE) << QStringList()
                               << QString() << true << false << QString();
}

// What one look at a job in CUPS means: a job that will not print by itself
// has failed, one whose printer cannot be reached or is in error is in
// trouble, a warning is neither; the reason is the spooler's own words.
void TstBill::jobFollowedUp()
{
    QFETCH(int, job);
    QFETCH(int, printer);
    QFETCH(QStringList, reasons);
    QFETCH(QString, message);
    const bill::JobLook look = bill::judgeJob({job, {}, {}, printer, reasons, message});
    QVERIFY(!look.finished);
    QTEST(look.failed, "failed");
    QTEST(look.troubled, "troubled");
    QTEST(look.reason, "reason");
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
    // A caption may hold a lone CR or LF: each ends a printed line too.
    QTest::newRow("lone CR") << "面\r汤\r\n总计" << QStringList{QStringLiteral("面"), QStringLiteral("汤"), QStringLiteral("总计")};
    QTest::newRow("lone LF") << "面\n\r\n总计" << QStringList{QStringLiteral("面"), QString(), QStringLiteral("总计")};
}

void TstBill::onePrintedLinePerBillLine()
{
    QFETCH(QString, text);
    QFETCH(QStringList, lines);
    QCOMPARE(bill::printLines(text), lines);
}

void TstBill::longLinesContinueOnTheNextRow_data()
{
    // Widths in ideographs (9 pt each; digits, letters and spaces are half
    // as wide), the indent of a continued row is one ideograph.
    QTest::addColumn<QString>("line");
    QTest::addColumn<double>("width");
    QTest::addColumn<QStringList>("rows");
    QTest::newRow("fits") << "总计   20元" << 20.0 << QStringList{QStringLiteral("总计   20元")};
    QTest::newRow("no spaces: between characters")
        << "红烧牛肉面加卤蛋青菜" << 4.0
        << QStringList{QStringLiteral("红烧牛肉"), QStringLiteral("面加卤"), QStringLiteral("蛋青菜")};
    QTest::newRow("at the last space that fits")
        << "牛肉面 12小份 10大份 157" << 8.0
        << QStringList{QStringLiteral("牛肉面 12小份 "), QStringLiteral("10大份 157")};
    QTest::newRow("a word wider than a row")
        << "ab 红烧牛肉面加卤蛋" << 4.0
        << QStringList{QStringLiteral("ab "), QStringLiteral("红烧牛"), QStringLiteral("肉面加"), QStringLiteral("卤蛋")};
    QTest::newRow("trailing spaces leave no ink") << "第1位                    " << 3.0
                                                  << QStringList{QStringLiteral("第1位                    ")};
    QTest::newRow("leading spaces stay") << "   红烧牛肉面" << 4.0
                                         << QStringList{QStringLiteral("   红烧"), QStringLiteral("牛肉面")};
    QTest::newRow("characters outside the basic plane") << "𠀀𠀁𠀂𠀃𠀄 😀😀😀 e\u0301e\u0301e\u0301" << 2.0
                                                        << QStringList{};
    QTest::newRow("narrower than one character") << "面条" << 0.5 << QStringList{QStringLiteral("面"), QStringLiteral("条")};
}

void TstBill::longLinesContinueOnTheNextRow()
{
    QFETCH(QString, line);
    QFETCH(double, width);
    QFETCH(QStringList, rows);
    const QFontMetricsF metrics(bill::printFont());
    const double ideograph = metrics.horizontalAdvance(QStringLiteral("中"));
    const QStringList printed = bill::wrapLine(line, metrics, width * ideograph + 0.01, ideograph);
    if (!rows.isEmpty())
        QCOMPARE(printed, rows);
    QCOMPARE(printed.join(QString()), line);  // every character, once, in order
    for (qsizetype i = 0; i < printed.size(); ++i) {
        const QString &row = printed[i];
        QVERIFY2(!row.isEmpty() && !row.front().isLowSurrogate() && !row.back().isHighSurrogate()
                     && !row.front().isMark(), qPrintable(row));
        const double room = width * ideograph + 0.01 - (i == 0 ? 0 : ideograph);
        QString ink = row;
        while (ink.endsWith(u' '))
            ink.chop(1);
        QVERIFY2(metrics.horizontalAdvance(ink) <= room || ink.size() <= 2, qPrintable(row));
    }

    // On paper the continued rows start further in than the line's first.
    QImage device(1, 1, QImage::Format_Grayscale8);
    const roll::Laid laid = roll::layOut(roll::textPage(line, bill::printFont().pointSizeF()), &device,
                                         QSizeF(width * QFontMetricsF(bill::printFont(), &device).horizontalAdvance(
                                                            QStringLiteral("中")) + 0.01, 1e6));
    QString again;
    for (const roll::Piece &piece : laid.pieces)
        again += piece.text;
    QCOMPARE(again, line);
    for (qsizetype i = 0; i < laid.pieces.size(); ++i)
        QVERIFY2((laid.pieces[i].origin.x() > 0) == (i > 0), qPrintable(laid.pieces[i].text));
}

// What poppler reads from a PDF: its text, or its words with their boxes.
QString pdfTool(const QString &tool, const QStringList &arguments)
{
    QProcess process;
    process.start(tool, arguments);
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
        return QStringLiteral("<%1 failed: %2>").arg(tool, QString::fromUtf8(process.readAllStandardError()));
    return QString::fromUtf8(process.readAllStandardOutput());
}

void TstBill::everyRowInsideThePrintableArea_data()
{
    // Six full categories: 14 order lines each, with the heading, the empty
    // lines and the total line, longer than one A4 page; on a narrow short
    // page the long dish names wrap too, over many pages. The kitchen's
    // tickets come in larger type.
    QTest::addColumn<QSizeF>("paper");  // millimetres
    QTest::addColumn<double>("points");
    QTest::addColumn<int>("leastPages");
    QTest::newRow("A4") << QSizeF(210, 297) << 9.0 << 2;
    QTest::newRow("58 mm, short pages") << QSizeF(58, 60) << 9.0 << 10;
    QTest::newRow("58 mm, kitchen's type") << QSizeF(58, 210) << 14.0 << 10;
}

void TstBill::everyRowInsideThePrintableArea()
{
    QFETCH(QSizeF, paper);
    QFETCH(double, points);
    QFETCH(int, leastPages);
    QStringList summaries;
    for (int k = 1; k <= 6; ++k) {
        QString summary;
        for (int row = 1; row <= 14; ++row)
            summary += crlf + QStringLiteral("红烧牛肉面加卤蛋青菜香菜葱花辣椒油%1-%2 12小份 10大份 %3").arg(k).arg(row).arg(k * 100 + row);
        summaries << summary;
    }
    const QString text = bill::printable(bill::compose(QStringLiteral("7"), summaries, QStringLiteral("1234.5")));

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString pdf = dir.filePath(QStringLiteral("bill.pdf"));
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdf);
    const QMarginsF margins(4, 6, 4, 6);  // millimetres
    printer.setPageLayout(QPageLayout(QPageSize(paper, QPageSize::Millimeter, QString(), QPageSize::ExactMatch),
                                      QPageLayout::Portrait, margins, QPageLayout::Millimeter));
    QVERIFY(bill::printText(printer, text, design::font(design::Face::SongTi, points)));

    // Every word lies inside the printable area of its page: none above its
    // top, none across a page break, none past the right edge; in the type
    // size asked for.
    const QString boxes = pdfTool(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), pdf, QStringLiteral("-")});
    const double mm = 72 / 25.4, slack = 1.0;
    const QRectF area = QRectF(QPointF(0, 0), paper * mm).marginsRemoved(margins * mm).adjusted(-slack, -slack, slack, slack);
    static const QRegularExpression word(
        QStringLiteral("<word xMin=\"([\\d.]+)\" yMin=\"([\\d.]+)\" xMax=\"([\\d.]+)\" yMax=\"([\\d.]+)\">([^<]*)<"));
    int words = 0;
    double tallest = 0;
    for (const QRegularExpressionMatch &m : word.globalMatch(boxes)) {
        const QRectF box(QPointF(m.captured(1).toDouble(), m.captured(2).toDouble()),
                         QPointF(m.captured(3).toDouble(), m.captured(4).toDouble()));
        QVERIFY2(area.contains(box), qPrintable(m.captured(0)));
        tallest = std::max(tallest, box.height());
        ++words;
    }
    QVERIFY2(words > 6 * 14 * 4, qPrintable(boxes.left(2000)));
    QVERIFY2(tallest >= points && tallest < 1.2 * points, qPrintable(QString::number(tallest)));
    QVERIFY2(boxes.count(QStringLiteral("<page ")) >= leastPages, qPrintable(boxes.left(500)));

    // Every character printed once, in order, none lost at a break.
    QString printed = pdfTool(QStringLiteral("pdftotext"), {QStringLiteral("-raw"), pdf, QStringLiteral("-")});
    QString expected = text;
    static const QRegularExpression blank(QStringLiteral("\\s"));
    QCOMPARE(printed.remove(blank), expected.remove(blank));
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
