#!/usr/bin/env bash
# Runs the test suite built with clang under AddressSanitizer and
# UndefinedBehaviorSanitizer (the Python tests included: the interpreter runs
# with the ASan runtime preloaded, see python/CMakeLists.txt), then the
# concurrency tests under ThreadSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh clang libclang-rt-14-dev chromium chromium-driver python3-selenium pybind11-dev \
  python3-dev python3-pytest
export CXX=clang++
cmake -S . -B build/asan -DCMAKE_BUILD_TYPE=Debug -DPLAYGRAPH_WERROR=ON \
  -DPLAYGRAPH_SANITIZE=address,undefined -DPLAYGRAPH_PYTHON=ON >/dev/null
cmake --build build/asan -j2
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build/asan --output-on-failure -j2

cmake -S . -B build/tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPLAYGRAPH_WERROR=ON \
  -DPLAYGRAPH_SANITIZE=thread -DPLAYGRAPH_BUILD_EXAMPLES=OFF >/dev/null
cmake --build build/tsan -j2 --target playgraph_concurrency_tests
TSAN_OPTIONS=halt_on_error=1 ctest --test-dir build/tsan --output-on-failure -L concurrency
