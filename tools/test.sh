#!/bin/sh
# Sets up what is missing, checks that every source is laid out as
# clang-format (.clang-format) writes it, then builds and runs the whole test
# suite twice, in the configurations of CMakePresets.json: a normal build
# (preset dev) and one under AddressSanitizer + UndefinedBehaviorSanitizer
# (asan); then the tests that run threads under ThreadSanitizer (tsan; only
# those: a race needs threads to show, and the stage stays short); then runs
# each fuzz target for a short while (KIVFS_FUZZ_SECONDS, 60 by default; 0
# skips the stage), so that a regression they would catch is; last the
# Windows builds and their suites under Wine, i686 and x86_64
# (KIVFS_WINDOWS=0 skips the stage, KIVFS_WINDOWS_I686=0 the i686 suite
# alone).
set -eu
cd "$(dirname "$0")/.."
./tools/setup-deps.sh
jobs=$(nproc)

find include src stub tests bench examples tools \( -name '*.c' -o -name '*.cpp' -o -name '*.h' \) \
    -exec clang-format --dry-run --Werror {} +

cmake --preset dev >/dev/null
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure -j"$jobs"

cmake --preset asan >/dev/null
cmake --build build-asan -j"$jobs"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --test-dir build-asan --output-on-failure -j"$jobs"

cmake --preset tsan >/dev/null
cmake --build build-tsan -j"$jobs" --target threads_test error_codes_test
TSAN_OPTIONS=halt_on_error=1 ctest --test-dir build-tsan --output-on-failure -j"$jobs" \
    -R '^(Threads|ErrorCodes)\.'

fuzz_seconds=${KIVFS_FUZZ_SECONDS:-60}
if [ "$fuzz_seconds" -gt 0 ]; then
    for target in archive_fuzz store_fuzz paths_fuzz zip_readers_fuzz; do
        ./tools/fuzz.sh "$target" "$fuzz_seconds"
    done
fi

# The Windows DLLs: cross-built for i686 and x86_64, checked, and the suite
# run on both under Wine (tools/test-windows.sh). KIVFS_WINDOWS=0 skips the
# stage, saying so.
if [ "${KIVFS_WINDOWS:-1}" != 0 ]; then
    ./tools/test-windows.sh
else
    echo "test: KIVFS_WINDOWS=0: the Windows stage (tools/test-windows.sh) is skipped"
fi
