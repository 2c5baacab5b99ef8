#include "journal/journal.h"

#include "common/caption_number.h"
#include "common/save_file.h"
#include "journal/report.h"
#include "journal/sqlite_db.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QStandardPaths>

#include <algorithm>
#include <cmath>
#include <functional>

namespace journal {

namespace {

const QString fileName = QStringLiteral("journal.sqlite");
const QString dayFormat = QStringLiteral("yyyy-MM-dd");
const QString timeFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz");

const char schema[] = R"(
CREATE TABLE IF NOT EXISTS orders (
  id INTEGER PRIMARY KEY,
  day TEXT NOT NULL,
  ended_at TEXT NOT NULL,
  bill_number INTEGER,
  printed INTEGER NOT NULL,
  copied INTEGER NOT NULL,
  name1 TEXT NOT NULL, name2 TEXT NOT NULL, name3 TEXT NOT NULL,
  name4 TEXT NOT NULL, name5 TEXT NOT NULL, name6 TEXT NOT NULL,
  total1 REAL NOT NULL, total2 REAL NOT NULL, total3 REAL NOT NULL,
  total4 REAL NOT NULL, total5 REAL NOT NULL, total6 REAL NOT NULL,
  grand_total REAL NOT NULL,
  bill_text TEXT NOT NULL
);
CREATE INDEX IF NOT EXISTS orders_by_day ON orders (day, ended_at, id);
CREATE TABLE IF NOT EXISTS order_lines (
  order_id INTEGER NOT NULL REFERENCES orders (id),
  position INTEGER NOT NULL,
  category INTEGER NOT NULL,
  category_name TEXT NOT NULL,
  dish TEXT NOT NULL,
  small_quantity REAL NOT NULL,
  small_heading TEXT NOT NULL,
  large_quantity REAL NOT NULL,
  large_heading TEXT NOT NULL,
  line_total REAL NOT NULL,
  PRIMARY KEY (order_id, position)
) WITHOUT ROWID;
PRAGMA user_version = 1;
)";

// An order's end as stored ("yyyy-MM-dd HH:mm:ss.zzz"), read by position:
// QDateTime::fromString takes most of the time of reading a day.
QDateTime endedAtFrom(QStringView text)
{
    auto field = [text](qsizetype at, qsizetype size) { return text.mid(at, size).toInt(); };
    if (text.size() != 23)
        return QDateTime::fromString(text.toString(), timeFormat);
    return QDateTime(QDate(field(0, 4), field(5, 2), field(8, 2)),
                     QTime(field(11, 2), field(14, 2), field(17, 2), field(20, 3)));
}

}  // namespace

QString defaultFolder()
{
    // ~/.local/share/Tavelko on Linux, %LOCALAPPDATA%\Tavelko on Windows,
    // whatever the application's name is set to (the command line sets none).
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/Tavelko");
}

// ---------------------------------------------------------------- the database

struct Journal::Private {
    QString folder;
    Mode mode;
    sql::Database db;
    QString notice;
    QString error;
    QList<Order> pending;

    QString path() const { return folder + u'/' + fileName; }
    bool openRecording();
    bool prepare();
    QString setAside();
    bool write(Order &order);
    bool insert(Order &order);
    void rollBack();
    bool readError(const QString &what);
    // `visit` gets each order and its end as stored; `forExport` leaves out
    // what the CSV does not need (the bill text, endedAt).
    bool forEach(const QDate &from, const QDate &to, bool forExport,
                 const std::function<bool(Order &, const QString &)> &visit);
};

Journal::Journal(const QString &folder, Mode mode) : d(std::make_unique<Private>())
{
    d->folder = QDir::cleanPath(folder);
    d->mode = mode;
}

Journal::~Journal()
{
    if (d->db.isOpen() && d->mode == Mode::Recording)
        d->db.exec("PRAGMA optimize");
}

QString Journal::folder() const
{
    return d->folder;
}

QString Journal::databasePath() const
{
    return QDir::toNativeSeparators(d->path());
}

QString Journal::takeNotice()
{
    return std::exchange(d->notice, QString());
}

QString Journal::error() const
{
    return d->error;
}

int Journal::pendingCount() const
{
    return int(d->pending.size());
}

bool Journal::open()
{
    if (d->db.isOpen())
        return true;
    d->error.clear();
    if (d->mode == Mode::Reading) {
        if (!QFileInfo::exists(d->path()))
            return false;  // nothing recorded yet: no error
        if (d->db.open(d->path(), true, false)) {
            // A file the program never got to set up (a full disk or a power
            // cut at its first start) holds no orders yet either; the
            // program sets it up when it next starts.
            if (d->db.text("PRAGMA user_version") != QStringLiteral("0"))
                return true;
            d->db.close();
            return false;
        }
        d->error = QStringLiteral("无法读取营业记录 %1：%2").arg(databasePath(), d->db.message());
        return false;
    }
    return d->openRecording();
}

// Settings of the connection, the integrity check and the tables. False with
// the connection's error when any of it fails.
bool Journal::Private::prepare()
{
    // WAL with full syncs: a committed order survives a power cut, and a
    // reader never blocks the till.
    const std::optional<QString> journalMode = db.text("PRAGMA journal_mode = WAL");
    if (!journalMode)
        return false;
    if (!db.exec("PRAGMA synchronous = FULL; PRAGMA foreign_keys = ON;"))
        return false;
    const std::optional<QString> integrity = db.text("PRAGMA integrity_check");
    if (!integrity)
        return false;
    if (*integrity != QStringLiteral("ok")) {
        db.markDamaged(QStringLiteral("完整性检查未通过：") + *integrity);
        return false;
    }
    return db.exec(schema);
}

// Moves the damaged database (with its write-ahead log) out of the way under
// a name that says when; returns the new name, or empty if it cannot be moved.
QString Journal::Private::setAside()
{
    db.close();
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString kept = folder + QStringLiteral("/journal-damaged-%1.sqlite").arg(stamp);
    for (int n = 2; QFileInfo::exists(kept); ++n)
        kept = folder + QStringLiteral("/journal-damaged-%1-%2.sqlite").arg(stamp).arg(n);
    // The log first: a new database must never find the old one's log.
    for (const char *suffix : {"-wal", "-shm"}) {
        const QString from = path() + QLatin1String(suffix);
        if (QFileInfo::exists(from) && !QFile::rename(from, kept + QLatin1String(suffix)))
            return QString();
    }
    return QFile::rename(path(), kept) ? kept : QString();
}

bool Journal::Private::openRecording()
{
    if (!QDir().mkpath(folder)) {
        error = QStringLiteral("无法建立营业记录的文件夹 %1。").arg(QDir::toNativeSeparators(folder));
        return false;
    }
    const bool existed = QFileInfo::exists(path());
    if (db.open(path(), false, true) && prepare())
        return true;
    // A file that is there but is no readable database is damaged; a busy or
    // read-only one is not: it is left alone and tried again later.
    const bool damaged = db.isDamage() || (existed && db.isUnopenable());
    const QString why = db.message();
    db.close();
    if (damaged) {
        const QString kept = setAside();
        if (!kept.isEmpty()) {
            notice = QStringLiteral("营业记录数据库已损坏（%1），原文件已保留为 %2，并已新建数据库。")
                         .arg(why, QDir::toNativeSeparators(kept));
            if (db.open(path(), false, true) && prepare())
                return true;
        }
    }
    error = QStringLiteral("无法打开营业记录数据库 %1：%2")
                .arg(QDir::toNativeSeparators(path()), db.message().isEmpty() ? why : db.message());
    db.close();
    return false;
}

bool Journal::Private::write(Order &order)
{
    if (!db.exec("BEGIN IMMEDIATE"))
        return false;
    if (insert(order) && db.exec("COMMIT"))
        return true;
    rollBack();
    return false;
}

// Undoes the open transaction, keeping the reason it failed.
void Journal::Private::rollBack()
{
    const int code = db.code();
    const QString message = db.message();
    db.exec("ROLLBACK");
    db.fail(code, message);
}

bool Journal::Private::insert(Order &order)
{
    sql::Statement row(db, "INSERT INTO orders (day, ended_at, bill_number, printed, copied,"
                           " name1, name2, name3, name4, name5, name6,"
                           " total1, total2, total3, total4, total5, total6,"
                           " grand_total, bill_text)"
                           " VALUES (?,?,?,?,?, ?,?,?,?,?,?, ?,?,?,?,?,?, ?,?)");
    row.bind(1, order.endedAt.date().toString(dayFormat))
        .bind(2, order.endedAt.toString(timeFormat));
    if (order.billNumber)
        row.bind(3, *order.billNumber);
    else
        row.bindNull(3);
    row.bind(4, order.printed).bind(5, order.copied);
    for (int c = 0; c < categoryCount; ++c)
        row.bind(6 + c, order.categoryNames[c]).bind(12 + c, order.categoryTotals[c]);
    row.bind(18, order.grandTotal).bind(19, order.billText);
    bool written = row.run();
    const qint64 id = db.lastInsertId();
    sql::Statement addLine(db, "INSERT INTO order_lines VALUES (?,?,?,?,?,?,?,?,?,?)");
    for (qsizetype i = 0; written && i < order.lines.size(); ++i) {
        const OrderLine &line = order.lines[i];
        written = addLine.bind(1, id)
                      .bind(2, qint64(i))
                      .bind(3, line.category)
                      .bind(4, line.categoryName)
                      .bind(5, line.dish)
                      .bind(6, line.smallQuantity)
                      .bind(7, line.smallHeading)
                      .bind(8, line.largeQuantity)
                      .bind(9, line.largeHeading)
                      .bind(10, line.lineTotal)
                      .run();
    }
    if (written)
        order.id = id;
    return written;
}

bool Journal::record(const Order &order)
{
    if (!order.isEmpty())
        d->pending.append(order);
    return flush();
}

bool Journal::flush()
{
    if (d->pending.isEmpty())
        return true;
    if (d->mode == Mode::Reading) {
        d->error = QStringLiteral("营业记录以只读方式打开，无法记录。");
        return false;
    }
    if (!open())
        return false;
    while (!d->pending.isEmpty()) {
        if (!d->write(d->pending.first())) {
            d->error = QStringLiteral("无法写入营业记录 %1：%2").arg(databasePath(), d->db.message());
            // A connection that failed may have lost its file: open it anew next time.
            d->db.close();
            return false;
        }
        d->pending.removeFirst();
    }
    d->error.clear();
    return true;
}

bool Journal::recordAll(const QList<Order> &orders)
{
    if (d->mode == Mode::Reading) {
        d->error = QStringLiteral("营业记录以只读方式打开，无法记录。");
        return false;
    }
    if (!open())
        return false;
    bool written = d->db.exec("BEGIN IMMEDIATE");
    for (qsizetype i = 0; written && i < orders.size(); ++i) {
        Order copy = orders[i];
        written = copy.isEmpty() || d->insert(copy);
    }
    if (written && d->db.exec("COMMIT"))
        return true;
    d->rollBack();
    d->error = QStringLiteral("无法写入营业记录 %1：%2").arg(databasePath(), d->db.message());
    return false;
}

// ---------------------------------------------------------------- reading

bool Journal::Private::readError(const QString &what)
{
    error = QStringLiteral("无法读取营业记录 %1：%2").arg(QDir::toNativeSeparators(path()), what);
    return false;
}

// Calls `visit` with each order of the days `from` to `to`, oldest first; the
// orders and their lines are read side by side in the same order, so that no
// more than one order is held at a time.
bool Journal::Private::forEach(const QDate &from, const QDate &to, bool forExport,
                               const std::function<bool(Order &, const QString &)> &visit)
{
    // Both queries read the same state of the file: an order the program
    // records between them must not come without its lines. The transaction
    // ends after the statements (declared later, finalized first).
    struct ReadTogether {
        sql::Database &db;
        const bool begun = db.exec("BEGIN");
        ~ReadTogether()
        {
            if (begun)
                db.exec("COMMIT");
        }
    } together{db};
    if (!together.begun)
        return readError(db.message());
    const QByteArray orderQuery =
        QByteArray("SELECT id, ended_at, bill_number, printed, copied,"
                   " name1, name2, name3, name4, name5, name6,"
                   " total1, total2, total3, total4, total5, total6, grand_total, ") +
        (forExport ? "''" : "bill_text") +
        " FROM orders WHERE day BETWEEN ?1 AND ?2 ORDER BY day, ended_at, id";
    sql::Statement orders(db, orderQuery.constData());
    sql::Statement lines(db, "SELECT l.order_id, l.category, l.category_name, l.dish,"
                             " l.small_quantity, l.small_heading, l.large_quantity,"
                             " l.large_heading, l.line_total"
                             " FROM order_lines l JOIN orders o ON o.id = l.order_id"
                             " WHERE o.day BETWEEN ?1 AND ?2"
                             " ORDER BY o.day, o.ended_at, o.id, l.position");
    if (!orders.isValid() || !lines.isValid())
        return readError(db.message());
    for (sql::Statement *s : {&orders, &lines})
        s->bind(1, from.toString(dayFormat)).bind(2, to.toString(dayFormat));
    bool lineWaiting = lines.next();
    while (orders.next()) {
        Order order;
        order.id = orders.integer(0);
        const QString endedAt = orders.text(1);
        if (!forExport)
            order.endedAt = endedAtFrom(endedAt);
        if (!orders.isNull(2))
            order.billNumber = int(orders.integer(2));
        order.printed = orders.integer(3) != 0;
        order.copied = orders.integer(4) != 0;
        for (int c = 0; c < categoryCount; ++c) {
            order.categoryNames[c] = orders.text(5 + c);
            order.categoryTotals[c] = orders.real(11 + c);
        }
        order.grandTotal = orders.real(17);
        order.billText = orders.text(18);
        for (; lineWaiting && lines.integer(0) == order.id; lineWaiting = lines.next())
            order.lines.append(OrderLine{int(lines.integer(1)), lines.text(2), lines.text(3),
                                         lines.real(4), lines.text(5), lines.real(6),
                                         lines.text(7), lines.real(8)});
        if (!visit(order, endedAt))
            return false;
    }
    if (orders.failed() || lines.failed())
        return readError(db.message());
    return true;
}

std::optional<QList<Order>> Journal::orders(const QDate &from, const QDate &to)
{
    QList<Order> list;
    if (!open())
        return d->error.isEmpty() ? std::optional(list) : std::nullopt;
    if (!d->forEach(from, to, false, [&](Order &order, const QString &) {
            list.append(std::move(order));
            return true;
        }))
        return std::nullopt;
    return list;
}

std::optional<DaySummary> Journal::summaryOf(const QDate &day)
{
    const std::optional<QList<Order>> list = ordersOf(day);
    if (!list)
        return std::nullopt;
    return summarize(day, *list);
}

bool Journal::exportCsv(const QDate &from, const QDate &to, const QString &file, CsvKind kind)
{
    // Writing over the journal itself (or its log) would lose every order.
    const QString target = QFileInfo(file).absoluteFilePath();
    const QString database = QFileInfo(d->path()).canonicalFilePath();
    const QString targetCanonical = QFileInfo(file).canonicalFilePath();
    for (const QString &name : {target, targetCanonical})
        if (!database.isEmpty() && !name.isEmpty() && name.startsWith(database)) {
            d->error = QStringLiteral("不能导出到营业记录数据库本身：%1")
                           .arg(QDir::toNativeSeparators(file));
            return false;
        }
    if (!open() && !d->error.isEmpty())
        return false;
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly)) {
        d->error = QStringLiteral("无法写入文件 %1：%2").arg(QDir::toNativeSeparators(file),
                                                          out.errorString());
        return false;
    }
    d->error.clear();
    CsvWriter csv(out, kind);
    bool written = true;
    if (d->db.isOpen())
        written = d->forEach(from, to, true, [&](Order &order, const QString &endedAt) {
            return csv.add(order, endedAt);
        });
    if (written && csv.finish() && commitWhole(out))
        return true;
    if (d->error.isEmpty())  // not a reading failure: the file's
        d->error = QStringLiteral("无法写入文件 %1：%2").arg(QDir::toNativeSeparators(file),
                                                          out.errorString());
    out.cancelWriting();
    return false;
}

Journal &programJournal()
{
    static Journal journal;
    return journal;
}

}  // namespace journal
