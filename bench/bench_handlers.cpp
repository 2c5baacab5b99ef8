// Handler benchmarks: one rescale, one quantity press (also with the repaint
// that follows it on a shown sheet), one settle, one
// hand-off with all six sheets loaded, a sheet's save into a full settings
// store, the bill with six full summaries (also shown in its scrolling pane),
// a sheet painted with captions too wide for their labels and one with its
// first-run hints, reset-all, the
// print document of a full bill, and a 60-line bill laid out and printed on an
// 80 mm receipt roll.

#include "common/form.h"
#include "main_window/bill.h"
#include "main_window/bill_print.h"
#include "main_window/form2.h"
#include "shell/form1.h"
#include "shell/program.h"
#include "sheets/order_sheet.h"
#include "sheets/sheet_design.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QPageLayout>
#include <QPageSize>
#include <QPrinter>
#include <QTemporaryDir>

#include <cmath>

class BenchHandlers : public QObject {
    Q_OBJECT

private:
    // Every row of a sheet counted, so that lists and summaries are full.
    static void fillSheet(OrderSheet &sheet)
    {
        for (const sheet::DishRow &row : sheet::dishRows()) {
            sheet.label(row.dishName)->setText(QStringLiteral("牛肉面%1").arg(row.number));
            sheet.label(row.smallPrice)->setText(QStringLiteral("12.5"));
            sheet.label(row.largePrice)->setText(QStringLiteral("18"));
            sheet.quantityPressed(row.buttons[1]);
            sheet.quantityPressed(row.buttons[3]);
        }
    }

    // One rescale of every control of a window loaded at its design size.
    static void rescaleToDoubleSize(ProportionalForm &window)
    {
        window.ensureLoaded();
        window.resize(window.size() * 2);
        QBENCHMARK {
            window.ResizeForm();
        }
    }

private slots:
    void resizeWelcomeWindow()
    {
        Program program;
        rescaleToDoubleSize(form1());
    }

    void resizeOrderSheet()
    {
        Program program;
        rescaleToDoubleSize(orderSheet(1));
    }

    void quantityPress()
    {
        Program program;
        OrderSheet &sheet = orderSheet(1);
        sheet.ensureLoaded();
        const sheet::QuantityButton &plus = sheet::dishRows()[0].buttons[1];
        QBENCHMARK {
            sheet.quantityPressed(plus);
        }
    }

    // A press on a shown sheet and the repaint that follows it.
    void quantityPressRepainted()
    {
        Program program;
        OrderSheet &sheet = orderSheet(1);
        sheet.showForm();
        fillSheet(sheet);
        QCoreApplication::processEvents();
        const sheet::QuantityButton &plus = sheet::dishRows()[0].buttons[1];
        QBENCHMARK {
            sheet.quantityPressed(plus);
            QCoreApplication::processEvents();
        }
    }

    void settle()
    {
        Program program;
        OrderSheet &sheet = orderSheet(1);
        fillSheet(sheet);
        QBENCHMARK {
            sheet.Command1_Click();
        }
    }

    // A sheet's 46 captions saved, one of them changed, into a store that
    // holds all six sheets: written aside, read back, swapped in.
    void saveIntoFullStore()
    {
        Program program;
        for (int k = 1; k <= 6; ++k)
            fillSheet(orderSheet(k));
        QList<QWidget *> captions;
        for (const QString &name : sheet::captionList())
            captions.append(orderSheet(1).label(name));
        for (int k = 1; k <= 6; ++k)
            orderSheet(k).SaveSettingEx(captions);
        int n = 0;
        QBENCHMARK {
            orderSheet(1).label(QStringLiteral("Label1"))->setText(QString::number(++n));
            orderSheet(1).SaveSettingEx(captions);
        }
    }

    void handOffWithAllSheetsLoaded()
    {
        Program program;
        for (int k = 1; k <= 6; ++k)
            fillSheet(orderSheet(k));
        OrderSheet &sheet = orderSheet(1);
        QBENCHMARK {
            sheet.Command2_Click();
        }
    }

    void billWithSixFullSummaries()
    {
        Program program;
        for (int k = 1; k <= 6; ++k) {
            fillSheet(orderSheet(k));
            orderSheet(k).Command2_Click();
        }
        QBENCHMARK {
            form2().Command2_Click();
        }
    }

    // "清单" on the shown window with a 93-line bill whose lines are wider
    // than the pane: the bill label, the scroll bars coming up, the pane
    // scrolled to the total and repainted.
    void billInScrollingPane()
    {
        Program program;
        for (int k = 1; k <= 6; ++k) {
            fillSheet(orderSheet(k));
            orderSheet(k).label(QStringLiteral("Label1"))->setText(QStringLiteral("红烧牛肉面加蛋加肠特大碗"));
            orderSheet(k).Command2_Click();
        }
        Form2 &main = form2();
        main.showForm();
        QWidget *pane = main.label(QStringLiteral("Label2"))->parentWidget()->parentWidget();
        QBENCHMARK {
            main.Command2_Click();
            QCoreApplication::sendPostedEvents();
            pane->grab();
        }
    }

    // A repaint of a sheet whose 42 names, quantities and line totals are all
    // too wide for their labels (the names drawn smaller or cut, the numbers
    // whole beside their labels, the right half's names making way), with
    // five-character prices and a full settle list.
    void paintSheetWithCaptionsThatDoNotFit()
    {
        Program program;
        OrderSheet &sheet = orderSheet(1);
        sheet.showForm();
        for (const sheet::DishRow &row : sheet::dishRows()) {
            sheet.label(row.dishName)->setText(QStringLiteral("红烧牛肉面加蛋加肠特大碗套餐"));
            sheet.label(row.smallQuantity)->setText(QStringLiteral("123"));
            sheet.label(row.smallPrice)->setText(QStringLiteral("999.5"));
            sheet.label(row.largePrice)->setText(QStringLiteral("12345"));
            sheet.label(row.lineTotal)->setText(QStringLiteral("12345.5"));
        }
        sheet.Command1_Click();
        QBENCHMARK {
            sheet.grab();  // painted into a pixmap: every control draws
        }
    }

    // A first run's sheet: every editable caption blank, showing its hint.
    void paintSheetWithHints()
    {
        Program program;
        OrderSheet &sheet = orderSheet(1);
        sheet.showForm();
        QBENCHMARK {
            sheet.grab();
        }
    }

    void resetAllWithSixSheetsLoaded()
    {
        Program program;
        for (int k = 1; k <= 6; ++k)
            fillSheet(orderSheet(k));
        QBENCHMARK {
            form2().Command1_Click();
        }
    }

    void printDocumentOfFullBill()
    {
        Program program;
        for (int k = 1; k <= 6; ++k) {
            fillSheet(orderSheet(k));
            orderSheet(k).Command2_Click();
        }
        form2().Command2_Click();
        const QString text = bill::printable(form2().label(QStringLiteral("Label2"))->text());
        QTemporaryDir dir;
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setPageSize(QPageSize(QPageSize::A4));
        printer.setOutputFileName(dir.filePath(QStringLiteral("bill.pdf")));
        QBENCHMARK {
            QVERIFY(bill::printText(printer, text));
        }
    }

    // 51 order lines (some long enough to wrap), the heading, seven empty
    // lines and the total: 60 bill lines, laid out on an 80 mm roll (72 mm
    // printed) as long as the bill, and printed into a PDF file.
    void printSixtyLineBillOnEightyMillimetreRoll()
    {
        QStringList summaries;
        for (int k = 1; k <= 6; ++k) {
            QString summary;
            for (int row = 1; row <= (k <= 3 ? 9 : 8); ++row)
                summary += QStringLiteral("\r\n%1%2 12小份 10大份 %3")
                               .arg(row % 3 == 0 ? QStringLiteral("红烧牛肉面加卤蛋青菜香菜葱花辣椒油特大碗")
                                                 : QStringLiteral("牛肉面"))
                               .arg(row)
                               .arg(k * 100 + row);
            summaries << summary;
        }
        const QString text = bill::printable(bill::compose(QStringLiteral("7"), summaries, QStringLiteral("8888")));
        QCOMPARE(bill::printLines(text).size(), 60);
        QTemporaryDir dir;
        const QMarginsF margins(4, 3.5, 4, 3.5);  // millimetres, as receipt drivers give
        QBENCHMARK {
            QPrinter printer(QPrinter::HighResolution);
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(dir.filePath(QStringLiteral("roll.pdf")));
            const double length = margins.top() + bill::printedHeight(printer, 72, text) + margins.bottom();
            printer.setPageLayout(QPageLayout(QPageSize(QSizeF(80, std::ceil(length + 0.5)), QPageSize::Millimeter,
                                                        QString(), QPageSize::ExactMatch),
                                              QPageLayout::Portrait, margins, QPageLayout::Millimeter));
            QVERIFY(bill::printText(printer, text));
        }
    }
};

QTEST_MAIN(BenchHandlers)
#include "bench_handlers.moc"
