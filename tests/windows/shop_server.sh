#!/usr/bin/env bash
# The Windows libpq under Wine against a real shop server: Debian's
# PostgreSQL 15 started here in a throwaway folder, on the loopback only, a
# private port, TLS with a self-signed certificate made here, and a password;
# its pg_hba.conf takes encrypted connections only. The cases, one a row:
# where nothing listens the connection fails at once; sslmode=require joins
# and both ends see TLS; asked for no encryption, or with a wrong password,
# the server refuses (so the probe is seen to fail where it must). With
# TAVELKO_EXE, the Windows program then joins the shop over TLS and its
# --shop-status tells an encrypted link.
# The probe runs beside the DLLs of the program folder (PROGRAM_DIR), as the
# installer lays them out, so that a DLL left out of it fails here; without
# PROGRAM_DIR, it finds libpq through WINEPATH.
#   PQ_PROBE=build-windows/tests/windows/pq_probe.exe PROGRAM_DIR=build-windows/Tavelko \
#   bash tests/windows/shop_server.sh      (scripts/windows.sh test runs it)
# Wine uses WINEPREFIX as given (scripts/windows.sh: its own, never ~/.wine).
set -euo pipefail
[ -f "${PQ_PROBE:-}" ] || { echo "shop_server: PQ_PROBE does not name pq_probe.exe" >&2; exit 2; }
pg_bin=/usr/lib/postgresql/15/bin
[ -x "$pg_bin/initdb" ] || { echo "shop_server: PostgreSQL 15 is not installed (scripts/install-deps.sh windows)" >&2; exit 2; }
export WINEDEBUG=${WINEDEBUG:--all}

work=$(mktemp -d "${TMPDIR:-/tmp}/tavelko-shop-server.XXXXXX")
chmod 755 "$work"
# The server's files, its own (the server runs as nobody when this runs as
# root); the rest of $work stays this user's, as Wine wants its prefix.
server_dir=$work/server
mkdir -p "$server_dir/socket"
data=$server_dir/data
fail() { echo "FAIL: $*" >&2; exit 1; }
note() { echo "--- $*" >&2; }
# The server refuses to run as root: as root it runs as nobody.
as_server() {
    if [ "$(id -u)" -eq 0 ]; then
        timeout -k 2 120 setpriv --reuid=nobody --regid=nogroup --clear-groups -- "$@"
    else
        timeout -k 2 120 "$@"
    fi
}
cleanup() {
    local status=$?
    if [ -f "$data/postmaster.pid" ]; then
        as_server "$pg_bin/pg_ctl" -D "$data" -m immediate -w stop >/dev/null 2>&1 || true
    fi
    if [ "$status" -ne 0 ] && [ -f "$server_dir/server.log" ]; then
        tail -20 "$server_dir/server.log" >&2
    fi
    rm -rf "$work"
    exit "$status"
}
trap cleanup EXIT

app=$work/app
mkdir -p "$app"
cp "$PQ_PROBE" "$app/pq_probe.exe"
if [ -n "${PROGRAM_DIR:-}" ]; then
    cp "$PROGRAM_DIR"/*.dll "$app/"
    unset WINEPATH
fi

# A free port on the loopback, for the server; before it starts, the port
# where nothing listens.
port=$(timeout 10 python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
password="shop-$RANDOM$RANDOM"

note "a throwaway PostgreSQL 15 on 127.0.0.1:$port with TLS and a password"
printf '%s\n' "$password" >"$server_dir/password"
timeout 60 openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=127.0.0.1 \
    -keyout "$server_dir/server.key" -out "$server_dir/server.crt" >/dev/null 2>&1 \
    || fail "openssl req failed"
chmod 600 "$server_dir/server.key"
if [ "$(id -u)" -eq 0 ]; then
    chown -R nobody:nogroup "$server_dir"
fi
as_server "$pg_bin/initdb" -D "$data" -U shop --pwfile="$server_dir/password" --auth=scram-sha-256 \
    -E UTF8 --locale=C.UTF-8 >"$server_dir/initdb.log" 2>&1 || { cat "$server_dir/initdb.log" >&2; fail "initdb failed"; }
cat >>"$data/postgresql.conf" <<EOF
listen_addresses = '127.0.0.1'
port = $port
unix_socket_directories = '$server_dir/socket'
ssl = on
ssl_cert_file = '$server_dir/server.crt'
ssl_key_file = '$server_dir/server.key'
EOF
# Encrypted connections with a password only.
printf 'hostssl all all 127.0.0.1/32 scram-sha-256\n' >"$data/pg_hba.conf"
# probe NAME EXPECTED-EXIT-CODE MODE ARGUMENT: pq_probe.exe under Wine.
probe() {
    local name=$1 expected=$2 status=0
    shift 2
    (cd "$work" && timeout -k 5 120 wine "$app/pq_probe.exe" "probe-$name.txt" "$@" >/dev/null 2>&1) \
        || status=$?
    [ -f "$work/probe-$name.txt" ] || fail "$name: pq_probe wrote nothing (exit code $status)"
    sed "s/^/    /" "$work/probe-$name.txt" >&2
    [ "$status" -eq "$expected" ] || fail "$name: pq_probe ended with $status, not $expected"
    note "$name: as expected"
}
server="host=127.0.0.1 port=$port dbname=postgres user=shop connect_timeout=10"
note "nothing listening on the port yet"
probe refused 0 refused "$port"
as_server "$pg_bin/pg_ctl" -D "$data" -l "$server_dir/server.log" -w -t 60 start >/dev/null \
    || fail "the server did not start"
note "sslmode=require: joins, encrypted"
PGPASSWORD=$password probe encrypted 0 encrypted "$server sslmode=require"
note "sslmode=disable: refused by the server"
PGPASSWORD=$password probe plain 1 encrypted "$server sslmode=disable"
grep -q 'no pg_hba.conf entry' "$work/probe-plain.txt" || fail "plain: not refused by pg_hba.conf"
note "a wrong password: refused"
PGPASSWORD=wrong-$password probe wrong-password 1 encrypted "$server sslmode=require"
grep -q 'password authentication failed' "$work/probe-wrong-password.txt" \
    || fail "wrong-password: not refused for the password"
if [ -n "${TAVELKO_EXE:-}" ]; then
    # The program itself joins, as a shop's second till would, in a Wine of
    # its own (its journal, registry and password file stay there).
    note "tavelko.exe --join-shop with sslmode=require, in a Wine of its own"
    export WINEPREFIX=$work/wine
    timeout -k 5 600 wineboot -i >/dev/null 2>&1 || fail "wineboot failed"
    uri="postgresql://shop@127.0.0.1:$port/postgres?sslmode=require"
    joined=$(PGPASSWORD=$password timeout -k 5 120 wine "$TAVELKO_EXE" --join-shop "$uri" \
             --till 9 --till-name upstairs 2>&1 | tr -d '\r') || fail "--join-shop failed: $joined"
    echo "    $joined" >&2
    case $joined in *已加入店铺*加密*) ;; *) fail "--join-shop did not join encrypted" ;; esac
    status=$(timeout -k 5 120 wine "$TAVELKO_EXE" --shop-status 2>&1 | tr -d '\r') \
        || fail "--shop-status failed: $status"
    sed "s/^/    /" <<<"$status" >&2
    case $status in *已连接*加密*) ;; *) fail "--shop-status does not tell an encrypted link" ;; esac
    timeout -k 5 60 wineserver -k 2>/dev/null || true
fi
note "the Windows libpq joins the Linux server encrypted"
