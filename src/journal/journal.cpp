// The journal's core: opening it (and setting a damaged or stranger file
// aside), what went wrong told in Chinese, and the Journal's own state.
#include "journal/journal.h"
#include "journal/journal_private.h"

#include "common/caption_number.h"
#include "journal/journal_files.h"
#include "journal/platform_facts.h"
#include "journal/salvage.h"
#include "journal/sqlite_db.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <sqlite3.h>

#include <cmath>
#include <tuple>

namespace journal {

namespace {

// How long a write waits for another program's lock before it gives up for
// now: the writing runs off the window's thread and tries again later.
constexpr int recordingBusyTimeout = 1000;

}  // namespace

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

// ---------------------------------------------------------------- the database
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


// Undoes the open transaction, keeping the reason it failed.
void Journal::Private::rollBack()
{
    const int code = db.extendedCode();
    const QString message = db.message();
    db.exec("ROLLBACK");
    db.fail(code, message);
}

Journal &programJournal()
{
    static Journal journal;
    return journal;
}

}  // namespace journal
