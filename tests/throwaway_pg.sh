#!/usr/bin/env bash
# Runs COMMAND... against a throwaway PostgreSQL 15 of its own: Debian's
# pg_virtualenv, in a private folder (-t, also as root), on a port free when
# asked, so that several of these run side by side (ctest -j) without
# meeting. COMMAND gets PGHOST, PGPORT, PGUSER, PGPASSWORD and PGDATABASE,
# and pg_ctlcluster 15 regress stops and starts its server.
set -euo pipefail
port=$(timeout 10 python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
exec pg_virtualenv -t -c "-p $port" -v 15 "$@"
