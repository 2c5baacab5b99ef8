// The sales journal: orders recorded and read back with their sums and CSV;
// a damaged database set aside for a new one; and the main window recording
// what "一键归零" clears, keeping an order it could not write for the next
// write that succeeds.

#include "testsupport.h"

#include "journal/journal.h"
#include "journal/journal_service.h"
#include "main_window/form2.h"
#include "sheets/order_sheet.h"
#include "sheets/sheet_design.h"
#include "shell/program.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QDir>
#include <QLabel>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <thread>

using namespace testsupport;
using journal::Journal;
using journal::Order;
using journal::OrderLine;

namespace {

const QDate day(2026, 3, 14);

Order order(const QTime &time, std::optional<int> bill, const QList<OrderLine> &lines)
{
    Order o;
    o.endedAt = QDateTime(day, time);
    o.billNumber = bill;
    o.categoryNames = {QStringLiteral("面条"), QStringLiteral("小炒"), QString(), QString(),
                       QString(), QString()};
    for (const OrderLine &line : lines) {
        o.categoryTotals[line.category - 1] += line.lineTotal;
        o.grandTotal += line.lineTotal;
    }
    o.lines = lines;
    o.billText = bill ? QStringLiteral("第%1位\r\n...").arg(*bill) : QString();
    return o;
}

OrderLine line(int category, const QString &dish, double small, double large, double total)
{
    return OrderLine{category, category == 1 ? QStringLiteral("面条") : QStringLiteral("小炒"),
                     dish, small, QStringLiteral("小份"), large, QStringLiteral("大份"), total};
}

QByteArray digest(const QString &file)
{
    QFile f(file);
    return f.open(QIODevice::ReadOnly) ? QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha1)
                                       : QByteArray();
}

// The folder's journal as the command line reads it.
QList<Order> readBack(const QString &folder, const QDate &date = QDate::currentDate())
{
    Journal reader(folder, Journal::Mode::Reading);
    return reader.ordersOf(date).value_or(QList<Order>{});
}

}  // namespace

class TstJournal : public QObject {
    Q_OBJECT

private slots:
    void recordsReadsAndSums();
    void readsOrdersWholeWhileTheProgramRecords();
    void fileNeverSetUpHoldsNoOrders();
    void damagedDatabaseIsSetAside_data();
    void damagedDatabaseIsSetAside();
    void mainWindowRecordsAndKeepsWhatItCouldNotWrite();
};

void TstJournal::recordsReadsAndSums()
{
    QTemporaryDir folder;
    const QString noodle = QStringLiteral("牛肉面, 大碗");
    const QString rice = QStringLiteral("炒\"饭\"");
    {
        Journal journal(folder.path());
        QVERIFY(journal.record(order({10, 0}, 3, {line(1, noodle, 2, 1, 20), line(2, rice, 1, 0, 8.5)})));
        QVERIFY(journal.record(order({12, 30}, std::nullopt, {line(1, noodle, 0, 1, 8)})));
        QVERIFY(journal.record(Order{}));  // nothing on the window: nothing kept
        Order nextDay = order({9, 0}, 4, {line(2, rice, 1, 0, 8.5)});
        nextDay.endedAt = nextDay.endedAt.addDays(1);
        QVERIFY(journal.record(nextDay));
        QCOMPARE(journal.pendingCount(), 0);
    }

    const QList<Order> orders = readBack(folder.path(), day);
    QCOMPARE(orders.size(), 2);
    QCOMPARE(orders[0].endedAt, QDateTime(day, {10, 0}));
    QCOMPARE(orders[0].billNumber, std::optional<int>(3));
    QCOMPARE(orders[1].billNumber, std::nullopt);
    QCOMPARE(orders[0].billText, QStringLiteral("第3位\r\n..."));
    QCOMPARE(orders[0].lines.size(), 2);
    QCOMPARE(orders[0].lines[1].dish, rice);
    QCOMPARE(orders[0].lines[1].categoryName, QStringLiteral("小炒"));
    QCOMPARE(orders[0].categoryTotals[1], 8.5);

    const journal::DaySummary summary = journal::summarize(day, orders);
    QCOMPARE(summary.orderCount, 2);
    QCOMPARE(summary.unpaidTotal, 3650);  // cleared without 结账: apart from the takings
    QCOMPARE(summary.categories[0].total + summary.categories[1].total, summary.unpaidTotal);
    QCOMPARE(summary.dishes.size(), 2);
    QCOMPARE(summary.dishes[0].dish, noodle);  // largest amount first
    QCOMPARE(summary.dishes[0].smallQuantity, 2.0);
    QCOMPARE(summary.dishes[0].largeQuantity, 2.0);
    QCOMPARE(summary.dishes[0].amount, 2800);
    const QString text = journal::summaryText(summary);
    QVERIFY2(text.contains(QStringLiteral("未结账 2笔 36.5元")), qPrintable(text));
    QVERIFY2(text.contains(noodle + QStringLiteral(" 2小份 2大份 28元")), qPrintable(text));

    // The lines of the two days as CSV: a heading and one row per order line.
    const QString csvFile = folder.filePath(QStringLiteral("takings.csv"));
    Journal reader(folder.path(), Journal::Mode::Reading);
    QVERIFY2(reader.exportCsv(day, day.addDays(1), csvFile, journal::CsvKind::Lines), qPrintable(reader.error()));
    QFile csv(csvFile);
    QVERIFY(csv.open(QIODevice::ReadOnly));
    const QByteArray bytes = csv.readAll();
    QVERIFY(bytes.startsWith("\xEF\xBB\xBF"));
    const QStringList rows = QString::fromUtf8(bytes.mid(3)).split(QStringLiteral("\r\n"),
                                                                     Qt::SkipEmptyParts);
    QCOMPARE(rows.size(), 1 + 4);
    QCOMPARE(rows[1], QStringLiteral(",2026-03-14,10:00:00,面条,\"牛肉面, 大碗\",2,小份,1,大份,20,未结账"));
    QCOMPARE(rows[2], QStringLiteral(",2026-03-14,10:00:00,小炒,\"炒\"\"饭\"\"\",1,小份,0,大份,8.5,未结账"));
    QVERIFY(rows[4].startsWith(QStringLiteral(",2026-03-15,09:00:00,")));

    // A file that cannot be written, or the journal itself, is not written.
    const QByteArray journalBefore = digest(folder.filePath(QStringLiteral("journal.sqlite")));
    for (const QString &target : {folder.filePath(QStringLiteral("no/such/folder.csv")),
                                  folder.filePath(QStringLiteral("journal.sqlite")),
                                  folder.filePath(QStringLiteral("journal.sqlite-wal"))}) {
        QVERIFY2(!reader.exportCsv(day, day, target), qPrintable(target));
        QVERIFY(!reader.error().isEmpty());
    }
    QCOMPARE(digest(folder.filePath(QStringLiteral("journal.sqlite"))), journalBefore);
#ifdef Q_OS_UNIX
    // A disk that fills up under the export (a file size limit stands in for
    // it): the last buffered rows fail too, and no file is left.
    const QString full = folder.filePath(QStringLiteral("full.csv"));
    bool exported = true;
    withFileSizeLimit(64, [&] { exported = reader.exportCsv(day, day.addDays(1), full); });
    QVERIFY(!exported);
    QVERIFY(!reader.error().isEmpty());
    QVERIFY(!QFile::exists(full));
#endif
}

void TstJournal::readsOrdersWholeWhileTheProgramRecords()
{
    // The program records an order a day while the command line keeps
    // reading the day about to get one: each order read has its line.
    QTemporaryDir folder;
    QVERIFY(Journal(folder.path()).open());
    std::atomic<int> recorded{0};
    constexpr int days = 400;
    std::thread program([&] {
        Journal journal(folder.path());
        for (int i = 0; i < days; recorded = ++i) {
            Order o = order({12, 0}, std::nullopt, {line(1, QStringLiteral("面"), 1, 0, 6)});
            o.endedAt = o.endedAt.addDays(i);
            journal.record(o);
        }
    });
    Journal reader(folder.path(), Journal::Mode::Reading);
    int cut = 0;
    while (recorded < days)
        for (const Order &o : reader.ordersOf(day.addDays(recorded)).value_or(QList<Order>{}))
            cut += o.lines.isEmpty();
    program.join();
    QCOMPARE(cut, 0);
    QCOMPARE(reader.orders(day, day.addDays(days))->size(), days);
}

// An empty file (the first start ran out of disk): no orders and no error
// for the command line; the program then sets it up and records.
void TstJournal::fileNeverSetUpHoldsNoOrders()
{
    QTemporaryDir folder;
    QVERIFY(QFile(folder.filePath(QStringLiteral("journal.sqlite"))).open(QIODevice::WriteOnly));
    Journal reader(folder.path(), Journal::Mode::Reading);
    const std::optional<QList<Order>> none = reader.ordersOf(day);
    QVERIFY2(none && none->isEmpty(), qPrintable(reader.error()));
    QVERIFY(Journal(folder.path()).record(order({12, 0}, 1, {line(1, QStringLiteral("面"), 1, 0, 6)})));
    QCOMPARE(readBack(folder.path(), day).size(), 1);
}

void TstJournal::damagedDatabaseIsSetAside_data()
{
    QTest::addColumn<bool>("wholeFileForeign");
    QTest::newRow("not a database at all") << true;
    QTest::newRow("a database with damaged pages") << false;
}

void TstJournal::damagedDatabaseIsSetAside()
{
    QFETCH(bool, wholeFileForeign);
    QTemporaryDir folder;
    const QString file = folder.filePath(QStringLiteral("journal.sqlite"));
    if (wholeFileForeign) {
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(8192, 'x'));
    } else {
        {
            Journal journal(folder.path());
            for (int i = 0; i < 40; ++i)
                QVERIFY(journal.record(order({10, i}, i, {line(1, QString(300, u'面'), 1, 0, 6)})));
        }  // the last connection folds the log into the file
        QFile f(file);
        QVERIFY(f.open(QIODevice::ReadWrite));
        QVERIFY(f.size() > 4 * 4096);
        f.seek(2 * 4096);
        f.write(QByteArray(2 * 4096, '\xA5'));
    }
    const QByteArray before = digest(file);

    Journal journal(folder.path());
    QVERIFY2(journal.open(), qPrintable(journal.error()));
    const QString notice = journal.takeNotice();
    QVERIFY(notice.contains(QStringLiteral("损坏")));
    const QStringList kept =
        QDir(folder.path()).entryList({QStringLiteral("journal-damaged-*.sqlite")}, QDir::Files);
    QCOMPARE(kept.size(), 1);
    QVERIFY(notice.contains(kept[0]));
    QCOMPARE(digest(folder.filePath(kept[0])), before);  // kept as it was

    // The new database takes orders.
    QVERIFY(journal.record(order({11, 0}, 1, {line(1, QStringLiteral("面"), 1, 0, 6)})));
    QCOMPARE(readBack(folder.path(), day).size(), 1);
    QVERIFY(journal.takeNotice().isEmpty());  // told once
}

void TstJournal::mainWindowRecordsAndKeepsWhatItCouldNotWrite()
{
    clearStore();
    const QString folder = journal::defaultFolder();
    QDir(folder).removeRecursively();
    QDir().mkpath(QFileInfo(folder).path());
    // A file where the journal's folder belongs: nothing can be written
    // (permissions would not stop the root user the tests run as).
    {
        QFile blocker(folder);
        QVERIFY(blocker.open(QIODevice::WriteOnly));
    }
    Program program;
    form2().button(QStringLiteral("C1"))->setText(QStringLiteral("面条"));
    const QString rowPlus = sheet::dishRows()[0].buttons[1].name;  // small "+" of row 1
    auto sell = [&](int category, int times) {
        OrderSheet &sheet = openCategory(category);
        set(sheet, sheet::dishRows()[0].smallPrice, QStringLiteral("6"));
        press(sheet, rowPlus, times);
        press(sheet, QStringLiteral("Command2"));
    };

    sell(1, 2);
    pressMain(QStringLiteral("Command2"));  // "清单"
    pressMain(QStringLiteral("Command4"));  // "复制"
    // The press answers at once, with no message: the order waits.
    QCOMPARE(answerModals(acceptingMessageBox(), [] { pressMain(QStringLiteral("Command1")); }), 0);
    QCOMPARE(mainText(QStringLiteral("L7")), QStringLiteral("0"));  // cleared all the same
    QCOMPARE(journal::programJournalService().pendingCount(), 1);

    QVERIFY(QFile::remove(folder));
    QTRY_COMPARE_WITH_TIMEOUT(journal::programJournalService().pendingCount(), 0, 10000);
    sell(2, 1);
    QCOMPARE(answerModals(acceptingMessageBox(), [] { pressMain(QStringLiteral("Command1")); }), 0);
    QCOMPARE(answerModals(acceptingMessageBox(), [] { pressMain(QStringLiteral("Command1")); }), 0);
    sell(3, 3);  // still on the window when the program ends
    program.end();
    settleQuitRequest();

    const QList<Order> orders = readBack(folder);
    QCOMPARE(orders.size(), 3);  // the empty order between is not kept
    QCOMPARE(orders[0].billNumber, std::optional<int>(1));
    QVERIFY(orders[0].copied && !orders[0].printed);
    QCOMPARE(orders[0].lines.size(), 1);
    const OrderLine &first = orders[0].lines[0];
    QCOMPARE(first.category, 1);
    QCOMPARE(first.categoryName, QStringLiteral("面条"));
    QCOMPARE(first.dish, text(orderSheet(1), sheet::dishRows()[0].dishName));
    QCOMPARE(first.smallQuantity, 2.0);
    QCOMPARE(first.largeQuantity, 0.0);
    QCOMPARE(first.lineTotal, 12.0);
    QCOMPARE(orders[0].grandTotal, 12.0);
    QCOMPARE(orders[1].billNumber, std::nullopt);
    QCOMPARE(orders[1].lines[0].category, 2);
    QCOMPARE(orders[2].lines[0].category, 3);
    QCOMPARE(orders[2].lines[0].smallQuantity, 3.0);
    QCOMPARE(orders[2].categoryTotals[2], orders[2].grandTotal);
}

QTEST_MAIN(TstJournal)
#include "tst_journal.moc"
