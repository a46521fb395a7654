#!/bin/sh
# Sets up what is missing, builds the library and runs the demo host.
set -eu
cd "$(dirname "$0")/.."
./tools/setup-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKIVFS_WERROR=ON >/dev/null
cmake --build build -j"$(nproc)" --target kivfs_demo
./examples/run_demo.sh ./build/bin/kivfs_demo
