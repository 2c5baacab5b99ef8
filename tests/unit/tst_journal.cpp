// The sales journal: orders recorded and read back with their sums and CSV,
// their payments, voids and cash-ups; a damaged database set aside for a new
// one; the journal's faults (a full disk, a lock, a file it may not open,
// something else in its place, a journal of 1.2.0) met without losing an
// order or holding up the window; orders put aside (挂单) kept, replaced,
// dropped and closed in the order handed over; and the main window recording
// what "一键归零" clears, keeping an order it could not write for a later write.

#include "testsupport.h"

#include "journal/journal.h"
#include "journal/platform_facts.h"
#include "journal/journal_service.h"
#include "journal/rescue.h"
#include "journal/sqlite_db.h"
#include "main_window/form2.h"
#include "payment/shop_settings.h"
#include "sheets/order_sheet.h"
#include "sheets/sheet_design.h"
#include "shell/command_line.h"
#include "shell/program.h"
#include "shell/single_instance.h"

#include <QApplication>
#include <QBuffer>
#include <QCryptographicHash>
#include <QDataStream>
#include <QDir>
#include <QLabel>
#include <QProcess>
#include <QTemporaryDir>
#include <QUuid>
#include <QtTest>

#include <atomic>
#include <optional>
#include <thread>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace testsupport;
using journal::Journal;
using journal::OpenOrder;
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

QString fileIn(const QString &folder)
{
    return folder + QStringLiteral("/journal.sqlite");
}

// Another program's connection holding the journal's write lock for a while.
class LockHolder {
public:
    LockHolder(const QString &file, int seconds)
        : m_thread([this, file, seconds] {
              journal::sql::Database other;
              m_held = other.open(file, false, false) && other.exec("BEGIN IMMEDIATE");
              m_ready = true;
              std::this_thread::sleep_for(std::chrono::seconds(seconds));
              other.exec("ROLLBACK");
          })
    {
        while (!m_ready)
            std::this_thread::yield();
    }
    ~LockHolder() { m_thread.join(); }
    bool held() const { return m_held; }

private:
    std::atomic<bool> m_ready{false}, m_held{false};
    std::thread m_thread;
};

OpenOrder openOrder(const QString &uid, const QString &name, const QTime &heldAt, journal::Fen total,
                    const QByteArray &state)
{
    return OpenOrder{uid, name, QDateTime(day, heldAt), total, 2, state};
}

// The open orders as the owner would read them: "name total state", oldest first.
QString listed(const std::optional<QList<OpenOrder>> &open)
{
    if (!open)
        return QStringLiteral("(unreadable)");
    QStringList rows;
    for (const OpenOrder &o : *open)
        rows << QStringLiteral("%1 %2 %3").arg(o.name).arg(o.total).arg(QString::fromUtf8(o.state));
    return rows.join(QStringLiteral(", "));
}

// What a run of the program's journal service met: the cashier's two
// orders at start (with two orders put aside around them, if asked), then
// the end.
struct ServiceRun {
    QStringList notices;
    QString left;        // what the end said
    qint64 slowest = 0;  // the slowest record(), in ms
};

ServiceRun runService(const QString &folder, bool untilWritten, bool putsAside = false)
{
    ServiceRun run;
    journal::JournalService service(folder);
    QObject::connect(&service, &journal::JournalService::notice,
                     [&run](const QString &message) { run.notices << message; });
    service.start();
    // A table put aside, then the takeaway; the table comes back with more
    // and is paid with the second order; the takeaway is put aside again.
    const QString table = QUuid::createUuid().toString(), takeaway = QUuid::createUuid().toString();
    const auto aside = [&](const QString &uid, const char *name, const char *state) {
        if (putsAside)
            service.keepOpen(openOrder(uid, QString::fromUtf8(name), {14, 0}, 650, state));
    };
    aside(table, "3号桌", "1");
    aside(takeaway, "外卖 王", "1");
    for (int i = 0; i < 2; ++i) {
        QElapsedTimer clock;
        clock.start();
        Order o = order({14, i}, i + 1, {line(1, QStringLiteral("面%1").arg(i), 1, 0, 6.5)});
        if (putsAside && i == 1)
            o.closesOpenUid = table;
        service.record(o);
        run.slowest = std::max(run.slowest, clock.elapsed());
        aside(i == 0 ? table : takeaway, i == 0 ? "3号桌" : "外卖 王", "2");
    }
    QDeadlineTimer deadline(45000);
    while (!deadline.hasExpired() && service.pendingCount() + service.pendingOpenCount() > 0 &&
           (untilWritten || run.notices.isEmpty()))
        QTest::qWait(20);
    // A notice the journal's thread sent before the last write.
    QCoreApplication::sendPostedEvents(&service, QEvent::MetaCall);
    run.left = service.finish(std::chrono::seconds(1));
    return run;
}

#ifdef Q_OS_UNIX
// This program run with `arguments` as the user "nobody", in a copy of it:
// root (the tests' user) may open any file whatever its mode. Its output,
// or nullopt when it failed.
std::optional<QByteArray> runAsNobody(const QStringList &arguments)
{
    QTemporaryDir dir;
    const QString copy = dir.path() + QStringLiteral("/tst_journal");
    if (::chmod(QFile::encodeName(dir.path()), 0755) != 0 ||
        !QFile::copy(QCoreApplication::applicationFilePath(), copy))
        return std::nullopt;
    QProcess child;
    child.start(QStringLiteral("setpriv"), QStringList{QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                                                       QStringLiteral("--clear-groups"), copy} + arguments);
    if (!child.waitForFinished(60000) || child.exitCode() != 0) {
        qWarning() << child.readAllStandardError();
        return std::nullopt;
    }
    return child.readAllStandardOutput();
}

std::optional<ServiceRun> runServiceAsNobody(const QString &folder)
{
    const std::optional<QByteArray> output = runAsNobody({QStringLiteral("--service"), folder});
    if (!output)
        return std::nullopt;
    ServiceRun run;
    QDataStream in(*output);
    in >> run.notices >> run.left >> run.slowest;
    return run;
}
#endif

enum Fault { FullDisk, Lock3s, Lock30s, ModeZero, OthersFile, ReadOnlyFolder, Folder, Fifo, StaleWal, Version120,
             LaterVersion, StrangerLog, StrangerLogUnnoted, Trigger, PlantedRescue, FifoRollbackLog };

}  // namespace

class TstJournal : public QObject {
    Q_OBJECT

private slots:
    void recordsReadsAndSums();
    void readsOrdersWholeWhileTheProgramRecords();
    void fileNeverSetUpHoldsNoOrders();
    void damagedDatabaseIsSetAside_data();
    void damagedDatabaseIsSetAside();
    void writesWhatWaitedInItsOrder();
    void openOrdersKeptWithTheOrders_data();
    void openOrdersKeptWithTheOrders();
    void theOrderOnTheWindowsGoesWithWhatEndsIt();
    void receiptMarksOnAJournalOfVersion4();
    void paymentsVoidsAndCashUps();
    void backupAndRestoreFromTheCommandLine();
    void rescuedChangesWaitForTheJournal_data();
    void rescuedChangesWaitForTheJournal();
    void filesForTheOwnerAlone();
    void readsAJournalItMayNotWrite();
    void faultTable_data();
    void faultTable();
    void mainWindowRecordsAndKeepsWhatItCouldNotWrite();
};

// A journal of version 4 (no receipt marks) is read as it is, then upgraded
// in place by the first write, keeping its orders; a mark follows.
void TstJournal::receiptMarksOnAJournalOfVersion4()
{
    QTemporaryDir folder;
    Order printed = order({10, 0}, 3, {line(1, QStringLiteral("牛肉面"), 1, 0, 12)});
    printed.uid = u"printed"_qs;
    printed.receipt = journal::ReceiptSent;
    {
        Journal journal(folder.path());
        QVERIFY(journal.record(printed));
        QVERIFY(journal.record(order({10, 5}, std::nullopt, {line(2, QStringLiteral("炒饭"), 1, 0, 8)})));
    }
    QCOMPARE(readBack(folder.path(), day).value(0).receipt, int(journal::ReceiptSent));
    {
        journal::sql::Database db;
        QVERIFY(db.open(fileIn(folder.path()), false, false));
        QVERIFY(db.exec("ALTER TABLE orders DROP COLUMN receipt") && db.exec("PRAGMA user_version = 5"));
    }
    const QList<Order> asVersion4 = readBack(folder.path(), day);
    QCOMPARE(asVersion4.size(), 2);
    QCOMPARE(asVersion4[0].receipt, 0);
    Journal journal(folder.path());
    QVERIFY2(journal.apply(journal::Change::mark(printed.uid, journal::ReceiptReprinted)), qPrintable(journal.error()));
    const QList<Order> upgraded = readBack(folder.path(), day);
    QCOMPARE(upgraded.size(), 2);
    QCOMPARE(upgraded[0].lines.value(0).dish, QStringLiteral("牛肉面"));
    QCOMPARE(upgraded[1].lines.value(0).dish, QStringLiteral("炒饭"));
    QCOMPARE(upgraded[0].receipt, int(journal::ReceiptReprinted));
    QCOMPARE(upgraded[1].receipt, 0);
    journal::sql::Database db;
    QVERIFY(db.open(fileIn(folder.path()), true, false));
    QCOMPARE(db.text("PRAGMA user_version"), std::optional(u"6"_qs));

    // A mark still unwritten at an end is rescued, and merged at the next start.
    QStringList files;
    const auto removeRescue = qScopeGuard([&] {
        for (const QString &file : journal::rescue::places())
            QFile::remove(file);
    });
    QString error;
    QVERIFY2(!journal::rescue::save({journal::Change::mark(printed.uid, journal::ReceiptFailed)}, &error).isEmpty(),
             qPrintable(error));
    QVERIFY(journal.mergeRescued(journal::rescue::load(&files)));
    QCOMPARE(readBack(folder.path(), day).value(0).receipt, int(journal::ReceiptReprinted | journal::ReceiptFailed));
}

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
    QCOMPARE(orders[1].endedAt, QDateTime(day, {12, 30}));
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
    // With no journal yet, the export is a heading only.
    QTemporaryDir empty;
    const QString headingOnly = empty.filePath(QStringLiteral("none.csv"));
    Journal none(empty.path(), Journal::Mode::Reading);
    QVERIFY2(none.exportCsv(day, day, headingOnly), qPrintable(none.error()));
    QFile heading(headingOnly);
    QVERIFY(heading.open(QIODevice::ReadOnly));
    QCOMPARE(heading.readAll().count("\r\n"), 1);
#ifdef Q_OS_UNIX
    // A disk that fills up under the export (a file size limit stands in for
    // it): the last buffered rows fail too, and no file is left.
    const QString full = folder.filePath(QStringLiteral("full.csv"));
    bool exported = true;
    withFileSizeLimit(64, [&] { exported = reader.exportCsv(day, day.addDays(1), full); });
    QVERIFY(!exported);
    QVERIFY2(reader.error().contains(QStringLiteral("磁盘可能已满")), qPrintable(reader.error()));
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
    Journal program(folder.path());
    QVERIFY(program.record(order({12, 0}, 1, {line(1, QStringLiteral("面"), 1, 0, 6)})));
    QVERIFY2(program.takeNotice().contains(QStringLiteral("空文件（0 字节）")), "a journal cut to nothing is told");
    QCOMPARE(readBack(folder.path(), day).size(), 1);
}

void TstJournal::damagedDatabaseIsSetAside_data()
{
    QTest::addColumn<bool>("wholeFileForeign");
    QTest::addColumn<int>("orders");     // recorded before the damage
    QTest::addColumn<int>("damageAt");   // the page damaged first
    QTest::addColumn<int>("damaged");    // bytes overwritten
    QTest::addColumn<int>("saved");      // at least this many orders read out of it
    QTest::newRow("not a database at all") << true << 0 << 0 << 0 << 0;
    QTest::newRow("a database with damaged pages") << false << 40 << 2 << 2 * 4096 << 0;
    QTest::newRow("64 bytes flipped in the middle of 2,000 orders") << false << 2000 << -1 << 64 << 1900;
}

void TstJournal::damagedDatabaseIsSetAside()
{
    QFETCH(bool, wholeFileForeign);
    QFETCH(int, orders);
    QFETCH(int, damageAt);
    QFETCH(int, damaged);
    QFETCH(int, saved);
    QTemporaryDir folder;
    const QString file = folder.filePath(QStringLiteral("journal.sqlite"));
    if (wholeFileForeign) {
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(8192, 'x'));
    } else {
        {
            Journal journal(folder.path());
            QList<Order> many;
            for (int i = 0; i < orders; ++i)
                many << order({10, i % 60}, i, {line(1, QString(orders > 100 ? 4 : 300, u'面'), 1, 0, 6)});
            QVERIFY(journal.recordAll(many));
        }  // the last connection folds the log into the file
        QFile f(file);
        QVERIFY(f.open(QIODevice::ReadWrite));
        QVERIFY(f.size() > 4 * 4096);
        // Flipped: the bytes of a page's head, in the middle of the file.
        const qint64 at = (damageAt >= 0 ? damageAt : f.size() / 4096 / 2) * 4096;
        f.seek(at);
        QByteArray bytes = f.read(damaged);
        for (char &byte : bytes)
            byte = char(~byte);
        f.seek(at);
        f.write(bytes);
    }
    const QByteArray before = digest(file);

    {
        Journal journal(folder.path());
        QVERIFY2(journal.open(), qPrintable(journal.error()));
        const QString notice = journal.takeNotice();
        QVERIFY(notice.contains(QStringLiteral("损坏")));
        const QStringList kept =
            QDir(folder.path()).entryList({QStringLiteral("journal-damaged-*.sqlite")}, QDir::Files);
        QCOMPARE(kept.size(), 1);
        QVERIFY(notice.contains(kept[0]));
        QCOMPARE(digest(folder.filePath(kept[0])), before);  // kept as it was
        // What could be read is in the new journal, and the owner hears how much.
        const int found = readBack(folder.path(), day).size();
        QVERIFY2(found >= saved, qPrintable(notice));
        if (found > 0)
            QVERIFY2(notice.contains(QStringLiteral("读出的 %1 单订单").arg(found)), qPrintable(notice));
        qInfo("%d of %d orders saved", found, orders);

        // The new database takes orders.
        QVERIFY(journal.record(order({11, 0}, 1, {line(1, QStringLiteral("面"), 1, 0, 6)})));
        QCOMPARE(readBack(folder.path(), day).size(), found + 1);
        QVERIFY(journal.takeNotice().isEmpty());  // told once
    }

    // A second damage within the same second finds a free name: the names
    // of this second and the next are taken already.
    const QDateTime now = QDateTime::currentDateTime();
    for (const QDateTime &at : {now, now.addSecs(1)}) {
        QFile taken(folder.filePath(at.toString(u"'journal-damaged-'yyyyMMdd-HHmmss'.sqlite'"_qs)));
        QVERIFY(taken.exists() || taken.open(QIODevice::WriteOnly));
    }
    const auto damagedCount = [&] {
        return QDir(folder.path()).entryList({QStringLiteral("journal-damaged-*.sqlite")}, QDir::Files).size();
    };
    const qsizetype damagedBefore = damagedCount();
    {
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(QByteArray(8192, 'y'));
    }
    Journal again(folder.path());
    QVERIFY2(again.open(), qPrintable(again.error()));
    QVERIFY(again.takeNotice().contains(QStringLiteral("损坏")));
    QCOMPARE(damagedCount(), damagedBefore + 1);
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
    sell(3, 3);  // still on the window when the program ends, with the journal held
    {
        LockHolder lock(fileIn(folder), 4);
        QVERIFY(lock.held());
        QString said;
        QCOMPARE(answerModals(acceptingMessageBox(&said), [&] { program.end(); }), 1);
        QVERIFY2(said.contains(QStringLiteral("1 单（合计 18 元）")) && said.contains(QStringLiteral("另存到")),
                 qPrintable(said));
    }
    settleQuitRequest();
    QCOMPARE(readBack(folder).size(), 2);
    journal::programJournalService().start();  // the next start merges it
    QTRY_COMPARE(readBack(folder).size(), 3);
    QVERIFY(journal::programJournalService().finish(std::chrono::seconds(2)).isEmpty());

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

// Orders that could not be written wait and go in whole with the next write
// that succeeds, on the file now in the journal's place, each with its lines
// even when the clock was set back between them.
void TstJournal::writesWhatWaitedInItsOrder()
{
    QTemporaryDir folder, moved;
    Journal journal(folder.path());
    QVERIFY(journal.record(order({12, 0}, 1, {line(1, QStringLiteral("甲"), 1, 0, 6)})));
    {
        LockHolder lock(fileIn(folder.path()), 4);
        QVERIFY(lock.held());
        QVERIFY(!journal.record(order({11, 0}, 2, {line(1, QStringLiteral("乙"), 1, 0, 7)})));
        QVERIFY(!journal.record(order({11, 30}, 3, {line(1, QStringLiteral("丙"), 1, 0, 8)})));
        QCOMPARE(journal.pendingCount(), 2);
        QVERIFY2(journal.error().contains(QStringLiteral("另一个程序占用")), qPrintable(journal.error()));
    }
    // The file moved away meanwhile (as a restore does): the waiting orders
    // go to the new one in its place.
    for (const char *suffix : {"", "-wal", "-shm"})
        QFile::rename(fileIn(folder.path()) + QLatin1String(suffix), fileIn(moved.path()) + QLatin1String(suffix));
    QVERIFY2(journal.record(order({10, 0}, 4, {line(1, QStringLiteral("丁"), 1, 0, 9)})), qPrintable(journal.error()));
    QCOMPARE(journal.pendingCount(), 0);
    const QList<Order> orders = readBack(folder.path(), day);
    QStringList dishes;
    for (const Order &o : orders)
        dishes << (o.lines.isEmpty() ? QStringLiteral("-") : o.lines[0].dish);
    QCOMPARE(dishes.join(u' '), QStringLiteral("丁 乙 丙"));
    QCOMPARE(readBack(moved.path(), day).size(), 1);
}

void TstJournal::openOrdersKeptWithTheOrders_data()
{
    QTest::addColumn<bool>("fromVersion2");
    QTest::newRow("a new journal") << false;
    QTest::newRow("a journal of schema version 2, upgraded in place") << true;
}

// One afternoon of orders put aside, each step read back from the disk by
// another connection (and as the journal itself lists them), then the
// same under another program's lock, and a rescue merged twice.
void TstJournal::openOrdersKeptWithTheOrders()
{
    QFETCH(bool, fromVersion2);
    QTemporaryDir folder;
    const QDate earlier(2026, 11, 20);  // the orders of the version-2 journal
    if (fromVersion2) {
        QVERIFY(QFile::copy(QFINDTESTDATA("data/journal-schema2.sqlite"), fileIn(folder.path())));
        QFile(fileIn(folder.path())).setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    }
    Journal journal(folder.path());
    Journal reader(folder.path(), Journal::Mode::Reading);
    const OpenOrder table = openOrder(u"a"_qs, u"3号桌"_qs, {12, 0}, 4050, R"({"x":1})");
    const OpenOrder takeaway = openOrder(u"b"_qs, u"外卖 王"_qs, {12, 5}, 1200, "{}");
    const OpenOrder tableLater = openOrder(u"a"_qs, u"3号桌"_qs, {12, 10}, 5050, R"({"x":2})");
    const OpenOrder sameName = openOrder(u"c"_qs, u"外卖 王"_qs, {12, 20}, 100, "{}");
    Order paid = order({12, 30}, 5, {line(1, QStringLiteral("面"), 1, 0, 50.5)});
    paid.closesOpenUid = u"a"_qs;

    const struct {
        const char *step;
        std::function<bool()> act;
        bool done;
        QString open;  // as listed afterwards
    } steps[] = {
        {"two put aside", [&] { return journal.keepOpen(table) && journal.keepOpen(takeaway); }, true,
         uR"(3号桌 4050 {"x":1}, 外卖 王 1200 {})"_qs},
        {"one replaced, now the latest", [&] { return journal.keepOpen(tableLater); }, true,
         uR"(外卖 王 1200 {}, 3号桌 5050 {"x":2})"_qs},
        {"a name taken is refused", [&] { return journal.keepOpen(sameName); }, false,
         uR"(外卖 王 1200 {}, 3号桌 5050 {"x":2})"_qs},
        {"one dropped", [&] { return journal.dropOpen(u"b"_qs); }, true, uR"(3号桌 5050 {"x":2})"_qs},
        {"one not there dropped", [&] { return journal.dropOpen(u"none"_qs); }, true,
         uR"(3号桌 5050 {"x":2})"_qs},
        {"its order recorded closes it", [&] { return journal.record(paid); }, true, QString()},
    };
    for (const auto &s : steps) {
        QVERIFY2(s.act() == s.done, s.step);
        QVERIFY2(s.done || journal.error().contains(QStringLiteral("外卖 王")), qPrintable(journal.error()));
        QCOMPARE(listed(reader.openOrders()), s.open);
        QCOMPARE(listed(journal.openOrders()), s.open);
        QCOMPARE(journal.pendingCount(), 0);
    }
    QCOMPARE(readBack(folder.path(), day).size(), 1);

    // Under another program's lock a keep, a second under the same name and
    // the order closing the first all wait; the journal lists them as they
    // will be, the disk holds none of them; then all go in, in that order.
    Order paidTwo = order({13, 0}, 6, {line(1, QStringLiteral("面"), 1, 0, 9)});
    paidTwo.closesOpenUid = u"d"_qs;
    {
        LockHolder lock(fileIn(folder.path()), 6);
        QVERIFY(lock.held());
        QVERIFY(!journal.keepOpen(openOrder(u"d"_qs, u"5号桌"_qs, {13, 0}, 900, "{}")));
        QVERIFY(!journal.keepOpen(openOrder(u"e"_qs, u"5号桌"_qs, {13, 1}, 700, "{}")));
        QVERIFY(!journal.record(paidTwo));
        QCOMPARE(journal.pendingCount(), 3);
        QCOMPARE(listed(journal.openOrders()), u"5号桌（2） 700 {}"_qs);
        QCOMPARE(listed(reader.openOrders()), QString());
    }
    QVERIFY2(journal.flush(), qPrintable(journal.error()));
    QCOMPARE(listed(reader.openOrders()), u"5号桌（2） 700 {}"_qs);
    QCOMPARE(readBack(folder.path(), day).size(), 2);

    // A rescue merged a second time (its file outlived the first merge)
    // does not bring back what was dropped since; a rescue file of orders
    // only, as earlier versions left it, still merges.
    const journal::Change keptThen = journal::Change::keep(takeaway);
    QVERIFY(journal.mergeRescued({keptThen}));
    QVERIFY(journal.dropOpen(takeaway.uid));
    QVERIFY(journal.mergeRescued({keptThen}));
    QCOMPARE(listed(reader.openOrders()), u"5号桌（2） 700 {}"_qs);
    const QString rescueFile = journal::rescue::places().constFirst();
    QDir().mkpath(QFileInfo(rescueFile).path());
    QVERIFY(QFile::copy(QFINDTESTDATA("data/journal-rescue-orders-only.json"), rescueFile));
    QStringList files;
    const QList<journal::Change> oldRescue = journal::rescue::load(&files);
    QFile::remove(rescueFile);
    QCOMPARE(journal::rescue::ordersOf(oldRescue).size(), 2);
    QVERIFY(journal.mergeRescued(oldRescue));

    // The upgraded journal keeps what it held, paid and counted in a 交班.
    journal::sql::Database db;
    QVERIFY(db.open(fileIn(folder.path()), true, false));
    QCOMPARE(db.text("PRAGMA user_version"), std::optional(u"6"_qs));
    const QList<Order> before = readBack(folder.path(), earlier);
    QCOMPARE(before.size(), fromVersion2 ? 5 : 2);  // with the two rescued
    if (fromVersion2) {
        QCOMPARE(before[0].payment->due, 4000);
        QVERIFY(before[0].cashUpId > 0);
        QCOMPARE(reader.lastCashUp()->value().paidTotal, 4000);
    }
}

// The order on the windows, kept as it changes, leaves the journal in the
// same write as what ends it (recorded under its uid, put aside from it, or
// dropped with nothing on it), and only then; read back from the disk by
// another connection, and as the journal lists it while a lock holds its writes.
void TstJournal::theOrderOnTheWindowsGoesWithWhatEndsIt()
{
    using journal::Change;
    using journal::CurrentOrder;
    const auto kept = [](const char *uid, journal::Fen total) {
        return Change::keepCurrent(CurrentOrder{QString::fromLatin1(uid), QDateTime(day, {12, 0}), total, "{}"});
    };
    const auto recorded = [](const char *uid) {
        Order o = order({12, 1}, 1, {line(1, QStringLiteral("面"), 1, 0, 6)});
        o.uid = QString::fromLatin1(uid);
        return Change::record(o);
    };
    OpenOrder aside = openOrder(u"t3"_qs, u"3号桌"_qs, {12, 2}, 600, "{}");
    aside.closesCurrent = u"A"_qs;
    const struct {
        const char *row;
        QList<Change> changes;
        QString left;  // "uid:total" of the orders on the windows left
        int orders;
        bool locked;   // the changes wait on another program's lock
    } rows[] = {
        {"kept, then kept as it changed", {kept("A", 600), kept("A", 1200)}, u"A:1200"_qs, 0, false},
        {"recorded under its uid", {kept("A", 600), recorded("A")}, QString(), 1, false},
        {"recorded, both waiting on a lock", {kept("A", 600), recorded("A")}, QString(), 1, true},
        {"another order recorded", {kept("A", 600), recorded("B")}, u"A:600"_qs, 1, false},
        {"put aside from the windows", {kept("A", 600), Change::keep(aside)}, QString(), 0, false},
        {"left the windows empty", {kept("A", 600), Change::dropCurrent(u"A"_qs)}, QString(), 0, false},
        {"the next order after one recorded", {kept("A", 600), recorded("A"), kept("B", 300)}, u"B:300"_qs, 1,
         false},
    };
    const auto text = [](const std::optional<QList<CurrentOrder>> &list) {
        if (!list)
            return QStringLiteral("(unreadable)");
        QStringList items;
        for (const CurrentOrder &c : *list)
            items << QStringLiteral("%1:%2").arg(c.uid).arg(c.total);
        return items.join(u' ');
    };
    for (const auto &row : rows) {
        QTemporaryDir folder;
        for (int start = 0; start < 2; ++start)  // set up, then checked in full once: no write at the next open
            QVERIFY(Journal(folder.path()).open());
        Journal journal(folder.path());
        QVERIFY(journal.open());
        {
            std::optional<LockHolder> lock;
            if (row.locked)
                lock.emplace(fileIn(folder.path()), 4);
            QVERIFY(!row.locked || lock->held());
            for (const Change &change : row.changes)
                QVERIFY2(journal.apply(change) != row.locked, row.row);
            // As the journal lists it, its writes waiting or done.
            QVERIFY2(text(journal.currentOrders()) == row.left, row.row);
        }
        QVERIFY2(journal.flush(), qPrintable(journal.error()));
        Journal reader(folder.path());
        QVERIFY2(text(reader.currentOrders()) == row.left, row.row);
        QVERIFY2(readBack(folder.path(), day).size() == row.orders, row.row);
    }
}

void TstJournal::paymentsVoidsAndCashUps()
{
    for (const auto &[yuan, fen] : {std::pair{40.5, 4050LL}, {3.3, 330LL}, {1.005, 101LL},
                                    {-0.015, -2LL}, {989.999999999995, 99000LL},
                                    {qInf(), 100000000000000000LL}, {-1e300, -100000000000000000LL},
                                    {qQNaN(), 0LL}})
        QCOMPARE(journal::toFen(yuan), fen);

    QTemporaryDir folder;
    Journal journal(folder.path());
    Order paid = order({12, 0}, 1, {line(1, QStringLiteral("面"), 1, 0, 40.5)});
    paid.uid = QStringLiteral("order-1");
    paid.receiptNumber = QStringLiteral("20260314-0001");
    paid.status = journal::OrderStatus::Paid;
    paid.payment = journal::Payment{4050, 0, QStringLiteral("9折"), 50, 4000,
                                    {{QStringLiteral("微信"), 1000}, {QStringLiteral("现金"), 3000}},
                                    5000, 2000};
    Order unpaid = order({12, 30}, std::nullopt, {line(2, QStringLiteral("饭"), 1, 0, 8)});
    unpaid.receiptNumber = QStringLiteral("20260314-0002");
    QVERIFY(journal.record(paid));
    QVERIFY(journal.record(unpaid));
    QVERIFY(journal.record(paid));  // the same order again (a rescue merged twice): one copy
    QVERIFY(journal.record(unpaid));  // another order with a 单号 taken: kept, told apart
    QList<Order> orders = readBack(folder.path(), day);
    QCOMPARE(orders.size(), 3);
    QCOMPARE(orders[0].uid, paid.uid);
    QCOMPARE(orders[0].status, journal::OrderStatus::Paid);
    QVERIFY(orders[0].payment.has_value());
    const journal::Payment &p = *orders[0].payment;
    QCOMPARE(QList<qint64>({p.total, p.discount, p.rounding, p.due, p.cashGiven, p.change}),
             QList<qint64>({4050, 0, 50, 4000, 5000, 2000}));
    QCOMPARE(p.discountLabel, QStringLiteral("9折"));
    QCOMPARE(p.parts.size(), 2);
    QCOMPARE(p.parts[1].method, QStringLiteral("现金"));
    QCOMPARE(p.parts[1].amount, 3000);
    QCOMPARE(orders[1].status, journal::OrderStatus::Unpaid);
    QVERIFY(!orders[1].payment && !orders[1].uid.isEmpty());
    QCOMPARE(orders[2].receiptNumber, QStringLiteral("20260314-0002-2"));
    QCOMPARE(journal.lastReceiptNumber(day).value_or(u"?"_qs).left(13), QStringLiteral("20260314-0002"));
    QCOMPARE(journal.lastReceiptNumber(day.addDays(1)), std::optional(QString()));

    // Voids: refused for a missing order, a second time, and once cashed up.
    QVERIFY(!journal.voidOrder(9999, QStringLiteral("点错"), QDateTime(day, {13, 0})));
    QVERIFY2(journal.error().contains(QStringLiteral("找不到")), qPrintable(journal.error()));
    QVERIFY(journal.voidOrder(orders[1].id, QStringLiteral("点错"), QDateTime(day, {13, 0})));
    QVERIFY(!journal.voidOrder(orders[1].id, QStringLiteral("点错"), QDateTime(day, {13, 1})));
    QVERIFY2(journal.error().contains(QStringLiteral("已经作废")), qPrintable(journal.error()));

    QCOMPARE(journal.ordersSinceLastCashUp()->size(), 3);
    QVERIFY(journal.lastCashUp().has_value() && !journal.lastCashUp()->has_value());
    journal::CashUp cashUp;
    cashUp.at = QDateTime(day, {14, 0});
    cashUp.paidCount = 1;
    cashUp.paidTotal = 4000;
    cashUp.byMethod = {{QStringLiteral("现金"), 3000}, {QStringLiteral("微信"), 1000}};
    cashUp.openingFloat = 20000;
    cashUp.expectedCash = 23000;
    cashUp.countedCash = 22800;
    cashUp.difference = -200;
    cashUp.counts = {{10000, 2}, {1000, 28}};
    cashUp.floatLeft = 20000;
    QVERIFY2(journal.recordCashUp(cashUp), qPrintable(journal.error()));
    QVERIFY(cashUp.id > 0);
    QCOMPARE(journal.ordersSinceLastCashUp()->size(), 0);
    const journal::CashUp last = journal.lastCashUp()->value();
    QCOMPARE(last.id, cashUp.id);
    QCOMPARE(last.at, cashUp.at);
    QCOMPARE(last.difference, -200);
    QCOMPARE(last.byMethod.size(), 2);
    QCOMPARE(last.byMethod[0].amount, 3000);
    QCOMPARE(last.counts, cashUp.counts);
    QVERIFY(!journal.voidOrder(orders[0].id, QStringLiteral("退单"), QDateTime(day, {15, 0})));
    QVERIFY2(journal.error().contains(QStringLiteral("交班")), qPrintable(journal.error()));
    orders = readBack(folder.path(), day);
    QCOMPARE(orders[0].cashUpId, cashUp.id);
    QCOMPARE(orders[1].status, journal::OrderStatus::Voided);
    QCOMPARE(orders[1].voidReason, QStringLiteral("点错"));
    QCOMPARE(orders[1].voidedAt, QDateTime(day, {13, 0}));
    journal::CashUp second = cashUp;  // the evening's: the next float starts from it
    second.at = QDateTime(day, {22, 0});
    second.floatLeft = 15000;
    QVERIFY2(journal.recordCashUp(second), qPrintable(journal.error()));
    QCOMPARE(journal.lastCashUp()->value().id, second.id);
    QCOMPARE(journal.lastCashUp()->value().floatLeft, 15000);
}

// One scenario, checked at each step: a backup while the journal is in use,
// a restore refused while the program runs and for a file that is not a
// journal, then done, with the old journal kept.
void TstJournal::backupAndRestoreFromTheCommandLine()
{
    const QString folder = journal::defaultFolder();
    QDir(folder).removeRecursively();
    QTemporaryDir elsewhere;
    const QString backup = elsewhere.filePath(QStringLiteral("备份.sqlite"));
    const auto answer = [](const QStringList &arguments) {
        QList<QByteArray> bytes{"tavelko"};
        for (const QString &argument : arguments)
            bytes << argument.toLocal8Bit();
        std::vector<const char *> argv;
        for (const QByteArray &b : bytes)
            argv.push_back(b.constData());
        const std::optional<CommandLineAnswer> said = answerCommandLine(int(argv.size()), argv.data());
        return said ? std::pair{said->exitCode, QString::fromStdString(said->text)}
                    : std::pair{-1, QString()};
    };
    Journal running(folder);
    QVERIFY(running.record(order({9, 0}, 1, {line(1, QStringLiteral("面"), 1, 0, 6)})));
    QCOMPARE(answer({QStringLiteral("--backup-journal")}).first, 2);
    const auto [backedUp, backupSaid] = answer({QStringLiteral("--backup-journal"), backup});
    QVERIFY2(backedUp == 0 && backupSaid.contains(QStringLiteral("已将营业记录（1 单）备份到")), qPrintable(backupSaid));
    QVERIFY(running.record(order({10, 0}, 2, {line(1, QStringLiteral("面"), 1, 0, 6)})));
    {
        SingleInstance program;  // Tavelko runs
        QVERIFY(program.isFirst());
        QCOMPARE(answer({QStringLiteral("--restore-journal"), backup}).first, 1);
        // Asked from another session of the same user: another runtime
        // folder (a second login), or none at all (cron, su).
        QTemporaryDir otherRuntime;
        const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
        const auto back = qScopeGuard([&] { qputenv("XDG_RUNTIME_DIR", runtime); });
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(otherRuntime.path()));
        QCOMPARE(answer({QStringLiteral("--restore-journal"), backup}).first, 1);
        qunsetenv("XDG_RUNTIME_DIR");
        QCOMPARE(answer({QStringLiteral("--restore-journal"), backup}).first, 1);
    }
    // A backup that brings a trigger or a view along is no journal of ours.
    for (const char *foreign :
         {"CREATE TRIGGER cut AFTER INSERT ON payment_parts BEGIN "
          "UPDATE payment_parts SET amount_fen = amount_fen - 100 WHERE order_id = new.order_id; END",
          "CREATE VIEW endless AS WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n) SELECT x FROM n"}) {
        const QString tampered = elsewhere.filePath(QStringLiteral("改过.sqlite"));
        QFile::remove(tampered);
        QVERIFY(QFile::copy(backup, tampered));
        {
            journal::sql::Database raw;
            QVERIFY(raw.open(tampered, false, false) && raw.exec(foreign));
        }
        const auto [code, said] = answer({QStringLiteral("--restore-journal"), tampered});
        QVERIFY2(code == 1 && said.contains(QStringLiteral("表结构")), qPrintable(said));
    }
    const QString notJournal = elsewhere.filePath(QStringLiteral("菜单.csv"));
    QFile(notJournal).open(QIODevice::WriteOnly);
    QCOMPARE(answer({QStringLiteral("--restore-journal"), notJournal}).first, 1);
    QCOMPARE(readBack(folder, day).size(), 2);
    const auto [restored, restoreSaid] = answer({QStringLiteral("--restore-journal"), backup});
    QVERIFY2(restored == 0 && restoreSaid.contains(QStringLiteral("恢复营业记录（1 单）")), qPrintable(restoreSaid));
    QCOMPARE(readBack(folder, day).size(), 1);
    QCOMPARE(QDir(folder).entryList({QStringLiteral("journal-before-restore-*.sqlite")}).size(), 1);
    // A journal of 1.2.0 has the tables of its version, and is taken.
    const QString oldJournal = elsewhere.filePath(QStringLiteral("1.2.0.sqlite"));
    QVERIFY(QFile::copy(QFINDTESTDATA("data/journal-1.2.0.sqlite"), oldJournal));
    const auto [old, oldSaid] = answer({QStringLiteral("--restore-journal"), oldJournal});
    QVERIFY2(old == 0 && oldSaid.contains(QStringLiteral("恢复营业记录（3 单）")), qPrintable(oldSaid));
}

// Takings are the owner's business: with the usual umask 022 the journal,
// its logs, shop.ini, a backup and the rescue file are the owner's alone,
// in folders only the owner may enter.
void TstJournal::filesForTheOwnerAlone()
{
#ifndef Q_OS_UNIX
    QSKIP("file modes are POSIX");
#else
    const mode_t umaskWas = ::umask(022);
    const auto back = qScopeGuard([&] { ::umask(umaskWas); });
    QTemporaryDir base;
    const QString folder = base.filePath(QStringLiteral("data/Tavelko"));
    Journal journal(folder);
    Order o = order({12, 0}, 1, {line(1, QStringLiteral("面"), 1, 0, 6)});
    QVERIFY(journal.record(o));  // open: its log and index are there
    QVERIFY(payment::saveShop(payment::ShopSettings{}, folder).isEmpty());
    QVERIFY(journal.backupTo(base.filePath(QStringLiteral("备份.sqlite"))));
    o.uid = QUuid::createUuid().toString(QUuid::WithoutBraces);
    QString error;
    const QString rescued = journal::rescue::save({journal::Change::record(o)}, &error);
    const auto removeRescued = qScopeGuard([&] { QFile::remove(rescued); });
    QVERIFY2(!rescued.isEmpty(), qPrintable(error));
    const auto mode = [](const QString &path) {
        struct stat status {};
        return ::stat(QFile::encodeName(path).constData(), &status) == 0 ? int(status.st_mode & 0777) : -1;
    };
    for (const QString &file : {fileIn(folder), fileIn(folder) + QStringLiteral("-wal"), fileIn(folder) + QStringLiteral("-shm"),
                                payment::shopFile(folder), base.filePath(QStringLiteral("备份.sqlite")), rescued})
        QVERIFY2(mode(file) == 0600, qPrintable(QStringLiteral("%1: %2").arg(file).arg(mode(file), 0, 8)));
    for (const QString &dir : {folder, QFileInfo(rescued).path()})
        QVERIFY2(mode(dir) == 0700, qPrintable(QStringLiteral("%1: %2").arg(dir).arg(mode(dir), 0, 8)));
#endif
}

// A journal in a folder the user may not write, itself read-only (a copy on
// a read-only disk): the command line reads it as it stands.
void TstJournal::readsAJournalItMayNotWrite()
{
#ifndef Q_OS_UNIX
    QSKIP("file modes are POSIX");
#else
    if (::geteuid() != 0)
        QSKIP("needs root to act as another user");
    QTemporaryDir folder;
    QVERIFY(Journal(folder.path()).record(order({12, 0}, 1, {line(1, QStringLiteral("面"), 1, 0, 6)})));
    QVERIFY(!QFileInfo::exists(fileIn(folder.path()) + QStringLiteral("-wal")));
    QCOMPARE(::chmod(QFile::encodeName(fileIn(folder.path())).constData(), 0444), 0);
    QCOMPARE(::chmod(QFile::encodeName(folder.path()).constData(), 0555), 0);
    const std::optional<QByteArray> said = runAsNobody({QStringLiteral("--read"), folder.path()});
    QVERIFY(said);
    QCOMPARE(QString::fromUtf8(*said), QStringLiteral("1 "));
    QCOMPARE(::chmod(QFile::encodeName(folder.path()).constData(), 0700), 0);
#endif
}

void TstJournal::rescuedChangesWaitForTheJournal_data()
{
    QTest::addColumn<bool>("endsFirst");  // the program ends before the journal can be written
    QTest::newRow("a folder in the journal's place, taken away while it runs") << false;
    QTest::newRow("another program's lock, held past the end") << true;
}

// What two earlier ends rescued (a table put aside, a paid order with change)
// waits while the journal cannot be written, and goes in as soon as
// it can, with no further order to prompt it, paid as it was. An end that
// gives up waiting keeps its rescue file, whatever a write that gets
// through after it does.
void TstJournal::rescuedChangesWaitForTheJournal()
{
    QFETCH(bool, endsFirst);
    QTemporaryDir folder, config;
    const QString file = fileIn(folder.path());
    const QByteArray oldConfig = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    const auto removeRescues = [] {
        for (const QString &place : journal::rescue::places())
            QFile::remove(place);
    };
    removeRescues();
    const auto restore = qScopeGuard([&] {
        removeRescues();
        qputenv("XDG_CONFIG_HOME", oldConfig);
    });

    Order paid = order({9, 0}, 1, {line(1, QStringLiteral("早"), 1, 0, 40)});
    paid.uid = QStringLiteral("rescued-paid");
    paid.status = journal::OrderStatus::Paid;
    paid.payment = journal::Payment{4000, 0, QString(), 0, 4000, {{QStringLiteral("现金"), 4000}}, 5000, 1000};
    QString error;
    const OpenOrder table = openOrder(u"table-3"_qs, u"3号桌"_qs, {9, 30}, 1200, "{}");
    QVERIFY2(!journal::rescue::save({journal::Change::keep(table)}, &error).isEmpty(), qPrintable(error));
    const QString rescueFile = journal::rescue::save({journal::Change::record(paid)}, &error);  // read back once
    QVERIFY2(!rescueFile.isEmpty(), qPrintable(error));

    journal::sql::Database holder;  // another program, holding the journal until it lets go
    if (endsFirst) {
        QVERIFY(Journal(folder.path()).record(order({8, 0}, 1, {line(1, QStringLiteral("先"), 1, 0, 5)})));
        QVERIFY(holder.open(file, false, false) && holder.exec("BEGIN IMMEDIATE"));
    } else {
        QVERIFY(QDir().mkpath(file));
    }
    QStringList notices;
    auto service = std::make_unique<journal::JournalService>(folder.path());
    QObject::connect(service.get(), &journal::JournalService::notice,
                     [&notices](const QString &message) { notices << message; });
    service->start();
    // Told at start: the journal cannot be opened, or the rescue cannot go in yet.
    const QString toldAtStart = endsFirst ? u"还未能补记"_qs : u"一个文件夹"_qs;
    QTRY_VERIFY_WITH_TIMEOUT(notices.join(u' ').contains(toldAtStart), 10000);
    if (!endsFirst) {  // nothing handed over since: the service tries again by itself
        QVERIFY(QDir(file).removeRecursively());
        QTRY_VERIFY_WITH_TIMEOUT(notices.join(u' ').contains(u"已补记"_qs), 20000);
        QVERIFY2(notices.join(u' ').contains(u"1 单（合计 40 元）和 1 张挂单已补记"_qs), qPrintable(notices.join(u' ')));
    }
    service->record(order({10, 0}, 2, {line(1, QStringLiteral("晚"), 1, 0, 7)}));
    QStringList files;
    if (endsFirst) {
        const QString left = service->finish(std::chrono::milliseconds(200));
        QVERIFY2(left.contains(QDir::toNativeSeparators(rescueFile)), qPrintable(left));
        QVERIFY(holder.exec("ROLLBACK"));  // the journal's thread, still waiting, gets through now
        QTRY_COMPARE_WITH_TIMEOUT(readBack(folder.path(), day).size(), 3, 10000);
        service.reset();
        QCOMPARE(journal::rescue::load(&files).size(), 3);  // as the end said
        QCOMPARE(files, QStringList{rescueFile});
    } else {
        QTRY_COMPARE_WITH_TIMEOUT(service->pendingCount(), 0, 10000);
        QVERIFY(service->finish(std::chrono::seconds(2)).isEmpty());
        QVERIFY(journal::rescue::load(&files).isEmpty() && files.isEmpty());
    }
    const QList<Order> orders = readBack(folder.path(), day);
    QCOMPARE(orders.size(), endsFirst ? 3 : 2);
    const auto merged = std::find_if(orders.cbegin(), orders.cend(), [](const Order &o) { return o.uid == u"rescued-paid"; });
    QVERIFY(merged != orders.cend());
    QCOMPARE(merged->status, journal::OrderStatus::Paid);
    QVERIFY(merged->payment.has_value());
    QCOMPARE(merged->payment->cashGiven, 5000);
    QCOMPARE(merged->payment->change, 1000);
    QCOMPARE(listed(Journal(folder.path(), Journal::Mode::Reading).openOrders()), u"3号桌 1200 {}"_qs);
}

void TstJournal::faultTable_data()
{
    QTest::addColumn<int>("fault");
    QTest::addColumn<QString>("told");  // what a notice or the end's message says
    QTest::addColumn<bool>("rescued");  // the two orders went to the rescue file at the end
    QTest::addColumn<int>("kept");      // orders in the journal once the fault is gone
    QTest::addColumn<bool>("putsAside");  // orders are put aside and closed between the two
    QTest::newRow("full disk, then the end") << int(FullDisk) << u"磁盘"_qs << true << 3 << false;
    QTest::newRow("full disk while orders are put aside, a lock at the next start") << int(FullDisk) << u"磁盘"_qs << true << 3 << true;
    QTest::newRow("lock held for 3 s while orders are put aside") << int(Lock3s) << QString() << false << 3 << true;
    QTest::newRow("lock held for 30 s") << int(Lock30s) << u"另一个程序占用"_qs << false << 3 << false;
    QTest::newRow("mode 0000") << int(ModeZero) << u"权限 ---------"_qs << true << 3 << false;
    QTest::newRow("another user's 0600") << int(OthersFile) << u"所有者 root，权限 rw-------"_qs << true << 3 << false;
    QTest::newRow("a folder that may not be written") << int(ReadOnlyFolder) << u"文件夹 "_qs << true << 3 << false;
    QTest::newRow("a folder in its place") << int(Folder) << u"一个文件夹"_qs << true << 2 << false;
    QTest::newRow("a FIFO in its place") << int(Fifo) << u"一个管道"_qs << true << 2 << false;
    QTest::newRow("restored beside a stale -wal") << int(StaleWal) << QString() << false << 3 << false;
    QTest::newRow("a 1.2.0 journal") << int(Version120) << QString() << false << 5 << false;
    QTest::newRow("a later version") << int(LaterVersion) << u"较新版本"_qs << true << 1 << false;
    QTest::newRow("a -wal of another journal beside it") << int(StrangerLog) << u"不属于"_qs << false << 3 << false;
    QTest::newRow("a -wal of another journal beside one of 1.4.0 of 2,000 orders")
        << int(StrangerLogUnnoted) << u"截短"_qs << false << 2003 << false;
    QTest::newRow("a trigger put in the journal") << int(Trigger) << QString() << false << 3 << false;
    QTest::newRow("another user's rescue file") << int(PlantedRescue) << QString() << false << 3 << false;
    QTest::newRow("a FIFO at journal.sqlite-journal") << int(FifoRollbackLog) << u"一个管道"_qs << true << 3 << false;
}

// Each fault: the cashier's presses answer at once, the reason told is the
// true one, no file is renamed without cause, and no order is lost: what the
// journal could not take is rescued at the end and merged once the fault
// is gone.
void TstJournal::faultTable()
{
    QFETCH(int, fault);
    QFETCH(QString, told);
    QFETCH(bool, rescued);
    QFETCH(int, kept);
    QFETCH(bool, putsAside);
#ifndef Q_OS_UNIX
    if (fault != Lock3s && fault != Lock30s && fault != Version120 && fault != StaleWal &&
        fault != LaterVersion && fault != StrangerLog && fault != StrangerLogUnnoted && fault != Trigger)
        QSKIP("a fault made with POSIX calls");
#endif
    QTemporaryDir folder, config;
    const QString file = fileIn(folder.path());
    const QByteArray oldConfig = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    const auto restore = qScopeGuard([&] {
        qputenv("XDG_CONFIG_HOME", oldConfig);
        QFile::remove(journal::rescue::places().constLast());
    });
    QFile::remove(journal::rescue::places().constLast());
    if (fault == Version120) {
        QVERIFY(QFile::copy(QFINDTESTDATA("data/journal-1.2.0.sqlite"), file));
        QFile(file).setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    } else if (fault != Folder && fault != Fifo) {
        QVERIFY(Journal(folder.path()).record(order({9, 0}, 1, {line(1, QStringLiteral("早"), 1, 0, 5)})));
    }
    std::unique_ptr<LockHolder> lock;
    QString staleKept;
    switch (fault) {
    case Lock3s:
    case Lock30s:
        lock = std::make_unique<LockHolder>(file, fault == Lock3s ? 3 : 31);
        QVERIFY(lock->held());
        break;
    case Folder:
        QVERIFY(QDir().mkpath(file));
        break;
#ifdef Q_OS_UNIX
    case Fifo:
        QCOMPARE(::mkfifo(QFile::encodeName(file).constData(), 0600), 0);
        break;
    case ModeZero:
    case OthersFile:
    case ReadOnlyFolder:
        for (const QString &path : {folder.path(), config.path()})
            if (fault != ReadOnlyFolder || path == config.path())
                QCOMPARE(::chown(QFile::encodeName(path).constData(), 65534, 65534), 0);
        if (fault == ReadOnlyFolder) {
            QCOMPARE(::chown(QFile::encodeName(file).constData(), 65534, 65534), 0);
            QCOMPARE(::chmod(QFile::encodeName(folder.path()).constData(), 0755), 0);
            break;
        }
        if (fault == ModeZero)
            QCOMPARE(::chown(QFile::encodeName(file).constData(), 65534, 65534), 0);
        QCOMPARE(::chmod(QFile::encodeName(file).constData(), fault == ModeZero ? 0000 : 0600), 0);
        QCOMPARE(::chmod(QFile::encodeName(folder.path()).constData(), 0755), 0);
        break;
#endif
    case StaleWal: {
        // The journal holds twenty orders, some only in its log; the owner
        // puts back a backup of one order, and the old log lies beside it.
        QTemporaryDir other;
        QVERIFY(Journal(other.path()).record(order({8, 0}, 1, {line(1, QStringLiteral("备"), 1, 0, 4)})));
        QVERIFY(Journal(other.path()).backupTo(other.filePath(QStringLiteral("backup.sqlite"))));
        Journal busy(folder.path());
        for (int i = 0; i < 19; ++i)
            QVERIFY(busy.record(order({10, i}, i, {line(1, QStringLiteral("旧"), 1, 0, 1)})));
        QVERIFY(QFile::exists(file + QStringLiteral("-wal")));
        const journal::Restored restored =
            journal::restoreJournal(folder.path(), other.filePath(QStringLiteral("backup.sqlite")));
        QVERIFY2(restored.ok, qPrintable(restored.error));
        staleKept = restored.kept;
        QCOMPARE(restored.orders, 1);
        break;
    }
    case LaterVersion: {
        journal::sql::Database later;
        QVERIFY(later.open(file, false, false) && later.exec("PRAGMA user_version = 99"));
        break;
    }
    case StrangerLog:
    case StrangerLogUnnoted: {
        // A journal of 1.4.0 kept no note of its log; it is larger than the other.
        if (fault == StrangerLogUnnoted) {
            QList<Order> many;
            for (int i = 0; i < 2000; ++i)
                many << order({11, i % 60}, i, {line(1, QStringLiteral("面"), 1, 0, 1)});
            QVERIFY(Journal(folder.path()).recordAll(many));
        }
        if (fault == StrangerLogUnnoted)
            QVERIFY(QFile::remove(file + QStringLiteral("-pair")));
        // The log of a journal of three orders, copied while it runs.
        QTemporaryDir other;
        Journal three(other.path());
        for (int i = 0; i < 3; ++i)
            QVERIFY(three.record(order({8, i}, i, {line(1, QStringLiteral("别"), 1, 0, 4)})));
        // Two copies live at once have two file numbers: the one put in place
        // is not the number the journal's own log had (a freed number may be
        // given to the next new file), which would hide what it is.
        QFile pair(file + QStringLiteral("-pair"));
        const QString noted = pair.open(QIODevice::ReadOnly) ? QString::fromLatin1(pair.readAll()) : QString();
        const QString copies[] = {file + QStringLiteral("-copy1"), file + QStringLiteral("-copy2")};
        for (const QString &copy : copies)
            QVERIFY(QFile::copy(fileIn(other.path()) + QStringLiteral("-wal"), copy));
        const QString first = journal::platform::fileIdentity(copies[0]);
        const bool firstIsNew = noted.isEmpty() || first.isEmpty() || !noted.contains(QStringLiteral("log ") + first);
        QVERIFY(QFile::rename(copies[firstIsNew ? 0 : 1], file + QStringLiteral("-wal")));
        QVERIFY(QFile::remove(copies[firstIsNew ? 1 : 0]));
        break;
    }
    case Trigger: {
        journal::sql::Database raw;
        QVERIFY(raw.open(file, false, false) &&
                raw.exec("CREATE TRIGGER hide AFTER INSERT ON orders BEGIN "
                         "DELETE FROM order_lines WHERE order_id = new.id; DELETE FROM orders WHERE id = new.id; END"));
        break;
    }
#ifdef Q_OS_UNIX
    case PlantedRescue: {
        Order planted = order({3, 0}, 9, {line(1, QStringLiteral("外"), 1, 0, 8888)});
        planted.uid = QUuid::createUuid().toString(QUuid::WithoutBraces);
        QString error;
        const QString saved = journal::rescue::save({journal::Change::record(planted)}, &error);
        QCOMPARE(saved, journal::rescue::places().constFirst());
        QCOMPARE(::chown(QFile::encodeName(saved).constData(), 4242, 4242), 0);
        break;
    }
    case FifoRollbackLog:
        QCOMPARE(::mkfifo(QFile::encodeName(file + QStringLiteral("-journal")).constData(), 0600), 0);
        break;
#endif
    default:
        break;
    }
    const QByteArray before = fault == Fifo ? QByteArray() : digest(file);  // a pipe would hold the read
    const QStringList namesBefore = QDir(folder.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);

    ServiceRun run;
#ifdef Q_OS_UNIX
    if (fault == ModeZero || fault == OthersFile || fault == ReadOnlyFolder) {
        if (::geteuid() != 0)
            QSKIP("needs root to act as another user");
        const std::optional<ServiceRun> asNobody = runServiceAsNobody(folder.path());
        QVERIFY2(asNobody, "the run as nobody did not finish");
        run = *asNobody;
    } else if (fault == FullDisk) {
        withFileSizeLimit(8192, [&] { run = runService(folder.path(), false, putsAside); }, true);
    } else
#endif
    {
        run = runService(folder.path(), lock != nullptr, putsAside);
    }
    lock.reset();
    const QString said = (run.notices + QStringList{run.left}).join(u'\n');
    qInfo().noquote() << said;
    QVERIFY2(run.slowest < 100, qPrintable(QString::number(run.slowest)));
    QVERIFY2(told.isEmpty() ? run.notices.isEmpty() : said.contains(told), qPrintable(said));
    if (fault == Lock30s)  // once, not at every order
        QCOMPARE(run.notices.size(), 1);
    QCOMPARE(run.left.contains(QStringLiteral("2 单（合计 13 元）")), rescued);
    QCOMPARE(run.left.contains(QStringLiteral("另有 2 张挂单未能保存")), rescued && putsAside);
    if (rescued)
        QVERIFY2(run.left.contains(QDir::toNativeSeparators(journal::rescue::places().constFirst())),
                 qPrintable(run.left));
    if (fault == FullDisk || fault == ModeZero || fault == OthersFile || fault == ReadOnlyFolder ||
        fault == LaterVersion)
        QCOMPARE(digest(file), before);  // left as it was
    if (fault == Folder || fault == Fifo)
        QVERIFY(!QFileInfo(file).isFile() && QFileInfo::exists(file));
    QStringList namesAfter = QDir(folder.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).filter(u"journal-"_qs);
    if (fault == StrangerLog || fault == StrangerLogUnnoted) {  // the log set aside, the journal as it was
        QCOMPARE(namesAfter.filter(u"journal-stranger-log-"_qs).size(), 1);
        namesAfter.removeIf([](const QString &name) { return name.startsWith(u"journal-stranger-log-"_qs); });
    }
    QCOMPARE(namesAfter, namesBefore.filter(u"journal-"_qs));

    // The fault gone, the next start merges what was rescued, once. The
    // run as nobody stood for the user: what it wrote is the user's again.
#ifdef Q_OS_UNIX
    if (fault == ModeZero || fault == OthersFile || fault == ReadOnlyFolder)
        for (const QString &path : {config.path() + QStringLiteral("/Tavelko"), journal::rescue::places().constFirst()})
            QCOMPARE(::chown(QFile::encodeName(path).constData(), ::geteuid(), ::getegid()), 0);
#endif
    if (fault == Folder)
        QVERIFY(QDir(file).removeRecursively());
    if (fault == Fifo)
        QVERIFY(QFile::remove(file));
    if (fault == FifoRollbackLog)
        QVERIFY(QFile::remove(file + QStringLiteral("-journal")));
    QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner);
    // Held at the next start, the journal takes the rescued changes a while
    // later, still before the run's own.
    if (fault == FullDisk && putsAside)
        lock = std::make_unique<LockHolder>(file, 3);
    const ServiceRun after = runService(folder.path(), true, putsAside);
    lock.reset();
    if (fault == LaterVersion) {  // still refused, still kept for later
        QStringList files;
        QCOMPARE(journal::rescue::load(&files).size(), 4);
        QCOMPARE(digest(file), before);
        return;
    }
    QVERIFY2(after.left.isEmpty(), qPrintable(after.left));
    QStringList rescueFiles;
    QVERIFY(journal::rescue::load(&rescueFiles).isEmpty() && rescueFiles.isEmpty());  // merged, gone
    if (fault == FullDisk && putsAside)  // told it waits, then that it is in
        QVERIFY2(after.notices.join(u' ').contains(QStringLiteral("还未能补记")), qPrintable(after.notices.join(u' ')));
    if (rescued)
        QVERIFY2(after.notices.join(u' ').contains(putsAside ? u"2 单（合计 13 元）和 2 张挂单已补记"_qs
                                                              : u"2 单（合计 13 元）已补记"_qs),
                 qPrintable(after.notices.join(u' ')));
    // Of each run, the takeaway as put aside the second time; the tables
    // paid. The first run's changes went in before the second's: its
    // takeaway has the name, the second's has it with a number.
    if (putsAside)
        QCOMPARE(listed(Journal(folder.path(), Journal::Mode::Reading).openOrders()),
                 u"外卖 王 650 2, 外卖 王（2） 650 2"_qs);
    const QList<Order> all = readBack(folder.path(), day).size() == 0
                                 ? QList<Order>()
                                 : Journal(folder.path(), Journal::Mode::Reading)
                                       .orders(QDate(2026, 1, 1), QDate(2026, 12, 31))
                                       .value_or(QList<Order>());
    QCOMPARE(all.size(), kept + 2);  // and the two of the run after
    QSet<QString> uids;
    for (const Order &o : all)
        uids.insert(o.uid.isEmpty() ? QString::number(o.id) : o.uid);
    QCOMPARE(uids.size(), all.size());  // none twice
    if (fault == Version120) {  // its three orders, whole, unpaid
        const QList<Order> old = readBack(folder.path(), QDate(2026, 11, 20));
        QCOMPARE(old.size(), 3);
        QCOMPARE(old[2].endedAt, QDateTime(QDate(2026, 11, 20), QTime(13, 59, 59, 999)));
        for (const Order &o : old)
            QVERIFY(o.status == journal::OrderStatus::Unpaid && !o.payment && !o.lines.isEmpty());
        QCOMPARE(old[0].lines.size(), 2);
        QCOMPARE(old[0].lines[1].dish, QStringLiteral("炒\"饭\""));
    }
    if (fault == StaleWal) {  // the old journal is kept whole, with its log
        QTemporaryDir old;
        for (const char *suffix : {"", "-wal"})
            QVERIFY(QFile::copy(staleKept + QLatin1String(suffix), fileIn(old.path()) + QLatin1String(suffix)));
        QCOMPARE(readBack(old.path(), day).size(), 20);
    }
}

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    if (argc == 3 && qstrcmp(argv[1], "--read") == 0) {  // the command line's reading as another user
        Journal reader(QFile::decodeName(argv[2]), Journal::Mode::Reading);
        const std::optional<QList<Order>> orders = reader.ordersOf(day);
        std::printf("%s", qPrintable(QStringLiteral("%1 %2").arg(orders ? orders->size() : -1).arg(reader.error())));
        return 0;
    }
    if (argc == 3 && qstrcmp(argv[1], "--service") == 0) {  // the run as another user
        const ServiceRun run = runService(QFile::decodeName(argv[2]), false);
        QFile out;
        if (!out.open(stdout, QIODevice::WriteOnly))
            return 1;
        QDataStream stream(&out);
        stream << run.notices << run.left << run.slowest;
        return 0;
    }
    TstJournal test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_journal.moc"
