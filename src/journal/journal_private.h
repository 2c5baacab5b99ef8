#pragma once
// What the files of the journal share: the database behind a Journal, the
// changes waiting to be written, and the names and helpers they all use.
// Only the journal's own files include this.

#include "journal/journal.h"
#include "journal/outbox.h"
#include "journal/sqlite_db.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <functional>
#include <optional>

namespace journal {

inline const QString fileName = QStringLiteral("journal.sqlite");
inline const QString dayFormat = QStringLiteral("yyyy-MM-dd");
inline const QString timeFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz");

// The schema version this program writes; the steps to it are in journal_schema.cpp.
inline constexpr int currentVersion = 6;

// An order's end as stored ("yyyy-MM-dd HH:mm:ss.zzz"), read by position.
QDateTime endedAtFrom(QStringView text);
QString native(const QString &path);
// What a file's owner and mode allow, for a message: "所有者 root，权限 rw-------".
QString accessOf(const QString &path);
// Why `path` is not a file the journal may open, or empty.
QString notAFile(const QString &path);
// SQLite's own words, as a detail after the Chinese.
QString detail(const sql::Database &db);
// The version a journal was written by; nullopt when it cannot be read.
std::optional<int> versionOf(sql::Database &db);
// Binds `text`, or NULL when it is empty.
void bindText(sql::Statement &row, int position, const QString &text);

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
    // The till's identity in a shop; not set without one. With it, each
    // change written also goes to the outbox, in the same transaction.
    TillIdentity till;
    bool toOutbox(const QString &kind, const QString &entity, const QByteArray &payload)
    {
        return !till.isSet() || addToOutbox(db, kind, entity, payload);
    }

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

}  // namespace journal
