#include "journal/journal.h"
#include "journal/journal_current.h"

#include "common/caption_number.h"
#include "common/save_file.h"
#include "journal/journal_files.h"
#include "journal/journal_marks.h"
#include "journal/report.h"
#include "journal/platform_facts.h"
#include "journal/salvage.h"
#include "journal/sqlite_db.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QStandardPaths>
#include <QUuid>

#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <tuple>


namespace journal {

namespace {

const QString fileName = QStringLiteral("journal.sqlite");
const QString dayFormat = QStringLiteral("yyyy-MM-dd");
const QString timeFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz");

// The journal's tables as version 1.2.0 made them (schema version 1). A new
// journal is made the same way and then upgraded, so that every journal goes
// the one road to the current version.
const char schemaVersion1[] = R"(
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
)";

// Version 2: the payment, the order's identity and 单号, voids and cash-ups.
// Money the cashier takes is in 分 (INTEGER). Orders of 1.2.0 keep status 0
// (未结账) and no payment.
const char upgradeToVersion2[] = R"(
CREATE TABLE cash_ups (
  id INTEGER PRIMARY KEY,
  at TEXT NOT NULL,
  since TEXT,
  paid_count INTEGER NOT NULL, unpaid_count INTEGER NOT NULL, voided_count INTEGER NOT NULL,
  paid_total_fen INTEGER NOT NULL, unpaid_total_fen INTEGER NOT NULL,
  voided_total_fen INTEGER NOT NULL,
  discounts_fen INTEGER NOT NULL, roundings_fen INTEGER NOT NULL,
  opening_float_fen INTEGER NOT NULL, cash_taken_fen INTEGER NOT NULL,
  change_given_fen INTEGER NOT NULL, expected_cash_fen INTEGER NOT NULL,
  counted_cash_fen INTEGER NOT NULL, difference_fen INTEGER NOT NULL,
  float_left_fen INTEGER NOT NULL
);
CREATE TABLE cash_up_methods (
  cash_up_id INTEGER NOT NULL REFERENCES cash_ups (id),
  position INTEGER NOT NULL,
  method TEXT NOT NULL,
  amount_fen INTEGER NOT NULL,
  PRIMARY KEY (cash_up_id, position)
) WITHOUT ROWID;
CREATE TABLE cash_up_counts (
  cash_up_id INTEGER NOT NULL REFERENCES cash_ups (id),
  value_fen INTEGER NOT NULL,
  count INTEGER NOT NULL,
  PRIMARY KEY (cash_up_id, value_fen)
) WITHOUT ROWID;
ALTER TABLE orders ADD COLUMN uid TEXT;
ALTER TABLE orders ADD COLUMN receipt_number TEXT;
ALTER TABLE orders ADD COLUMN status INTEGER NOT NULL DEFAULT 0;
ALTER TABLE orders ADD COLUMN total_fen INTEGER;
ALTER TABLE orders ADD COLUMN discount_fen INTEGER;
ALTER TABLE orders ADD COLUMN discount_label TEXT;
ALTER TABLE orders ADD COLUMN rounding_fen INTEGER;
ALTER TABLE orders ADD COLUMN due_fen INTEGER;
ALTER TABLE orders ADD COLUMN cash_given_fen INTEGER;
ALTER TABLE orders ADD COLUMN change_fen INTEGER;
ALTER TABLE orders ADD COLUMN void_reason TEXT;
ALTER TABLE orders ADD COLUMN voided_at TEXT;
ALTER TABLE orders ADD COLUMN cash_up_id INTEGER REFERENCES cash_ups (id);
CREATE UNIQUE INDEX orders_by_uid ON orders (uid);
CREATE UNIQUE INDEX orders_by_receipt ON orders (receipt_number);
CREATE INDEX orders_not_cashed_up ON orders (day, ended_at, id)
  WHERE cash_up_id IS NULL AND uid IS NOT NULL;
CREATE TABLE payment_parts (
  order_id INTEGER NOT NULL REFERENCES orders (id),
  position INTEGER NOT NULL,
  method TEXT NOT NULL,
  amount_fen INTEGER NOT NULL,
  PRIMARY KEY (order_id, position)
) WITHOUT ROWID;
CREATE TABLE meta (key TEXT PRIMARY KEY, value TEXT NOT NULL) WITHOUT ROWID;
)";

// Version 3: orders put aside (挂单), kept until they are brought back and
// ended; and the rescued changes already merged, so that a rescue file
// merged again changes nothing.
const char upgradeToVersion3[] = R"(
CREATE TABLE open_orders (
  uid TEXT PRIMARY KEY,
  name TEXT NOT NULL UNIQUE,
  held_at TEXT NOT NULL,
  total_fen INTEGER NOT NULL,
  dish_count INTEGER NOT NULL,
  state BLOB NOT NULL
);
CREATE TABLE merged_changes (id TEXT PRIMARY KEY) WITHOUT ROWID;
)";

// Version 4: the order on the windows, kept as it changes, so that a crash
// brings it back; it goes in the write that ends it.
const char upgradeToVersion4[] = R"(
CREATE TABLE current_order (
  uid TEXT PRIMARY KEY,
  saved_at TEXT NOT NULL,
  total_fen INTEGER NOT NULL,
  state BLOB NOT NULL
) WITHOUT ROWID;
)";

constexpr int currentVersion = 5;
// Each version's tables from the one before: a journal is made and upgraded
// by the same steps, so that every journal has the same schema.
const char *const schemaSteps[currentVersion] = {schemaVersion1, upgradeToVersion2, upgradeToVersion3,
                                                 upgradeToVersion4, upgradeToVersion5};
// The full integrity check (it reads every page) runs at most this often;
// every other start makes the quick one.
constexpr qint64 fullCheckEvery = 7 * 24 * 3600;
// How long a write waits for another program's lock before it gives up for
// now: the writing runs off the window's thread and tries again later.
constexpr int recordingBusyTimeout = 1000;

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

QString native(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

// What a file's owner and mode allow, for a message: "所有者 root，权限 rw-------".
QString accessOf(const QString &path)
{
    const QFileInfo info(path);
    const QFile::Permissions p = info.permissions();
    QString mode;
    for (const auto &[read, write, exec] :
         {std::tuple{QFile::ReadOwner, QFile::WriteOwner, QFile::ExeOwner},
          std::tuple{QFile::ReadGroup, QFile::WriteGroup, QFile::ExeGroup},
          std::tuple{QFile::ReadOther, QFile::WriteOther, QFile::ExeOther}})
        mode += QString(p & read ? u'r' : u'-') + (p & write ? u'w' : u'-') + (p & exec ? u'x' : u'-');
    const QString owner = info.owner().isEmpty() ? QString::number(info.ownerId()) : info.owner();
    return QStringLiteral("所有者 %1，权限 %2").arg(owner, mode);
}

// Why `path` is not a file the journal may open, or empty. Only a regular
// file (or a link to one) is opened: a pipe would hold the program for good,
// a folder or a device is no journal.
QString notAFile(const QString &path)
{
    const QString kind = platform::specialFileKind(path);
    if (kind.isEmpty())
        return QString();
    return QStringLiteral("营业记录的位置 %1 上是%2，不是营业记录文件，Tavelko 不会打开它。"
                          "请把它移走或改名（它保持原样），营业记录才能继续。")
        .arg(native(path), kind);
}

// SQLite's own words, as a detail after the Chinese.
QString detail(const sql::Database &db)
{
    return db.message().isEmpty() ? QString() : QStringLiteral("（SQLite：%1）").arg(db.message());
}

}  // namespace

Fen toFen(double yuan)
{
    // The amount its caption shows, to the 分, in integers: a decimal that a
    // double holds a hair off (1.005 is 1.00499...) reads as its caption
    // "1.005" and rounds half away from 0. A caption at 10^15 元 or beyond
    // (or one gone out of range, "溢出") is held at that bound, where sums of
    // it still fit in 分; a caption that is no number at all counts 0.
    constexpr double bound = 1e17;  // 分
    if (std::isnan(yuan))
        return 0;
    if (const std::optional<std::int64_t> fen = captionFen(yuan))
        return *fen;
    return Fen(std::copysign(bound, yuan));
}

QString defaultFolder()
{
    // ~/.local/share/Tavelko on Linux, %LOCALAPPDATA%\Tavelko on Windows,
    // whatever the application's name is set to (the command line sets none).
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/Tavelko");
}

bool buildSchema(sql::Database &db, int from, int to)
{
    for (int version = std::max(from, 0); version < std::min(to, currentVersion); ++version)
        if (!db.exec(schemaSteps[version]))
            return false;
    return db.exec(QStringLiteral("PRAGMA user_version = %1").arg(to).toUtf8().constData());
}

// ---------------------------------------------------------------- the database

struct Journal::Private {
    QString folder;
    Mode mode;
    sql::Database db;
    QString notice;
    QString error;
    struct Waiting {
        Change change;
        bool rescued = false;  // from a rescue file: written once by its id
    };
    QList<Waiting> pending;
    int version = 0;  // of the open database: a reader may meet one of 1.2.0

    QString path() const { return folder + u'/' + fileName; }
    QString why(const QString &doing) const;
    void tell(const QString &more) { notice += (notice.isEmpty() ? QString() : QStringLiteral("\n")) + more; }
    bool refuseNonFiles();
    bool checkLog();
    bool openReading();
    bool openRecording();
    bool openAndPrepare();
    bool prepare();
    bool checkIntegrity();
    QString setAside();
    bool write(Waiting &waiting);
    bool apply(Change &change, bool rescued);
    bool insert(Order &order);
    bool keep(const OpenOrder &open, bool refuseTakenName, QString *refusal);
    bool flushFailed();
    bool transaction(const std::function<bool()> &work);
    void rollBack();
    bool readError();
    // `visit` gets each order and its end as stored; `forExport` leaves out
    // what the CSV does not need (the bill text, endedAt).
    enum class Which { Days, NotCashedUp };
    bool forEach(Which which, const QStringList &values, bool forExport,
                 const std::function<bool(Order &, const QString &)> &visit);
};

// What went wrong with the last database call and what to do, in Chinese;
// `doing` says what was being done ("打开", "写入", "读取").
QString Journal::Private::why(const QString &doing) const
{
    const QString file = native(path());
    QString reason;
    // The file may be open to the user while its folder is not: the log
    // beside it (-wal, -shm) cannot be made.
    const bool folderForbidsLog = QFileInfo(path()).isReadable() && QFileInfo(path()).isWritable() &&
                                  !QFileInfo(folder).isWritable();
    const QString folderReason =
        QStringLiteral("它所在的文件夹 %1 不能写入（%2），营业记录的日志文件（-wal）无法建立。"
                       "请允许 %3 写入这个文件夹；文件保持原样。")
            .arg(native(folder), accessOf(folder), platform::currentUser());
    switch (db.code()) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        reason = QStringLiteral("文件正被另一个程序占用（例如数据库浏览器或备份工具）。"
                                "请关闭那个程序；订单会在它放开文件后自动写入。");
        break;
    case SQLITE_READONLY:
        reason = folderForbidsLog ? folderReason
                 : mode == Mode::Reading && QFileInfo(path() + QStringLiteral("-wal")).size() > 0
                     ? QStringLiteral("营业记录的日志文件（-wal）中有还没有并入营业记录的内容（Tavelko 正在运行，"
                                      "或上次没有正常结束）。读取时要整理它，而当前用户 %1 不能写入"
                                      "（文件：%2；文件夹 %3：%4）。请以文件所有者的身份再试。")
                           .arg(platform::currentUser(), accessOf(path()), native(folder), accessOf(folder))
                 : mode == Mode::Reading
                     ? QStringLiteral("当前用户 %1 不能写入营业记录或它所在的文件夹（文件：%2；文件夹 %3：%4），"
                                      "而读取时要在那里建立 SQLite 的锁文件。请以文件所有者的身份再试。")
                           .arg(platform::currentUser(), accessOf(path()), native(folder), accessOf(folder))
                     : QStringLiteral("文件只能读取，不能写入（%1）。请把文件交还给 %2 并允许写入，"
                                      "例如 chown %2 与 chmod u+rw；文件保持原样，订单暂存在内存中。")
                           .arg(accessOf(path()), platform::currentUser());
        break;
    case SQLITE_CANTOPEN:
    case SQLITE_PERM:
    case SQLITE_AUTH:
        reason = folderForbidsLog ? folderReason
                 : QFileInfo::exists(path())
                     ? QStringLiteral("当前用户 %1 没有读写这个文件的权限（%2）。请把文件交还给 %1 "
                                      "并允许读写，例如 chown %1 与 chmod u+rw；文件保持原样。")
                           .arg(platform::currentUser(), accessOf(path()))
                     : QStringLiteral("无法在文件夹 %1 中建立文件（%2）。请允许 %3 写入这个文件夹。")
                           .arg(native(folder), accessOf(folder), platform::currentUser());
        break;
    case SQLITE_FULL:
        reason = QStringLiteral("磁盘已满。请删除不需要的文件，腾出磁盘空间。");
        break;
    case SQLITE_IOERR:
        // A file size limit (ulimit -f) meets a write as a full disk does.
        reason = platform::isNoRoomError(db.systemError())
                     ? QStringLiteral("磁盘已满，或文件已达到系统允许的大小上限。请腾出磁盘空间，或放宽文件大小限制。")
                     : QStringLiteral("读写磁盘出错（磁盘可能已满、已拔出或有故障）。请检查磁盘。");
        break;
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        reason = QStringLiteral("文件已损坏。");
        break;
    default:
        reason = QStringLiteral("数据库出错。");
        break;
    }
    return QStringLiteral("无法%1营业记录 %2：%3%4").arg(doing, file, reason, detail(db));
}

Journal::Journal(const QString &folder, Mode mode) : d(std::make_unique<Private>())
{
    d->folder = QDir::cleanPath(folder);
    d->mode = mode;
    platform::ignoreFileSizeSignal();
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
    return native(d->path());
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

QList<Order> Journal::pendingOrders() const
{
    QList<Order> orders;
    for (const Private::Waiting &w : d->pending)
        if (w.change.kind == Change::Kind::Record)
            orders.append(w.change.order);
    return orders;
}

QList<Change> Journal::pendingChanges() const
{
    QList<Change> changes;
    for (const Private::Waiting &w : d->pending)
        changes.append(w.change);
    return changes;
}

bool Journal::open()
{
    if (d->db.isOpen())
        return true;
    d->error.clear();
    if (!d->refuseNonFiles() || !d->checkLog())
        return false;
    return d->mode == Mode::Reading ? d->openReading() : d->openRecording();
}

// The journal, its log, its shared memory and the log of the rollback mode
// that SQLite looks for at every opening must each be a file or nothing.
bool Journal::Private::refuseNonFiles()
{
    for (const char *suffix : {"", "-wal", "-shm", "-journal", "-pair"}) {
        const QString refused = notAFile(path() + QLatin1String(suffix));
        if (!refused.isEmpty()) {
            error = refused;
            return false;
        }
    }
    return true;
}

// A log beside the journal that was not written with it is never applied:
// it would put another journal's pages in place of this one's. The program
// sets it aside and tells the owner; the command line refuses to read.
bool Journal::Private::checkLog()
{
    // Without a log the note of the last pair tells nothing: the next log is new.
    if (mode == Mode::Recording && !QFileInfo::exists(path() + QStringLiteral("-wal")))
        QFile::remove(path() + QStringLiteral("-pair"));
    const QString reason = files::strangerLog(path());
    if (reason.isEmpty())
        return true;
    const QString log = native(path() + QStringLiteral("-wal"));
    if (mode == Mode::Reading) {
        error = QStringLiteral("营业记录旁的日志文件 %1 不属于它：%2。本命令不会使用它，营业记录保持原样。"
                               "启动一次 Tavelko，它会把这个日志文件另存一旁，再照常使用营业记录。")
                    .arg(log, reason);
        return false;
    }
    const QString kept = files::setLogAside(path());
    if (kept.isEmpty()) {
        error = QStringLiteral("营业记录旁的日志文件 %1 不属于它：%2，而且无法把它改名移开（请检查文件夹的权限）。"
                               "Tavelko 不会使用它，营业记录保持原样；订单暂存在内存中。")
                    .arg(log, reason);
        return false;
    }
    tell(QStringLiteral("营业记录旁的日志文件不属于它：%1。Tavelko 没有使用它，已把它另存为 %2；营业记录保持原样。")
             .arg(reason, native(kept)));
    return true;
}

// The version a journal was written by, as far as this program knows it;
// refuses (with error) a later one and what cannot be read.
static std::optional<int> versionOf(sql::Database &db)
{
    const std::optional<QString> version = db.text("PRAGMA user_version");
    if (!version)
        return std::nullopt;
    return version->toInt();
}

bool Journal::Private::openReading()
{
    if (!QFileInfo::exists(path()))
        return false;  // nothing recorded yet: no error
    if (!db.open(path(), true, false)) {
        error = why(QStringLiteral("读取"));
        return false;
    }
    std::optional<int> version = versionOf(db);
    // A folder the user may not write (a copy on a read-only disk): with no
    // log beside the journal no one writes it, and it reads as it stands.
    if (!version && db.code() == SQLITE_READONLY && QFileInfo(path() + QStringLiteral("-wal")).size() == 0) {
        sql::Database asItStands;
        if (asItStands.open(path(), true, false, true) && versionOf(asItStands)) {
            db.close();
            db.open(path(), true, false, true);
            version = versionOf(db);
        }
    }
    if (!version) {
        error = why(QStringLiteral("读取"));
        db.close();
        return false;
    }
    if (*version > currentVersion) {
        error = QStringLiteral("营业记录 %1 是较新版本的 Tavelko 写的（格式版本 %2，本程序只认得到版本 %3）。"
                               "请使用新版本的 Tavelko 读取；文件保持原样。")
                    .arg(native(path()))
                    .arg(*version)
                    .arg(currentVersion);
        db.close();
        return false;
    }
    // A file the program never got to set up (a full disk or a power cut at
    // its first start) holds no orders yet either; the program sets it up
    // when it next starts. Neither has a 1.2.0 journal the tables of version 2.
    if (*version == 0) {
        db.close();
        return false;
    }
    this->version = *version;
    return true;
}

bool Journal::Private::openAndPrepare()
{
    if (!db.open(path(), false, true)) {
        error = why(QStringLiteral("打开"));
        return false;
    }
    db.setBusyTimeout(recordingBusyTimeout);
    if (db.isReadOnly()) {
        db.fail(SQLITE_READONLY, QString());
        error = why(QStringLiteral("写入"));
        db.close();
        return false;
    }
    if (prepare())
        return true;
    db.close();
    return false;
}

// The settings of the connection, the check and the tables; error says why
// when any of it fails.
bool Journal::Private::prepare()
{
    const std::optional<int> version = versionOf(db);
    if (!version) {
        error = why(QStringLiteral("打开"));
        return false;
    }
    if (*version > currentVersion) {
        // Left exactly as it is: no log mode, no check that writes.
        error = QStringLiteral("营业记录 %1 是较新版本的 Tavelko 写的（格式版本 %2，本程序只认得到版本 %3），"
                               "本程序不会改动它。请使用新版本的 Tavelko；在此之前的订单暂存在内存中。")
                    .arg(native(path()))
                    .arg(*version)
                    .arg(currentVersion);
        return false;
    }
    // WAL with full syncs: a committed order survives a power cut, and a
    // reader never blocks the till.
    if (!db.text("PRAGMA journal_mode = WAL") ||
        !db.exec("PRAGMA synchronous = FULL; PRAGMA foreign_keys = ON;")) {
        error = why(QStringLiteral("打开"));
        return false;
    }
    // The log of a journal in use is there now, and nothing is written to it
    // yet; a new journal makes its log with its tables, below.
    files::rememberPair(path());
    if (!checkIntegrity())
        return false;
    if (*version < currentVersion && !transaction([&] { return buildSchema(db, *version, currentVersion); })) {
        error = why(QStringLiteral("写入"));
        return false;
    }
    files::rememberPair(path());
    this->version = currentVersion;
    return true;
}

// The quick check at every start, the full one when a week has passed since
// the last (remembered in the journal itself).
bool Journal::Private::checkIntegrity()
{
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const QDateTime last = QDateTime::fromString(
        db.text("SELECT value FROM meta WHERE key = 'integrity_checked'").value_or(QString()),
        Qt::ISODate);
    const bool full = !last.isValid() || last.secsTo(now) > fullCheckEvery || last > now;
    const std::optional<QString> integrity =
        db.text(full ? "PRAGMA integrity_check" : "PRAGMA quick_check");
    if (!integrity) {
        error = why(QStringLiteral("检查"));
        return false;
    }
    if (*integrity != QStringLiteral("ok")) {
        db.markDamaged(QStringLiteral("完整性检查未通过：") + *integrity);
        error = why(QStringLiteral("打开"));
        return false;
    }
    if (!full)
        return true;
    sql::Statement remember(db, "INSERT OR REPLACE INTO meta VALUES ('integrity_checked', ?)");
    // A journal still of version 1 has no place for it yet: the next start checks fully again.
    if (remember.isValid())
        remember.bind(1, now.toString(Qt::ISODate)).run();
    return true;
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
    // The log first: a new database must never find the old one's log, nor
    // the note of the old pair.
    QFile::remove(path() + QStringLiteral("-pair"));
    for (const char *suffix : {"-wal", "-shm"}) {
        const QString from = path() + QLatin1String(suffix);
        if (QFileInfo::exists(from) && !QFile::rename(from, kept + QLatin1String(suffix)))
            return QString();
    }
    return QFile::rename(path(), kept) ? kept : QString();
}

bool Journal::Private::openRecording()
{
    if (!platform::makeOwnFolder(folder)) {
        error = QStringLiteral("无法建立营业记录的文件夹 %1。%2")
                    .arg(native(folder),
                         notAFile(folder).isEmpty()
                             ? QStringLiteral("请检查它上一级文件夹的权限（%1）。")
                                   .arg(accessOf(QFileInfo(folder).path()))
                             : QStringLiteral("那里有一个同名的文件，请把它移走或改名。"));
        return false;
    }
    // A journal cut to nothing (a disk fault, a copy gone wrong) holds no
    // order: the owner hears of it rather than finding the day empty.
    const QFileInfo found(path());
    if (found.isFile() && found.size() == 0 && QFileInfo(path() + QStringLiteral("-wal")).size() == 0)
        tell(QStringLiteral("营业记录 %1 是空文件（0 字节），其中没有任何订单。以前的订单如果在备份中，"
                            "可以用 tavelko --restore-journal 备份文件 恢复；新的订单照常记入。")
                 .arg(native(path())));
    // Takings are the owner's business: for the owner alone, whatever the umask.
    platform::makeOwnFile(path());
    for (const char *suffix : {"-wal", "-shm"})
        if (QFileInfo(path() + QLatin1String(suffix)).isFile())
            platform::makeOwnFile(path() + QLatin1String(suffix));
    if (openAndPrepare())
        return true;
    // Only a file SQLite proves damaged is set aside for a new one. A busy,
    // read-only or forbidden file, or one of a later version, stays where it
    // is: the day's takings are never split across two files.
    if (!db.isDamage())
        return false;
    const QString damage = detail(db);
    const QString kept = setAside();
    if (kept.isEmpty()) {
        error = QStringLiteral("营业记录 %1 已损坏%2，而且无法改名保留（请检查文件夹的权限）。")
                    .arg(native(path()), damage);
        return false;
    }
    platform::makeOwnFile(path());
    if (!openAndPrepare())
        return false;
    // What can still be read of it goes on in the new one.
    const int saved = salvage(db, kept);
    tell(saved > 0 ? QStringLiteral("营业记录数据库已损坏%1，原文件已保留为 %2。从中读出的 %3 单订单已存入新建的营业记录。")
                         .arg(damage, native(kept))
                         .arg(saved)
                   : QStringLiteral("营业记录数据库已损坏%1，原文件已保留为 %2，从中没有读出订单；已新建数据库。")
                         .arg(damage, native(kept)));
    return true;
}

bool Journal::Private::transaction(const std::function<bool()> &work)
{
    if (!db.exec("BEGIN IMMEDIATE"))
        return false;
    if (work() && db.exec("COMMIT"))
        return true;
    rollBack();
    return false;
}

bool Journal::Private::write(Waiting &waiting)
{
    return transaction([&] { return apply(waiting.change, waiting.rescued); });
}

// Makes `change` in the open transaction. A rescued change already merged
// (its id remembered) is not made again.
bool Journal::Private::apply(Change &change, bool rescued)
{
    const bool once = rescued && change.kind != Change::Kind::Record;  // an order is once by its uid
    if (once) {
        sql::Statement merged(db, "SELECT 1 FROM merged_changes WHERE id = ?");
        merged.bind(1, change.id);
        if (merged.next())
            return true;
        if (merged.failed())
            return false;
    }
    bool done = false;
    switch (change.kind) {
    case Change::Kind::Record:
        done = insert(change.order);
        break;
    case Change::Kind::KeepOpen:
        done = keep(change.open, false, nullptr);
        break;
    case Change::Kind::DropOpen: {
        sql::Statement drop(db, "DELETE FROM open_orders WHERE uid = ?");
        done = drop.bind(1, change.open.uid).run();
        break;
    }
    case Change::Kind::Mark:
        done = applyMark(db, change);
        break;
    case Change::Kind::KeepCurrent:
    case Change::Kind::DropCurrent:
        break;
    }
    // The order on the windows: kept, or ended with what ends it.
    done = (done || change.kind == Change::Kind::KeepCurrent || change.kind == Change::Kind::DropCurrent) &&
           applyToCurrent(db, change);
    if (!done || !once)
        return done;
    sql::Statement remember(db, "INSERT INTO merged_changes VALUES (?)");
    return remember.bind(1, change.id).run();
}

// Puts `open` aside or replaces the one with its uid, in the open
// transaction. A name another open order has is refused (`refusal` says so)
// or, when changes handed earlier are written, made free with a number.
bool Journal::Private::keep(const OpenOrder &open, bool refuseTakenName, QString *refusal)
{
    bool failed = false;
    const auto taken = [&](const QString &name) {
        sql::Statement other(db, "SELECT 1 FROM open_orders WHERE name = ?1 AND uid <> ?2");
        other.bind(1, name).bind(2, open.uid);
        const bool found = other.next();
        failed = failed || other.failed() || !other.isValid();
        return found || failed;
    };
    QString name = open.name.isNull() ? QStringLiteral("") : open.name;
    if (refuseTakenName) {
        if (taken(name)) {
            if (!failed && refusal)
                *refusal = QStringLiteral("已有一张名为“%1”的挂单，请换一个名称。").arg(name);
            return false;
        }
    } else {
        name = freeOpenName(name, taken);
    }
    if (failed)
        return false;
    const QString heldAt = open.heldAt.isValid() ? open.heldAt.toString(timeFormat) : QStringLiteral("");
    sql::Statement update(db, "UPDATE open_orders SET name = ?2, held_at = ?3, total_fen = ?4,"
                              " dish_count = ?5, state = ?6 WHERE uid = ?1");
    update.bind(1, open.uid).bind(2, name).bind(3, heldAt).bind(4, open.total);
    update.bind(5, open.dishCount).bind(6, open.state);
    if (!update.run())
        return false;
    if (db.changes() > 0)
        return true;
    sql::Statement insert(db, "INSERT INTO open_orders (uid, name, held_at, total_fen, dish_count, state)"
                              " VALUES (?1, ?2, ?3, ?4, ?5, ?6)");
    insert.bind(1, open.uid).bind(2, name).bind(3, heldAt).bind(4, open.total);
    insert.bind(5, open.dishCount).bind(6, open.state);
    return insert.run();
}

// Undoes the open transaction, keeping the reason it failed.
void Journal::Private::rollBack()
{
    const int code = db.extendedCode();
    const QString message = db.message();
    db.exec("ROLLBACK");
    db.fail(code, message);
}

static void bindText(sql::Statement &row, int position, const QString &text)
{
    if (text.isEmpty())
        row.bindNull(position);
    else
        row.bind(position, text);
}

// Writes one order in the open transaction. An order whose identity is in the
// journal already (a rescued order merged a second time) is not written again.
bool Journal::Private::insert(Order &order)
{
    if (order.uid.isEmpty())
        order.uid = QUuid::createUuid().toString(QUuid::WithoutBraces);
    // The open order it ends goes with it: a paid table never shows again,
    // and never goes without its order. Done again for an order known
    // already, so that a merge that put the open order back takes it away.
    if (!order.closesOpenUid.isEmpty()) {
        sql::Statement close(db, "DELETE FROM open_orders WHERE uid = ?");
        if (!close.bind(1, order.closesOpenUid).run())
            return false;
    }
    {
        sql::Statement known(db, "SELECT id FROM orders WHERE uid = ?");
        known.bind(1, order.uid);
        if (known.next()) {
            order.id = known.integer(0);
            return true;
        }
        if (known.failed())
            return false;
    }
    // A 单号 already taken (a rescued order numbered before a later one took
    // its number) keeps the order, told apart by a suffix.
    QString receipt = order.receiptNumber;
    for (int n = 2; !receipt.isEmpty(); ++n) {
        sql::Statement taken(db, "SELECT 1 FROM orders WHERE receipt_number = ?");
        taken.bind(1, receipt);
        if (!taken.next()) {
            if (taken.failed())
                return false;
            break;
        }
        receipt = order.receiptNumber + QStringLiteral("-%1").arg(n);
    }
    sql::Statement row(db, "INSERT INTO orders (day, ended_at, bill_number, printed, copied,"
                           " name1, name2, name3, name4, name5, name6,"
                           " total1, total2, total3, total4, total5, total6,"
                           " grand_total, bill_text, uid, receipt_number, status,"
                           " total_fen, discount_fen, discount_label, rounding_fen, due_fen,"
                           " cash_given_fen, change_fen, void_reason, voided_at, cash_up_id)"
                           " VALUES (?,?,?,?,?, ?,?,?,?,?,?, ?,?,?,?,?,?, ?,?,?,?,?,"
                           " ?,?,?,?,?, ?,?,?,?,?)");
    row.bind(1, order.endedAt.date().toString(dayFormat))
        .bind(2, order.endedAt.toString(timeFormat));
    if (order.billNumber)
        row.bind(3, *order.billNumber);
    else
        row.bindNull(3);
    row.bind(4, order.printed).bind(5, order.copied);
    for (int c = 0; c < categoryCount; ++c)
        row.bind(6 + c, order.categoryNames[c]).bind(12 + c, order.categoryTotals[c]);
    row.bind(18, order.grandTotal).bind(19, order.billText).bind(20, order.uid);
    bindText(row, 21, receipt);
    row.bind(22, int(order.status));
    if (const std::optional<Payment> &p = order.payment) {
        row.bind(23, p->total).bind(24, p->discount).bind(26, p->rounding).bind(27, p->due);
        row.bind(25, p->discountLabel).bind(28, p->cashGiven).bind(29, p->change);
    } else {
        for (int position = 23; position <= 29; ++position)
            row.bindNull(position);
    }
    bindText(row, 30, order.voidReason);
    bindText(row, 31, order.voidedAt.isValid() ? order.voidedAt.toString(timeFormat) : QString());
    if (order.cashUpId)
        row.bind(32, order.cashUpId);
    else
        row.bindNull(32);
    bool written = row.run();
    const qint64 id = db.lastInsertId();
    written = written && writeReceiptMarks(db, id, order.receipt);
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
    if (order.payment) {
        sql::Statement addPart(db, "INSERT INTO payment_parts VALUES (?,?,?,?)");
        for (qsizetype i = 0; written && i < order.payment->parts.size(); ++i)
            written = addPart.bind(1, id)
                          .bind(2, qint64(i))
                          .bind(3, order.payment->parts[i].method)
                          .bind(4, order.payment->parts[i].amount)
                          .run();
    }
    if (written) {
        order.id = id;
        order.receiptNumber = receipt;
    }
    return written;
}

Change Change::record(const Order &order)
{
    Change c;
    c.order = order;
    if (c.order.uid.isEmpty())  // its identity before its first try
        c.order.uid = QUuid::createUuid().toString(QUuid::WithoutBraces);
    c.id = c.order.uid;
    return c;
}

Change Change::handed(Kind kind)
{
    Change c;
    c.kind = kind;
    c.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    return c;
}

Change Change::keep(const OpenOrder &open)
{
    Change c = handed(Kind::KeepOpen);
    c.open = open;
    if (c.open.uid.isEmpty())  // never one row for every order without an identity
        c.open.uid = QUuid::createUuid().toString(QUuid::WithoutBraces);
    return c;
}

Change Change::drop(const QString &uid)
{
    Change c = handed(Kind::DropOpen);
    c.open.uid = uid;
    return c;
}

QString freeOpenName(const QString &name, const std::function<bool(const QString &)> &taken)
{
    QString free = name;
    for (int n = 2; taken(free) && n < 10000; ++n)
        free = name + QStringLiteral("（%1）").arg(n);
    return free;
}

bool Journal::record(const Order &order)
{
    if (order.isEmpty())
        return flush();
    return apply(Change::record(order));
}

sql::Database *Journal::currentTables()
{
    return open() && d->version >= 4 ? &d->db : nullptr;
}

bool Journal::apply(const Change &change)
{
    if (change.kind == Change::Kind::DropOpen && change.open.uid.isEmpty())
        return flush();  // nothing to drop
    d->pending.append({change, false});
    return flush();
}

bool Journal::keepOpen(const OpenOrder &kept)
{
    if (d->mode == Mode::Reading) {
        d->error = QStringLiteral("营业记录以只读方式打开，无法保存挂单。");
        return false;
    }
    Change change = Change::keep(kept);
    // Behind what waits, it waits too; its name is then made free when written.
    if (!d->pending.isEmpty() || !open()) {
        d->pending.append({change, false});
        return flush();
    }
    QString refusal;
    if (d->transaction([&] { return d->keep(change.open, true, &refusal); })) {
        d->error.clear();
        return true;
    }
    if (!refusal.isEmpty()) {
        d->error = refusal;
        return false;
    }
    d->pending.append({change, false});
    return d->flushFailed();
}

bool Journal::dropOpen(const QString &uid)
{
    return apply(Change::drop(uid));
}

// After a write that failed: says why and leaves the connection, which may
// have lost its file, to be opened anew next time.
bool Journal::Private::flushFailed()
{
    error = why(QStringLiteral("写入"));
    db.close();
    return false;
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
        if (!d->write(d->pending.first()))
            return d->flushFailed();
        d->pending.removeFirst();
    }
    d->error.clear();
    return true;
}

bool Journal::mergeRescued(const QList<Change> &changes)
{
    if (changes.isEmpty())
        return true;
    if (d->mode == Mode::Reading) {
        d->error = QStringLiteral("营业记录以只读方式打开，无法记录。");
        return false;
    }
    if (open() && d->transaction([&] {
            for (Change change : changes)
                if (!d->apply(change, true))
                    return false;
            return true;
        }))
        return true;
    // They came before anything handed since: they go first.
    QList<Private::Waiting> first;
    for (const Change &change : changes)
        first.append({change, true});
    d->pending = first + d->pending;
    if (d->db.isOpen())
        d->flushFailed();
    return false;
}

bool Journal::recordAll(const QList<Order> &orders)
{
    if (d->mode == Mode::Reading) {
        d->error = QStringLiteral("营业记录以只读方式打开，无法记录。");
        return false;
    }
    if (!open())
        return false;
    if (d->transaction([&] {
            for (const Order &order : orders) {
                Order copy = order;
                if (!copy.isEmpty() && !d->insert(copy))
                    return false;
            }
            return true;
        }))
        return true;
    d->error = d->why(QStringLiteral("写入"));
    return false;
}

// ---------------------------------------------------------------- reading

bool Journal::Private::readError()
{
    error = why(QStringLiteral("读取"));
    return false;
}

// Calls `visit` with each order asked for (the days values[0] to values[1],
// or those no 交班 has counted yet), oldest first. The
// orders, their lines and their payments are read side by side in the same
// order, so that no more than one order is held at a time.
bool Journal::Private::forEach(Which which, const QStringList &values, bool forExport,
                               const std::function<bool(Order &, const QString &)> &visit)
{
    // The queries read the same state of the file: an order the program
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
        return readError();
    // Orders of 1.2.0 (no identity) came before payments and cash-ups: no
    // 交班 counts them.
    // A journal of 1.2.0 (read by the command line before the program
    // upgraded it) has none of the payment's columns: they read as none.
    const bool old = version < 2;
    if (old && which == Which::NotCashedUp)
        return true;
    const QByteArray where = which == Which::Days ? "o.day BETWEEN ?1 AND ?2"
                                                  : "o.cash_up_id IS NULL AND o.uid IS NOT NULL";
    const QByteArray order = " ORDER BY o.day, o.ended_at, o.id";
    const QByteArray orderQuery =
        QByteArray("SELECT o.id, o.ended_at, o.bill_number, o.printed, o.copied,"
                   " o.name1, o.name2, o.name3, o.name4, o.name5, o.name6,"
                   " o.total1, o.total2, o.total3, o.total4, o.total5, o.total6, o.grand_total, ") +
        (forExport ? "''" : "o.bill_text") +
        (old ? ", NULL, NULL, 0, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL"
             : ", o.uid, o.receipt_number, o.status, o.total_fen, o.discount_fen, o.discount_label,"
               " o.rounding_fen, o.due_fen, o.cash_given_fen, o.change_fen, o.void_reason,"
               " o.voided_at, o.cash_up_id") +
        (version >= 5 ? ", o.receipt" : ", 0") +
        " FROM orders o WHERE " + where + order;
    sql::Statement orders(db, orderQuery.constData());
    sql::Statement lines(db, QByteArray("SELECT l.order_id, l.category, l.category_name, l.dish,"
                                        " l.small_quantity, l.small_heading, l.large_quantity,"
                                        " l.large_heading, l.line_total"
                                        " FROM order_lines l JOIN orders o ON o.id = l.order_id"
                                        " WHERE " + where + order + ", l.position")
                                 .constData());
    sql::Statement parts(db, old ? "SELECT 0, '', 0 WHERE ?1 = ?2 AND 0"
                                 : QByteArray("SELECT p.order_id, p.method, p.amount_fen"
                                              " FROM payment_parts p JOIN orders o ON o.id = p.order_id"
                                              " WHERE " + where + order + ", p.position")
                                       .constData());
    if (!orders.isValid() || !lines.isValid() || !parts.isValid())
        return readError();
    for (sql::Statement *s : {&orders, &lines, &parts})
        for (qsizetype i = 0; i < values.size(); ++i)
            s->bind(int(i + 1), values[i]);
    bool lineWaiting = lines.next();
    bool partWaiting = parts.next();
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
        order.uid = orders.text(19);
        order.receiptNumber = orders.text(20);
        order.status = OrderStatus(std::clamp(int(orders.integer(21)), 0, 2));
        if (!orders.isNull(22)) {
            Payment p;
            p.total = orders.integer(22);
            p.discount = orders.integer(23);
            p.discountLabel = orders.text(24);
            p.rounding = orders.integer(25);
            p.due = orders.integer(26);
            p.cashGiven = orders.integer(27);
            p.change = orders.integer(28);
            order.payment = p;
        }
        order.voidReason = orders.text(29);
        if (!orders.isNull(30))
            order.voidedAt = endedAtFrom(orders.text(30));
        order.cashUpId = orders.integer(31);
        order.receipt = int(orders.integer(32));
        for (; lineWaiting && lines.integer(0) == order.id; lineWaiting = lines.next())
            order.lines.append(OrderLine{int(lines.integer(1)), lines.text(2), lines.text(3),
                                         lines.real(4), lines.text(5), lines.real(6),
                                         lines.text(7), lines.real(8)});
        for (; partWaiting && parts.integer(0) == order.id; partWaiting = parts.next())
            if (order.payment)
                order.payment->parts.append(PaymentPart{parts.text(1), parts.integer(2)});
        if (!visit(order, endedAt))
            return false;
    }
    if (orders.failed() || lines.failed() || parts.failed())
        return readError();
    return true;
}

std::optional<QList<Order>> Journal::orders(const QDate &from, const QDate &to)
{
    QList<Order> list;
    if (!open())
        return d->error.isEmpty() ? std::optional(list) : std::nullopt;
    if (!d->forEach(Private::Which::Days, {from.toString(dayFormat), to.toString(dayFormat)}, false,
                    [&](Order &order, const QString &) {
                        list.append(std::move(order));
                        return true;
                    }))
        return std::nullopt;
    return list;
}

namespace {

// `list` as `change` leaves it once written.
void applyTo(QList<OpenOrder> &list, const Change &change)
{
    const QString uid = change.kind == Change::Kind::Record ? change.order.closesOpenUid : change.open.uid;
    const auto found = std::find_if(list.begin(), list.end(), [&](const OpenOrder &o) { return o.uid == uid; });
    if (change.kind != Change::Kind::KeepOpen) {
        if (!uid.isEmpty() && found != list.end())
            list.erase(found);
        return;
    }
    OpenOrder open = change.open;
    open.name = freeOpenName(open.name, [&](const QString &name) {
        return std::any_of(list.cbegin(), list.cend(),
                           [&](const OpenOrder &o) { return o.name == name && o.uid != open.uid; });
    });
    if (found != list.end())
        *found = open;
    else
        list.append(open);
}

}  // namespace

std::optional<QList<OpenOrder>> Journal::openOrders()
{
    QList<OpenOrder> list;
    if (!open()) {
        if (!d->error.isEmpty())
            return std::nullopt;
    } else if (d->version >= 3) {
        sql::Statement rows(d->db, "SELECT uid, name, held_at, total_fen, dish_count, state"
                                   " FROM open_orders ORDER BY held_at, rowid");
        while (rows.next()) {
            const QString heldAt = rows.text(2);
            list.append(OpenOrder{rows.text(0), rows.text(1),
                                  heldAt.isEmpty() ? QDateTime() : endedAtFrom(heldAt), rows.integer(3),
                                  int(rows.integer(4)), rows.blob(5)});
        }
        if (rows.failed() || !rows.isValid()) {
            d->readError();
            return std::nullopt;
        }
    }
    // What waits to be written shows as it will be.
    if (!d->pending.isEmpty()) {
        for (const Private::Waiting &w : std::as_const(d->pending))
            applyTo(list, w.change);
        std::stable_sort(list.begin(), list.end(),
                         [](const OpenOrder &a, const OpenOrder &b) { return a.heldAt < b.heldAt; });
    }
    return list;
}

std::optional<DaySummary> Journal::summaryOf(const QDate &day)
{
    const std::optional<QList<Order>> list = ordersOf(day);
    if (!list)
        return std::nullopt;
    DaySummary summary = summarize(day, *list);
    const std::optional<QList<CashUp>> cashUps = cashUpsOf(day);
    if (!cashUps)
        return std::nullopt;
    summary.cashUps = *cashUps;
    return summary;
}

// ---------------------------------------------------------------- payments

bool Journal::voidOrder(qint64 id, const QString &reason, const QDateTime &at)
{
    if (d->mode == Mode::Reading) {
        d->error = QStringLiteral("营业记录以只读方式打开，无法作废。");
        return false;
    }
    if (!open())
        return false;
    QString refusal;
    const bool done = d->transaction([&] {
        sql::Statement found(d->db, "SELECT status, cash_up_id FROM orders WHERE id = ?");
        found.bind(1, id);
        if (!found.next()) {
            if (!found.failed())
                refusal = QStringLiteral("找不到这一单（编号 %1），没有作废。").arg(id);
            return false;
        }
        if (!found.isNull(1))
            refusal = QStringLiteral("这一单已计入第 %1 次交班，不能再作废。").arg(found.integer(1));
        else if (found.integer(0) == int(OrderStatus::Voided))
            refusal = QStringLiteral("这一单已经作废过了。");
        if (!refusal.isEmpty())
            return false;
        sql::Statement mark(d->db, "UPDATE orders SET status = ?, void_reason = ?, voided_at = ?"
                                   " WHERE id = ?");
        return mark.bind(1, int(OrderStatus::Voided))
            .bind(2, reason)
            .bind(3, at.toString(timeFormat))
            .bind(4, id)
            .run();
    });
    if (!done)
        d->error = refusal.isEmpty() ? d->why(QStringLiteral("写入")) : refusal;
    return done;
}

std::optional<QList<Order>> Journal::ordersSinceLastCashUp()
{
    QList<Order> list;
    if (!open())
        return d->error.isEmpty() ? std::optional(list) : std::nullopt;
    if (!d->forEach(Private::Which::NotCashedUp, {}, false, [&](Order &order, const QString &) {
            list.append(std::move(order));
            return true;
        }))
        return std::nullopt;
    return list;
}

namespace {

QDateTime storedTime(const QString &text)
{
    return text.isEmpty() ? QDateTime() : endedAtFrom(text);
}

}  // namespace

std::optional<std::optional<CashUp>> Journal::lastCashUp()
{
    if (!open() || d->version < 2)
        return d->error.isEmpty() ? std::optional(std::optional<CashUp>()) : std::nullopt;
    sql::Statement row(d->db, "SELECT id, at, since, paid_count, unpaid_count, voided_count,"
                              " paid_total_fen, unpaid_total_fen, voided_total_fen, discounts_fen,"
                              " roundings_fen, opening_float_fen, cash_taken_fen, change_given_fen,"
                              " expected_cash_fen, counted_cash_fen, difference_fen, float_left_fen"
                              " FROM cash_ups ORDER BY id DESC LIMIT 1");
    if (!row.next()) {
        if (row.failed() || !row.isValid()) {
            d->readError();
            return std::nullopt;
        }
        return std::optional<CashUp>();
    }
    CashUp c;
    c.id = row.integer(0);
    c.at = storedTime(row.text(1));
    c.since = storedTime(row.text(2));
    c.paidCount = int(row.integer(3));
    c.unpaidCount = int(row.integer(4));
    c.voidedCount = int(row.integer(5));
    Fen *const money[] = {&c.paidTotal,   &c.unpaidTotal,   &c.voidedTotal,  &c.discounts,
                          &c.roundings,   &c.openingFloat,  &c.cashTaken,    &c.changeGiven,
                          &c.expectedCash, &c.countedCash,  &c.difference,   &c.floatLeft};
    for (int i = 0; i < 12; ++i)
        *money[i] = row.integer(6 + i);
    sql::Statement methods(d->db, "SELECT method, amount_fen FROM cash_up_methods"
                                  " WHERE cash_up_id = ? ORDER BY position");
    methods.bind(1, c.id);
    while (methods.next())
        c.byMethod.append(PaymentPart{methods.text(0), methods.integer(1)});
    sql::Statement counts(d->db, "SELECT value_fen, count FROM cash_up_counts"
                                 " WHERE cash_up_id = ? ORDER BY value_fen DESC");
    counts.bind(1, c.id);
    while (counts.next())
        c.counts.append({counts.integer(0), int(counts.integer(1))});
    if (methods.failed() || counts.failed()) {
        d->readError();
        return std::nullopt;
    }
    return std::optional<CashUp>(c);
}

std::optional<QList<CashUp>> Journal::cashUpsOf(const QDate &day)
{
    QList<CashUp> list;
    if (!open() || d->version < 2)
        return d->error.isEmpty() ? std::optional(list) : std::nullopt;
    sql::Statement row(d->db, "SELECT id, at, expected_cash_fen, counted_cash_fen, difference_fen"
                              " FROM cash_ups WHERE substr(at, 1, 10) = ? ORDER BY id");
    row.bind(1, day.toString(QStringLiteral("yyyy-MM-dd")));
    while (row.next()) {
        CashUp c;
        c.id = row.integer(0);
        c.at = storedTime(row.text(1));
        c.expectedCash = row.integer(2);
        c.countedCash = row.integer(3);
        c.difference = row.integer(4);
        list.append(c);
    }
    if (row.failed()) {
        d->readError();
        return std::nullopt;
    }
    return list;
}

bool Journal::recordCashUp(CashUp &cashUp)
{
    if (d->mode == Mode::Reading) {
        d->error = QStringLiteral("营业记录以只读方式打开，无法记录交班。");
        return false;
    }
    if (!open())
        return false;
    qint64 id = 0;
    const bool done = d->transaction([&] {
        sql::Statement row(d->db, "INSERT INTO cash_ups (at, since, paid_count, unpaid_count,"
                                  " voided_count, paid_total_fen, unpaid_total_fen,"
                                  " voided_total_fen, discounts_fen, roundings_fen,"
                                  " opening_float_fen, cash_taken_fen, change_given_fen,"
                                  " expected_cash_fen, counted_cash_fen, difference_fen,"
                                  " float_left_fen)"
                                  " VALUES (?,?,?,?,?, ?,?,?,?,?, ?,?,?,?,?, ?,?)");
        row.bind(1, cashUp.at.toString(timeFormat));
        bindText(row, 2, cashUp.since.isValid() ? cashUp.since.toString(timeFormat) : QString());
        row.bind(3, cashUp.paidCount).bind(4, cashUp.unpaidCount).bind(5, cashUp.voidedCount);
        const Fen money[] = {cashUp.paidTotal,    cashUp.unpaidTotal, cashUp.voidedTotal,
                             cashUp.discounts,    cashUp.roundings,   cashUp.openingFloat,
                             cashUp.cashTaken,    cashUp.changeGiven, cashUp.expectedCash,
                             cashUp.countedCash,  cashUp.difference,  cashUp.floatLeft};
        for (int i = 0; i < 12; ++i)
            row.bind(6 + i, money[i]);
        if (!row.run())
            return false;
        id = d->db.lastInsertId();
        sql::Statement method(d->db, "INSERT INTO cash_up_methods VALUES (?,?,?,?)");
        for (qsizetype i = 0; i < cashUp.byMethod.size(); ++i)
            if (!method.bind(1, id)
                     .bind(2, qint64(i))
                     .bind(3, cashUp.byMethod[i].method)
                     .bind(4, cashUp.byMethod[i].amount)
                     .run())
                return false;
        sql::Statement count(d->db, "INSERT INTO cash_up_counts VALUES (?,?,?)");
        for (const auto &[value, howMany] : cashUp.counts)
            if (!count.bind(1, id).bind(2, value).bind(3, howMany).run())
                return false;
        sql::Statement mark(d->db, "UPDATE orders SET cash_up_id = ?1"
                                   " WHERE cash_up_id IS NULL AND uid IS NOT NULL AND ended_at <= ?2");
        return mark.bind(1, id).bind(2, cashUp.at.toString(timeFormat)).run();
    });
    if (!done) {
        d->error = d->why(QStringLiteral("写入"));
        return false;
    }
    cashUp.id = id;
    return true;
}

std::optional<QString> Journal::lastReceiptNumber(const QDate &day)
{
    if (!open() || d->version < 2)
        return d->error.isEmpty() ? std::optional(QString()) : std::nullopt;
    // "yyyyMMdd-NNNN" (a suffix "-2" on one taken twice): the day's by its running number.
    const QString prefix = day.toString(QStringLiteral("yyyyMMdd-"));
    sql::Statement highest(d->db, "SELECT receipt_number FROM orders"
                                  " WHERE receipt_number >= ?1 AND receipt_number < ?2"
                                  " ORDER BY CAST(substr(receipt_number, 10) AS INTEGER) DESC,"
                                  " length(receipt_number), receipt_number LIMIT 1");
    highest.bind(1, prefix).bind(2, day.toString(QStringLiteral("yyyyMMdd.")));
    if (highest.next())
        return highest.text(0);
    if (highest.failed() || !highest.isValid()) {
        d->readError();
        return std::nullopt;
    }
    return QString();
}

bool Journal::backupTo(const QString &file)
{
    const QString target = QFileInfo(file).absoluteFilePath();
    const QString database = QFileInfo(d->path()).absoluteFilePath();
    if (target == database || target.startsWith(database + u'-')) {
        d->error = QStringLiteral("不能备份到营业记录数据库本身：%1").arg(native(file));
        return false;
    }
    if (!open()) {
        if (d->error.isEmpty())
            d->error = QStringLiteral("还没有营业记录（%1 不存在），没有可备份的内容。")
                           .arg(native(d->path()));
        return false;
    }
    // Into a new file beside the target, which replaces it only when whole.
    // SQLite opens the copy's rollback log too: none of them may be a pipe.
    const QString partial = target + QStringLiteral(".part");
    for (const QString &name : {target, partial, partial + QStringLiteral("-journal")})
        if (!notAFile(name).isEmpty()) {
            d->error = QStringLiteral("无法备份到 %1：%2 不是普通文件。").arg(native(file), native(name));
            return false;
        }
    QFile::remove(partial);
    platform::makeOwnFile(partial);  // the takings, for the owner alone
    sql::Database copy;
    bool done = copy.open(partial, false, true) && d->db.backupTo(copy) &&
                copy.text("PRAGMA journal_mode = DELETE").has_value() &&
                copy.text("PRAGMA quick_check") == QStringLiteral("ok");
    const QString reason = copy.message().isEmpty() ? d->db.message() : copy.message();
    copy.close();
    if (done) {
        QFile::remove(target);
        done = QFile::rename(partial, target);
    }
    if (!done) {
        QFile::remove(partial);
        d->error = QStringLiteral("无法把营业记录备份到 %1：%2请检查那里的磁盘空间和权限。%3")
                       .arg(native(file),
                            reason.contains(QLatin1String("full"))
                                ? QStringLiteral("磁盘已满。")
                                : QString(),
                            reason.isEmpty() ? QString() : QStringLiteral("（SQLite：%1）").arg(reason));
    }
    return done;
}

int Journal::orderCount()
{
    if (!open())
        return 0;
    return d->db.text("SELECT count(*) FROM orders").value_or(QStringLiteral("0")).toInt();
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
        d->error = QStringLiteral("无法建立文件 %1：请确认文件夹存在并且可以写入，或换一个位置。（%2）")
                       .arg(native(file), out.errorString());
        return false;
    }
    d->error.clear();
    CsvWriter csv(out, kind);
    bool written = true;
    if (d->db.isOpen())
        written = d->forEach(Private::Which::Days, {from.toString(dayFormat), to.toString(dayFormat)},
                             true, [&](Order &order, const QString &endedAt) {
            return csv.add(order, endedAt);
        });
    if (written && csv.finish() && commitWhole(out))
        return true;
    if (d->error.isEmpty())  // not a reading failure: the file's (Qt tells a full disk as "Unknown error")
        d->error = QStringLiteral("无法写入文件 %1：磁盘可能已满，或文件不能写入。请腾出磁盘空间或换一个位置；"
                                  "没有留下不完整的文件。（%2）")
                       .arg(native(file), out.errorString());
    out.cancelWriting();
    return false;
}

// ---------------------------------------------------------------- restore

Restored restoreJournal(const QString &folder, const QString &file)
{
    Restored r;
    const QString source = QFileInfo(file).absoluteFilePath();
    const QString path = QDir::cleanPath(folder) + u'/' + fileName;
    if (!QFileInfo::exists(source)) {
        r.error = QStringLiteral("找不到文件 %1，没有恢复。").arg(native(file));
        return r;
    }
    // SQLite opens the file's logs beside it too: a pipe there would hold the restore.
    for (const char *suffix : {"", "-wal", "-shm", "-journal"})
        if (!notAFile(source + QLatin1String(suffix)).isEmpty()) {
            r.error = QStringLiteral("%1 不是普通文件，没有恢复。").arg(native(source + QLatin1String(suffix)));
            return r;
        }
    if (source == QFileInfo(path).absoluteFilePath()) {
        r.error = QStringLiteral("%1 就是营业记录本身，没有恢复。").arg(native(file));
        return r;
    }
    // The backup must be a journal of this program that this version reads, intact.
    {
        sql::Database backup;
        std::optional<int> version;
        std::optional<QString> integrity, orders;
        if (backup.open(source, true, false))
            version = versionOf(backup);
        if (!version || *version < 1) {
            r.error = QStringLiteral("%1 不是 Tavelko 的营业记录（或无法读取），没有恢复。%2")
                          .arg(native(file), detail(backup));
            return r;
        }
        if (*version > currentVersion) {
            r.error = QStringLiteral("%1 是较新版本的 Tavelko 写的（格式版本 %2），本程序无法使用，没有恢复。")
                          .arg(native(file))
                          .arg(*version);
            return r;
        }
        // Only the journal's own tables and indexes: a trigger or a view
        // brought along would run in the till.
        if (const QString foreign = files::schemaDifference(backup, *version); !foreign.isEmpty()) {
            r.error = QStringLiteral("%1 的表结构与 Tavelko 的营业记录不完全相同（%2），没有恢复。")
                          .arg(native(file), foreign);
            return r;
        }
        orders = backup.text("SELECT count(*) FROM orders");
        integrity = backup.text("PRAGMA integrity_check");
        if (!orders) {
            r.error = QStringLiteral("%1 无法读取，没有恢复。%2").arg(native(file), detail(backup));
            return r;
        }
        if (integrity != QStringLiteral("ok")) {
            r.error = QStringLiteral("%1 已损坏（完整性检查未通过），没有恢复。%2")
                          .arg(native(file), detail(backup));
            return r;
        }
        r.orders = orders->toInt();
        // A whole copy beside the journal, in one file (no log of its own).
        if (!platform::makeOwnFolder(folder)) {
            r.error = QStringLiteral("无法建立营业记录的文件夹 %1。").arg(native(folder));
            return r;
        }
        for (const char *suffix : {"", "-wal", "-shm", "-journal"}) {
            const QString name = path + QStringLiteral(".restoring") + QLatin1String(suffix);
            if (!notAFile(name).isEmpty()) {
                r.error = QStringLiteral("%1 不是普通文件，没有恢复。请把它移走。").arg(native(name));
                return r;
            }
            QFile::remove(name);
        }
        platform::makeOwnFile(path + QStringLiteral(".restoring"));
        sql::Database copy;
        if (!copy.open(path + QStringLiteral(".restoring"), false, true) || !backup.backupTo(copy) ||
            !copy.text("PRAGMA journal_mode = DELETE")) {
            r.error = QStringLiteral("无法把 %1 复制到营业记录的文件夹 %2，没有恢复。请检查磁盘空间和权限。%3")
                          .arg(native(file), native(folder),
                               detail(copy.message().isEmpty() ? backup : copy));
            copy.close();
            QFile::remove(path + QStringLiteral(".restoring"));
            return r;
        }
    }
    // The old journal and its log go aside together, the log first: the
    // restored file must never meet the old one's log.
    if (QFileInfo::exists(path) || QFileInfo::exists(path + QStringLiteral("-wal"))) {
        const QString stamp =
            QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
        r.kept = QDir::cleanPath(folder) + QStringLiteral("/journal-before-restore-%1.sqlite").arg(stamp);
        for (int n = 2; QFileInfo::exists(r.kept); ++n)
            r.kept = QDir::cleanPath(folder) +
                     QStringLiteral("/journal-before-restore-%1-%2.sqlite").arg(stamp).arg(n);
        QStringList moved;
        for (const char *suffix : {"-wal", "-shm", ""}) {
            const QString from = path + QLatin1String(suffix);
            if (!QFileInfo::exists(from))
                continue;
            if (!QFile::rename(from, r.kept + QLatin1String(suffix))) {
                for (const QString &back : moved)  // as it was
                    QFile::rename(r.kept + back, path + back);
                QFile::remove(path + QStringLiteral(".restoring"));
                r.error = QStringLiteral("无法把原来的营业记录 %1 改名保留，没有恢复。请检查文件夹的权限。")
                              .arg(native(from));
                r.kept.clear();
                return r;
            }
            moved << QLatin1String(suffix);
        }
    }
    QFile::remove(path + QStringLiteral("-pair"));  // of the pair that went aside
    if (!QFile::rename(path + QStringLiteral(".restoring"), path)) {
        r.error = QStringLiteral("无法把恢复的营业记录放到 %1。原来的营业记录保留为 %2。")
                      .arg(native(path), native(r.kept));
        return r;
    }
    r.kept = native(r.kept);
    r.ok = true;
    return r;
}

Journal &programJournal()
{
    static Journal journal;
    return journal;
}

}  // namespace journal
