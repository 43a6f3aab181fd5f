#!/usr/bin/env bash
# Builds everything from this checkout and runs every test. Installs the
# packages it needs first (as root). Exits non-zero on any failure.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
bash scripts/install-deps.sh

jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen

# The ordinary optimised build, warnings as errors.
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DTECTO_WERROR=ON
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"

# The same tests built with the address and undefined-behaviour sanitizers.
cmake -S . -B build-sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTECTO_SANITIZE=ON -DTECTO_BENCH=OFF
cmake --build build-sanitize -j "$jobs"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-sanitize --output-on-failure -j "$jobs"
