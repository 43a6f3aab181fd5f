#!/bin/bash
# getconsensus called once on fresh data against the vectorised numpy peer
# (gpa_complex) on the same data in the same run: writes the peers' data
# into a temporary folder, times both and prints both medians and the
# ratio. Needs python3-numpy; not part of CI. Run it through the CPU lock:
#   flock /tmp/tecto-cpu.lock bash bench/compare_numpy.sh [--bin build/bin] [--n 100000] [--k 20] [--reps 9]
set -euo pipefail
bin=build/bin n=100000 k=20 reps=9
peers=${PEERS:-/work/shared/peers}
# The Debian python, which python3-numpy serves (the peers name it too).
python=${PYTHON:-/usr/bin/python3}
while [ $# -gt 0 ]; do
  case $1 in
    --bin) bin=$2; shift 2 ;;
    --n) n=$2; shift 2 ;;
    --k) k=$2; shift 2 ;;
    --reps) reps=$2; shift 2 ;;
    *) echo "compare_numpy.sh: unknown option $1" >&2; exit 2 ;;
  esac
done
"$python" -c 'import numpy' 2>/dev/null || { echo "compare_numpy.sh: needs python3-numpy" >&2; exit 2; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cp "$peers/gen_data.py" "$peers/gpa_numpy.py" "$tmp/"
mkdir "$tmp/data"
(cd "$tmp" && "$python" gen_data.py >/dev/null)
[ -f "$tmp/data/X_n${n}_k${k}.bin" ] || { echo "compare_numpy.sh: the peers write no ${n} x ${k} data set" >&2; exit 2; }

ours=$(PROCRUSTES_PEER_DATA="$tmp/data" "$bin/procrustes_bench" \
  --benchmark_filter="^getconsensus_onecall/${n}/${k}/" --benchmark_repetitions="$reps" \
  --benchmark_report_aggregates_only=true --benchmark_format=json |
  "$python" -c 'import json, sys
r = [b for b in json.load(sys.stdin)["benchmarks"] if b.get("aggregate_name") == "median"][0]
scale = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}[r["time_unit"]]
print(r["real_time"] * scale)')

theirs=$(cd "$tmp" && env -u OPENBLAS_CORETYPE -u OPENBLAS_L2_SIZE "$python" -c "
import time, numpy as np
from gen_data import load
from gpa_numpy import gpa_complex
X = load($n, $k)
gpa_complex(X)
ts = []
for _ in range($reps):
    t0 = time.perf_counter(); gpa_complex(X); ts.append(time.perf_counter() - t0)
print(1e3 * float(np.median(ts)))")

"$python" -c "
ours, theirs = $ours, $theirs
print(f'getconsensus one call, $n x $k: {ours:.2f} ms (median)')
print(f'numpy gpa_complex,     $n x $k: {theirs:.2f} ms (median)')
print(f'ratio numpy / getconsensus: {theirs / ours:.1f}')"
