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

# Anglepick after measuring the lizard heads with their protocol.
script=$(mktemp)
printf 'LoadData examples/lizards_podarcis/lizards.tps\nLoadProto examples/lizards_podarcis/protocol.txt\n' > "$script"
env -u QT_QPA_PLATFORM xvfb-run -a -s "-screen 0 1280x900x24" build/bin/anglepick --quiet --run "$script" \
  --screenshot "$out/anglepick-protocol.png"
rm -f "$script"
echo "wrote $out/anglepick-protocol.png"
