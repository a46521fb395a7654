#!/bin/sh
# ctest's emulator for the Windows builds (tools/test-windows.sh sets
# CMAKE_CROSSCOMPILING_EMULATOR to this script and a Wine loader):
#
#   tools/wine-run.sh WINE PROGRAM.exe [ARG...]
#
# runs the program under WINE with its output going to a file, then prints
# that file and exits with the program's status. Wine starts its own
# services (services.exe, winedevice.exe, plugplay.exe, rpcss.exe ...) from
# whichever program first needs them while none run, and they inherit that
# program's standard output and error; they live as long as the wineserver
# does. Were those ctest's pipe, ctest would see the test print PASSED and
# then wait for the pipe to close until the test's time limit. Through the
# file they hold nothing of ctest's, whatever starts them and whenever.
set -u

out=$(mktemp "${TMPDIR:-/tmp}/kivfs-wine-run.XXXXXX") || exit 1
"$@" >"$out" 2>&1 </dev/null
status=$?
cat "$out"
rm -f "$out"
exit $status
