// Backup and restore: a consistent copy of the journal, and a backup put in
// its place while the program does not run.
#include "journal/journal.h"
#include "journal/journal_private.h"

#include "journal/journal_files.h"
#include "journal/platform_facts.h"
#include "journal/sqlite_db.h"

#include <QDir>
#include <QFileInfo>

namespace journal {

// ---------------------------------------------------------------- backup

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

}  // namespace journal
