#!/usr/bin/env bash
# Builds the project in release mode and runs the playgraph tool on the
# bundled example story: its summary, then its default path.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DPLAYGRAPH_BUILD_TESTS=OFF >/dev/null
cmake --build build/release -j2 --target playgraph_tool playgraph_example
build/release/tools/playgraph info examples/story.json
echo
build/release/tools/playgraph path examples/story.json
