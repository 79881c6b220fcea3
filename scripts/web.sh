#!/usr/bin/env bash
# Builds the JavaScript package (web/): the library and its JSON reader
# compiled to WebAssembly with emscripten into build/wasm, the module and its
# loader written to web/dist/. With --test, then runs the package's tests
# (node --test), the cross-check against the native tool and Python included
# when PLAYGRAPH_TOOL and PLAYGRAPH_PYTHONPATH name them. With --core-tests,
# builds the C++ test suites for WebAssembly too (the concurrency tests
# excepted) and runs them under node.
# Usage: scripts/web.sh [--test] [--core-tests]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh emscripten binaryen rapidjson-dev nodejs
# emscripten's link step needs its JavaScript modules (acorn) from Debian's
# node path; the test emulator flag emcmake sets is one node 20 refuses.
export NODE_PATH=/usr/share/nodejs
if [ ! -f build/wasm/CMakeCache.txt ]; then
  emcmake cmake -S . -B build/wasm -DCMAKE_BUILD_TYPE=Release -DPLAYGRAPH_WERROR=ON \
    -DPLAYGRAPH_BUILD_TESTS=ON -DPLAYGRAPH_BUILD_TOOLS=OFF -DPLAYGRAPH_BUILD_EXAMPLES=OFF \
    -DCMAKE_CROSSCOMPILING_EMULATOR=node >/dev/null
fi
cmake --build build/wasm -j2 --target playgraph_web
for option in "$@"; do
  case "$option" in
    --test)
      # The dev tools (TypeScript, for the check of index.d.ts) from the lock file.
      (cd web && npm ci --no-audit --no-fund >/dev/null)
      node --test web/test/ ;;
    --core-tests)
      cmake --build build/wasm -j2
      ctest --test-dir build/wasm --output-on-failure -j2 ;;
    *) echo "unknown option: $option" >&2; exit 2 ;;
  esac
done
