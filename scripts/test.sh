#!/usr/bin/env bash
# Builds everything in release mode with warnings as errors, the Python module
# included (into build/test/python), and runs every test; then builds the
# JavaScript package (WebAssembly, into build/wasm) and runs its tests, the
# cross-check against this build's tool and Python module included.
set -euo pipefail
cd "$(dirname "$0")/.."
# The browser test of `playgraph serve` needs headless Chromium and Selenium.
# RapidJSON: the WebAssembly build's JSON reader, compared here with the native one.
# ffmpeg: the test media (tests/media) that the player is tested on.
scripts/setup.sh chromium chromium-driver python3-selenium pybind11-dev python3-dev python3-pytest \
  rapidjson-dev ffmpeg
cmake -S . -B build/test -DCMAKE_BUILD_TYPE=Release -DPLAYGRAPH_WERROR=ON -DPLAYGRAPH_PYTHON=ON >/dev/null
cmake --build build/test -j2
# The JavaScript package first: the player's browser test runs on it.
scripts/web.sh
ctest --test-dir build/test --output-on-failure -j2
# The page of `playgraph serve`: ESLint and Prettier, pinned by its lock file.
(cd tools/serve && npm ci --no-audit --no-fund >/dev/null && npm run --silent lint)
PLAYGRAPH_TOOL="$PWD/build/test/tools/playgraph" PLAYGRAPH_PYTHONPATH="$PWD/build/test/python" \
  scripts/web.sh --test
