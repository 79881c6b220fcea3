#!/usr/bin/env bash
# CI smoke run of the benchmarks: builds them with warnings as errors and
# runs each one briefly. It checks that they build and run, never how fast.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh libbenchmark-dev
cmake -S . -B build/bench-smoke -DCMAKE_BUILD_TYPE=Release -DPLAYGRAPH_BUILD_BENCHMARKS=ON \
  -DPLAYGRAPH_BUILD_TESTS=OFF -DPLAYGRAPH_BUILD_EXAMPLES=OFF -DPLAYGRAPH_WERROR=ON >/dev/null
cmake --build build/bench-smoke -j2 --target playgraph_bench
build/bench-smoke/bench/playgraph_bench --benchmark_min_time=0.01 "$@" >/dev/null
echo "bench-smoke: every benchmark ran"
