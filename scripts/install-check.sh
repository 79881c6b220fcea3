#!/usr/bin/env bash
# Installs the project into a scratch prefix, then checks what a user gets:
# examples/consumer builds with find_package(playgraph) against the core and
# JSON libraries and runs; the same program builds with the pkg-config files;
# the installed playgraph tool runs; and the README's C++ snippets are lines
# of examples/consumer/main.cpp, so the code the README shows is code that
# compiles.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh pkg-config
prefix="$PWD/build/install-prefix"
rm -rf "$prefix" build/install build/consumer
cmake -S . -B build/install -DCMAKE_BUILD_TYPE=Release -DPLAYGRAPH_BUILD_TESTS=OFF \
  -DPLAYGRAPH_BUILD_EXAMPLES=OFF -DCMAKE_INSTALL_PREFIX="$prefix" >/dev/null
cmake --build build/install -j2
cmake --install build/install >/dev/null

echo "== consumer with find_package(playgraph CONFIG)"
cmake -S examples/consumer -B build/consumer -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build build/consumer -j2
build/consumer/consumer >/dev/null

echo "== consumer with pkg-config"
export PKG_CONFIG_PATH="$prefix/lib/pkgconfig"
pkg-config --cflags --libs playgraph
# shellcheck disable=SC2046 # the flags are meant to be split
c++ -o build/consumer/consumer-pkg-config examples/consumer/main.cpp \
  $(pkg-config --cflags --libs playgraph-json)
build/consumer/consumer-pkg-config >/dev/null

echo "== installed tool"
"$prefix/bin/playgraph" info
"$prefix/bin/playgraph" edit --op 'split intro 4.0 intro intro-b' |
  "$prefix/bin/playgraph" check - >/dev/null

echo "== README snippets"
missing=0
while IFS= read -r line; do
  if ! grep -qxF -- "$line" <(sed -e 's/^[[:space:]]*//' -e 's/[[:space:]]*$//' \
      examples/consumer/main.cpp); then
    echo "README line not in examples/consumer/main.cpp: $line"
    missing=1
  fi
done < <(awk '/^```cpp$/ {on = 1; next} /^```$/ {on = 0} on' README.md |
  sed -e 's/^[[:space:]]*//' -e 's/[[:space:]]*$//' | grep -v -e '^$' -e '^\.\.\.$')
[ "$missing" -eq 0 ]
echo "install check passed"
