#!/usr/bin/env bash
# The demonstration chain: the whole suite on the bundled synthetic sample of
# deformed fossils, without a window. Anglepick measures the sample, Restrain
# fits and tests the strain and retrodeforms, Symrestore undeforms by
# symmetry, uniform components and principal components, and Tectsim
# simulates an assemblage and reports its statistics. Every file and a
# picture of every plot lands in one folder (default demo-output/), listed at
# the end with what each one is.
#
# Usage: demo-chain.sh [--bin DIR] [--examples DIR] [OUT]
#
#   --bin DIR       the folder holding anglepick, restrain, symrestore,
#                   tectsim and superimpose. Default: the folder of the
#                   anglepick found on PATH, else build/bin of the source
#                   tree this script sits in, else bin/ of the installation.
#   --examples DIR  the examples folder. Default: examples/ of the source
#                   tree this script sits in, else the installed examples.
#   OUT             where the files go (created if missing).
#
# It builds nothing and installs nothing, so it runs as well from an
# installation (P/share/tectomorph/demo-chain.sh beside
# P/share/tectomorph/examples, the programs in P/bin) as from a checkout
# (scripts/demo-chain.sh); besides the five programs it needs only bash,
# coreutils, awk, sed and tee. It ends non-zero as soon as one step fails.
set -euo pipefail

usage() {
  cat <<USAGE
Usage: demo-chain.sh [--bin DIR] [--examples DIR] [OUT]
Runs the demonstration chain of the suite into OUT (default demo-output).
  --bin DIR       the folder of anglepick, restrain, symrestore, tectsim and
                  superimpose (default: the programs on PATH, else the build
                  beside this script, else the installation's bin/)
  --examples DIR  the examples folder (default: the one beside this script)
USAGE
}
fail() { echo "demo-chain: $*" >&2; exit 2; }

# Through any symbolic link to the script, to where it really lies.
self=$(dirname "$(readlink -f "${BASH_SOURCE[0]}")")
bin=
examples=
out=
while [ $# -gt 0 ]; do
  case $1 in
    --bin) [ $# -ge 2 ] || fail "--bin needs a folder"; bin=$2; shift 2 ;;
    --bin=*) bin=${1#--bin=}; shift ;;
    --examples) [ $# -ge 2 ] || fail "--examples needs a folder"; examples=$2; shift 2 ;;
    --examples=*) examples=${1#--examples=}; shift ;;
    -h | --help) usage; exit 0 ;;
    --)
      shift
      [ $# -eq 0 ] || { [ $# -eq 1 ] && [ -z "$out" ]; } || fail "one output folder at most"
      out=${1:-$out}
      shift $# ;;
    -*) fail "unknown option $1 (see --help)" ;;
    *) [ -z "$out" ] || fail "one output folder at most"; out=$1; shift ;;
  esac
done
out=${out:-demo-output}

# An installed suite on PATH wins over a build beside the script, as any
# command would; a checkout's own programs are used when none is installed.
if [ -z "$bin" ]; then
  if found=$(command -v anglepick); then
    bin=$(dirname "$found")
  elif [ -x "$self/../build/bin/anglepick" ]; then
    bin=$self/../build/bin
  else
    bin=$self/../../bin
  fi
fi
if [ -z "$examples" ]; then
  # The sample's own folder, not just any examples/: installed, the
  # script's parent is P/share, which may hold other packages' examples.
  if [ -d "$self/../examples/deformed_sample" ]; then
    examples=$self/../examples
  else
    examples=$self/../../share/tectomorph/examples
  fi
fi
for p in anglepick restrain symrestore tectsim superimpose; do
  [ -x "$bin/$p" ] || fail "no program $p in $bin (give the programs' folder with --bin)"
done
if [ ! -f "$examples/deformed_sample/truth.txt" ] || [ ! -f "$examples/tectsim/start.txt" ]; then
  fail "no demonstration sample in $examples (give the examples folder with --examples)"
fi

# The scripts are run from OUT, so every other path is made absolute first;
# the scripts written there name the sample by these full paths.
bin=$(cd "$bin" && pwd)
examples=$(cd "$examples" && pwd)
mkdir -p "$out"
out=$(cd "$out" && pwd)
sample="$examples/deformed_sample"
export QT_QPA_PLATFORM=offscreen

manifest=()
note() { manifest+=("$1|$2"); } # file, what it is
truth() {
  local v
  v=$(awk -v k="$1" '$1 == k { print $2 }' "$sample/truth.txt")
  [ -n "$v" ] || fail "no $1 in $sample/truth.txt"
  echo "$v"
}
# Read once up front: a failure inside a $(...) that is only an argument of
# another command would not stop the chain.
true_R=$(truth R)
true_theta=$(truth "theta'")
true_e=$(truth e)

cd "$out"
echo "== The sample: 60 trilobite-like cephala on one slab, deformed by R = $true_R, theta' = $true_theta (examples/deformed_sample)"

echo
echo "== Anglepick: midline bearing t and pair angles p of every specimen"
cat > anglepick.script <<SCRIPT
LoadData $sample/deformed.tps
plot anglepick-specimens.png
LoadProto $sample/protocol.txt
plot anglepick-protocol.png
set SlabBox 1
SaveData angles-all.txt
SaveDataBirch angles-birch.txt
SaveAveData angles-means.txt
SCRIPT
"$bin/anglepick" --quiet --run anglepick.script
note anglepick.script "the Anglepick script that was run"
note anglepick-specimens.png "Anglepick: the specimens superimposed on their principal axes, the numbered consensus"
note anglepick-protocol.png "Anglepick: the protocol drawn on the consensus (midline triangles, pair lines)"
note angles-all.txt "every (t, p) pair with slab and specimen number (degrees)"
note angles-birch.txt "every (t, p) pair, two columns (Birch layout)"
note angles-means.txt "per specimen: t and the mean p (the per-specimen angles Restrain reads)"

echo
echo "== Restrain: the Wellman strain ellipse, its permutation test, retrodeformation"
echo "   true strain: R = $true_R, theta' = $true_theta"
cat > restrain.script <<SCRIPT
LoadTPS $sample/deformed.tps
LoadDataTP angles-means.txt
LoadAllTP angles-all.txt
DoWellman
plot restrain-wellman.png
set PBox 1000
PermuteWellman
set BootBox 1000
BootstrapWellman
plot restrain-bootstrap.png
set BaseBox1 1
set BaseBox2 4
DoRetro
plot restrain-retro.png
Save restrain-retrodeformed.txt
set UserR $true_R
set UserTheta $true_theta
DoRetroUser
plot restrain-retro-user.png
Save restrain-retrodeformed-true-strain.txt
SCRIPT
"$bin/restrain" --quiet --seed 1 --run restrain.script | tee restrain-report.txt
note restrain.script "the Restrain script that was run (seed 1)"
note restrain-report.txt "Restrain's message boxes: analytic and numerical fits, permutation ranges, bootstrap intervals"
note restrain-wellman.png "Restrain: the Wellman construction triangles and the fitted strain axes"
note restrain-bootstrap.png "Restrain: the Wellman plot with the bootstrap's 95 % interval of the numerical fit (cyan)"
note restrain-retro.png "Restrain: the TPS data (blue) and their retrodeformation with the fitted strain (green)"
note restrain-retrodeformed.txt "the specimens retrodeformed with the fitted strain (row format)"
note restrain-retrodeformed.txt.ids "each row's specimen: its ID=, IMAGE= and SCALE= lines"
note restrain-retro-user.png "Restrain: the data and their retrodeformation with the true strain typed in"
note restrain-retrodeformed-true-strain.txt "the specimens retrodeformed with the true strain (row format)"
note restrain-retrodeformed-true-strain.txt.ids "each row's specimen: its ID=, IMAGE= and SCALE= lines"

echo
echo "== Symrestore: undeformation by symmetry, uniform components and principal components"
cat > symrestore.script <<SCRIPT
LoadData $sample/deformed.txt
plot symrestore-loaded.png
LoadProto $sample/pairs.txt
UnDeform
plot symrestore-undeform.png
Save symrestore-symmetry.txt
set BootBox 1000
BootstrapStrain
set StrainBox $true_e
RetroStrain
plot symrestore-retrostrain.png
Save symrestore-given-strain.txt
UndeformUni
plot symrestore-uniform.png
Save symrestore-uniform.txt
set PCABox 1
UndeformPCA
plot symrestore-pca.png
Save symrestore-pca.txt
SCRIPT
"$bin/symrestore" --quiet --run symrestore.script
note symrestore.script "the Symrestore script that was run"
note symrestore-loaded.png "Symrestore: the deformed specimens as loaded"
note symrestore-undeform.png "Symrestore: made symmetric with a free strain (consensus red, specimens blue)"
note symrestore-symmetry.txt "the specimens undeformed by symmetry, free strain"
note symrestore-retrostrain.png "Symrestore: made symmetric with the strain ratio given (e = sqrt R)"
note symrestore-given-strain.txt "the specimens undeformed by symmetry, given strain ratio"
note symrestore-uniform.png "Symrestore: the first uniform component between the halves removed"
note symrestore-uniform.txt "the specimens undeformed by uniform components"
note symrestore-pca.png "Symrestore: principal axis 1 removed"
note symrestore-pca.txt "the specimens undeformed by removing principal axis 1"

echo
echo "== How far each set is from the undeformed form (mean partial Procrustes distance to the template)"
for f in "$sample/deformed.txt" restrain-retrodeformed.txt restrain-retrodeformed-true-strain.txt \
         symrestore-symmetry.txt symrestore-given-strain.txt symrestore-uniform.txt symrestore-pca.txt; do
  d=$("$bin/superimpose" "$f" --distance-to "$examples/tectsim/start.txt")
  printf '   %-42s %s\n' "$(basename "$f")" "$d"
done

echo
echo "== Tectsim: a simulated assemblage along the path between two exemplar shapes"
# Tectsim's saves append to a file that exists, so that several runs can
# gather in one table; a demo run again into the same folder starts afresh.
rm -f tectsim-clean.txt tectsim-deformed-noisy.txt tectsim-retrodeformed-noisy.txt tectsim-report.txt
cat > tectsim.script <<SCRIPT
Load1 $examples/tectsim/start.txt
Load2 $examples/tectsim/end.txt
plot tectsim-exemplars.png
set NumBox 200
set AmpBox 0.01
set DefBox 1.5
set AngleBox 30
set NaxisBox 1
BuildModels
ShowCData
plot tectsim-clean.png
ShowDNData
plot tectsim-deformed-retrodeformed.png
SaveCData tectsim-clean.txt
SaveDNData tectsim-deformed-noisy.txt
SaveRDNData tectsim-retrodeformed-noisy.txt
DoStats
AuxBoxsw tectsim-report.txt
SCRIPT
"$bin/tectsim" --quiet --seed 1 --run tectsim.script > tectsim-console.txt
sed -n '/== Results ==/,$p' tectsim-console.txt
note tectsim.script "the Tectsim script that was run (seed 1)"
note tectsim-console.txt "what Tectsim printed, the statistics report included"
note tectsim-exemplars.png "Tectsim: the two exemplar shapes (start blue, end red)"
note tectsim-clean.png "Tectsim: the simulated clean specimens, superimposed"
note tectsim-deformed-retrodeformed.png "Tectsim: deformed noisy specimens (blue) and their retrodeformation (red)"
note tectsim-clean.txt "the simulated clean specimens; size slot = position along the path"
note tectsim-deformed-noisy.txt "the deformed noisy specimens (each value written with a leading blank)"
note tectsim-retrodeformed-noisy.txt "the retrodeformed noisy specimens"
note tectsim-report.txt "the statistics report saved from the results window"

echo
echo "== Files in $out"
for entry in "${manifest[@]}"; do
  printf '  %-42s %s\n' "${entry%%|*}" "${entry#*|}"
done
