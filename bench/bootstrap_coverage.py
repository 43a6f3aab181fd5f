#!/usr/bin/env python3
"""Coverage of the bootstrap intervals of BootstrapWellman (Restrain) and
BootstrapStrain (Symrestore): how often a 95 % interval holds the true R and
the true theta' of simulated beds, and how wide it is.

Every cell of the grid (R, theta', specimens, noise) gets --beds beds from
scripts/make_sample.py (seeds --first-seed on); each bed is measured and
bootstrapped by build/bin/bootstrap_intervals (the actions' computations,
1000 resamples, the bed's seed), and the first --symmetry-beds beds of a
cell also by BootstrapStrain, which is slower. A theta' interval holds the
truth when the truth's turn from the estimate lies between its ends' turns
(axes: 179 and 1 degrees are 2 apart).

Usage (one core per job; about an hour for the default grid on two jobs):

    nice -n 10 python3 bench/bootstrap_coverage.py --bin build/bin --jobs 2 --csv coverage.csv
    python3 bench/bootstrap_coverage.py --summary coverage.csv          # the tables of a CSV
    python3 bench/bootstrap_coverage.py --cells "1.8,35,60,1" --beds 20  # a quick look

With --csv the per-bed results are appended to a file and beds already in it
are skipped, so a long run can be stopped and resumed. Standard library only.
"""

import argparse
import concurrent.futures
import contextlib
import csv
import importlib.util
import io
import os
import subprocess
import sys
import tempfile
import threading

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
from permutation_null import MAKE_SAMPLE, readcsv  # noqa: E402
GRID = [(R, theta, n, noise) for R in (1.2, 1.8, 2.5) for theta in (0, 35, 90) for n in (15, 60) for noise in (1, 30)]
FITS = ("numerical", "analytic", "symmetry")
FIELDS = ["R", "theta", "n", "noise", "seed", "fit", "Rhat", "Rlow", "Rhigh", "that", "tlow", "thigh", "failed"]


def axial(d):
    """An axial difference in degrees, into [-90, 90)."""
    return (d + 90) % 180 - 90


# The sample generator, run in this process: a bed is made in a few
# milliseconds, where starting an interpreter for it takes far longer.
_spec = importlib.util.spec_from_file_location("make_sample", MAKE_SAMPLE)
make_sample = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(make_sample)
_generating = threading.Lock()


def makebed(argv):
    with _generating, contextlib.redirect_stdout(io.StringIO()):
        saved = sys.argv
        sys.argv = ["make_sample.py"] + argv
        try:
            make_sample.main()
        finally:
            sys.argv = saved


def onebed(args, cell, seed, symmetry):
    R, theta, n, noise = cell
    with tempfile.TemporaryDirectory() as work:
        makebed(["--seed", str(seed), "--R", str(R), "--theta", str(theta), "--n", str(n), "--noise", str(noise),
                 "--out", work])
        cmd = [os.path.join(args.bin, "bootstrap_intervals"), os.path.join(work, "deformed_sample"), "--seed",
               str(seed), "--resamples", str(args.resamples)] + (["--symmetry"] if symmetry else [])
        r = subprocess.run(cmd, capture_output=True, text=True)
    rows = []
    if r.returncode:
        print("cell %s seed %d: %s" % (cell, seed, r.stderr.strip()), file=sys.stderr)
        return rows
    for line in r.stdout.splitlines():
        f = line.split()
        rows.append(dict(zip(FIELDS, [R, theta, n, noise, seed, f[0]] + [float(v) for v in f[1:7]] + [int(f[7])])))
    return rows


def table(rows):
    cells = {}
    for r in rows:
        key = (float(r["R"]), float(r["theta"]), int(float(r["n"])), float(r["noise"]))
        cells.setdefault(key, {}).setdefault(r["fit"], []).append(r)
    out = ["| R | theta' | specimens | noise (px) | fit | beds | R held | theta' held | mean width R | mean width "
           "theta' (deg) | mean error R | mean error theta' (deg) |", "|" + "---|" * 12]
    short = []
    for key in sorted(cells):
        R, theta, n, noise = key
        for fit in FITS:
            bed = cells[key].get(fit, [])
            if not bed:
                continue
            heldR = heldT = 0
            wR = wT = eR = eT = 0.0
            for b in bed:
                Rhat, lo, hi = float(b["Rhat"]), float(b["Rlow"]), float(b["Rhigh"])
                that, tlo, thi = float(b["that"]), float(b["tlow"]), float(b["thigh"])
                heldR += lo <= R <= hi
                off = axial(theta - that)
                heldT += (tlo - that) <= off <= (thi - that)
                wR += hi - lo
                wT += thi - tlo
                eR += Rhat - R
                eT += -off
            k = len(bed)
            pr, pt = 100 * heldR / k, 100 * heldT / k
            if fit != "analytic" and (pr < 93 or pt < 93):
                short.append("%s %s: R %.1f %%, theta' %.1f %%" % (fit, key, pr, pt))
            out.append("| %g | %g | %d | %g | %s | %d | %.1f %% | %.1f %% | %.3f | %.2f | %+.4f | %+.2f |"
                       % (R, theta, n, noise, fit, k, pr, pt, wR / k, wT / k, eR / k, eT / k))
    return out, short


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--bin", default="build/bin", help="folder of bootstrap_intervals")
    ap.add_argument("--cells", help="R,theta,n,noise;... (default: the 36 cells of the grid)")
    ap.add_argument("--beds", type=int, default=200, help="beds per cell (BootstrapWellman)")
    ap.add_argument("--symmetry-beds", type=int, default=50, help="of them, beds also given BootstrapStrain")
    ap.add_argument("--resamples", type=int, default=1000)
    ap.add_argument("--first-seed", type=int, default=1001)
    ap.add_argument("--jobs", type=int, default=1)
    ap.add_argument("--csv", help="append per-bed results here; beds already in it are skipped")
    ap.add_argument("--summary", metavar="CSV", help="only print the table of a CSV written before")
    args = ap.parse_args()
    cells = GRID if not args.cells else [tuple(float(v) for v in c.split(",")) for c in args.cells.split(";")]
    cells = [(R, th, int(n), noise) for R, th, n, noise in cells]

    rows = readcsv(args.summary or args.csv)
    if not args.summary:
        done = {(float(r["R"]), float(r["theta"]), int(float(r["n"])), float(r["noise"]), int(r["seed"]), r["fit"])
                for r in rows}
        todo = []
        for cell in cells:
            for k in range(args.beds):
                seed = args.first_seed + k
                symmetry = k < args.symmetry_beds
                key = tuple(float(v) for v in cell[:2]) + (cell[2], float(cell[3]), seed)
                if (key + ("numerical",)) in done and (not symmetry or (key + ("symmetry",)) in done):
                    continue
                todo.append((cell, seed, symmetry))
        sink = writer = None
        if args.csv:
            fresh = not os.path.exists(args.csv) or os.path.getsize(args.csv) == 0
            sink = open(args.csv, "a", newline="")
            writer = csv.DictWriter(sink, fieldnames=FIELDS)
            if fresh:
                writer.writeheader()
        with concurrent.futures.ThreadPoolExecutor(max_workers=args.jobs) as pool:
            for got in pool.map(lambda job: onebed(args, *job), todo):
                rows.extend({k: str(v) for k, v in r.items()} for r in got)
                if writer:
                    writer.writerows(got)
                    sink.flush()
        if sink:
            sink.close()
    out, short = table(rows)
    print("\n".join(out))
    if short:
        print("\nBelow 93 %:\n  " + "\n  ".join(short))


if __name__ == "__main__":
    main()
