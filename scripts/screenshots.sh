#!/usr/bin/env bash
# Pictures of the four program windows, taken under a virtual X display as
# a person would see them, into docs/screenshots/ (or the folder given).
# Builds the programs first if needed.
#
#   screenshots.sh [FOLDER]            each window, empty and at work
#   screenshots.sh --desktop [FOLDER]  each window as a window manager
#                                      (openbox) shows it on a 1024x700
#                                      screen and on a 1920x1080 screen
#                                      magnified twice (QT_SCALE_FACTOR=2)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
desktop=0
if [ "${1:-}" = "--desktop" ]; then desktop=1; shift; fi
out=${1:-docs/screenshots}
mkdir -p "$out"
if [ ! -x build/bin/tectsim ]; then
  bash scripts/install-deps.sh
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release > /dev/null
  cmake --build build -j "$(nproc)" --target anglepick restrain symrestore tectsim
fi
# The whole screen with the program's window as the window manager placed
# it; the program is ended once pictured.
on_desktop() { # program, file, screen WxH, scale
  env -u QT_QPA_PLATFORM xvfb-run -a -s "-screen 0 $3x24" sh -c '
    openbox > /dev/null 2>&1 & wm=$!
    sleep 1
    QT_SCALE_FACTOR=$3 "$1" > /dev/null 2>&1 & program=$!
    sleep 4
    if command -v scrot > /dev/null; then scrot -o "$2"; else xwd -root -silent | convert xwd:- "$2"; fi
    kill $program $wm' sh "build/bin/$1" "$out/$2" "$4"
  echo "wrote $out/$2"
}
if [ "$desktop" = 1 ]; then
  for program in anglepick restrain symrestore tectsim; do
    on_desktop $program $program-1024x700.png 1024x700 1
    on_desktop $program $program-1920x1080-scale2.png 1920x1080 2
  done
  exit 0
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
shoot tectsim results.png AuxBox # the report tab of the results pane

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
