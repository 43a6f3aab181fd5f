#!/usr/bin/env bash
# Pictures of the five windows, taken under a virtual X display as a person
# would see them, into docs/screenshots/ (or the folder given). Builds the
# programs first if needed.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
out=${1:-docs/screenshots}
mkdir -p "$out"
if [ ! -x build/bin/tectsim ]; then
  bash scripts/install-deps.sh
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release > /dev/null
  cmake --build build -j "$(nproc)" --target anglepick restrain symrestore tectsim
fi
shoot() { # program, file, [window]
  local extra=()
  [ $# -gt 2 ] && extra=(--window "$3")
  env -u QT_QPA_PLATFORM xvfb-run -a -s "-screen 0 1280x900x24" build/bin/"$1" --screenshot "$out/$2" "${extra[@]}"
  echo "wrote $out/$2"
}
shoot anglepick anglepick.png
shoot restrain restrain.png
shoot symrestore symrestore.png
shoot tectsim tectsim.png
shoot tectsim results.png AuxBox

# Each program at work on the bundled samples: a script runs first, then
# the window is pictured as the script left it.
at_work() { # program, picture, script text, [window]
  local script extra=()
  script=$(mktemp)
  printf '%b' "$3" > "$script"
  [ $# -gt 3 ] && extra=(--window "$4")
  env -u QT_QPA_PLATFORM xvfb-run -a -s "-screen 0 1280x900x24" build/bin/"$1" --quiet --seed 1 --run "$script" \
    --screenshot "$out/$2" "${extra[@]}" > /dev/null
  rm -f "$script"
  echo "wrote $out/$2"
}
sample=examples/deformed_sample
at_work anglepick anglepick-protocol.png \
  "LoadData examples/lizards_podarcis/lizards.tps\nLoadProto examples/lizards_podarcis/protocol.txt\n"
tmp=$(mktemp -d)
at_work anglepick anglepick-sample.png \
  "LoadData $sample/deformed.tps\nLoadProto $sample/protocol.txt\nSaveData $tmp/all.txt\nSaveAveData $tmp/means.txt\n"
at_work restrain restrain-wellman.png "LoadAllTP $tmp/all.txt\nset PBox 200\nPermuteWellman\nDoWellman\n"
at_work restrain restrain-retro.png \
  "LoadTPS $sample/deformed.tps\nLoadDataTP $tmp/means.txt\nLoadAllTP $tmp/all.txt\nset BaseBox1 1\nset BaseBox2 4\nDoRetro\n"
at_work symrestore symrestore-undeform.png "LoadData $sample/deformed.txt\nLoadProto $sample/pairs.txt\nUnDeform\n"
stats="Load1 examples/tectsim/start.txt\nLoad2 examples/tectsim/end.txt\nset NumBox 100\nBuildModels\nShowDNData\nDoStats\n"
at_work tectsim tectsim-experiment.png "$stats"
at_work tectsim results-report.png "$stats" AuxBox
rm -rf "$tmp"
