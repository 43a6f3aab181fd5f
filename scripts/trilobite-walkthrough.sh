#!/usr/bin/env bash
# The user's guide's walkthrough (section 12), end to end on the bundled
# trilobite cephala (examples/trilomorph_cephala, 74 real specimens digitised
# with tpsDig2, 39 landmarks missing in 13 of them): load them with their
# missing landmarks, estimate those, lay whole cephala on a slab deformed by
# a known strain, measure their angles, fit the strain and retrodeform them,
# then measure the retrodeformed cephala again to see that no strain is left.
#
# Usage: trilobite-walkthrough.sh [--bin DIR] [--examples DIR] [OUT]
#
#   --bin DIR       the folder of anglepick, restrain and superimpose
#                   (default: those on PATH, else build/bin beside this script)
#   --examples DIR  the examples folder (default: the one beside this script,
#                   else the installed examples)
#   OUT             where the files go (default trilobite-walkthrough/)
#
# Needs only bash and awk besides the programs; it stops at the first step
# that fails.
set -euo pipefail
fail() { echo "trilobite-walkthrough: $*" >&2; exit 2; }

self=$(dirname "$(readlink -f "${BASH_SOURCE[0]}")")
bin= examples= out=
while [ $# -gt 0 ]; do
  case $1 in
    --bin) [ $# -ge 2 ] || fail "--bin needs a folder"; bin=$2; shift 2 ;;
    --examples) [ $# -ge 2 ] || fail "--examples needs a folder"; examples=$2; shift 2 ;;
    -h | --help) sed -n '2,16p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//'; exit 0 ;;
    -*) fail "unknown option $1 (see --help)" ;;
    *) [ -z "$out" ] || fail "one output folder at most"; out=$1; shift ;;
  esac
done
if [ -z "$bin" ]; then
  if found=$(command -v anglepick); then bin=$(dirname "$found")
  elif [ -x "$self/../build/bin/anglepick" ]; then bin=$self/../build/bin
  else bin=$self/../../bin; fi
fi
if [ -z "$examples" ]; then
  if [ -d "$self/../examples/trilomorph_cephala" ]; then examples=$self/../examples
  else examples=$self/../../share/tectomorph/examples; fi
fi
for p in anglepick restrain superimpose; do
  [ -x "$bin/$p" ] || fail "no program $p in $bin (give the programs' folder with --bin)"
done
cephala=$(cd "$examples/trilomorph_cephala" 2>/dev/null && pwd) || fail "no trilomorph_cephala in $examples"
bin=$(cd "$bin" && pwd)
out=${out:-trilobite-walkthrough}
mkdir -p "$out"
cd "$out"
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}

echo "== 1. Load the cephala: Anglepick reports the landmarks the digitiser could not place"
cat > 1-load.script <<SCRIPT
LoadData $cephala/cephala_tpsdig_all.tps
plot 1-loaded.png
report 1-load-run-report.txt
SCRIPT
"$bin/anglepick" --quiet --run 1-load.script | cut -c1-200

echo
echo "== 2. Estimate the missing landmarks (superimpose, method auto)"
"$bin/superimpose" --estimate-missing auto "$cephala/cephala_tpsdig_all.tps" completed.tps > 2-estimates.txt
tail -n 2 2-estimates.txt

echo
echo "== 3. Whole cephala on one slab, deformed by R = 1.8 at theta' = 35 degrees"
awk -v R=1.8 -v theta=35 -f "$cephala/slab.awk" completed.tps > slab.txt
echo "slab.txt: $(wc -l < slab.txt) specimens of 26 landmarks"

echo
echo "== 4. Anglepick: t and p of every specimen (protocol: midline 1, 4, 2, 3 and ten pairs)"
cat > 4-angles.script <<SCRIPT
LoadData slab.txt
LoadProto $cephala/protocol.txt
plot 4-protocol.png
SaveData angles-all.txt
SaveAveData angles-means.txt
report 4-angles-run-report.txt
SCRIPT
"$bin/anglepick" --quiet --run 4-angles.script | grep 'specimens measured'

echo
echo "== 5. Restrain: the strain ellipse, its permutation test, and retrodeformation on baseline 1-4"
cat > 5-strain.script <<SCRIPT
LoadTPS slab.txt
LoadDataTP angles-means.txt
LoadAllTP angles-all.txt
DoWellman
plot 5-wellman.png
set PBox 200
PermuteWellman
set BaseBox1 1
set BaseBox2 4
DoRetro
plot 5-retrodeformed.png
Save retrodeformed.txt
report 5-strain-run-report.txt
SCRIPT
"$bin/restrain" --quiet --seed 26 --run 5-strain.script 2>/dev/null

echo "== 6. Check: the retrodeformed cephala measured again hold no strain (R near 1)"
cat > 6-check-angles.script <<SCRIPT
LoadData retrodeformed.txt
LoadProto $cephala/protocol.txt
SaveData check-all.txt
SaveAveData check-means.txt
SCRIPT
"$bin/anglepick" --quiet --run 6-check-angles.script > /dev/null
cat > 6-check-strain.script <<SCRIPT
LoadDataTP check-means.txt
LoadAllTP check-all.txt
DoWellman
SCRIPT
"$bin/restrain" --quiet --seed 26 --run 6-check-strain.script 2>/dev/null | grep 'METHOD'

echo
echo "== Written in $(pwd):"
ls
