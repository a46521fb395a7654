#!/bin/sh
# The Windows builds: installs what is missing (mingw-w64, the mingw zlib,
# wine64, GoogleTest's sources), cross-builds kivfs.dll and kivIOStub.dll
# for i686 (the target) and x86_64, checks the i686 DLLs without running
# them (this machine cannot execute 32-bit code), and runs the whole suite
# and the demo host on the x86_64 build under Wine.
#
#   KIVFS_ZZIPLIB_PREFIX_I686 / KIVFS_ZZIPLIB_PREFIX_X86_64: install prefixes
#   of mingw builds of zziplib; without them the DLLs have no zip backend and
#   the zip tests are skipped, saying why.
set -eu
cd "$(dirname "$0")/.."
root=$(pwd)
jobs=$(nproc)

./tools/setup-deps.sh --windows

wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver

# configure PRESET: a cross build of one architecture, as CMakePresets.json
# describes it (build-win32 for windows-i686, build-win64 for
# windows-x86_64), its zziplib taken from KIVFS_ZZIPLIB_PREFIX_<ARCH>.
configure() {
    cmake --preset "$1" -DCMAKE_CROSSCOMPILING_EMULATOR="$wine" >/dev/null
}

# The i686 build: the DLLs, the tool, the demo and the StubOps layout check.
configure windows-i686
cmake --build build-win32 -j"$jobs" --target kivfs kivIOStub kivfs_tool kivfs_demo stubops_layout

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
cmake -DLIB=build-win32/bin/kivfs.dll -DOBJDUMP=$objdump \
    -DEXPECTED=tests/exported_symbols.txt -P tests/check_exports.cmake
echo "test-windows: i686 DLLs are PE32 i386, export exactly the public names, import only system DLLs"

# The x86_64 build and the whole suite under Wine, in a prefix of the
# build's own, with a wineserver kept warm for the run.
configure windows-x86_64
cmake --build build-win64 -j"$jobs"
cmake -DLIB=build-win64/bin/kivfs.dll -DOBJDUMP=x86_64-w64-mingw32-objdump \
    -DEXPECTED=tests/exported_symbols.txt -P tests/check_exports.cmake
check_imports x86_64-w64-mingw32-objdump build-win64/bin/kivfs.dll
export WINEPREFIX="$root/build-win64/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# (A server already running for the prefix is kept.)
"$wineserver" -p 600 </dev/null >/dev/null 2>&1 || true
# Starting the prefix's services here keeps them from holding on to the
# output pipes of the first test ctest runs.
"$wine" wineboot --init </dev/null >/dev/null 2>&1
status=0
ctest --test-dir build-win64 --output-on-failure -j"$jobs" --timeout 300 || status=$?
"$wine" build-win64/bin/kivfs.exe --version || status=$?
"$wineserver" -k </dev/null >/dev/null 2>&1 || true
exit $status
