#!/usr/bin/env bash
# Builds the project in release mode and runs the playgraph tool on the
# bundled example story: its summary, its default path, and the path after
# two edits; then the Python example (the module is built into
# build/release/python).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh pybind11-dev python3-dev
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DPLAYGRAPH_BUILD_TESTS=OFF \
  -DPLAYGRAPH_PYTHON=ON >/dev/null
cmake --build build/release -j2 --target playgraph_tool playgraph_example playgraph_python
tool=build/release/tools/playgraph
$tool info examples/story.json
echo
$tool path examples/story.json
echo
echo "After splitting intro at 4 s and making the rooftop the default after it:"
$tool edit examples/story.json --op 'split intro 4.0 intro intro-b' \
  --op 'set-default intro-b rooftop' | $tool path -
echo
echo "From Python (examples/story.py):"
python=$(sed -n 's/^Python_EXECUTABLE:[A-Z]*=//p' build/release/CMakeCache.txt)
PYTHONPATH="$PWD/build/release/python" "$python" examples/story.py
