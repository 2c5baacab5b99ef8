# Cross toolchain for the Windows build: MinGW-w64 (posix thread model) on a
# Debian host. Used for Qt itself and for Tavelko.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TOOLCHAIN_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER   ${TOOLCHAIN_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TOOLCHAIN_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER  ${TOOLCHAIN_PREFIX}-windres)

# Windows libraries are looked for only here: MinGW's own, and libpq with its
# OpenSSL where PostgreSQL_ROOT names them (scripts/build-libpq-windows.sh;
# find_package(PostgreSQL) then finds them there).
set(CMAKE_FIND_ROOT_PATH /usr/${TOOLCHAIN_PREFIX})
if(PostgreSQL_ROOT)
  list(APPEND CMAKE_FIND_ROOT_PATH "${PostgreSQL_ROOT}")
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
