// Sales journal benchmarks: recording one order as "一键归零" does (one
// transaction, synced to disk), the summary of a day of 1,000 orders (what the
// takings window reads), and the CSV of a year of 100,000 orders.

#include "journal/journal.h"

#include <QBuffer>
#include <QTemporaryDir>
#include <QTest>

namespace {

// A lunchtime order: three categories, two dishes each, a bill.
journal::Order sampleOrder(const QDateTime &endedAt, int bill)
{
    journal::Order order;
    order.endedAt = endedAt;
    order.billNumber = bill % 99 + 1;
    order.printed = true;
    order.categoryNames = {QStringLiteral("面条"), QStringLiteral("小炒"),
                           QStringLiteral("包子 馒头"), QString(), QString(), QString()};
    for (int c = 1; c <= 3; ++c)
        for (int dish = 1; dish <= 2; ++dish) {
            const double total = 2 * 12.5 + 18;
            order.lines.append({c, order.categoryNames[c - 1], QStringLiteral("牛肉面%1").arg(dish),
                                2, QStringLiteral("小份"), 1, QStringLiteral("大份"), total});
            order.categoryTotals[c - 1] += total;
            order.grandTotal += total;
        }
    order.billText = QStringLiteral("第%1位\r\n面条 ...\r\n\r\n总计   %2元")
                         .arg(*order.billNumber)
                         .arg(order.grandTotal);
    return order;
}

// `count` orders spread evenly over `days` days from 1 January.
void fill(journal::Journal &journal, int count, int days)
{
    const QDateTime start(QDate(2026, 1, 1), QTime(8, 0));
    QList<journal::Order> orders;
    for (int i = 0; i < count; ++i) {
        const qint64 seconds = qint64(i) * days * 86400 / count;
        orders.append(sampleOrder(start.addSecs(seconds), i));
    }
    QVERIFY2(journal.recordAll(orders), qPrintable(journal.error()));
}

}  // namespace

class BenchJournal : public QObject {
    Q_OBJECT

private slots:
    void recordOneOrder()
    {
        // Beside the build, on the disk the program's data folder would be on.
        QTemporaryDir folder(QDir::currentPath() + QStringLiteral("/journal-XXXXXX"));
        journal::Journal journal(folder.path());
        QVERIFY(journal.open());
        int bill = 0;
        QBENCHMARK {
            QVERIFY(journal.record(sampleOrder(QDateTime::currentDateTime(), ++bill)));
        }
    }

    void summaryOfADayOf1000Orders()
    {
        QTemporaryDir folder;
        journal::Journal journal(folder.path());
        fill(journal, 1000, 1);
        QBENCHMARK {
            const std::optional<journal::DaySummary> summary = journal.summaryOf(QDate(2026, 1, 1));
            QVERIFY(summary && summary->orderCount == 1000);
        }
    }

    void exportAYearOf100000Orders()
    {
        QTemporaryDir folder;
        journal::Journal journal(folder.path());
        fill(journal, 100000, 365);
        const QString file = folder.filePath(QStringLiteral("year.csv"));
        QBENCHMARK_ONCE {
            QVERIFY2(journal.exportCsv(QDate(2026, 1, 1), QDate(2026, 12, 31), file),
                     qPrintable(journal.error()));
        }
        qInfo("CSV of a year: %lld bytes", QFileInfo(file).size());
    }
};

QTEST_GUILESS_MAIN(BenchJournal)
#include "bench_journal.moc"
