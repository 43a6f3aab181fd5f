#!/usr/bin/env python3
"""Null calibration of Restrain's permutation test: how often it rejects when
there is no strain, and whether its p values are uniform.

For each of --sets seeds the sample generator (scripts/make_sample.py, R = 1
by default, 60 specimens of five pairs) writes an undeformed bed; Anglepick
measures it and saves the pooled angles with slab and specimen (SaveData);
Restrain runs PermuteWellman on them with --perms permutations and
--seed SEED, and every p value its report prints is collected. A valid test
rejects at its level: the share of p <= 0.05 is 5 % within binomial error, and
the p values are uniform (Kolmogorov-Smirnov). The p value of a permutation
test with B permutations takes the values k / (B + 1), so the KS test is
given against the continuous uniform and against that discrete uniform
(at its support points: conservative).

--midline-error SD gives every specimen one error of its midline, shared by
all its pairs (make_sample.py's option): the dependence that the pairs of a
specimen share in every real bed, made larger.

--python-check also runs, on the same angle files, a model of the test in
this script: the pair-level shuffle that Restrain runs today and a
specimen-level one (each specimen's set of p values moved whole to another
specimen's t), with this script's own generator, to show beside the
programs' figures what the specimen-level scheme does.

A bed on which Restrain stops (a pair it cannot use, exit status 1) is
counted and left out; its message is kept in the CSV.

Usage (from the source tree; one core, politely):

    nice -n 10 python3 bench/permutation_null.py --bin build/bin --sets 500
    nice -n 10 python3 bench/permutation_null.py --bin build/bin --sets 500 --midline-error 2
    python3 bench/permutation_null.py --bin build/bin --sets 20 --python-check    # a quick look
    python3 bench/permutation_null.py --summary results.csv                       # tables of a CSV

Each line of the report prints as "NAME: ..." where NAME is a p value the
report holds; --pvalue NAME=REGEX adds one (the first group is the p value),
so a new line of the report can be studied beside the old one. With --csv
the per-bed results are appended to a file, and seeds already in it are
skipped, so a long study can be stopped and resumed.

Standard library only.
"""

import argparse
import csv
import math
import os
import random
import re
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
MAKE_SAMPLE = os.path.join(HERE, "..", "scripts", "make_sample.py")
PVALUES = {"pairs": r"Permutation p value \(pairs shuffled\): ([0-9.eE+-]+)",
           "specimens": r"Specimen-level permutation p value: ([0-9.eE+-]+)"}


# ---------------------------------------------------------------- statistics

def kolmogorov_q(lam):
    """P(K > lam) for the Kolmogorov distribution."""
    if lam < 0.2:
        return 1.0
    return max(0.0, min(1.0, 2 * sum((-1) ** (k - 1) * math.exp(-2 * k * k * lam * lam) for k in range(1, 101))))


def ks_uniform(values, support=None):
    """KS distance and p (Stephens' finite-n form) of values against the
    uniform on [0, 1], or, with support = B + 1, the uniform on k / (B + 1)
    compared at its support points."""
    x = sorted(values)
    n = len(x)
    if n == 0:
        return float("nan"), float("nan")
    if support is None:
        d = max(max((i + 1) / n - v, v - i / n) for i, v in enumerate(x))
    else:
        d, j = 0.0, 0
        for k in range(1, support + 1):
            edge = k / support
            while j < n and x[j] <= edge + 1e-12:
                j += 1
            d = max(d, abs(j / n - edge))
    rn = math.sqrt(n)
    return d, kolmogorov_q((rn + 0.12 + 0.11 / rn) * d)


def binomial_two_sided(k, n, a):
    """Exact two-sided binomial p of k successes in n at rate a (outcomes no
    likelier than the one observed)."""
    probs = [math.comb(n, i) * a ** i * (1 - a) ** (n - i) for i in range(n + 1)]
    return min(1.0, sum(q for q in probs if q <= probs[k] * (1 + 1e-9)))


def summary(name, ps, perms):
    n = len(ps)
    out = ["%s: %d beds" % (name, n)]
    if n == 0:
        return out
    for a in (0.05, 0.10):
        k = sum(1 for p in ps if p <= a + 1e-12)
        r = k / n
        out.append("  p <= %.2f: %5.1f %% (%d of %d), SE %.1f %% (%.1f %% under the level), exact binomial p %.4f"
                   % (a, 100 * r, k, n, 100 * math.sqrt(r * (1 - r) / n), 100 * math.sqrt(a * (1 - a) / n),
                      binomial_two_sided(k, n, a)))
    d, p = ks_uniform(ps)
    dd, pd = ks_uniform(ps, perms + 1)
    out.append("  KS against U(0, 1): D = %.4f, p = %.4f; against k/%d at its points: D = %.4f, p = %.4f"
               % (d, p, perms + 1, dd, pd))
    bins = [0] * 10
    for v in ps:
        bins[min(9, int(v * 10 - 1e-12))] += 1
    out.append("  deciles of p: " + " ".join("%d" % b for b in bins) + "  (%.1f each if flat)" % (n / 10))
    return out


# ------------------------------------------- a model of the test, in Python

def readpooled(path):
    """t, p (degrees) and each line's specimen: Anglepick's SaveData lines
    "t<TAB>p<TAB>slab<TAB> % specimen N (ID)". A specimen is a run of
    consecutive lines with the same slab and comment (files of several slabs
    joined end to end keep their specimens apart); a line without a comment
    (a Birch file) has no specimen (None)."""
    t, p, owner = [], [], []
    last, count = None, 0
    with open(path) as f:
        for line in f:
            body, _, comment = line.partition("%")
            fields = body.split()
            if not fields:
                break
            key = (tuple(fields[2:3]), comment.strip()) if comment.strip() else None
            if key is not None and key != last:
                count += 1
            last = key
            t.append(float(fields[0]))
            p.append(float(fields[1]))
            owner.append(count if key is not None else None)
    return t, p, owner


def conic(sums):
    """R and theta' (radians, the long axis's bearing) of the least-squares
    conic a x^2 + b y^2 + c x y = 1 through vertices, from the sums over
    them of z z' and z, z = (x^2, y^2, x y), in the order zz' (11, 22, 33,
    12, 13, 23) then z: the normal equations. (inf, nan) when the conic is
    no ellipse, (nan, nan) when the sums determine none."""
    a11, a22, a33, a12, a13, a23, b1, b2, b3 = sums
    det = a11 * (a22 * a33 - a23 * a23) - a12 * (a12 * a33 - a23 * a13) + a13 * (a12 * a23 - a22 * a13)
    if det == 0 or not math.isfinite(det):
        return math.nan, math.nan
    a = (b1 * (a22 * a33 - a23 * a23) - a12 * (b2 * a33 - a23 * b3) + a13 * (b2 * a23 - a22 * b3)) / det
    b = (a11 * (b2 * a33 - a23 * b3) - b1 * (a12 * a33 - a23 * a13) + a13 * (a12 * b3 - b2 * a13)) / det
    c = (a11 * (a22 * b3 - b2 * a23) - a12 * (a12 * b3 - b2 * a13) + b1 * (a12 * a23 - a22 * a13)) / det
    root = math.hypot((a - b) / 2, c / 2)
    l1, l2 = (a + b) / 2 - root, (a + b) / 2 + root
    if not l1 > 0:
        return math.inf, math.nan
    return math.sqrt(l2 / l1), (-0.5 * math.atan2(c, a - b)) % math.pi


class WellmanModel:
    """The analytic Wellman fit and its R^2 as Restrain computes them (the
    vertex in its sine form, the same point as the slopes give), for the
    p of some rows put beside the t of others."""

    def __init__(self, t, p):
        rad = math.pi / 180
        self.t = [v * rad for v in t]
        self.p = [v * rad for v in p]
        self.st = [math.sin(v) for v in self.t]
        self.ct = [math.cos(v) for v in self.t]
        self.sp = [math.sin(v) for v in self.p]
        self.cp = [math.cos(v) for v in self.p]

    def r2(self, pairing):
        """R^2 of the fit to the pairs (t of row i, p of row k) for (i, k)
        in pairing; NaN when the conic is no ellipse."""
        st, ct, sp, cp = self.st, self.ct, self.sp, self.cp
        s11 = s22 = s33 = s12 = s13 = s23 = b1 = b2 = b3 = 0.0
        for i, k in pairing:
            # Vertex: (0, -1) + 2 sin(t + p) / sin p * (sin t, cos t).
            s = 2 * (st[i] * cp[k] + ct[i] * sp[k]) / sp[k]
            x, y = s * st[i], s * ct[i] - 1
            z1, z2, z3 = x * x, y * y, x * y
            s11 += z1 * z1; s22 += z2 * z2; s33 += z3 * z3
            s12 += z1 * z2; s13 += z1 * z3; s23 += z2 * z3
            b1 += z1; b2 += z2; b3 += z3
        R, thetap = conic((s11, s22, s33, s12, s13, s23, b1, b2, b3))
        if not math.isfinite(R):
            return float("nan")
        rs2 = R * R
        chi2 = sumy = sumy2 = 0.0
        for i, k in pairing:
            tanphi = math.tan(self.t[i] - thetap)
            gamma = (1 - rs2) * tanphi / (1 + rs2 * tanphi * tanphi)
            d = self.p[k] - math.atan2(1, gamma)
            chi2 += d * d
            sumy += self.p[k]
            sumy2 += self.p[k] * self.p[k]
        sst = sumy2 - sumy * sumy / len(pairing)
        return 1.0 if sst == 0 else 1 - chi2 / sst


def modelp(t, p, owner, perms, seed):
    """p values of the pair-level and the specimen-level permutation test
    ("" for the latter when the pairs' specimens are not known)."""
    model = WellmanModel(t, p)
    m = len(t)
    observed = model.r2([(i, i) for i in range(m)])
    rng = random.Random(seed)

    def pvalue(draw):
        if math.isnan(observed):
            return 1.0
        better = sum(1 for _ in range(perms) if model.r2(draw()) >= observed)
        return (1 + better) / (1 + perms)

    def pairs():
        order = list(range(m))
        rng.shuffle(order)
        return list(enumerate(order))

    out = {"model_pairs": pvalue(pairs), "model_specimens": ""}
    if all(s is not None for s in owner):
        members = {}
        for i, s in enumerate(owner):
            members.setdefault(s, []).append(i)
        members = list(members.values())

        def specimens():
            # Specimen j's t (that of its first row) goes to every p of
            # specimen perm[j]: a p set moves whole, whatever its size.
            perm = list(range(len(members)))
            rng.shuffle(perm)
            return [(members[j][0], k) for j, src in enumerate(perm) for k in members[src]]

        out["model_specimens"] = pvalue(specimens)
    return out


def readcsv(path):
    """The rows of a CSV of per-bed results written before (none for no file)."""
    if not path or not os.path.exists(path):
        return []
    with open(path) as f:
        return list(csv.DictReader(f))


# ------------------------------------------------------------- the programs

def run(cmd, **kw):
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    return subprocess.run(cmd, capture_output=True, text=True, env=env, **kw)


def onebed(args, seed, work):
    """One bed through the programs: the p values of the report, by name, or
    the reason it gave none."""
    out = os.path.join(work, "s%d" % seed)
    sample = [sys.executable, MAKE_SAMPLE, "--seed", str(seed), "--R", str(args.R), "--theta", str(args.theta),
              "--n", str(args.n), "--noise", str(args.noise), "--out", out]
    if args.midline_error > 0:
        sample += ["--midline-error", str(args.midline_error)]
    if args.decimals != 2:
        sample += ["--decimals", str(args.decimals)]
    r = run(sample)
    if r.returncode != 0:
        raise SystemExit("make_sample.py failed: " + r.stderr)
    folder = os.path.join(out, "deformed_sample")
    tp = os.path.join(out, "tp.txt")
    with open(os.path.join(out, "angles.txt"), "w") as f:
        f.write("LoadData %s\nLoadProto %s\nset SlabBox 1\nSaveData %s\n"
                % (os.path.join(folder, "deformed.tps"), os.path.join(folder, "protocol.txt"), tp))
    r = run([os.path.join(args.bin, "anglepick"), "--quiet", "--run", os.path.join(out, "angles.txt")])
    if r.returncode != 0:
        return {"status": "anglepick: " + (r.stderr.strip().splitlines() or ["exit %d" % r.returncode])[0]}
    with open(os.path.join(out, "test.txt"), "w") as f:
        f.write("LoadAllTP %s\nset PBox %d\nPermuteWellman\n" % (tp, args.perms))
    r = run([os.path.join(args.bin, "restrain"), "--quiet", "--seed", str(seed), "--run", os.path.join(out, "test.txt")])
    row = {"status": "ok"}
    if r.returncode != 0:
        lines = [l for l in r.stderr.strip().splitlines() if not l.startswith("restrain: random seed")]
        row["status"] = "restrain: " + (lines[0] if lines else "exit %d" % r.returncode)
    else:
        for name, pattern in args.patterns.items():
            m = re.search(pattern, r.stdout)
            row[name] = float(m.group(1)) if m else ""
    if args.python_check:
        t, p, owner = readpooled(tp)
        row.update(modelp(t, p, owner, args.perms, seed))
    return row


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--bin", default="build/bin", help="folder of the programs (anglepick, restrain)")
    ap.add_argument("--sets", type=int, default=500, help="number of simulated beds")
    ap.add_argument("--first-seed", type=int, default=1)
    ap.add_argument("--perms", type=int, default=199, help="permutations per test (PBox)")
    ap.add_argument("--n", type=int, default=60, help="specimens per bed")
    ap.add_argument("--R", type=float, default=1.0)
    ap.add_argument("--theta", type=float, default=35.0)
    ap.add_argument("--noise", type=float, default=1.0, help="digitising noise, pixels")
    ap.add_argument("--midline-error", type=float, default=0.0, help="SD (degrees) of each specimen's shared midline error")
    ap.add_argument("--decimals", type=int, default=2, help="decimals of the pixel coordinates")
    ap.add_argument("--pvalue", action="append", default=[], metavar="NAME=REGEX",
                    help="another p value of the report to collect (first group)")
    ap.add_argument("--python-check", action="store_true", help="also the model's pair- and specimen-level tests")
    ap.add_argument("--csv", help="append per-bed results here; seeds already in it are skipped")
    ap.add_argument("--summary", metavar="CSV", help="only print the tables of a CSV written before")
    ap.add_argument("--keep", help="keep the beds in this folder (default: a temporary one, removed)")
    args = ap.parse_args()
    args.patterns = dict(PVALUES)
    for item in args.pvalue:
        name, _, pattern = item.partition("=")
        args.patterns[name] = pattern

    rows = readcsv(args.summary or args.csv)
    if not args.summary:
        done = {int(r["seed"]) for r in rows}
        fields = ["seed", "status"] + list(args.patterns) + (["model_pairs", "model_specimens"] if args.python_check else [])
        sink = None
        if args.csv:
            fresh = not os.path.exists(args.csv) or os.path.getsize(args.csv) == 0
            sink = open(args.csv, "a", newline="")
            writer = csv.DictWriter(sink, fieldnames=fields, extrasaction="ignore")
            if fresh:
                writer.writeheader()
        with tempfile.TemporaryDirectory() as tmp:
            work = args.keep or tmp
            for seed in range(args.first_seed, args.first_seed + args.sets):
                if seed in done:
                    continue
                row = {"seed": seed, **onebed(args, seed, work)}
                rows.append({k: str(v) for k, v in row.items()})
                if sink:
                    writer.writerow(row)
                    sink.flush()
                if row["status"] != "ok":
                    print("seed %d: %s" % (seed, row["status"]), file=sys.stderr)
                if not args.keep:
                    subprocess.run(["rm", "-rf", os.path.join(work, "s%d" % seed)])
        if sink:
            sink.close()

    ok = [r for r in rows if r["status"] == "ok"]
    print("%d beds, %d tested, %d stopped (%s); R = %g, %d specimens, noise %g px, midline error %g deg, %d permutations"
          % (len(rows), len(ok), len(rows) - len(ok),
             "; ".join(sorted({r["status"] for r in rows if r["status"] != "ok"}))[:300] or "none",
             args.R, args.n, args.noise, args.midline_error, args.perms))
    names = [k for k in (rows[0].keys() if rows else []) if k not in ("seed", "status")]
    for name in names:
        ps = [float(r[name]) for r in ok if r.get(name) not in (None, "")]
        print("\n".join(summary(name, ps, args.perms)))


if __name__ == "__main__":
    main()
