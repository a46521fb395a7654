#!/bin/sh
# The Windows builds: installs what is missing (mingw-w64, the mingw zlib,
# wine64, GoogleTest's sources; for the i686 run wine32 and a qemu-i386,
# tools/setup-deps.sh --windows-i686), cross-builds kivfs.dll and
# kivIOStub.dll for i686 (the target) and x86_64, checks the i686 DLLs
# statically, and runs the whole suite and the kivfs program on both builds:
# the i686 one under the 32-bit Wine (tools/with-i386.sh makes 32-bit
# programs start where the kernel refuses them), the x86_64 one under wine64.
#
#   KIVFS_WINDOWS_I686=0: build and check the i686 DLLs without running the
#   i686 suite (the run is said to be skipped).
#   KIVFS_ZZIPLIB_PREFIX_I686 / KIVFS_ZZIPLIB_PREFIX_X86_64: install prefixes
#   of mingw builds of zziplib, linked in place of the library's own zip
#   reader.
set -eu
cd "$(dirname "$0")/.."
root=$(pwd)
jobs=$(nproc)

wine64=/usr/lib/wine/wine64
wine32=/usr/lib/wine/wine
wineserver=/usr/lib/wine/wineserver

# run_suite BUILD_DIR WINE: the whole suite of one build under Wine, in a
# prefix of the build's own made by wine64 (so Wine's own services run as
# 64-bit programs, also for the i686 suite, and only the tests themselves
# are 32-bit), with a wineserver kept warm for the run. A build whose
# kivfs.exe does not start fails here, before ctest, saying so.
run_suite() {
    export WINEPREFIX="$root/$1/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    # A server left from an earlier command may not be ours (another
    # persistence, outside the namespace of tools/with-i386.sh): start anew.
    "$wineserver" -k </dev/null >/dev/null 2>&1 || true
    "$wineserver" -p 600 </dev/null >/dev/null 2>&1
    # Wine's services, started here with no terminal or pipe of ours, serve
    # the whole run; tools/wine-run.sh keeps any a test starts itself from
    # holding ctest's pipe.
    "$wine64" wineboot --init </dev/null >/dev/null 2>&1
    suite=0
    if ! "$2" "$1/bin/kivfs.exe" --version; then
        echo "test-windows: $1/bin/kivfs.exe does not start under $2: the suite cannot run" >&2
        suite=1
    else
        ctest --test-dir "$1" --output-on-failure -j"$jobs" --timeout 300 || suite=$?
    fi
    "$wineserver" -k </dev/null >/dev/null 2>&1 || true
    return $suite
}

# Inside tools/with-i386.sh (below), the i686 suite.
if [ "${1:-}" = --i686-suite ]; then
    run_suite build-win32 "$wine32"
    exit
fi

# elapsed SINCE: seconds since the `date +%s` value SINCE, for the stage times.
elapsed() {
    echo $(($(date +%s) - $1))
}

./tools/setup-deps.sh --windows
run_i686=${KIVFS_WINDOWS_I686:-1}
if [ "$run_i686" != 0 ]; then
    ./tools/setup-deps.sh --windows-i686
fi

# configure PRESET: a cross build of one architecture as CMakePresets.json
# describes it (build-win32 for windows-i686, build-win64 for
# windows-x86_64), its zziplib taken from KIVFS_ZZIPLIB_PREFIX_<ARCH> and its
# tests run by that architecture's Wine through tools/wine-run.sh.
configure() {
    cmake --preset "$1" >/dev/null
}

# The i686 build: everything when its suite runs, else the DLLs, the tool,
# the demo and the StubOps layout check.
began=$(date +%s)
configure windows-i686
if [ "$run_i686" != 0 ]; then
    cmake --build build-win32 -j"$jobs"
else
    cmake --build build-win32 -j"$jobs" --target kivfs kivIOStub kivfs_tool kivfs_demo stubops_layout
fi
i686_build=$(elapsed "$began")

# Static checks of the i686 DLLs: PE32 for i386, exactly the public names
# exported (undecorated), and only system DLLs and the stub imported.
objdump=i686-w64-mingw32-objdump
check_dll() {
    header=$($objdump -f "$1")
    echo "$header" | grep -q "file format pei-i386" || { echo "$1: not PE32 i386"; exit 1; }
    echo "$header" | grep -q "architecture: i386" || { echo "$1: not i386"; exit 1; }
}
# check_imports OBJDUMP DLL
check_imports() {
    dlls=$($1 -p "$2" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
    for dll in $dlls; do
        case "$dll" in
        kernel32.dll | msvcrt.dll | kiviostub.dll) ;;
        *) echo "$2 imports $dll, which is neither a system DLL nor kivIOStub.dll"; exit 1 ;;
        esac
    done
    echo "  $2 imports: $(echo $dlls)"
}
for dll in build-win32/bin/kivfs.dll build-win32/bin/kivIOStub.dll; do
    check_dll "$dll"
    check_imports $objdump "$dll"
done
cmake -DLIB=build-win32/bin/kivfs.dll -DOBJDUMP=$objdump -DDEF=src/kivfs.def \
    -DEXPECTED=tests/exported_symbols.txt -P tests/check_exports.cmake
echo "test-windows: i686 DLLs are PE32 i386, export exactly the public names, import only system DLLs"

# The i686 suite under the 32-bit Wine. A machine where 32-bit programs
# cannot be made to start fails the stage (tools/with-i386.sh says why).
status=0
i686_suite=skipped
if [ "$run_i686" != 0 ]; then
    began=$(date +%s)
    if ! ./tools/with-i386.sh "$0" --i686-suite; then
        echo "test-windows: the i686 suite failed (see above)" >&2
        status=1
    fi
    i686_suite="$(elapsed "$began") s"
else
    echo "test-windows: KIVFS_WINDOWS_I686=0: the i686 suite is skipped (the i686 DLLs were checked statically only)"
fi

# The x86_64 build and the whole suite under wine64.
began=$(date +%s)
configure windows-x86_64
cmake --build build-win64 -j"$jobs"
x86_64_build=$(elapsed "$began")
cmake -DLIB=build-win64/bin/kivfs.dll -DOBJDUMP=x86_64-w64-mingw32-objdump \
    -DEXPECTED=tests/exported_symbols.txt -P tests/check_exports.cmake
check_imports x86_64-w64-mingw32-objdump build-win64/bin/kivfs.dll
began=$(date +%s)
if ! run_suite build-win64 "$wine64"; then
    echo "test-windows: the x86_64 suite failed (see above)" >&2
    status=1
fi
echo "test-windows: i686 build ${i686_build} s, i686 suite ${i686_suite}," \
    "x86_64 build ${x86_64_build} s, x86_64 suite $(elapsed "$began") s"
exit $status
