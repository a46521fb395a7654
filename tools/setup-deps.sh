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

SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO="sudo"; fi

# --windows: the packages of the Windows stage instead (tools/test-windows.sh):
# the mingw-w64 cross compilers and binutils, Debian's mingw zlib, wine64,
# GoogleTest's sources and CLI11's headers for the cross build.
# --windows-i686: what runs the i686 build as well: Debian's 32-bit Wine
# (wine32 of the i386 architecture, which is added to dpkg) and a qemu-i386
# that executes it (below).
mode=${1:-}
case "$mode" in
--windows)
    PACKAGES="cmake make g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix \
binutils-mingw-w64-i686 binutils-mingw-w64-x86-64 libz-mingw-w64-dev wine64 \
googletest libcli11-dev"
    ;;
--windows-i686)
    PACKAGES="wine32:i386"
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        echo "setup: adding the i386 architecture to dpkg (for wine32)"
        $SUDO dpkg --add-architecture i386
    fi
    ;;
esac

missing=""
for p in $PACKAGES; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed"; then
        missing="$missing $p"
    fi
done

if [ -n "$missing" ]; then
    echo "setup: installing$missing"
    export DEBIAN_FRONTEND=noninteractive
    $SUDO apt-get update -qq
    # shellcheck disable=SC2086
    $SUDO apt-get install -y -qq --no-install-recommends $missing
fi

# debian_uri: the Debian mirror this machine installs bookworm from (the
# first deb822 stanza or one-line entry of that suite), so that backports
# come from the same place.
debian_uri() {
    uri=$(cat /etc/apt/sources.list.d/*.sources 2>/dev/null | awk 'BEGIN { RS = "" }
        /(^|\n)Types:[^\n]*deb( |\n|$)/ && /(^|\n)Suites:([^\n]* )?bookworm( |\n|$)/ {
            if (match($0, /(^|\n)URIs: *[^ \n]+/)) {
                u = substr($0, RSTART, RLENGTH); sub(/.*URIs: */, "", u); print u; exit
            }
        }')
    if [ -z "$uri" ]; then
        uri=$(cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null |
            sed -n 's/^deb \(\[[^]]*\] \)\{0,1\}\([^ ]*\) bookworm .*/\2/p' | head -n 1)
    fi
    echo "${uri:-http://deb.debian.org/debian}"
}

# qemu-i386 for the i686 Wine: the one of Debian 12's own qemu-user costs
# about 50 s of CPU per Wine process (it takes Wine's MAP_FIXED_NOREPLACE
# reservations as hints), the static one of bookworm-backports' qemu-user
# starts one in 0.3 s. It is taken out of that package without installing
# it, through an apt state of its own (a sources entry for the backports
# suite, its package list and the download in a temporary folder, removed
# afterwards), so that the machine's sources and package lists stay as they
# are. The link i386-binfmt-P makes qemu keep the argv[0] that binfmt_misc
# hands over (flag P). Kept in KIVFS_QEMU_DIR; fetched once.
if [ "$mode" = "--windows-i686" ]; then
    qemu_dir=${KIVFS_QEMU_DIR:-/var/cache/kivfs/qemu-user-backports}
    if ! "$qemu_dir/qemu-i386" --version >/dev/null 2>&1; then
        echo "setup: fetching qemu-i386 from bookworm-backports' qemu-user into $qemu_dir"
        tmp=$(mktemp -d)
        trap 'rm -rf "$tmp"' EXIT
        mkdir -p "$tmp/lists/partial" "$tmp/cache/archives/partial" "$tmp/parts" "$tmp/deb" "$tmp/root"
        echo "deb [arch=$(dpkg --print-architecture) signed-by=/usr/share/keyrings/debian-archive-keyring.gpg]" \
            "$(debian_uri) bookworm-backports main" >"$tmp/backports.list"
        set -- -o Dir::Etc::SourceList="$tmp/backports.list" -o Dir::Etc::SourceParts="$tmp/parts" \
            -o Dir::State::Lists="$tmp/lists" -o Dir::Cache="$tmp/cache" -o APT::Sandbox::User=root
        $SUDO apt-get "$@" update -qq
        (cd "$tmp/deb" && $SUDO apt-get "$@" download qemu-user/bookworm-backports)
        dpkg-deb --fsys-tarfile "$tmp"/deb/qemu-user_*.deb | tar -x -C "$tmp/root" ./usr/bin/qemu-i386
        "$tmp/root/usr/bin/qemu-i386" --version | head -n 1
        $SUDO mkdir -p "$qemu_dir"
        $SUDO cp "$tmp/root/usr/bin/qemu-i386" "$qemu_dir/qemu-i386"
        $SUDO ln -sf qemu-i386 "$qemu_dir/i386-binfmt-P"
    fi
fi
