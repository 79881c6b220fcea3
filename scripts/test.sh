#!/usr/bin/env bash
# Builds everything with warnings as errors and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake -S . -B build/test -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPLAYGRAPH_WERROR=ON >/dev/null
cmake --build build/test -j2
ctest --test-dir build/test --output-on-failure -j2
