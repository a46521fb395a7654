#!/bin/sh
# Installs the Debian packages the build, the tests and the benchmarks need,
# skipping what is already there, so that a fresh machine gets exactly what a
# developer's machine has. Safe to run again: a machine with everything
# installed makes no apt call at all. libisal-dev is optional for the library
# (a faster CRC-32 for zip entries); libzip-dev writes the archives of
# `kivfs pack` and is the benchmarks' peer; man-db checks the kivfs manual
# page in the tool tests; python3 runs the zip tests' reference reader;
# clang-format checks the layout of the sources.
set -eu

PACKAGES="cmake make g++ clang libclang-rt-14-dev clang-format pkg-config \
libsqlite3-dev libzzip-dev zlib1g-dev libisal-dev \
libgtest-dev googletest libbenchmark-dev libcli11-dev libzip-dev man-db zip unzip python3"

# --windows: the packages of the Windows stage instead (tools/test-windows.sh):
# the mingw-w64 cross compilers and binutils, Debian's mingw zlib, wine64,
# GoogleTest's sources and CLI11's headers for the cross build.
if [ "${1:-}" = "--windows" ]; then
    PACKAGES="cmake make g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix \
binutils-mingw-w64-i686 binutils-mingw-w64-x86-64 libz-mingw-w64-dev wine64 \
googletest libcli11-dev"
fi

missing=""
for p in $PACKAGES; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed"; then
        missing="$missing $p"
    fi
done

if [ -n "$missing" ]; then
    echo "setup: installing$missing"
    SUDO=""
    if [ "$(id -u)" != 0 ]; then SUDO="sudo"; fi
    export DEBIAN_FRONTEND=noninteractive
    $SUDO apt-get update -qq
    # shellcheck disable=SC2086
    $SUDO apt-get install -y -qq --no-install-recommends $missing
fi
