#pragma once
// A thin layer over libpq's C API: one connection to the shop's PostgreSQL
// server, statements with positional text parameters (never SQL built from
// text), and what went wrong, in Chinese, for the owner. Every wait on the
// server has a deadline: a server that hangs makes a call fail, never hang.
// Nothing of the shop's own tables is known here.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

struct pg_conn;
struct pg_result;

namespace shop::pg {

// Where the shop's database is and how to reach it. The password is not
// here: libpq takes it from its password file (or PGPASSWORD).
struct Address {
    QString host;               // name or address of the shop's PC
    int port = 5432;
    QString database;
    QString user;
    QString sslMode = QStringLiteral("prefer");  // prefer, require, verify-full
    QString caFile;             // for verify-full: the CA that signed the server
    QString passwordFile;       // libpq's password file; empty: libpq's own default
    int connectSeconds = 5;     // how long a connection attempt may take
};

// Why a call failed, as the owner is told.
enum class Failure {
    None,
    NoRoute,        // the address cannot be reached or resolved, or nothing listens
    TimedOut,       // no answer in time (the server or the network hangs)
    WrongPassword,  // the server refused the user or the password
    NoDatabase,     // the server has no such database
    NotPostgres,    // something else answered on that port
    NeedsTls,       // encryption was required and the server does not offer it
    Untrusted,      // the server's certificate is not one the CA file vouches for, or not for that address
    DiskFull,       // the server could not store: its disk is full
    Refused,        // the server refused the statement (a constraint, a type)
    Broken,         // the connection broke in the middle
};

// The owner's sentence for a failure; `detail` is libpq's own text.
QString describe(Failure failure, const QString &detail);

class Result;

class Connection {
public:
    Connection() = default;
    ~Connection();
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    // `password`, when given, is used for this connection only (the owner
    // typed it and it is not kept yet); otherwise libpq finds it itself.
    bool connect(const Address &address, const QString &password = {});
    void close();
    bool isOpen() const;

    // Runs one statement with text parameters (a null QString is SQL NULL)
    // and waits at most `timeoutMs` for its answer. On failure the result
    // is empty and failure()/message() tell why; a connection that timed
    // out or broke is closed.
    std::optional<Result> exec(const char *sql, const QStringList &params = {}, int timeoutMs = 15000);
    // Runs statements without parameters or results ("BEGIN", "COMMIT").
    bool run(const char *sql, int timeoutMs = 15000);

    Failure failure() const { return m_failure; }
    QString message() const { return m_message; }  // libpq's or the server's text
    QString sqlState() const { return m_state; }    // the server's SQLSTATE, if any
    QString describeFailure() const { return describe(m_failure, m_message); }

    bool usesTls() const;
    int serverVersion() const;  // 150004 for 15.4; 0 when closed

private:
    bool fail(Failure failure, const QString &message, const QString &state = {});
    bool waitFor(bool writing, qint64 deadline);

    pg_conn *m_conn = nullptr;
    Failure m_failure = Failure::None;
    QString m_message;
    QString m_state;
};

// The rows of a statement's answer, as text. Values are checked by those
// who read them: a broken server's answer is refused, not trusted.
class Result {
public:
    int rows() const { return int(m_rows.size()); }
    int columns() const { return m_columns; }
    bool isNull(int row, int column) const;
    QString text(int row, int column) const;
    // The value as a whole number, or nullopt when it is none (a broken
    // answer): callers refuse it.
    std::optional<qint64> integer(int row, int column) const;
    qint64 affected = 0;  // rows an INSERT, UPDATE or DELETE touched

private:
    friend class Connection;
    int m_columns = 0;
    QList<QList<std::optional<QByteArray>>> m_rows;
};

// Waits until the socket can be read (or written), at most `ms`: true when
// it can. One file per platform (pg_wait_posix.cpp, pg_wait_win.cpp).
bool waitSocket(int socket, bool writing, int ms);

}  // namespace shop::pg
