// The takings window opened on a busy day: 1,000 orders of four lines each,
// read from the journal, summed, listed and painted.

#include "journal/journal.h"
#include "takings/takings_window.h"

#include <QCoreApplication>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

class BenchTakings : public QObject {
    Q_OBJECT

private slots:
    void openOnADayOfAThousandOrders()
    {
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        journal::Journal journal(folder.path());
        QVERIFY(journal.open());
        const QDate day = QDate::currentDate();
        const QTime opening(10, 0);
        QList<journal::Order> orders;
        for (int i = 0; i < 1000; ++i) {
            journal::Order order;
            order.endedAt = QDateTime(day, opening.addSecs(i * 40));
            order.billNumber = i % 99 + 1;
            order.printed = true;
            order.categoryNames = {QStringLiteral("面条"), QStringLiteral("小炒"),
                                   QStringLiteral("包子 馒头")};
            for (int k = 0; k < 4; ++k) {
                journal::OrderLine line;
                line.category = k % 3 + 1;
                line.categoryName = order.categoryNames[line.category - 1];
                line.dish = QStringLiteral("菜品%1").arg((i + k * 7) % 40 + 1);
                line.smallQuantity = k % 2 + 1;
                line.smallHeading = QStringLiteral("小份");
                line.largeQuantity = k % 3;
                line.largeHeading = QStringLiteral("大份");
                line.lineTotal = line.smallQuantity * 6 + line.largeQuantity * 8.5;
                order.lines << line;
                order.categoryTotals[line.category - 1] += line.lineTotal;
                order.grandTotal += line.lineTotal;
            }
            order.billText = QStringLiteral("第%1位\r\n...\r\n\r\n总计   %2元")
                                 .arg(*order.billNumber)
                                 .arg(order.grandTotal);
            orders << order;
        }
        QVERIFY2(journal.recordAll(orders), qPrintable(journal.error()));

        QBENCHMARK {
            takings::TakingsWindow window(journal);
            QVERIFY(window.showDay(day));
            window.show();
            window.grab();  // painted, as the owner first sees it
        }

        takings::TakingsWindow window(journal);
        window.showDay(day);
        QCOMPARE(window.findChild<QTableWidget *>(QStringLiteral("orderList"))->rowCount(), 1000);
    }
};

QTEST_MAIN(BenchTakings)
#include "bench_takings.moc"
