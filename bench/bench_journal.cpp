// Sales journal benchmarks: recording one order as "一键归零" does (one
// transaction, synced to disk), the summary of a day of 1,000 orders (what the
// takings window reads), the CSV of a year of 100,000 orders, opening (with
// its integrity check) a journal holding that year, and five years of
// 500,000 orders: how soon the window answers while the journal is opened
// and checked on its own thread, and what the checks cost there; putting an
// order aside (挂单) while fifty others are, and listing them.

#include "journal/journal.h"
#include "journal/journal_service.h"
#include "journal/sqlite_db.h"

#include <QBuffer>
#include <QEventLoop>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

// A lunchtime order: three categories, two dishes each, a bill. `dishes`:
// per category (14 fills every row of a sheet).
journal::Order sampleOrder(const QDateTime &endedAt, int bill, int categories = 3, int dishes = 2)
{
    journal::Order order;
    order.endedAt = endedAt;
    order.billNumber = bill % 99 + 1;
    order.printed = true;
    order.categoryNames = {QStringLiteral("面条"), QStringLiteral("小炒"), QStringLiteral("包子 馒头"),
                           QStringLiteral("凉菜"), QStringLiteral("饮料"), QStringLiteral("主食")};
    for (int c = 1; c <= categories; ++c)
        for (int dish = 1; dish <= dishes; ++dish) {
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

// An order put aside: a table of a busy evening, with the till's state of a
// full order (about 2 KB of JSON).
journal::OpenOrder openOrder(int table)
{
    QByteArray state = "{\"lines\":[";
    for (int line = 0; line < 24; ++line)
        state += QByteArray(line ? "," : "") + R"({"category":1,"dish":"牛肉面","small":2,"large":1,"total":43})";
    state += "]}";
    return journal::OpenOrder{QStringLiteral("table-%1").arg(table), QStringLiteral("%1号桌").arg(table),
                              QDateTime::currentDateTime(), 4300, 3, state};
}

// Runs `work` on the service's thread and waits for it.
template <class Result>
Result onJournalThread(journal::JournalService &service, std::function<Result(journal::Journal &)> work)
{
    QObject context;
    QEventLoop loop;
    Result result{};
    service.run<Result>(&context, std::move(work), [&](Result r) {
        result = std::move(r);
        loop.quit();
    });
    loop.exec();
    return result;
}

// `count` orders spread evenly over `days` days from 1 January, each day's
// between 8:00 and 20:00.
void fill(journal::Journal &journal, int count, int days)
{
    const QDateTime start(QDate(2026, 1, 1), QTime(8, 0));
    const int perDay = (count + days - 1) / days;
    QList<journal::Order> orders;
    for (int i = 0; i < count; ++i) {
        const qint64 seconds = qint64(i / perDay) * 86400 + qint64(i % perDay) * 43200 / perDay;
        orders.append(sampleOrder(start.addSecs(seconds), i));
        if (orders.size() == 10000 || i == count - 1) {  // a few at a time: five years do not fit in memory
            QVERIFY2(journal.recordAll(orders), qPrintable(journal.error()));
            orders.clear();
        }
    }
}

// Five years of a busy lunch: 500,000 orders, made once into the build
// folder and kept for later runs.
QString fiveYearsFolder()
{
    const QString folder = QDir::currentPath() + QStringLiteral("/journal-500000");
    {
        journal::Journal existing(folder, journal::Journal::Mode::Reading);
        if (existing.orderCount() >= 500000)  // and what a run recorded since
            return folder;
    }
    QDir(folder).removeRecursively();
    journal::Journal journal(folder);
    qInfo("making a journal of 500,000 orders in %s (once)", qPrintable(folder));
    fill(journal, 500000, 5 * 365);
    return folder;
}

}  // namespace

class BenchJournal : public QObject {
    Q_OBJECT

private slots:
    void recordOneOrder_data()
    {
        QTest::addColumn<int>("categories");
        QTest::addColumn<int>("dishes");
        QTest::newRow("6 lines") << 3 << 2;
        QTest::newRow("every row of six sheets") << 6 << 14;
    }

    void recordOneOrder()
    {
        QFETCH(int, categories);
        QFETCH(int, dishes);
        // Beside the build, on the disk the program's data folder would be on.
        QTemporaryDir folder(QDir::currentPath() + QStringLiteral("/journal-XXXXXX"));
        journal::Journal journal(folder.path());
        QVERIFY(journal.open());
        int bill = 0;
        QBENCHMARK {
            QVERIFY(journal.record(sampleOrder(QDateTime::currentDateTime(), ++bill, categories, dishes)));
        }
    }

    // Putting an order aside (again, with more on it) while fifty others
    // are, and listing them all, on the journal's thread as the till does.
    void keepOpenAmong50_data()
    {
        QTest::addColumn<bool>("list");
        QTest::newRow("keepOpen (one transaction, synced)") << false;
        QTest::newRow("openOrders (fifty listed)") << true;
    }

    void keepOpenAmong50()
    {
        QFETCH(bool, list);
        QTemporaryDir folder(QDir::currentPath() + QStringLiteral("/journal-XXXXXX"));
        journal::JournalService service(folder.path());
        service.start();
        for (int table = 1; table <= 50; ++table)
            service.keepOpen(openOrder(table));
        QTRY_VERIFY_WITH_TIMEOUT(service.pendingOpenCount() == 0, 60000);
        int table = 0;
        QBENCHMARK {
            const bool done = onJournalThread<bool>(service, [&](journal::Journal &j) {
                if (list)
                    return j.openOrders().value_or(QList<journal::OpenOrder>()).size() == 50;
                return j.keepOpen(openOrder(table++ % 50 + 1));
            });
            QVERIFY(done);
        }
        QVERIFY(service.finish(std::chrono::seconds(5)).isEmpty());
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
        journal::Journal journal(yearFolder());
        const QString file = m_year.filePath(QStringLiteral("year.csv"));
        QBENCHMARK_ONCE {
            QVERIFY2(journal.exportCsv(QDate(2026, 1, 1), QDate(2026, 12, 31), file),
                     qPrintable(journal.error()));
        }
        qInfo("CSV of a year: %lld bytes", QFileInfo(file).size());
    }

    // What the program does once the welcome window is up: open the journal
    // and check its integrity.
    void openAndCheckAYearOf100000Orders()
    {
        const QString folder = yearFolder();
        QBENCHMARK_ONCE {
            journal::Journal journal(folder);
            QVERIFY(journal.open());
        }
    }

    // The program's start on five years of orders: the journal is opened and
    // checked on its thread while the window answers its first press (a
    // zero timer stands for it) and the cashier's first order is handed
    // over; then the time until that order is on the disk.
    void firstPressWhileFiveYearsAreChecked()
    {
        const QString folder = fiveYearsFolder();
        QVERIFY(!QTest::currentTestFailed());
        qInfo("journal: %lld MB", QFileInfo(folder + QStringLiteral("/journal.sqlite")).size() >> 20);
        journal::JournalService service(folder);
        QElapsedTimer clock;
        clock.start();
        service.start();
        qint64 answered = -1;
        QTimer::singleShot(0, [&] { answered = clock.nsecsElapsed(); });
        QTRY_VERIFY(answered >= 0);
        QElapsedTimer press;
        press.start();
        service.record(sampleOrder(QDateTime::currentDateTime(), 1));
        const qint64 handed = press.nsecsElapsed();
        QTRY_VERIFY_WITH_TIMEOUT(service.pendingCount() == 0, 600000);
        const qint64 written = clock.nsecsElapsed();
        QVERIFY(service.finish(std::chrono::seconds(5)).isEmpty());
        qInfo("first press answered after %.2f ms; record() returned in %.3f ms; "
              "the order was on the disk %.0f ms after the start (open, check, write)",
              answered / 1e6, handed / 1e6, written / 1e6);
    }

    // What the start's check costs on the journal's thread: the quick check
    // of every start, the full one of once a week.
    void checksOfFiveYears_data()
    {
        QTest::addColumn<QByteArray>("check");
        QTest::newRow("quick_check (every start)") << QByteArray("PRAGMA quick_check");
        QTest::newRow("integrity_check (weekly)") << QByteArray("PRAGMA integrity_check");
    }

    void checksOfFiveYears()
    {
        QFETCH(QByteArray, check);
        journal::sql::Database db;
        QVERIFY(db.open(fiveYearsFolder() + QStringLiteral("/journal.sqlite"), true, false));
        QBENCHMARK_ONCE {
            QCOMPARE(db.text(check.constData()), std::optional(QStringLiteral("ok")));
        }
    }

private:
    QString yearFolder()
    {
        if (!m_yearFilled) {
            journal::Journal journal(m_year.path());
            fill(journal, 100000, 365);
            m_yearFilled = true;
        }
        return m_year.path();
    }

    QTemporaryDir m_year;
    bool m_yearFilled = false;
};

int main(int argc, char *argv[])
{
    // Making five years of orders, once, takes minutes: longer than a test
    // function is given by default.
    if (!qEnvironmentVariableIsSet("QTEST_FUNCTION_TIMEOUT"))
        qputenv("QTEST_FUNCTION_TIMEOUT", "3600000");
    QCoreApplication application(argc, argv);
    BenchJournal bench;
    return QTest::qExec(&bench, argc, argv);
}
#include "bench_journal.moc"
