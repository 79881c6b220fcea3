#!/usr/bin/env bash
# Measures line and branch coverage of the library (src/) by the test suite
# and prints a summary; an HTML report is written to build/coverage/html/.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh gcovr
cmake -S . -B build/coverage -DCMAKE_BUILD_TYPE=Debug -DPLAYGRAPH_BUILD_EXAMPLES=OFF \
  -DCMAKE_CXX_FLAGS="--coverage -fprofile-update=atomic -fno-inline" -DCMAKE_EXE_LINKER_FLAGS=--coverage >/dev/null
find build/coverage -name '*.gcda' -delete
cmake --build build/coverage -j2
ctest --test-dir build/coverage -j2 >/dev/null
mkdir -p build/coverage/html
gcovr --root . --filter 'src/' --object-directory build/coverage \
  --exclude-unreachable-branches --exclude-throw-branches \
  --html-details build/coverage/html/index.html --print-summary "$@"
