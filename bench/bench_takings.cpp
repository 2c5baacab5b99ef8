// The takings window opened on a busy day: 1,000 orders of four lines each,
// read from the journal on its thread, summed, listed and painted; and the
// same day's figures and CSV files made from orders already read.

#include "journal/journal.h"
#include "journal/journal_service.h"
#include "journal/report.h"
#include "takings/takings_window.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QTableView>
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
            if (i % 2) {  // every other one paid, in cash or split with 微信
                const journal::Fen due = journal::toFen(order.grandTotal);
                order.status = journal::OrderStatus::Paid;
                order.payment = journal::Payment{due, 0, QString(), 0, due, {{QStringLiteral("现金"), due}}, due, 0};
                if (i % 4 == 1)
                    order.payment->parts = {{QStringLiteral("微信"), 500}, {QStringLiteral("现金"), due - 500}};
            }
            orders << order;
        }
        QVERIFY2(journal.recordAll(orders), qPrintable(journal.error()));
        m_orders = orders;

        journal::JournalService service(folder.path());
        QBENCHMARK {
            takings::TakingsWindow window(service);
            window.showDay(day);
            QVERIFY(QTest::qWaitFor([&] { return !window.isReading(); }, 30000));
            window.show();
            window.grab();  // painted, as the owner first sees it
        }

        takings::TakingsWindow window(service);
        window.showDay(day);
        QVERIFY(QTest::qWaitFor([&] { return !window.isReading(); }, 30000));
        QCOMPARE(window.findChild<QTableView *>(QStringLiteral("orderList"))->model()->rowCount(), 1000);
    }

    // The figures and both files of the day above, from the orders in memory.
    void figuresAndFilesOfTheDay()
    {
        QVERIFY(!m_orders.isEmpty());
        QBENCHMARK {
            const journal::DaySummary summary = journal::summarize(QDate::currentDate(), m_orders);
            QVERIFY(!journal::summaryText(summary).isEmpty());
            for (journal::CsvKind kind : {journal::CsvKind::Orders, journal::CsvKind::Lines}) {
                QBuffer buffer;
                buffer.open(QIODevice::WriteOnly);
                QVERIFY(journal::writeCsv(buffer, m_orders, kind));
            }
        }
    }

private:
    QList<journal::Order> m_orders;
};

QTEST_MAIN(BenchTakings)
#include "bench_takings.moc"
