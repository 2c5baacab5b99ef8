/* A check of the Windows libpq the program ships (run under Wine by
 * tests/windows/shop_server.sh and ctest): that libpq 15 loads, with OpenSSL,
 * and that a connection is answered as it should be.
 *   pq_probe OUT refused PORT   nothing listens on 127.0.0.1:PORT: the
 *                               connection must fail (within its
 *                               connect_timeout, never hanging)
 *   pq_probe OUT encrypted CONNINFO
 *                               the server must accept CONNINFO (its password
 *                               from PGPASSWORD) over TLS, and say itself that
 *                               this connection is encrypted
 * Writes what it finds to the file OUT (Wine does not hand a console
 * program's output to a pipe) and ends with 0 only when all of it holds. */
#include <libpq-fe.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static FILE *out;
static int failures;

static void check(int holds, const char *what, const char *detail)
{
    fprintf(out, "%s %s%s%s\n", holds ? "ok  " : "FAIL", what, detail ? ": " : "",
            detail ? detail : "");
    if (!holds)
        failures++;
}

static void check_library(void)
{
    char text[64];
    int version = PQlibVersion();
    snprintf(text, sizeof text, "%d", version);
    check(version >= 150000 && version < 160000, "libpq 15", text);
    const char *library = PQsslAttribute(NULL, "library");
    check(library && strcmp(library, "OpenSSL") == 0, "built with OpenSSL",
          library ? library : "(none)");
}

static void check_refused(const char *port)
{
    const char *keys[] = {"host", "port", "dbname", "user", "connect_timeout", NULL};
    const char *values[] = {"127.0.0.1", port, "shop", "till", "5", NULL};
    PGconn *conn = PQconnectdbParams(keys, values, 0);
    check(conn && PQstatus(conn) == CONNECTION_BAD, "no server: the connection fails",
          conn ? PQerrorMessage(conn) : "out of memory");
    PQfinish(conn);
}

static void check_encrypted(const char *conninfo)
{
    /* UTF-8 whatever the server's default, as the program will ask. */
    const char *keys[] = {"dbname", "client_encoding", NULL};
    const char *values[] = {conninfo, "UTF8", NULL};
    PGconn *conn = PQconnectdbParams(keys, values, 1);
    int connected = conn && PQstatus(conn) == CONNECTION_OK;
    check(connected, "connected", connected ? NULL : conn ? PQerrorMessage(conn) : "out of memory");
    if (!connected) {
        PQfinish(conn);
        return;
    }
    check(PQsslInUse(conn), "TLS in use", PQsslAttribute(conn, "protocol"));
    char text[64];
    snprintf(text, sizeof text, "%d", PQserverVersion(conn));
    check(PQserverVersion(conn) >= 150000, "server 15 or later", text);
    /* The server's own view of this connection, and a parameter there and
     * back (UTF-8: the shop's names are Chinese). */
    const char *params[] = {"\xe5\x89\x8d\xe5\x8f\xb0"}; /* 前台 */
    PGresult *res = PQexecParams(conn,
        "SELECT s.ssl, $1::text FROM pg_stat_ssl s WHERE s.pid = pg_backend_pid()",
        1, NULL, params, NULL, NULL, 0);
    int answered = PQresultStatus(res) == PGRES_TUPLES_OK && PQntuples(res) == 1;
    check(answered, "the server answers", answered ? NULL : PQerrorMessage(conn));
    if (answered) {
        check(strcmp(PQgetvalue(res, 0, 0), "t") == 0, "the server sees TLS",
              PQgetvalue(res, 0, 0));
        check(strcmp(PQgetvalue(res, 0, 1), params[0]) == 0, "a parameter there and back",
              PQgetvalue(res, 0, 1));
    }
    PQclear(res);
    PQfinish(conn);
}

int main(int argc, char **argv)
{
    if (argc != 4 || (strcmp(argv[2], "refused") != 0 && strcmp(argv[2], "encrypted") != 0)) {
        fprintf(stderr, "usage: pq_probe OUT refused PORT | pq_probe OUT encrypted CONNINFO\n");
        return 2;
    }
    out = fopen(argv[1], "w");
    if (!out)
        return 2;
    check_library();
    if (strcmp(argv[2], "refused") == 0)
        check_refused(argv[3]);
    else
        check_encrypted(argv[3]);
    fprintf(out, "%s\n", failures ? "FAILED" : "PASSED");
    fclose(out);
    return failures ? 1 : 0;
}
