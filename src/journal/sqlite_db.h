#pragma once
// A thin layer over SQLite's C API: a connection, prepared statements with
// positional binding, and the error text of the last failure. Nothing of the
// journal's own tables is known here.

#include <QByteArray>
#include <QString>

#include <optional>

struct sqlite3;
struct sqlite3_stmt;

namespace journal::sql {

class Statement;

class Database {
public:
    Database() = default;
    ~Database();
    Database(const Database &) = delete;
    Database &operator=(const Database &) = delete;

    // Opens `path`; `create` also makes the file when it is missing.
    // readOnly opens it for reading only; `immutable` reads it as a file no
    // one writes (no lock, no log: a folder the user may not write). Every
    // connection runs no trigger and no view a file brings along, and takes
    // no function from its schema. On failure the connection is closed and
    // code()/message() tell why.
    bool open(const QString &path, bool readOnly, bool create, bool immutable = false);
    void close();
    // How long a statement waits for another connection's lock before it
    // fails with SQLITE_BUSY.
    void setBusyTimeout(int milliseconds);
    // The file was opened for reading only although writing was asked for
    // (its mode or owner does not allow writing).
    bool isReadOnly() const;
    bool isOpen() const { return m_db != nullptr; }
    bool inTransaction() const;  // a BEGIN is open on this connection

    // Runs one or more statements without results.
    bool exec(const char *sql);
    // Runs a statement whose first row's first column is text, or nullopt.
    std::optional<QString> text(const char *sql);

    qint64 lastInsertId() const;
    int changes() const;
    // Copies the whole database into `other` (SQLite's online backup): a
    // consistent state even while another connection writes.
    bool backupTo(Database &other);
    int code() const { return m_code; }         // the primary result code of the last failure
    int extendedCode() const { return m_extended; }
    int systemError() const { return m_system; }  // the system's errno of the last failure, or 0
    QString message() const { return m_message; }
    bool isDamage() const;                      // the last failure says the file is damaged
    bool isUnopenable() const;                  // the file could not be opened at all
    bool isBusy() const;                        // another connection holds a lock
    void markDamaged(const QString &why);       // a failure found by a check of our own

    sqlite3 *handle() const { return m_db; }
    bool fail(int code);                        // records a failure, returns false
    bool fail(int code, const QString &message);

private:
    sqlite3 *m_db = nullptr;
    int m_code = 0;
    int m_extended = 0;
    int m_system = 0;
    QString m_message;
};

// A prepared statement. Bind positions count from 1.
class Statement {
public:
    Statement(Database &db, const char *sql);
    ~Statement();
    Statement(const Statement &) = delete;
    Statement &operator=(const Statement &) = delete;

    bool isValid() const { return m_stmt != nullptr; }
    Statement &bind(int position, const QString &value);
    Statement &bind(int position, const QByteArray &value);  // as a blob
    Statement &bind(int position, double value);
    Statement &bind(int position, qint64 value);
    Statement &bind(int position, int value) { return bind(position, qint64(value)); }
    Statement &bind(int position, bool value) { return bind(position, qint64(value)); }
    Statement &bindNull(int position);
    // The value of `from`'s column `column` in its current row, as it is.
    Statement &bindValue(int position, const Statement &from, int column);

    // Runs a statement without results, ready to run again with new values.
    bool run();
    // Steps to the next row: true with a row, false at the end or on failure
    // (failed() tells which).
    bool next();
    bool failed() const { return m_failed; }
    // Ready to run again after next(), with new values bound.
    void reset();

    QString text(int column) const;
    QByteArray blob(int column) const;
    double real(int column) const;
    qint64 integer(int column) const;
    bool isNull(int column) const;
    bool isInteger(int column) const;

private:
    Database &m_db;
    sqlite3_stmt *m_stmt = nullptr;
    bool m_failed = false;
};

}  // namespace journal::sql
