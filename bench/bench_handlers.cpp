// Handler benchmarks: one rescale, one quantity press (also with the repaint
// that follows it on a shown sheet), one settle, one
// hand-off with all six sheets loaded, a sheet's save into a full settings
// store, the bill with six full summaries (also shown in its scrolling pane),
// a sheet painted with captions too wide for their labels and one with its
// first-run hints, reset-all, the print document of a full bill, a 60-line
// bill laid out and printed on an 80 mm receipt roll, and a save into a store
// of 10,000 and 100,000 entries (whose cost must grow no faster than the store).

#include "common/form.h"
#include "main_window/bill.h"
#include "main_window/bill_print.h"
#include "main_window/form2.h"
#include "shell/form1.h"
#include "shell/program.h"
#include "sheets/order_sheet.h"
#include "settings/caption_store.h"
#include "sheets/sheet_design.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QPageLayout>
#include <QPageSize>
#include <QPrinter>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cmath>
#include <ctime>

class BenchHandlers : public QObject {
    Q_OBJECT

private:
    // Every row of a sheet counted, so that lists and summaries are full.
    static void fillSheet(OrderSheet &sheet)
    {
        for (const sheet::DishRow &row : sheet::dishRows()) {
            settings::setEditedCaption(sheet.label(row.dishName),
                                       QStringLiteral("牛肉面%1").arg(row.number));
            settings::setEditedCaption(sheet.label(row.smallPrice), QStringLiteral("12.5"));
            settings::setEditedCaption(sheet.label(row.largePrice), QStringLiteral("18"));
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
        QList<QWidget *> captions;
        for (int k = 6; k >= 1; --k) {
            fillSheet(orderSheet(k));
            captions.clear();
            for (const QString &name : sheet::captionList())
                captions.append(orderSheet(k).label(name));
            orderSheet(k).SaveSettingEx(captions);
        }
        int n = 0;
        QBENCHMARK {
            settings::setEditedCaption(orderSheet(1).label(QStringLiteral("Label1")),
                                       QString::number(++n));
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

    // One caption saved into a well-formed store far larger than a real
    // one (about 300 entries): 200 bytes an entry.
    void saveIntoLargeStore_data()
    {
        QTest::addColumn<int>("entries");
        QTest::newRow("10,000 entries") << 10000;
        QTest::newRow("100,000 entries") << 100000;
    }

    void saveIntoLargeStore()
    {
        QFETCH(int, entries);
        const QString file = settings::storeLocation();
        QDir().mkpath(QFileInfo(file).path());
        {
            QFile store(file);
            QVERIFY(store.open(QIODevice::WriteOnly | QIODevice::Truncate));
            const QByteArray value = QStringLiteral("红烧牛肉面大碗加蛋").repeated(7).toUtf8();
            QByteArray text;
            for (int i = 0; i < entries; ++i) {
                if (i % 1000 == 0)
                    text += "[Bulk" + QByteArray::number(i / 1000) + "]\n";
                text += "key" + QByteArray::number(i) + '=' + value + '\n';
            }
            QVERIFY(store.write(text) == text.size());
        }
        settings::resetReadState();
        QLabel dish;
        dish.setObjectName(QStringLiteral("Label1"));
        // The machine's time, not the wall clock's: on a busy machine the
        // latter hides whether the cost grows with the store alone.
        const auto cpuNow = [] {
            timespec now;
            clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
            return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
        };
        const double start = cpuNow();
        int n = 0;
        QBENCHMARK {
            settings::setEditedCaption(&dish, QString::number(++n));
            QVERIFY(settings::SaveSettingEx(QStringLiteral("Form3"), {&dish},
                                            settings::CaptionKind::Label));
        }
        const double perSave = (cpuNow() - start) / n;
        qInfo("processor time per save: %.0f ms, %.1f us per entry", perSave,
              perSave * 1000 / entries);
        QFile::remove(file);
    }
};

QTEST_MAIN(BenchHandlers)
#include "bench_handlers.moc"
