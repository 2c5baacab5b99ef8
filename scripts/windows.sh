#!/usr/bin/env bash
# The Windows build of Tavelko, cross-compiled here with MinGW-w64 against Qt
# for Windows (built once from Debian's qt6-base source and cached, see
# build-qt-windows.sh) and libpq with OpenSSL (likewise, build-libpq-windows.sh),
# packaged with NSIS and tested under Wine.
#   windows.sh build     configure and build in build-windows/
#   windows.sh package   also the program folder, dist/Tavelko-<v>-win64.zip
#                        and dist/Tavelko-<v>-setup.exe
#   windows.sh test      package, then the installer, the unit tests, libpq
#                        against a throwaway shop server and the cashier's
#                        day under Wine (tests/windows/)
#   windows.sh bench     start-up under Wine next to Linux, installed size
#
# On Windows itself, with Qt from Qt's installer (MinGW or MSVC), PostgreSQL's
# (libpq and its OpenSSL, from its Windows installer), CMake and NSIS:
#   cmake -S . -B build-windows -DCMAKE_PREFIX_PATH=C:\Qt\6.4.2\mingw_64
#         -DPostgreSQL_ROOT="C:\Program Files\PostgreSQL\15"
#   cmake --build build-windows
#   cmake --install build-windows --prefix Tavelko
#   makensis -INPUTCHARSET UTF8 /DVERSION=<v> /DPROGRAM_DIR=%CD%\Tavelko
#            /DOUT_FILE=%CD%\Tavelko-setup.exe
#            /DICON_FILE=%CD%\packaging\windows\tavelko.ico packaging\windows\tavelko.nsi
# (-INPUTCHARSET UTF8: the script is UTF-8, which makensis on Windows would
# otherwise read in the system's code page, garbling the Chinese pages.)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
action=${1:-package}
build=$root/build-windows
program_dir=$build/Tavelko
version=$(sed -nE 's/^project\(Tavelko VERSION ([0-9.]+).*/\1/p' CMakeLists.txt)
jobs=${JOBS:-$(nproc 2>/dev/null || echo 2)}

bash scripts/install-deps.sh windows package

# A Wine of our own: never the user's ~/.wine.
export WINEDEBUG=${WINEDEBUG:--all}
export WINEPREFIX=${TAVELKO_WINEPREFIX:-$build/wineprefix}

configure_and_build() {
    local qt
    qt=$(bash scripts/build-qt-windows.sh | tail -n1)
    local sqlite
    sqlite=$(bash scripts/build-sqlite-windows.sh | tail -n1)
    local libpq
    libpq=$(bash scripts/build-libpq-windows.sh | tail -n1)
    local host_cmake
    host_cmake="/usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)/cmake"
    mkdir -p "$build"
    "$qt/bin/qt-cmake" -S . -B "$build" -G Ninja \
        -DCMAKE_BUILD_TYPE=Release \
        -DQT_CHAINLOAD_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
        -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR="$host_cmake" \
        -DCMAKE_CROSSCOMPILING_EMULATOR=wine \
        -DTAVELKO_SQLITE_AMALGAMATION="$sqlite" \
        -DPostgreSQL_ROOT="$libpq" -UPostgreSQL_INCLUDE_DIR -UPostgreSQL_LIBRARY_RELEASE \
        -DBUILD_TESTING=ON >"$build/configure.log" 2>&1 \
        || { tail -30 "$build/configure.log" >&2; exit 1; }
    cmake --build "$build" --parallel "$jobs"
}

make_program_folder() {
    rm -rf "$program_dir"
    cmake --install "$build" --prefix "$program_dir" >/dev/null
    x86_64-w64-mingw32-strip --strip-unneeded "$program_dir"/*.dll "$program_dir"/*/*.dll "$program_dir"/tavelko.exe
    # The shop database's client and its encryption travel with the program.
    local dll
    for dll in libpq.dll libssl-3-x64.dll libcrypto-3-x64.dll; do
        [ -f "$program_dir/$dll" ] || { echo "windows.sh: the program folder lacks $dll" >&2; exit 1; }
    done
}

make_dist() {
    mkdir -p dist
    local zip=dist/Tavelko-$version-win64.zip setup=dist/Tavelko-$version-setup.exe
    rm -f "$zip" "$setup"
    (cd "$build" && zip -qr -9 "$root/$zip" Tavelko)
    makensis -V2 -INPUTCHARSET UTF8 -DVERSION="$version" -DPROGRAM_DIR="$program_dir" \
        -DOUT_FILE="$root/$setup" -DICON_FILE="$root/packaging/windows/tavelko.ico" \
        packaging/windows/tavelko.nsi >"$build/makensis.log" 2>&1 \
        || { cat "$build/makensis.log" >&2; exit 1; }
    ls -l "$zip" "$setup"
}

case $action in
    build) configure_and_build ;;
    package) configure_and_build; make_program_folder; make_dist ;;
    test)
        configure_and_build; make_program_folder; make_dist
        cmake --build build --target e2e_xhelper e2e_job_sink >/dev/null 2>&1 \
            || { cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null \
                 && cmake --build build --target e2e_xhelper e2e_job_sink; }
        bash tests/windows/installer.sh
        PQ_PROBE=$build/tests/windows/pq_probe.exe PROGRAM_DIR=$program_dir \
        TAVELKO_EXE=$program_dir/tavelko.exe bash tests/windows/shop_server.sh
        WINEPATH=$(cat "$build/wine-path") ctest --test-dir "$build" --output-on-failure --timeout 300 \
            || { cat "$build"/tests/unit/*.log >&2; exit 1; }
        TAVELKO_SETUP=$root/dist/Tavelko-$version-setup.exe TAVELKO_VERSION=$version \
        E2E_XHELPER=$root/build/tests/e2e/e2e_xhelper E2E_JOB_SINK=$root/build/tests/e2e/e2e_job_sink \
        E2E_OUTPUT=$build/test-output/day timeout -k 10 1500 tests/throwaway_pg.sh bash tests/windows/day_at_the_till.sh
        ;;
    bench)
        configure_and_build; make_program_folder
        cmake --build build --target tavelko e2e_xhelper >/dev/null
        TAVELKO_WIN=$program_dir/tavelko.exe TAVELKO_LINUX=$root/build/tavelko \
        E2E_XHELPER=$root/build/tests/e2e/e2e_xhelper E2E_OUTPUT=$build/bench-output \
        bash bench/windows_startup.sh
        ;;
    *) echo "windows.sh: unknown action '$action' (build, package, test, bench)" >&2; exit 2 ;;
esac
