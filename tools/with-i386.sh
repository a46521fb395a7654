#!/bin/sh
# Runs COMMAND [ARG...] where 32-bit x86 Linux programs start, so that the
# i686 Wine (/usr/lib/wine/wine, from wine32:i386) can run the i686 build:
#
#   tools/with-i386.sh ctest --test-dir build-win32 -R StoreContention
#
# Where the kernel runs them itself (IA-32 emulation on, or a handler
# registered system-wide), COMMAND simply runs. Elsewhere qemu-i386 runs
# them (tools/setup-deps.sh --windows-i686 puts it in KIVFS_QEMU_DIR):
# COMMAND runs in a user namespace of its own (unshare --user
# --map-root-user --mount) with a private binfmt_misc instance (Linux 6.7
# and later give each user namespace one) in which i386 ELF files are handed
# to qemu. Nothing outside that namespace changes, and it ends with the last
# process in it. The flags: O hands qemu the open file rather than its path,
# P keeps argv[0] (qemu knows from the name i386-binfmt-P that it gets one),
# F opens qemu once, at registration, so later lookups need no path.
# KIVFS_I386_QEMU=1 takes the qemu route even where the kernel runs 32-bit
# programs itself, to try it on such a machine.
set -eu

qemu_dir=${KIVFS_QEMU_DIR:-/var/cache/kivfs/qemu-user-backports}
wine32=/usr/lib/wine/wine
# The ELF header of an i386 executable or shared object (ET_EXEC, ET_DYN),
# as binfmt_misc reads a magic and mask: its own \x escapes.
magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'

if [ $# -eq 0 ]; then
    echo "usage: $0 COMMAND [ARG...]" >&2
    exit 2
fi

# Inside the namespace: mount its binfmt_misc, register qemu, run COMMAND.
if [ "$1" = --inside-namespace ]; then
    shift
    mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
    printf '%s' ":kivfs-i386:M::$magic:$mask:$qemu_dir/i386-binfmt-P:OPF" \
        >/proc/sys/fs/binfmt_misc/register
    exec "$@"
fi

if [ ! -x "$wine32" ]; then
    echo "with-i386: $wine32 is missing: install wine32:i386 (tools/setup-deps.sh --windows-i686)" >&2
    exit 1
fi
if [ "${KIVFS_I386_QEMU:-0}" = 0 ] && "$wine32" --version >/dev/null 2>&1; then
    exec "$@"
fi
if [ ! -x "$qemu_dir/i386-binfmt-P" ]; then
    echo "with-i386: this machine does not start 32-bit programs and $qemu_dir holds no" \
        "qemu-i386: run tools/setup-deps.sh --windows-i686" >&2
    exit 1
fi
if ! unshare --user --map-root-user --mount "$0" --inside-namespace true >/dev/null 2>&1; then
    echo "with-i386: this machine does not start 32-bit programs, and qemu-i386 cannot be" \
        "registered in a user namespace of our own (needs unprivileged user namespaces and" \
        "Linux 6.7 or later for a private binfmt_misc); register $qemu_dir/i386-binfmt-P" \
        "for i386 ELF files system-wide (flags OPF) or run on a machine that executes them" >&2
    exit 1
fi
if ! unshare --user --map-root-user --mount "$0" --inside-namespace "$wine32" --version \
    >/dev/null 2>&1; then
    echo "with-i386: $wine32 does not start even through $qemu_dir/i386-binfmt-P" \
        "(check that it runs: $qemu_dir/qemu-i386 --version)" >&2
    exit 1
fi
exec unshare --user --map-root-user --mount "$0" --inside-namespace "$@"
