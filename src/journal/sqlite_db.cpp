#include "journal/sqlite_db.h"

#include <QUrl>

#include <sqlite3.h>

namespace journal::sql {

Database::~Database()
{
    close();
}

bool Database::fail(int code)
{
    m_code = code & 0xff;
    m_extended = m_db ? sqlite3_extended_errcode(m_db) : code;
    m_system = m_db ? sqlite3_system_errno(m_db) : 0;
    m_message = QString::fromUtf8(m_db ? sqlite3_errmsg(m_db) : sqlite3_errstr(code));
    return false;
}

bool Database::fail(int code, const QString &message)
{
    m_code = code & 0xff;
    m_extended = code;
    m_system = 0;
    m_message = message;
    return false;
}

bool Database::open(const QString &path, bool readOnly, bool create, bool immutable)
{
    close();
    int flags = readOnly || immutable ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE;
    if (create && !readOnly && !immutable)
        flags |= SQLITE_OPEN_CREATE;
    // Names are URIs only where asked for (an immutable file, an ATTACH of
    // one read-only): a path never begins with "file:".
    const QByteArray name = immutable ? QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded).toUtf8() +
                                            "?immutable=1"
                                      : path.toUtf8();
    const int rc = sqlite3_open_v2(name.constData(), &m_db, flags | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_URI,
                                   nullptr);
    if (rc != SQLITE_OK) {
        fail(rc);
        close();
        return false;
    }
    sqlite3_extended_result_codes(m_db, 1);
    // A file's schema is data, not code: a trigger or a view someone put in a
    // journal or a backup never runs, and its SQL calls no function of ours.
    sqlite3_db_config(m_db, SQLITE_DBCONFIG_ENABLE_TRIGGER, 0, nullptr);
    sqlite3_db_config(m_db, SQLITE_DBCONFIG_ENABLE_VIEW, 0, nullptr);
    sqlite3_db_config(m_db, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
    sqlite3_db_config(m_db, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
    // The program and the command line may meet on the same file.
    sqlite3_busy_timeout(m_db, 5000);
    return true;
}

void Database::setBusyTimeout(int milliseconds)
{
    sqlite3_busy_timeout(m_db, milliseconds);
}

bool Database::inTransaction() const
{
    return m_db && sqlite3_get_autocommit(m_db) == 0;
}

bool Database::isReadOnly() const
{
    return m_db && sqlite3_db_readonly(m_db, "main") == 1;
}

int Database::changes() const
{
    return sqlite3_changes(m_db);
}

bool Database::backupTo(Database &other)
{
    sqlite3_backup *backup = sqlite3_backup_init(other.m_db, "main", m_db, "main");
    if (!backup)
        return other.fail(sqlite3_errcode(other.m_db));
    int rc = SQLITE_OK;
    // Another connection's write lock makes a step wait; the copy restarts
    // by itself when another connection writes between two steps.
    for (int tries = 0; tries < 100; ++tries) {
        rc = sqlite3_backup_step(backup, -1);
        if (rc != SQLITE_BUSY && rc != SQLITE_LOCKED)
            break;
        sqlite3_sleep(50);
    }
    sqlite3_backup_finish(backup);
    if (rc != SQLITE_DONE)
        return fail(rc, QString::fromUtf8(sqlite3_errstr(rc)));
    return true;
}

void Database::close()
{
    if (m_db)
        sqlite3_close_v2(m_db);
    m_db = nullptr;
}

bool Database::exec(const char *sql)
{
    const int rc = sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr);
    return rc == SQLITE_OK || fail(rc);
}

std::optional<QString> Database::text(const char *sql)
{
    Statement statement(*this, sql);
    if (!statement.isValid() || !statement.next())
        return std::nullopt;
    return statement.text(0);
}

qint64 Database::lastInsertId() const
{
    return sqlite3_last_insert_rowid(m_db);
}

bool Database::isDamage() const
{
    return m_code == SQLITE_CORRUPT || m_code == SQLITE_NOTADB;
}

bool Database::isUnopenable() const
{
    return m_code == SQLITE_CANTOPEN;
}

bool Database::isBusy() const
{
    return m_code == SQLITE_BUSY || m_code == SQLITE_LOCKED;
}

void Database::markDamaged(const QString &why)
{
    fail(SQLITE_CORRUPT, why);
}

Statement::Statement(Database &db, const char *sql) : m_db(db)
{
    const int rc = sqlite3_prepare_v2(db.handle(), sql, -1, &m_stmt, nullptr);
    if (rc != SQLITE_OK) {
        db.fail(rc);
        m_failed = true;
        m_stmt = nullptr;
    }
}

Statement::~Statement()
{
    sqlite3_finalize(m_stmt);
}

Statement &Statement::bind(int position, const QString &value)
{
    const QByteArray utf8 = value.toUtf8();
    sqlite3_bind_text(m_stmt, position, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
    return *this;
}

Statement &Statement::bind(int position, const QByteArray &value)
{
    // A null array is an empty blob, never NULL.
    sqlite3_bind_blob(m_stmt, position, value.isNull() ? "" : value.constData(), int(value.size()),
                      SQLITE_TRANSIENT);
    return *this;
}

Statement &Statement::bind(int position, double value)
{
    sqlite3_bind_double(m_stmt, position, value);
    return *this;
}

Statement &Statement::bind(int position, qint64 value)
{
    sqlite3_bind_int64(m_stmt, position, value);
    return *this;
}

Statement &Statement::bindNull(int position)
{
    sqlite3_bind_null(m_stmt, position);
    return *this;
}

Statement &Statement::bindValue(int position, const Statement &from, int column)
{
    sqlite3_bind_value(m_stmt, position, sqlite3_column_value(from.m_stmt, column));
    return *this;
}

bool Statement::run()
{
    if (!m_stmt)
        return false;
    const int rc = sqlite3_step(m_stmt);
    sqlite3_reset(m_stmt);
    if (rc == SQLITE_DONE || rc == SQLITE_ROW)
        return true;
    m_failed = true;
    return m_db.fail(rc);
}

bool Statement::next()
{
    if (!m_stmt)
        return false;
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW)
        return true;
    if (rc != SQLITE_DONE) {
        m_failed = true;
        m_db.fail(rc);
    }
    return false;
}

QString Statement::text(int column) const
{
    const auto *bytes = reinterpret_cast<const char *>(sqlite3_column_text(m_stmt, column));
    return QString::fromUtf8(bytes, sqlite3_column_bytes(m_stmt, column));
}

QByteArray Statement::blob(int column) const
{
    const auto *bytes = static_cast<const char *>(sqlite3_column_blob(m_stmt, column));
    return QByteArray(bytes, sqlite3_column_bytes(m_stmt, column));
}

double Statement::real(int column) const
{
    return sqlite3_column_double(m_stmt, column);
}

qint64 Statement::integer(int column) const
{
    return sqlite3_column_int64(m_stmt, column);
}

void Statement::reset()
{
    sqlite3_reset(m_stmt);
    m_failed = false;
}

bool Statement::isInteger(int column) const
{
    return sqlite3_column_type(m_stmt, column) == SQLITE_INTEGER;
}

bool Statement::isNull(int column) const
{
    return sqlite3_column_type(m_stmt, column) == SQLITE_NULL;
}

}  // namespace journal::sql
