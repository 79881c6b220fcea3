#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, with AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each for a bounded time.
# Usage: scripts/fuzz.sh [seconds-per-target] [target ...]
# Seeds come from fuzz/corpus/<target>/ and fuzz/regressions/<target>/ (every
# regression input is run first); new corpus entries go to
# build/fuzz/corpus/<target>/. A crash fails the run; its input is written to
# build/fuzz/artifacts/ and belongs in fuzz/regressions/<target>/ once fixed.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
shift || true
scripts/setup.sh clang libclang-rt-14-dev
export CXX=clang++
cmake -S . -B build/fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPLAYGRAPH_BUILD_FUZZERS=ON \
  -DPLAYGRAPH_BUILD_TESTS=OFF -DPLAYGRAPH_BUILD_EXAMPLES=OFF \
  -DPLAYGRAPH_SANITIZE=address,undefined >/dev/null
targets=("$@")
if [ "${#targets[@]}" -eq 0 ]; then
  targets=($(sed -n 's/^set(PLAYGRAPH_FUZZ_TARGETS \(.*\))$/\1/p' fuzz/CMakeLists.txt))
fi
cmake --build build/fuzz -j2 --target "${targets[@]}"
mkdir -p build/fuzz/artifacts
for t in "${targets[@]}"; do
  work="build/fuzz/corpus/$t"
  mkdir -p "$work" "fuzz/corpus/$t"
  # The bundled example playgraphs seed every target that reads JSON.
  cp examples/*.json "$work"/ 2>/dev/null || true
  if [ -d "fuzz/regressions/$t" ] && [ -n "$(ls -A "fuzz/regressions/$t")" ]; then
    echo "== $t: regression inputs"
    "build/fuzz/fuzz/$t" "fuzz/regressions/$t"/*
  fi
  echo "== $t: ${seconds} s"
  "build/fuzz/fuzz/$t" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=3072 \
    -artifact_prefix="build/fuzz/artifacts/$t-" -print_final_stats=1 \
    "$work" "fuzz/corpus/$t" 2>&1 | grep -E '^(stat::number_of_executed_units|stat::new_units_added|#[0-9]+ +DONE|==[0-9]+==ERROR|SUMMARY)' || true
  test "${PIPESTATUS[0]}" -eq 0
done
