#include "journal/journal_files.h"

#include "common/save_file.h"
#include "journal/platform_facts.h"
#include "journal/sqlite_db.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QtEndian>

namespace journal::files {

namespace {

QString pairFile(const QString &database)
{
    return database + QStringLiteral("-pair");
}

QString logFile(const QString &database)
{
    return database + QStringLiteral("-wal");
}

// What SQLite's log says of itself: its page size and the database's size
// in pages after its last commit (0: nothing committed).
struct LogFacts {
    quint32 pageSize = 0;
    quint32 pagesAfterCommit = 0;
};

// Reads the log's header and the headers of its frames of the current
// round (those with the header's salt).
LogFacts logFacts(const QString &log)
{
    LogFacts facts;
    QFile in(log);
    if (!in.open(QIODevice::ReadOnly))
        return facts;
    const QByteArray header = in.read(32);
    if (header.size() < 32)
        return facts;
    const quint32 magic = qFromBigEndian<quint32>(header.constData());
    if ((magic & ~1u) != 0x377f0682u)
        return facts;
    const quint32 pageSize = qFromBigEndian<quint32>(header.constData() + 8);
    if (pageSize < 512 || pageSize > 65536 || (pageSize & (pageSize - 1)))
        return facts;
    facts.pageSize = pageSize;
    const QByteArray salt = header.mid(16, 8);
    for (qint64 at = 32;; at += 24 + pageSize) {
        if (!in.seek(at))
            break;
        const QByteArray frame = in.read(24);
        if (frame.size() < 24 || frame.mid(8, 8) != salt || in.size() < at + 24 + pageSize)
            break;
        if (const quint32 pages = qFromBigEndian<quint32>(frame.constData() + 4))
            facts.pagesAfterCommit = pages;
    }
    return facts;
}

// The database's page size and its size in pages as the file stands.
std::pair<quint32, qint64> databaseFacts(const QString &database)
{
    QFile in(database);
    if (!in.open(QIODevice::ReadOnly))
        return {0, 0};
    const QByteArray header = in.read(100);
    if (header.size() < 100 || !header.startsWith("SQLite format 3"))
        return {0, 0};
    quint32 pageSize = qFromBigEndian<quint16>(header.constData() + 16);
    if (pageSize == 1)
        pageSize = 65536;
    return {pageSize, pageSize ? in.size() / pageSize : 0};
}

QString pairText(const QString &database)
{
    const QString db = platform::fileIdentity(database), log = platform::fileIdentity(logFile(database));
    if (db.isEmpty() || log.isEmpty())
        return QString();
    return QStringLiteral("database %1\nlog %2\n").arg(db, log);
}

}  // namespace

QString strangerLog(const QString &database)
{
    const QString log = logFile(database);
    if (!QFileInfo(log).isFile() || QFileInfo(log).size() < 32)
        return QString();
    const LogFacts facts = logFacts(log);
    if (facts.pagesAfterCommit == 0)
        return QString();  // SQLite ignores it too
    // Where the program noted the pair, only that pair belongs together.
    QFile noted(pairFile(database));
    if (QFileInfo(noted.fileName()).isFile() && noted.open(QIODevice::ReadOnly)) {
        const QString was = QString::fromLatin1(noted.read(4096));
        const QString is = pairText(database);
        if (!is.isEmpty() && was != is)
            return QStringLiteral("它不是和营业记录一起写下的（可能是从别处复制来的，或营业记录已被换过）");
    }
    // And every log must fit (a file number may come again for a new file,
    // and a log of 1.4.0 has no note): the journal never shrinks, so a log
    // that would cut it short is another journal's.
    const auto [pageSize, pages] = databaseFacts(database);
    if (pageSize != 0 && facts.pageSize != pageSize)
        return QStringLiteral("它的页大小（%1 字节）与营业记录的（%2 字节）不同").arg(facts.pageSize).arg(pageSize);
    if (facts.pagesAfterCommit < pages)
        return QStringLiteral("使用它会把营业记录从 %1 页截短为 %2 页").arg(pages).arg(facts.pagesAfterCommit);
    return QString();
}

void rememberPair(const QString &database)
{
    const QString text = pairText(database);
    if (text.isEmpty())
        return;
    QFile old(pairFile(database));
    if (QFileInfo(old.fileName()).isFile() && old.open(QIODevice::ReadOnly) &&
        QString::fromLatin1(old.read(4096)) == text)
        return;
    old.close();
    if (!platform::specialFileKind(pairFile(database)).isEmpty())
        return;
    QSaveFile out(pairFile(database));
    if (out.open(QIODevice::WriteOnly) && out.setPermissions(QFile::ReadOwner | QFile::WriteOwner) &&
        out.write(text.toLatin1()) > 0)
        commitWhole(out);
    else
        out.cancelWriting();
}

QString setLogAside(const QString &database)
{
    const QString folder = QFileInfo(database).absolutePath();
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString kept = folder + QStringLiteral("/journal-stranger-log-%1.sqlite-wal").arg(stamp);
    for (int n = 2; QFileInfo::exists(kept); ++n)
        kept = folder + QStringLiteral("/journal-stranger-log-%1-%2.sqlite-wal").arg(stamp).arg(n);
    if (!QFile::rename(logFile(database), kept))
        return QString();
    // Its index describes that log only; SQLite makes a new one.
    QFile::remove(database + QStringLiteral("-shm"));
    return kept;
}

QString schemaDifference(sql::Database &db, int version)
{
    const auto schemaOf = [](sql::Database &of, QSet<QString> *rows) {
        sql::Statement read(of, "SELECT type, name, tbl_name, coalesce(sql, '') FROM sqlite_master");
        while (read.next())
            rows->insert(QStringList{read.text(0), read.text(1), read.text(2), read.text(3)}.join(u'\x1f'));
        return !read.failed();
    };
    sql::Database expected;
    QSet<QString> ours, theirs;
    if (!expected.open(QStringLiteral(":memory:"), false, true) || !buildSchema(expected, 0, version) ||
        !schemaOf(expected, &ours))
        return QStringLiteral("无法建立对照用的表结构（%1）").arg(expected.message());
    if (!schemaOf(db, &theirs))
        return QStringLiteral("无法读取它的表结构（%1）").arg(db.message());
    QStringList extra, missing;
    for (const QString &row : theirs - ours)
        extra << row.section(u'\x1f', 0, 0) + u' ' + row.section(u'\x1f', 1, 1);
    for (const QString &row : ours - theirs)
        missing << row.section(u'\x1f', 0, 0) + u' ' + row.section(u'\x1f', 1, 1);
    extra.sort();
    missing.sort();
    QStringList said;
    if (!extra.isEmpty())
        said << QStringLiteral("多出或改过：%1").arg(extra.join(QStringLiteral("、")));
    if (!missing.isEmpty())
        said << QStringLiteral("缺少或改过：%1").arg(missing.join(QStringLiteral("、")));
    return said.join(QStringLiteral("；"));
}

}  // namespace journal::files
