#!/usr/bin/env bash
# Builds the project in release mode and runs the main job on the bundled example.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DPLAYGRAPH_BUILD_TESTS=OFF >/dev/null
cmake --build build/release -j2 --target playgraph_example
build/release/examples/playgraph_example
