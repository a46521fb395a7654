#!/bin/sh
# Sets up what is missing, builds the library and runs the demo host in a
# fresh temporary folder.
set -eu
cd "$(dirname "$0")/.."
./tools/setup-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target kivfs_demo
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
./build/bin/kivfs_demo "$work"
