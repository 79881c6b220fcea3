#!/usr/bin/env bash
# Installs the library into a scratch prefix and builds and runs a consumer
# project against it with find_package, and checks the pkg-config file.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh pkg-config
prefix="$PWD/build/install-prefix"
rm -rf "$prefix" build/install build/consumer
cmake -S . -B build/install -DCMAKE_BUILD_TYPE=Release -DPLAYGRAPH_BUILD_TESTS=OFF \
  -DPLAYGRAPH_BUILD_EXAMPLES=OFF -DCMAKE_INSTALL_PREFIX="$prefix" >/dev/null
cmake --build build/install -j2
cmake --install build/install >/dev/null
cmake -S examples/consumer -B build/consumer -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build build/consumer -j2
build/consumer/consumer
PKG_CONFIG_PATH="$prefix/lib/pkgconfig" pkg-config --cflags --libs playgraph
echo "install check passed"
