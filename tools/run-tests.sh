#!/usr/bin/env bash
# Builds the tester and runs the whole test suite headless: unit, window,
# pseudo-terminal and printing tests, the Debian package (built, unpacked and
# checked as a user meets it), and the fuzzers for a short while.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="$root/build-tests"

"$root/tools/install-deps.sh" build test
# A real printer for the printing tests: CUPS with a PDF queue as the default.
"$root/tools/setup-pdf-printer.sh"

options=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DSMA_BUILD_TESTS=ON -DSMA_BUILD_BENCH=ON)
if command -v clang++ >/dev/null 2>&1; then
    options+=(-DCMAKE_CXX_COMPILER=clang++ -DSMA_BUILD_FUZZERS=ON)
fi
cmake -S "$root" -B "$build" "${options[@]}"
cmake --build "$build" -j"$(nproc)"

cd "$build"
QT_QPA_PLATFORM=offscreen SMA_REQUIRE_PRINTER=1 ctest --output-on-failure -j"$(nproc)"
