#!/usr/bin/env bash
# Mutation analysis of src/: makes mutants one at a time in a copy of the tree
# (build/mutants/tree), rebuilds it incrementally at -O1 and runs every test,
# then reports killed / survived / timed out / did not compile, and writes
# build/mutants/report.json with the tests that failed for each mutant.
# Slow (seconds to a minute per mutant) and so not part of CI; see
# docs/TESTING.md. The working tree is never modified.
#
# Usage: scripts/mutants.sh [--sample N --seed S] [--files PATH...] [--replay REPORT] [--with-tools]
#                           [--list] [--help]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh ninja-build
# Debian's interpreter when there is one; any Python 3 otherwise.
python=/usr/bin/python3
[ -x "$python" ] || python=python3
exec nice -n 19 "$python" scripts/mutants.py "$@"
