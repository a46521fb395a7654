#!/bin/sh
# Builds the fuzz targets with clang (libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs one of them for a given time:
#
#   tools/fuzz.sh archive_fuzz 60            # archive_fuzz, store_fuzz, paths_fuzz,
#                                            # zip_readers_fuzz
#   tools/fuzz.sh store_fuzz 3600 -jobs=1    # more arguments go to libFuzzer
#
# The corpus grows in build-fuzz/corpus/TARGET, starting from the seeds the
# build generates; an input that fails is kept in build-fuzz/crashes/TARGET
# and the script fails. KIVFS_FUZZ_BUILD picks another build folder.
# Without a terminal (CI) libFuzzer's output goes to build-fuzz/logs/TARGET.log.
set -eu
cd "$(dirname "$0")/.."
if [ $# -lt 2 ]; then
    echo "usage: tools/fuzz.sh TARGET SECONDS [libFuzzer options]" >&2
    exit 2
fi
target=$1
seconds=$2
shift 2
build=${KIVFS_FUZZ_BUILD:-build-fuzz}

cmake -S . -B "$build" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKIVFS_FUZZ=ON -DKIVFS_BUILD_TESTS=OFF \
    -DKIVFS_BUILD_BENCH=OFF -DKIVFS_BUILD_EXAMPLES=OFF -DKIVFS_WERROR=ON >/dev/null
cmake --build "$build" --target "$target" fuzz_seed_corpora -j2

# The comparison of the zip readers starts from the archive seeds.
seeds=$build/tests/fuzz/seeds/$target
[ "$target" = zip_readers_fuzz ] && seeds=$build/tests/fuzz/seeds/archive_fuzz
corpus=$build/corpus/$target
crashes=$build/crashes/$target
log=$build/logs/$target.log
mkdir -p "$corpus" "$crashes" "$build/logs"
echo "fuzz: $target for ${seconds}s"
run() {
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
        "$build/bin/$target" -max_total_time="$seconds" -timeout=60 -print_final_stats=1 \
        -artifact_prefix="$crashes/" "$@" "$corpus" "$seeds"
}
# On a terminal libFuzzer's progress shows as it goes; otherwise (CI) it goes
# to the log, and only the outcome is printed.
if [ -t 1 ]; then
    run "$@"
elif run "$@" >"$log" 2>&1; then
    grep -E '^(Done|stat::number_of_executed_units|stat::average_exec_per_sec)' "$log"
else
    tail -n 60 "$log"
    echo "fuzz: $target failed; the input is in $crashes, the whole output in $log" >&2
    exit 1
fi
