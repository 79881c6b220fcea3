#!/usr/bin/env bash
# Installs the project into a scratch prefix, then checks what a user gets:
# examples/consumer builds with find_package(playgraph) against the core and
# JSON libraries and runs; the same program builds with the pkg-config files;
# the consumer builds and runs against shared libraries too, which export
# only the public interface; the installed playgraph tool runs; the installed Python package imports
# and loads a playgraph; and the README's C++ and Python snippets are lines
# of examples/consumer/main.cpp and examples/story.py, so the code the README
# shows is code that compiles and runs.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh pkg-config pybind11-dev python3-dev
prefix="$PWD/build/install-prefix"
rm -rf "$prefix" build/install build/consumer
cmake -S . -B build/install -DCMAKE_BUILD_TYPE=Release -DPLAYGRAPH_BUILD_TESTS=OFF \
  -DPLAYGRAPH_BUILD_EXAMPLES=OFF -DPLAYGRAPH_PYTHON=ON -DCMAKE_INSTALL_PREFIX="$prefix" >/dev/null
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

echo "== consumer against the shared libraries"
shared="$PWD/build/install-shared-prefix"
rm -rf "$shared" build/install-shared build/consumer-shared
cmake -S . -B build/install-shared -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=ON \
  -DPLAYGRAPH_BUILD_TESTS=OFF -DPLAYGRAPH_BUILD_EXAMPLES=OFF -DPLAYGRAPH_BUILD_TOOLS=OFF \
  -DCMAKE_INSTALL_PREFIX="$shared" >/dev/null
cmake --build build/install-shared -j2
cmake --install build/install-shared >/dev/null
cmake -S examples/consumer -B build/consumer-shared -DCMAKE_PREFIX_PATH="$shared" >/dev/null
cmake --build build/consumer-shared -j2
ldd build/consumer-shared/consumer | grep -qF "$shared/lib/libplaygraph.so"
build/consumer-shared/consumer >/dev/null
# Every exported function is one of the public interface's.
for lib in "$shared"/lib/libplaygraph.so "$shared"/lib/libplaygraph_json.so; do
  stray=$(nm -DC --defined-only "$lib" | awk '$2 == "T"' |
    grep -E 'playgraph::(v1::(detail|jsontext|compat|diffsupport|editing|format)::|[^v])|::(State|Edits|Impl)::' ||
      true)
  if [ -n "$stray" ]; then echo "$lib exports internals:"; echo "$stray"; exit 1; fi
done

echo "== installed tool"
"$prefix/bin/playgraph" info
"$prefix/bin/playgraph" edit --op 'split intro 4.0 intro intro-b' |
  "$prefix/bin/playgraph" check - >/dev/null

echo "== installed Python package"
package_dir=$(sed -n 's/^PLAYGRAPH_PYTHON_INSTALL_DIR:[A-Z]*=//p' build/install/CMakeCache.txt)
built_for=$(sed -n 's/^Python_EXECUTABLE:[A-Z]*=//p' build/install/CMakeCache.txt)
# The interpreter the module was built for, and python3 on PATH when that is
# another interpreter of the same version (which can import the module too).
version() { "$1" -c 'import sys; print(sys.version_info[:2])'; }
pythons=("$built_for")
if [ "$(command -v python3)" != "$built_for" ] && [ "$(version python3)" = "$(version "$built_for")" ]; then
  pythons+=(python3)
fi
for python in "${pythons[@]}"; do
  out=$(PYTHONPATH="$prefix/$package_dir" "$python" -c \
    "import playgraph; print(playgraph.__file__, playgraph.load('examples/story.json').duration)")
  echo "$python: $out"
  [ "$out" = "$prefix/$package_dir/playgraph/__init__.py 45.5" ]
done

echo "== README snippets"
# Every line of the README's code blocks in LANGUAGE is a line of FILE.
snippets_in() {
  local language=$1 file=$2 missing=0
  while IFS= read -r line; do
    if ! grep -qxF -- "$line" <(sed -e 's/^[[:space:]]*//' -e 's/[[:space:]]*$//' "$file"); then
      echo "README line not in $file: $line"
      missing=1
    fi
  done < <(awk -v open='```'"$language" '$0 == open {on = 1; next} /^```$/ {on = 0} on' README.md |
    sed -e 's/^[[:space:]]*//' -e 's/[[:space:]]*$//' | grep -v -e '^$' -e '^\.\.\.$')
  return "$missing"
}
snippets_in cpp examples/consumer/main.cpp
snippets_in python examples/story.py
echo "install check passed"
