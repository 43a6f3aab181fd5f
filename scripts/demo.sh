#!/usr/bin/env bash
# The demonstration run on the bundled sample data: builds the suite (after
# installing what it needs, as root) and runs it without a window, writing
# every result into one output folder (default: demo-output/).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
out=${1:-demo-output}
bash scripts/install-deps.sh

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release > /dev/null
cmake --build build -j "$(nproc)" --target superimpose
mkdir -p "$out"
bin=build/bin

echo "== Superimposing the salamander heads (TPS file, 40 specimens x 12 landmarks)"
"$bin/superimpose" examples/plethodon_12lm/plethodon.tps \
  --consensus "$out/plethodon_consensus.txt" --superimposed "$out/plethodon_superimposed.txt"
echo
echo "== Superimposing the lizard heads (row-format file, 98 specimens x 28 landmarks)"
"$bin/superimpose" examples/lizards_podarcis/lizards.txt \
  --consensus "$out/lizards_consensus.txt" --superimposed "$out/lizards_superimposed.txt"
echo
echo "== Superimposing the trilobite cephala on their principal axis (tpsDig file, CR LF line ends)"
"$bin/superimpose" examples/trilomorph_cephala/cephala_tpsdig_all.tps --principal-axis \
  --consensus "$out/cephala_consensus.txt" --superimposed "$out/cephala_superimposed.tps"
echo
echo "== Files written to $out/"
ls -l "$out"
