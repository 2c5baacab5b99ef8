// The takings window opened on a busy day: 1,000 orders of four lines each,
// read from the journal on its thread, summed, listed and painted; and the
// same day's figures and CSV files made from orders already read.

#include "busy_day.h"
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
            journal::Order order = bench::busyOrder(i, QDateTime(day, opening.addSecs(i * 40)));
            if (i % 4 == 1)  // every other paid one split with 微信
                order.payment->parts = {{QStringLiteral("微信"), 500}, {QStringLiteral("现金"), order.payment->due - 500}};
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
