#!/usr/bin/env bash
# Builds the benchmarks in release mode and runs them.
# Usage: scripts/bench.sh [benchmark options ...]
#   e.g. scripts/bench.sh --benchmark_filter=SegmentById --benchmark_repetitions=5
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh libbenchmark-dev
cmake -S . -B build/bench -DCMAKE_BUILD_TYPE=Release -DPLAYGRAPH_BUILD_BENCHMARKS=ON \
  -DPLAYGRAPH_BUILD_TESTS=OFF -DPLAYGRAPH_BUILD_EXAMPLES=OFF >/dev/null
cmake --build build/bench -j2 --target playgraph_bench
build/bench/bench/playgraph_bench "$@"
