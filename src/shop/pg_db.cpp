#include "shop/pg_db.h"

#include <QDateTime>

#include <libpq-fe.h>

namespace shop::pg {

namespace {

qint64 now()
{
    return QDateTime::currentMSecsSinceEpoch();
}

QString trimmed(const char *text)
{
    return QString::fromUtf8(text ? text : "").trimmed();
}

// What a failed connection attempt means, from libpq's text. libpq tells no
// code for these: its messages (and the server's, for the password and the
// database) are read as they come from a Debian or Windows server.
Failure classifyConnect(pg_conn *conn, const QString &message)
{
    auto has = [&message](const char *part) { return message.contains(QLatin1String(part), Qt::CaseInsensitive); };
    if (has("password authentication failed") || has("no password supplied") ||
        has("no pg_hba.conf entry") || has("role \"") || (conn && PQconnectionNeedsPassword(conn)))
        return Failure::WrongPassword;
    if (has("database \"") && has("does not exist"))
        return Failure::NoDatabase;
    if (has("timeout expired") || has("timed out"))
        return Failure::TimedOut;
    if (has("server does not support SSL") || has("SSL off"))
        return Failure::NeedsTls;
    if (has("certificate verify failed") || has("does not match host name") ||
        has("root certificate file") || has("certificate present, but not private key"))
        return Failure::Untrusted;
    if (has("invalid response to SSL negotiation") || has("expected authentication request") ||
        has("unexpected message from server") || has("invalid length of startup packet") ||
        has("received invalid response") || has("bogus") || has("unsupported frontend protocol") ||
        has("server closed the connection unexpectedly"))
        return Failure::NotPostgres;
    return Failure::NoRoute;
}

Failure classifyState(const QString &state)
{
    if (state == QLatin1String("53100"))  // disk_full
        return Failure::DiskFull;
    if (state.startsWith(QLatin1String("08")))  // connection exceptions
        return Failure::Broken;
    if (state == QLatin1String("28P01") || state == QLatin1String("28000"))
        return Failure::WrongPassword;
    if (state == QLatin1String("3D000"))
        return Failure::NoDatabase;
    return Failure::Refused;
}

}  // namespace

QString describe(Failure failure, const QString &detail)
{
    QString what;
    switch (failure) {
    case Failure::None:
        return QStringLiteral("已连接店铺数据库");
    case Failure::NoRoute:
        what = QStringLiteral("连不上店铺数据库：地址不通，或那台电脑上没有开着的数据库服务");
        break;
    case Failure::TimedOut:
        what = QStringLiteral("店铺数据库没有及时应答（连接超时）");
        break;
    case Failure::WrongPassword:
        what = QStringLiteral("店铺数据库拒绝了用户名或密码");
        break;
    case Failure::NoDatabase:
        what = QStringLiteral("店铺数据库服务器上没有这个数据库");
        break;
    case Failure::NotPostgres:
        what = QStringLiteral("这个地址和端口上的不是 PostgreSQL 数据库");
        break;
    case Failure::NeedsTls:
        what = QStringLiteral("要求加密，但店铺数据库不提供加密连接");
        break;
    case Failure::Untrusted:
        what = QStringLiteral("店铺数据库的证书验证不通过：不是所选证书颁发机构签发的，或证书上的名称和服务器地址不符");
        break;
    case Failure::DiskFull:
        what = QStringLiteral("店铺数据库的磁盘已满，没能存下");
        break;
    case Failure::Refused:
        what = QStringLiteral("店铺数据库拒绝了这次写入");
        break;
    case Failure::Broken:
        what = QStringLiteral("和店铺数据库的连接中断了");
        break;
    }
    return detail.isEmpty() ? what : QStringLiteral("%1（%2）").arg(what, detail);
}

Connection::~Connection()
{
    close();
}

void Connection::close()
{
    if (m_conn)
        PQfinish(m_conn);
    m_conn = nullptr;
}

bool Connection::isOpen() const
{
    return m_conn && PQstatus(m_conn) == CONNECTION_OK;
}

bool Connection::fail(Failure failure, const QString &message, const QString &state)
{
    m_failure = failure;
    m_message = message;
    m_state = state;
    return false;
}

bool Connection::connect(const Address &address, const QString &password)
{
    close();
    const QByteArray host = address.host.trimmed().toUtf8();
    const QByteArray port = QByteArray::number(address.port);
    const QByteArray database = address.database.toUtf8();
    const QByteArray user = address.user.toUtf8();
    const QByteArray sslMode = address.sslMode.toUtf8();
    const QByteArray caFile = address.caFile.toUtf8();
    const QByteArray passFile = address.passwordFile.toUtf8();
    const QByteArray seconds = QByteArray::number(qMax(2, address.connectSeconds));
    QList<const char *> keys = {"host", "port", "dbname", "user", "sslmode", "connect_timeout",
                                "application_name", "client_encoding", "keepalives", "keepalives_idle",
                                "keepalives_interval", "keepalives_count"};
    QList<const char *> values = {host.constData(), port.constData(), database.constData(), user.constData(),
                                  sslMode.constData(), seconds.constData(), "tavelko", "UTF8", "1", "10", "5",
                                  "3"};
    if (!caFile.isEmpty()) {
        keys << "sslrootcert";
        values << caFile.constData();
    }
    if (!passFile.isEmpty()) {
        keys << "passfile";
        values << passFile.constData();
    }
    const QByteArray typed = password.toUtf8();
    if (!typed.isEmpty()) {
        keys << "password";
        values << typed.constData();
    }
    keys << nullptr;
    values << nullptr;
    m_conn = PQconnectdbParams(keys.constData(), values.constData(), 0);
    if (!m_conn)
        return fail(Failure::NoRoute, QStringLiteral("libpq 无法分配连接"));
    if (PQstatus(m_conn) != CONNECTION_OK) {
        const QString message = trimmed(PQerrorMessage(m_conn));
        const Failure failure = classifyConnect(m_conn, message);
        close();
        return fail(failure, message);
    }
    // Every statement's text is what we wrote: no search path a user of the
    // server set puts another table or function in the way.
    m_failure = Failure::None;
    if (!run("SET search_path = pg_catalog, public"))
        return false;
    return true;
}

bool Connection::waitFor(bool writing, qint64 deadline)
{
    const qint64 left = deadline - now();
    return left > 0 && waitSocket(PQsocket(m_conn), writing, int(left));
}

std::optional<Result> Connection::exec(const char *sql, const QStringList &params, int timeoutMs)
{
    if (!isOpen()) {
        close();
        fail(Failure::Broken, QStringLiteral("没有连接"));
        return std::nullopt;
    }
    const qint64 deadline = now() + timeoutMs;
    m_failure = Failure::None;
    QList<QByteArray> texts;
    QList<const char *> values;
    texts.reserve(params.size());
    for (const QString &param : params) {
        texts << (param.isNull() ? QByteArray() : param.toUtf8());
        values << (param.isNull() ? nullptr : texts.last().constData());
    }
    auto broken = [this](Failure failure, const QString &why) {
        close();
        fail(failure, why);
        return std::nullopt;
    };
    // Sent and read without blocking, so that a server that hangs (stopped,
    // or a network gone silent) makes this call fail at its deadline.
    // Without parameters, one text may hold several statements (the
    // schema's); with them, exactly one.
    if (PQsetnonblocking(m_conn, 1) != 0)
        return broken(Failure::Broken, trimmed(PQerrorMessage(m_conn)));
    const int sent = values.isEmpty()
                         ? PQsendQuery(m_conn, sql)
                         : PQsendQueryParams(m_conn, sql, int(values.size()), nullptr, values.constData(),
                                             nullptr, nullptr, 0);
    if (!sent)
        return broken(Failure::Broken, trimmed(PQerrorMessage(m_conn)));
    for (;;) {
        const int flushed = PQflush(m_conn);
        if (flushed == 0)
            break;
        if (flushed < 0)
            return broken(Failure::Broken, trimmed(PQerrorMessage(m_conn)));
        if (!waitFor(true, deadline))
            return broken(Failure::TimedOut, QString());
    }
    std::optional<Result> answer;
    for (;;) {
        while (PQisBusy(m_conn)) {
            if (!waitFor(false, deadline))
                return broken(Failure::TimedOut, QString());
            if (!PQconsumeInput(m_conn))
                return broken(Failure::Broken, trimmed(PQerrorMessage(m_conn)));
        }
        PGresult *result = PQgetResult(m_conn);
        if (!result)
            break;
        const ExecStatusType status = PQresultStatus(result);
        if (status == PGRES_TUPLES_OK || status == PGRES_COMMAND_OK) {
            if (!answer && m_failure == Failure::None) {
                Result rows;
                rows.m_columns = PQnfields(result);
                const int count = PQntuples(result);
                rows.m_rows.reserve(count);
                for (int row = 0; row < count; ++row) {
                    QList<std::optional<QByteArray>> values;
                    values.reserve(rows.m_columns);
                    for (int column = 0; column < rows.m_columns; ++column)
                        values << (PQgetisnull(result, row, column)
                                       ? std::nullopt
                                       : std::optional<QByteArray>(QByteArray(PQgetvalue(result, row, column),
                                                                              PQgetlength(result, row, column))));
                    rows.m_rows << values;
                }
                rows.affected = QByteArray(PQcmdTuples(result)).toLongLong();
                answer = std::move(rows);
            }
        } else {
            const QString state = QString::fromLatin1(PQresultErrorField(result, PG_DIAG_SQLSTATE));
            const QString text = trimmed(PQresultErrorMessage(result));
            PQclear(result);
            if (PQstatus(m_conn) != CONNECTION_OK)
                return broken(Failure::Broken, text);
            // Read on to the end, so the connection is ready for the next.
            answer.reset();
            fail(classifyState(state), text, state);
            continue;
        }
        PQclear(result);
    }
    if (!answer) {
        if (m_failure == Failure::None)
            fail(Failure::Broken, QStringLiteral("没有应答"));
        return std::nullopt;
    }
    m_failure = Failure::None;
    m_message.clear();
    m_state.clear();
    return answer;
}

bool Connection::run(const char *sql, int timeoutMs)
{
    return exec(sql, {}, timeoutMs).has_value();
}

bool Connection::usesTls() const
{
    return m_conn && PQsslInUse(m_conn);
}

int Connection::serverVersion() const
{
    return m_conn ? PQserverVersion(m_conn) : 0;
}

bool Result::isNull(int row, int column) const
{
    return row < 0 || row >= rows() || column < 0 || column >= m_columns || !m_rows[row][column];
}

QString Result::text(int row, int column) const
{
    return isNull(row, column) ? QString() : QString::fromUtf8(*m_rows[row][column]);
}

std::optional<qint64> Result::integer(int row, int column) const
{
    if (isNull(row, column))
        return std::nullopt;
    bool ok = false;
    const qint64 value = m_rows[row][column]->toLongLong(&ok);
    return ok ? std::optional<qint64>(value) : std::nullopt;
}

}  // namespace shop::pg
