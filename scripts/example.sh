#!/usr/bin/env bash
# Builds the project in release mode and runs the playgraph tool on the
# bundled example story: its summary, its default path, and the path after
# two edits; then the Python example (the module is built into
# build/release/python). The package and build output goes to
# build/example.log, which is shown only when a step fails.
set -euo pipefail
cd "$(dirname "$0")/.."
mkdir -p build
log=build/example.log
: >"$log"
quietly() {
  if ! "$@" >>"$log" 2>&1; then
    echo "scripts/example.sh: '$*' failed; its output (from $log):" >&2
    tail -n 60 "$log" >&2
    exit 1
  fi
}
echo "Building the playgraph tool and the Python module (output in $log) ..."
quietly scripts/setup.sh pybind11-dev python3-dev
quietly cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DPLAYGRAPH_BUILD_TESTS=OFF \
  -DPLAYGRAPH_PYTHON=ON
quietly cmake --build build/release -j2 --target playgraph_tool playgraph_example playgraph_python
echo
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
