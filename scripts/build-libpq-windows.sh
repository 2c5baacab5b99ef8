#!/usr/bin/env bash
# Builds libpq (PostgreSQL's client library, the shop database's client) for
# Windows (x86_64, MinGW-w64), with OpenSSL, so that a Windows till talks to
# the shop's server encrypted. Both come from Debian's own source packages
# (postgresql-15 and openssl, Debian's patches and security fixes applied),
# the newest of bookworm and bookworm-security that the mirror hands out (a
# version listed but gone from the mirror gives way to the one before). Of
# PostgreSQL only libpq and what it needs (src/port, src/common) are built.
# The result is cached and reused:
#   ${XDG_CACHE_HOME:-~/.cache}/tavelko/libpq-15-mingw64
#     include/   libpq-fe.h, postgres_ext.h, pg_config*.h, openssl/
#     lib/       libpq.a, libssl.dll.a, libcrypto.dll.a (the import libraries)
#     bin/       libpq.dll, libssl-3-x64.dll, libcrypto-3-x64.dll
# laid out as CMake's find_package(PostgreSQL) expects (PostgreSQL_ROOT).
# The first build takes about twenty minutes on two busy cores, run at a low
# priority; meanwhile it tells on standard error, once a minute, how far it
# is. Afterwards this script returns at once (the stamp .complete names the
# versions built; remove the folder to build Debian's latest fixes). Prints
# the folder on its last line.
set -euo pipefail
shopt -s inherit_errexit
here="$(cd "$(dirname "$0")" && pwd)"

bash "$here/install-deps.sh" windows

cache="${XDG_CACHE_HOME:-$HOME/.cache}/tavelko"
prefix="$cache/libpq-15-mingw64"
if [ -f "$prefix/.complete" ]; then
  echo "$prefix"
  exit 0
fi

# Low priority (nice 10, for this script and all it starts): the build must
# not slow down the machine's other work.
renice -n 10 -p $$ >/dev/null
jobs=${JOBS:-$(nproc 2>/dev/null || echo 2)}
host=x86_64-w64-mingw32
work="$cache/libpq-src"
mkdir -p "$work"

# show_progress WHAT DIR TOTAL [SECONDS]: until this script ends (or is
# killed), prints how many of about TOTAL objects are compiled in DIR, every
# SECONDS (60), e.g. "build-libpq-windows: openssl: 400 of about 1600 files".
show_progress() {
  local what=$1 dir=$2 total=$3 every=${4:-60} script=$$ waited done
  while :; do
    for ((waited = 0; waited < every; waited++)); do
      sleep 1
      kill -0 "$script" 2>/dev/null || return 0
    done
    done=$(find "$dir" \( -name '*.o' -o -name '*.obj' \) 2>/dev/null | wc -l)
    echo "build-libpq-windows: $what: $done of about $total files compiled" >&2
  done
}

# run_logged WHAT LOG DIR TOTAL COMMAND...: runs COMMAND into LOG, telling
# the progress meanwhile; on failure shows the end of LOG and stops.
run_logged() {
  local what=$1 log=$2 dir=$3 total=$4 progress status=0
  shift 4
  show_progress "$what" "$dir" "$total" &
  progress=$!
  "$@" >"$log" 2>&1 || status=$?
  kill "$progress" 2>/dev/null || true
  wait "$progress" 2>/dev/null || true
  if [ "$status" -ne 0 ]; then
    tail -40 "$log" >&2
    echo "build-libpq-windows: $what failed; the full log: $log" >&2
    exit 1
  fi
}

# The sources, fetched with a private apt configuration so that the machine's
# own sources and lists stay untouched, and unpacked with Debian's patches.
apt_dir="$work/apt"
mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial"
{
  echo "deb-src http://deb.debian.org/debian bookworm main"
  echo "deb-src http://deb.debian.org/debian-security bookworm-security main"
  echo "deb-src http://deb.debian.org/debian bookworm-updates main"
} > "$apt_dir/sources.list"
apt_opts=(-o "Dir::Etc::SourceList=$apt_dir/sources.list" -o "Dir::Etc::SourceParts=-"
          -o "Dir::State::Lists=$apt_dir/lists" -o "Dir::Cache=$apt_dir/cache")
echo "build-libpq-windows: reading Debian's source lists" >&2
apt-get "${apt_opts[@]}" update -qq 2>&1 | { grep -v '^W: Download is performed unsandboxed' || true; } >&2
# source_of PACKAGE: unpacks the newest source of PACKAGE that the archive
# hands out into $work/src-PACKAGE-VERSION (once) and prints that folder. A
# version listed but not (yet or any more) on the mirror gives way to the
# next older one.
source_of() {
  local package=$1 version dir
  for version in $(apt-cache "${apt_opts[@]}" showsrc "$package" \
                   | sed -nE "/^Package: ${package}\$/,/^\$/s/^Version: //p" \
                   | sort -u | sort -r -V); do
    dir="$work/src-$package-$version"
    if [ -d "$dir" ]; then
      echo "$dir"
      return 0
    fi
    echo "build-libpq-windows: fetching the $package $version source package" >&2
    rm -rf "$work/dl-$package" "$work/src.tmp" && mkdir -p "$work/dl-$package" "$work/src.tmp"
    if ! (cd "$work/dl-$package" \
          && apt-get "${apt_opts[@]}" source --download-only -qq "$package=$version" 2>&1 \
             | grep -v '^W: Download is performed unsandboxed' >&2; exit "${PIPESTATUS[0]}"); then
      echo "build-libpq-windows: $package $version is not on the mirror; trying an older one" >&2
      rm -rf "$work/dl-$package" "$work/src.tmp"
      continue
    fi
    dpkg-source --no-check -x "$work/dl-$package/${package}_${version#*:}.dsc" \
      "$work/src.tmp/$package" >/dev/null
    mv "$work/src.tmp/$package" "$dir" && rm -rf "$work/src.tmp" "$work/dl-$package"
    echo "$dir"
    return 0
  done
  echo "build-libpq-windows: no source of $package could be fetched" >&2
  exit 1
}
openssl_src=$(source_of openssl)
postgresql_src=$(source_of postgresql-15)
openssl_version=${openssl_src##*/src-openssl-}
postgresql_version=${postgresql_src##*/src-postgresql-15-}

rm -rf "$prefix"
mkdir -p "$prefix"
started=$SECONDS

# OpenSSL: the two DLLs and their import libraries only (not the static
# libraries, programs, tests or manuals, which would double the time), built
# with the same compiler as Qt and the program.
# The folders compiled into the libraries, where OpenSSL looks for its
# configuration (which libpq loads, and which can load further DLLs) and
# libpq for its service file, must be ones only an administrator can write
# on Windows: a path from this machine, say /root/.cache/..., would be
# C:\root\.cache\... there, a folder any user may make and fill.
protected="C:/Program Files/Tavelko"
openssl_options=(mingw64 --cross-compile-prefix="$host-"
  --prefix="$protected/OpenSSL" --openssldir=ssl --libdir=lib
  shared no-tests no-legacy)
openssl_build=$work/build-openssl
# A finished build of the same version and options is taken as it is (the
# build of libpq after it may have stopped).
openssl_stamp="openssl $openssl_version ${openssl_options[*]}"
if [ "$(cat "$openssl_build/.built" 2>/dev/null)" != "$openssl_stamp" ]; then
  echo "build-libpq-windows: building OpenSSL $openssl_version for Windows" \
       "(the full log: $openssl_build/build.log)" >&2
  rm -rf "$openssl_build" && mkdir -p "$openssl_build"
  cd "$openssl_build"
  CC=gcc-posix "$openssl_src/Configure" "${openssl_options[@]}" \
    >configure.log 2>&1 || { tail -30 configure.log >&2; exit 1; }
  total=$(grep -cE '^([^#[:space:]]*/)?(lib(crypto|ssl)-shlib|libdefault-lib|libcommon-lib)-[^[:space:]]*\.obj:' \
          Makefile || true)
  run_logged openssl "$openssl_build/build.log" . "$total" \
    sh -c "make build_generated && make -j$jobs libcrypto-3-x64.dll libssl-3-x64.dll"
  echo "$openssl_stamp" > .built
fi
cd "$openssl_build"
mkdir -p "$prefix/include/openssl" "$prefix/lib" "$prefix/bin"
cp "$openssl_src"/include/openssl/*.h include/openssl/*.h "$prefix/include/openssl/"
cp libcrypto.dll.a libssl.dll.a "$prefix/lib/"
cp libcrypto-3-x64.dll libssl-3-x64.dll "$prefix/bin/"

# libpq: configured as a whole (without the server's optional libraries),
# then only the headers it includes, the variants of src/port and src/common
# its DLL links on Windows (not the server's, which the usual prerequisite
# would build too), and libpq itself.
echo "build-libpq-windows: building libpq $postgresql_version for Windows" \
     "(the full log: $work/build-libpq/build.log)" >&2
rm -rf "$work/build-libpq" && mkdir -p "$work/build-libpq"
cd "$work/build-libpq"
CC=$host-gcc-posix "$postgresql_src/configure" --host="$host" --prefix="$prefix" \
  --sysconfdir="$protected/PostgreSQL/etc" \
  --without-readline --without-icu --without-zlib --without-gssapi --without-ldap \
  --with-ssl=openssl --with-includes="$prefix/include" --with-libraries="$prefix/lib" \
  >configure.log 2>&1 || { tail -30 configure.log >&2; exit 1; }
run_logged libpq "$work/build-libpq/build.log" . 140 sh -c "
  make -C src/backend generated-headers &&
  make -j$jobs -C src/port libpgport.a libpgport_shlib.a &&
  make -j$jobs -C src/common libpgcommon.a libpgcommon_shlib.a &&
  make -j$jobs -C src/interfaces/libpq SHLIB_PREREQS="
run_logged libpq "$work/build-libpq/install.log" . 140 make -C src/interfaces/libpq install SHLIB_PREREQS=
# The headers libpq-fe.h includes, and pg_config.h, whose version CMake's
# find_package(PostgreSQL) reads, as Debian's libpq-dev has them.
cp src/include/pg_config.h src/include/pg_config_ext.h "$prefix/include/"
cp "$postgresql_src/src/include/postgres_ext.h" "$prefix/include/"
# The DLLs beside each other in bin/, where the program folder takes them from.
mkdir -p "$prefix/bin"
for dll in "$prefix"/lib/*.dll; do
  if [ -e "$dll" ]; then mv "$dll" "$prefix/bin/"; fi
done
for dll in libpq.dll libssl-3-x64.dll libcrypto-3-x64.dll; do
  [ -f "$prefix/bin/$dll" ] || { echo "build-libpq-windows: $dll was not built" >&2; exit 1; }
done

printf 'postgresql-15 %s\nopenssl %s\nseconds %s\n' \
  "$postgresql_version" "$openssl_version" "$((SECONDS - started))" > "$prefix/.complete"
echo "build-libpq-windows: done in $((SECONDS - started)) s:" \
     "libpq $postgresql_version, OpenSSL $openssl_version" >&2
echo "$prefix"
