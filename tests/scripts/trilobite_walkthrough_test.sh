#!/usr/bin/env bash
# Runs the guide's trilobite walkthrough on the programs of this build and
# checks what each step must show: the missing landmarks found and all
# estimated, every specimen measured, the strain laid on the slab found
# again, every specimen retrodeformed and left without strain, and the run reports naming the files
# written with their checksums.
# Usage: trilobite_walkthrough_test.sh WALKTHROUGH BIN EXAMPLES OUT
set -euo pipefail
walkthrough=$1 bin=$2 examples=$3 out=$4
rm -rf "$out"
log=$(bash "$walkthrough" --bin "$bin" --examples "$examples" "$out")
printf '%s\n' "$log"
status=0
expect() { # what, text, extended regular expression
  if ! grep -Eq -- "$3" <<<"$2"; then echo "MISSING ($1): /$3/" >&2; status=1; fi
}
expect load "$log" '^cephala_tpsdig_all\.tps: 39 landmarks are missing in 13 specimens \(-1 -1, NaN and NA are missing\)'
expect estimate "$log" '^Estimated 39 of 39 missing landmarks by auto'
expect angles "$log" '^74 specimens measured'
expect strain "$log" "ANALYTIC METHOD: The R value was 1\.80[0-9]*, θ′ was 3(4\.9|5\.0)[0-9]*,"
expect nostrain "$log" '^NUMERICAL METHOD: The R value was 1\.00[0-9]*,'
expect retro "$(wc -l < "$out/retrodeformed.txt")" '^74$'
expect report-boxes "$(cat "$out/5-strain-run-report.txt")" '^   PBox \(number of permutations\): 200$'
expect report-files "$(cat "$out/4-angles-run-report.txt")" "^   wrote $out/angles-means\.txt: [0-9]+ bytes, SHA-256 [0-9a-f]{64}$"
exit $status
