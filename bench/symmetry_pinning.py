#!/usr/bin/env python3
"""Why Symrestore's per-specimen theta' can collapse onto the bed's: a model
of UnDeform's fits (tectfix2) in this script, run on one data set.

UnDeform first fits one free strain R(p1) diag(p2, 1/p2) R(p3) (and a shift
p4, p5) to the whole bed, then fits each specimen on its own by Nelder-Mead
started at the bed's parameters (the anchor), with the minimiser's default
settings. The minimiser's first simplex moves each start coordinate by 5 %
of itself (0.00025 when it is 0), so where the bed's turns p1 and p3 are
near 0 (a strain along the axes: theta' 0 or 90) the simplex is a hair wide
in the two turns; it meets the stopping test (TolX 1e-4 and TolFun 1e-4,
absolute) before it has moved them, and every specimen keeps the bed's
orientation. This script shows it: for each specimen it gives theta' of

  * the fit as UnDeform makes it (default settings, from the anchor),
  * the same objective minimised from the anchor with a first simplex of
    0.05 rad in the turns (and 5 % of the stretch), TolX and TolFun 1e-10,
  * the lowest score along a scan of the second turn p3 about the anchor,
    every other parameter re-fitted (the profile),
  * the fit as UnDeform makes it since the mend: from the anchor with the
    same first simplex, TolX and TolFun 1e-9, at most 5000 iterations,

and the spread (5-95 %) of each over the specimens.

Usage:
    python3 scripts/make_sample.py --R 1.5 --theta 0 --seed 1 --out /tmp/s1
    python3 bench/symmetry_pinning.py /tmp/s1/deformed_sample/deformed.txt /tmp/s1/deformed_sample/pairs.txt

Standard library only (slow: about a minute for 60 specimens).
"""

import argparse
import math

PULL = 1e-1


# ------------------------------------------------------------- Nelder-Mead

def fminsearch(f, x0, tolx=1e-4, tolfun=1e-4, maxiter=0, maxfunevals=0, steps=None):
    """Nelder-Mead as the suite's minimiser (Lagarias et al.): reflection 1,
    expansion 2, contraction 0.5, shrink 0.5; first simplex 5 % of each
    non-zero start coordinate, 0.00025 for a zero one (or `steps`)."""
    n = len(x0)
    maxiter = maxiter or 200 * n
    maxfunevals = maxfunevals or 200 * n
    evals = [0]

    def ev(p):
        evals[0] += 1
        v = f(p)
        return math.inf if v != v else v

    simplex = [list(x0)]
    for i in range(n):
        t = list(x0)
        if steps is not None:
            t[i] += steps[i]
        else:
            t[i] = 1.05 * t[i] if t[i] != 0 else 0.00025
        simplex.append(t)
    fv = [ev(p) for p in simplex]
    it = 0

    def spacing(x):
        x = abs(x)
        return math.nextafter(x, math.inf) - x

    while True:
        order = sorted(range(n + 1), key=lambda k: fv[k])  # stable
        simplex = [simplex[k] for k in order]
        fv = [fv[k] for k in order]
        fspread = max(abs(v - fv[0]) for v in fv[1:])
        xspread = max(abs(simplex[k][i] - simplex[0][i]) for k in range(1, n + 1) for i in range(n))
        scale = max(abs(v) for v in simplex[0])
        if fspread <= max(tolfun, 10 * spacing(fv[0])) and xspread <= max(tolx, 10 * spacing(scale)):
            break
        if it >= maxiter or evals[0] >= maxfunevals:
            break
        it += 1
        c = [sum(simplex[k][i] for k in range(n)) / n for i in range(n)]
        w = simplex[n]
        r = [c[i] + (c[i] - w[i]) for i in range(n)]
        fr = ev(r)
        if fr < fv[0]:
            e = [c[i] + 2 * (r[i] - c[i]) for i in range(n)]
            fe = ev(e)
            simplex[n], fv[n] = (e, fe) if fe < fr else (r, fr)
        elif fr < fv[n - 1]:
            simplex[n], fv[n] = r, fr
        else:
            outside = fr < fv[n]
            t = [c[i] + 0.5 * (r[i] - c[i]) for i in range(n)] if outside else [c[i] - 0.5 * (c[i] - w[i]) for i in range(n)]
            ft = ev(t)
            if (ft <= fr) if outside else (ft < fv[n]):
                simplex[n], fv[n] = t, ft
            else:
                for k in range(1, n + 1):
                    simplex[k] = [simplex[0][i] + 0.5 * (simplex[k][i] - simplex[0][i]) for i in range(n)]
                    fv[k] = ev(simplex[k])
    return simplex[0], fv[0], it, evals[0]


# -------------------------------------------------------- 2 x 2 arithmetic

def mul(a, b):
    return [[a[0][0] * b[0][0] + a[0][1] * b[1][0], a[0][0] * b[0][1] + a[0][1] * b[1][1]],
            [a[1][0] * b[0][0] + a[1][1] * b[1][0], a[1][0] * b[0][1] + a[1][1] * b[1][1]]]


def rot(t):
    c, s = math.cos(t), math.sin(t)
    return [[c, -s], [s, c]]


def freestrain(p):
    return mul(mul(rot(p[0]), [[p[1], 0], [0, 1 / p[1]]]), rot(p[2]))


def symeig(m):
    """Eigenvalues (ascending) and the unit eigenvector of the smaller, of a
    symmetric 2 x 2."""
    a, b, h = m[0][0], m[1][1], m[0][1]
    root = math.hypot((a - b) / 2, h)
    l1, l2 = (a + b) / 2 - root, (a + b) / 2 + root
    phi = 0.5 * math.atan2(2 * h, a - b) + math.pi / 2  # direction of the smaller
    return l1, l2, (math.cos(phi), math.sin(phi))


def stretchtensor(a):
    ata = mul([[a[0][0], a[1][0]], [a[0][1], a[1][1]]], a)
    l1, l2, (c, s) = symeig(ata)
    r1, r2 = math.sqrt(max(l1, 0)), math.sqrt(max(l2, 0))
    # V diag(r1, r2) V' with V = [(c, s), (-s, c)]
    return [[r1 * c * c + r2 * s * s, (r1 - r2) * c * s], [(r1 - r2) * c * s, r1 * s * s + r2 * c * c]]


def thetaprime(undo):
    """theta' (degrees, [0, 180)) of the strain that `undo` removes: the
    direction it shortens most, as a bearing from +y."""
    ata = mul([[undo[0][0], undo[1][0]], [undo[0][1], undo[1][1]]], undo)
    _, _, (vx, vy) = symeig(ata)
    return math.degrees(math.atan2(vx, vy)) % 180


# --------------------------------------------------------------- objective

def spread(D, E):
    pts = D + E
    cx = sum(p[0] for p in pts) / len(pts)
    cy = sum(p[1] for p in pts) / len(pts)
    s = sum((p[0] - cx) ** 2 + (p[1] - cy) ** 2 for p in pts) / len(pts)
    return s if s > 0 else 1


def misfit(l, r):
    n = len(l)
    lx = sum(p[0] for p in l) / n; ly = sum(p[1] for p in l) / n
    rx = sum(p[0] for p in r) / n; ry = sum(p[1] for p in r) / n
    a = b = tot = 0.0
    for (x1, y1), (x2, y2) in zip(l, r):
        x1 -= lx; y1 -= ly; x2 -= rx; y2 -= ry
        a += x1 * x2 - y1 * y2
        b += x1 * y2 + y1 * x2
        tot += x1 * x1 + y1 * y1 + x2 * x2 + y2 * y2
    return (tot - 2 * math.hypot(a, b)) / tot


def score2(p, D, E, sp, anchor):
    if p[1] == 0 or any(v != v or abs(v) == math.inf for v in p):
        return math.inf
    m = freestrain(p)
    sx, sy = p[3], p[4]
    l = [(m[0][0] * x + m[0][1] * y - sx, m[1][0] * x + m[1][1] * y - sy) for x, y in D]
    r = [(m[0][0] * x + m[0][1] * y - sx, m[1][0] * x + m[1][1] * y - sy) for x, y in E]
    st = stretchtensor(m)
    pull = sum((st[i][j] - anchor[1][i][j]) ** 2 for i in range(2) for j in range(2)) + (p[0] - anchor[0][0]) ** 2
    return math.sqrt(max(misfit(l, r), 0)) + PULL * (pull + (sx * sx + sy * sy) / sp)


def anchorof(p):
    return (list(p), stretchtensor(freestrain(p)))


# -------------------------------------------------------------------- main

def quantile(v, q):
    v = sorted(v)
    at = q * (len(v) - 1)
    lo = int(math.floor(at)); hi = min(lo + 1, len(v) - 1)
    return v[lo] + (at - lo) * (v[hi] - v[lo])


def offsets(values, joint):
    return [((v - joint + 450) % 180) - 90 for v in values]


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("data", help="row-format data set (x1 y1 ... xk yk size)")
    ap.add_argument("pairs", help="pairs file")
    ap.add_argument("--specimens", type=int, default=0, help="only the first N specimens (0: all)")
    ap.add_argument("--scan", type=float, default=3.0, help="half-width of the scan of p3, degrees")
    args = ap.parse_args()

    rows = [[float(v) for v in line.split()] for line in open(args.data) if line.strip()]
    pairs = [[int(float(v)) for v in line.split()] for line in open(args.pairs) if line.strip()]
    if args.specimens:
        rows = rows[:args.specimens]
    halves = []
    for r in rows:
        D = [(r[2 * a - 2], r[2 * a - 1]) for a, _ in pairs]
        E = [(r[2 * b - 2], r[2 * b - 1]) for _, b in pairs]
        halves.append((D, E, spread(D, E)))

    identity = anchorof([0, 1, 0, 0, 0])

    def joint(p):
        return sum(score2(p, D, E, sp, identity) for D, E, sp in halves) / len(halves)

    best, bestv = [0, 1, 0, 0, 0], joint([0, 1, 0, 0, 0])
    for s in (0, math.pi / 4, math.pi / 2, 3 * math.pi / 4):
        x, v, _, _ = fminsearch(joint, [0, 1.3, s, 0, 0], 1e-9, 1e-9, 4000, 8000)
        if v < bestv:
            best, bestv = x, v
    tj = thetaprime(freestrain(best))
    # The bed's strain has two parameter vectors of one score: turning both
    # halves by a half turn (p3 + pi, the map negated) changes neither the
    # misfit nor the stretch tensor. Which one the bed's fit ends on decides
    # the width of the specimens' first simplex in p3.
    near0 = list(best); near0[2] = math.remainder(best[2], math.pi)
    nearpi = list(near0); nearpi[2] += math.pi if near0[2] <= 0 else -math.pi
    if abs(nearpi[2]) < abs(math.pi - abs(nearpi[2])):
        nearpi[2] += math.pi
    print("bed: R = %.4f, theta' = %.3f deg, score %.6g; p = [%s]" % (max(best[1], 1 / best[1]) ** 2, tj, bestv,
                                                                   ", ".join("%.6g" % v for v in best)))
    for name, a in (("p3 near 0", near0), ("p3 near pi", nearpi)):
        print("  as %-10s: p1 = %.3g, p3 = %.6g, score %.6g; first simplex in p1, p3: %.2e, %.2e rad"
              % (name, a[0], a[2], joint(a), abs(0.05 * a[0]) or 2.5e-4, abs(0.05 * a[2]) or 2.5e-4))

    cols = {"from p3 near 0": [], "from p3 near pi": [], "wide first simplex": [], "tolerances 1e-9": []}
    prof, drops = [], []
    print("specimen  theta' from the anchor with p3 near 0 / near pi (UnDeform's settings) / with a wide first "
          "simplex; profile minimum of p3 - anchor (deg); score left above the wide fit's from p3 near 0")
    for i, (D, E, sp) in enumerate(halves):
        t = []
        for a in (near0, nearpi):
            anchor = anchorof(a)
            f = lambda p: score2(p, D, E, sp, anchor)
            x, fx, it, _ = fminsearch(f, a)
            t.append((thetaprime(freestrain(x)), it, fx))
        anchor = anchorof(near0)
        f = lambda p: score2(p, D, E, sp, anchor)
        x2, f2, _, _ = fminsearch(f, near0, 1e-10, 1e-10, 4000, 8000,
                                 steps=[0.05, 0.05 * near0[1], 0.05, 1e-3 * math.sqrt(sp), 1e-3 * math.sqrt(sp)])
        # Profile along p3: the others re-fitted at each value, from x2.
        grid = [near0[2] + math.radians(args.scan) * k / 10 for k in range(-10, 11)]
        values = []
        for g in grid:
            sub = lambda q: f([q[0], q[1], g, q[2], q[3]])
            _, v, _, _ = fminsearch(sub, [x2[0], x2[1], x2[3], x2[4]], 1e-10, 1e-10, 2000, 4000,
                                    steps=[0.02, 0.02, 1e-3 * math.sqrt(sp), 1e-3 * math.sqrt(sp)])
            values.append(v)
        k = min(range(len(grid)), key=lambda j: values[j])
        cols["from p3 near 0"].append(t[0][0])
        cols["from p3 near pi"].append(t[1][0])
        cols["wide first simplex"].append(thetaprime(freestrain(x2)))
        # UnDeform's fit since the fix: from the anchor as before, its first
        # simplex as before, held to TolX and TolFun 1e-9.
        x3, _, _, _ = fminsearch(f, near0, 1e-9, 1e-9, 5000, 5000)
        cols["tolerances 1e-9"].append(thetaprime(freestrain(x3)))
        prof.append(math.degrees(grid[k] - near0[2]))
        drops.append(t[0][2] - f2)
        print("%8d  %9.4f (%3d it)  %9.4f (%3d it)  %9.4f  %6.2f  %.1e" % (i + 1, t[0][0], t[0][1], t[1][0], t[1][1],
                                                                          cols["wide first simplex"][-1], prof[-1],
                                                                          drops[-1]))

    for name, v in cols.items():
        o = offsets(v, tj)
        print("%-19s theta' 5-95 %% offsets from the bed %.3f to %.3f deg; %d of %d specimens within 0.05 deg of "
              "the bed" % (name + ":", quantile(o, 0.05), quantile(o, 0.95), sum(1 for d in o if abs(d) < 0.05), len(o)))
    print("%-19s median %.1e, largest %.1e (the minimiser's TolFun is 1e-4)" % ("score left:", quantile(drops, 0.5),
                                                                               max(drops)))
    print("%-19s 5-95 %% %.2f to %.2f deg" % ("profile minima:", quantile(prof, 0.05), quantile(prof, 0.95)))


if __name__ == "__main__":
    main()
