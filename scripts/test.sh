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
