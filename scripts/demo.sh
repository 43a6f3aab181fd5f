#!/usr/bin/env bash
# The demonstration: the whole chain of the suite on the bundled synthetic
# sample of deformed fossils, without a window. Anglepick measures the
# sample, Restrain fits and tests the strain and retrodeforms, Symrestore
# undeforms by symmetry, uniform components and principal components, and
# Tectsim simulates an assemblage and reports its statistics. Every file
# and a picture of every plot lands in one folder (default demo-output/),
# listed at the end with what each one is.
#
# Installs what it needs (as root) and builds the programs first, then runs
# scripts/demo-chain.sh on this checkout's own build and examples (the chain
# alone runs as well from an installation, with no build tools).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
out=${1:-demo-output}
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release > /dev/null
cmake --build build -j "$(nproc)" --target anglepick restrain symrestore tectsim superimpose
# The programs just built, never others that happen to be on PATH; a
# relative OUT is taken from the checkout's root, as it always was.
bash scripts/demo-chain.sh --bin "$here/build/bin" --examples "$here/examples" -- "$out"
