#!/usr/bin/env python3
"""A model of a specimen bootstrap of the Wellman fit, to choose its
interval before it is built: the coverage and width of percentile, BC
(bias-corrected) and BCa intervals for R and theta', analytic and numerical
fits, on simulated beds of known strain.

Each bed comes from scripts/make_sample.py (--R, --theta, --n specimens,
--noise px) and Anglepick's SaveData (so t and p are measured as the suite
measures them). The bootstrap draws specimens with replacement, a specimen
bringing all its pairs; its fits are worked from sums kept per specimen:

  * analytic: the least-squares conic a x^2 + b y^2 + c x y = 1 through the
    Wellman vertices, from the normal equations, whose nine sums over a
    specimen's pairs add over the drawn specimens;
  * numerical: the Chi^2 of the predicted p, which over a specimen's pairs
    (one t) is n_i (mean p_i - pred_i)^2 plus a constant, minimised by
    Gauss-Newton (Levenberg-Marquardt) from the whole bed's fit.

R is taken >= 1 (R and 1/R with theta' turned by 90 degrees are one
ellipse), theta' as an axis: its bootstrap values as offsets from the bed's
estimate in (-90, 90]. BCa's acceleration comes from the jackknife over
specimens.

Usage (one cell, or several as R,theta,n,noise;...):

    nice -n 10 python3 bench/bootstrap_pilot.py --bin build/bin --cells "1.2,0,15,30" --beds 100 --B 1000

Standard library only.
"""

import argparse
import math
import os
import random
import statistics
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
from permutation_null import conic, readpooled, run, MAKE_SAMPLE  # noqa: E402

NORMAL = statistics.NormalDist()
RAD = math.pi / 180


def vertex(t, p):
    s = 2 * math.sin(t + p) / math.sin(p)
    return s * math.sin(t), s * math.cos(t) - 1


class Bed:
    """A bed's pairs, summed per specimen."""

    def __init__(self, t, p, owner):
        groups = {}
        for ti, pi, si in zip(t, p, owner):
            groups.setdefault(si, []).append((ti * RAD, pi * RAD))
        self.S, self.n, self.pbar, self.t = [], [], [], []
        for pairs in groups.values():
            s = [0.0] * 9  # zz' (xx, yy, zz, xy, xz, yz) and z
            for ti, pi in pairs:
                x, y = vertex(ti, pi)
                z = (x * x, y * y, x * y)
                s[0] += z[0] * z[0]; s[1] += z[1] * z[1]; s[2] += z[2] * z[2]
                s[3] += z[0] * z[1]; s[4] += z[0] * z[2]; s[5] += z[1] * z[2]
                s[6] += z[0]; s[7] += z[1]; s[8] += z[2]
            self.S.append(s)
            self.n.append(len(pairs))
            self.pbar.append(sum(q for _, q in pairs) / len(pairs))
            self.t.append(pairs[0][0])
        self.m = len(self.S)

    def analytic(self, w):
        s = [0.0] * 9
        for wi, si in zip(w, self.S):
            if wi:
                for k in range(9):
                    s[k] += wi * si[k]
        return conic(s)

    def numerical(self, w, R, th):
        """Least Chi^2 by Levenberg-Marquardt from (R, th)."""
        def cost_and_steps(R, th, lam):
            jtj = [0.0, 0.0, 0.0]; jtr = [0.0, 0.0]; cost = 0.0
            for wi, ni, pb, ti in zip(w, self.n, self.pbar, self.t):
                if not wi:
                    continue
                f = wi * ni
                s, c = math.sin(ti - th), math.cos(ti - th)
                d = c * c + R * R * s * s
                g = (1 - R * R) * s * c / d
                r = pb - (math.pi / 2 - math.atan(g))
                k = 1 / (1 + g * g)
                jr = k * (-2 * R * s * c / (d * d))
                jt = -k * (1 - R * R) * (c * c - R * R * s * s) / (d * d)
                cost += f * r * r
                jtj[0] += f * jr * jr; jtj[1] += f * jr * jt; jtj[2] += f * jt * jt
                jtr[0] += f * jr * r; jtr[1] += f * jt * r
            return cost, jtj, jtr

        lam = 1e-3
        cost, jtj, jtr = cost_and_steps(R, th, lam)
        for _ in range(100):
            a, b, c = jtj[0] * (1 + lam), jtj[1], jtj[2] * (1 + lam)
            det = a * c - b * b
            if det == 0:
                break
            dR = -(c * jtr[0] - b * jtr[1]) / det
            dt = -(a * jtr[1] - b * jtr[0]) / det
            new = cost_and_steps(R + dR, th + dt, lam)
            if new[0] <= cost:
                R, th = R + dR, th + dt
                done = abs(dR) < 1e-10 and abs(dt) < 1e-10
                cost, jtj, jtr = new
                lam = max(lam / 10, 1e-12)
                if done:
                    break
            else:
                lam *= 10
                if lam > 1e12:
                    break
        R = abs(R)  # the prediction reads R^2 only
        if R < 1:
            R, th = 1 / R, th + math.pi / 2
        return R, th % math.pi


def wrap(d):
    """An axial difference in radians, into (-pi/2, pi/2]."""
    return -((-d + math.pi / 2) % math.pi - math.pi / 2)


def t_quantile(q, nu):
    """Student's t quantile by the Cornish-Fisher series (to about 1e-5 for
    nu >= 10)."""
    z = NORMAL.inv_cdf(q)
    g = [(z ** 3 + z) / 4, (5 * z ** 5 + 16 * z ** 3 + 3 * z) / 96,
         (3 * z ** 7 + 19 * z ** 5 + 17 * z ** 3 - 15 * z) / 384,
         (79 * z ** 9 + 776 * z ** 7 + 1482 * z ** 5 - 1920 * z ** 3 - 945 * z) / 92160]
    return z + sum(gk / nu ** (k + 1) for k, gk in enumerate(g))


def intervals(est, boot, jack, offsets):
    """Percentile, expanded percentile, BC and BCa 95 % intervals (as values,
    or offsets from est when `offsets`). The expanded percentile interval
    (Hesterberg 2015) takes the percentiles at Phi(-sqrt(n / (n - 1))
    t(0.975, n - 1)) and its complement, n the specimens: the plain
    percentile interval is too narrow for few specimens."""
    if offsets:
        boot = [wrap(v - est) for v in boot]
        jack = [wrap(v - est) for v in jack]
        centre = 0.0
    else:
        centre = est
    good = sorted(v for v in boot if not math.isnan(v))
    B = len(good)

    def q(alpha):
        at = alpha * (B - 1)
        lo = int(math.floor(at)); hi = min(lo + 1, B - 1)
        a, b = good[lo], good[hi]
        if math.isinf(a) or math.isinf(b):
            return a if at == lo else b
        return a + (at - lo) * (b - a)

    below = sum(1 for v in good if v < centre) + 0.5 * sum(1 for v in good if v == centre)
    z0 = NORMAL.inv_cdf(min(max(below / B, 1e-6), 1 - 1e-6))
    jm = sum(jack) / len(jack)
    num = sum((jm - v) ** 3 for v in jack)
    den = 6 * sum((jm - v) ** 2 for v in jack) ** 1.5
    acc = num / den if den > 0 else 0.0
    n = len(jack)
    wide = NORMAL.cdf(-math.sqrt(n / (n - 1)) * t_quantile(0.975, n - 1))
    out = {"percentile": (q(0.025), q(0.975)), "expanded": (q(wide), q(1 - wide))}
    for name, a in (("BC", 0.0), ("BCa", acc)):
        ends = []
        for z in (NORMAL.inv_cdf(0.025), NORMAL.inv_cdf(0.975)):
            zz = z0 + (z0 + z) / (1 - a * (z0 + z))
            ends.append(q(NORMAL.cdf(zz)))
        out[name] = tuple(ends)
    return out


def bed_angles(args, R, theta, n, noise, seed, work):
    out = os.path.join(work, "b%d" % seed)
    r = run([sys.executable, MAKE_SAMPLE, "--seed", str(seed), "--R", str(R), "--theta", str(theta), "--n", str(n),
             "--noise", str(noise), "--out", out])
    if r.returncode:
        raise SystemExit(r.stderr)
    folder = os.path.join(out, "deformed_sample")
    tp = os.path.join(out, "tp.txt")
    with open(os.path.join(out, "a.txt"), "w") as f:
        f.write("LoadData %s/deformed.tps\nLoadProto %s/protocol.txt\nset SlabBox 1\nSaveData %s\n" % (folder, folder, tp))
    r = run([os.path.join(args.bin, "anglepick"), "--quiet", "--run", os.path.join(out, "a.txt")])
    if r.returncode:
        raise SystemExit(r.stderr)
    got = readpooled(tp)
    subprocess.run(["rm", "-rf", out])
    return got


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--bin", default="build/bin")
    ap.add_argument("--cells", default="1.2,0,15,30;1.2,35,60,30;2.5,90,15,30;1.8,35,60,1")
    ap.add_argument("--beds", type=int, default=100)
    ap.add_argument("--B", type=int, default=1000)
    ap.add_argument("--first-seed", type=int, default=1)
    args = ap.parse_args()

    methods = ("percentile", "expanded", "BC", "BCa")
    with tempfile.TemporaryDirectory() as work:
        for cell in args.cells.split(";"):
            R, theta, n, noise = (float(v) for v in cell.split(","))
            n = int(n)
            tally = {(fit, what, m): [0, 0.0, 0] for fit in ("analytic", "numerical") for what in ("R", "theta")
                     for m in methods}
            noellipse = 0
            bias = {(fit, what): [] for fit in ("analytic", "numerical") for what in ("R", "theta")}
            for seed in range(args.first_seed, args.first_seed + args.beds):
                bed = Bed(*bed_angles(args, R, theta, n, noise, seed, work))
                rng = random.Random(seed)
                one = [1] * bed.m
                Ra, ta = bed.analytic(one)
                Rn, tn = bed.numerical(one, max(Ra, 1.0) if math.isfinite(Ra) else 1.1, ta if ta == ta else 0.0)
                boot = {"analytic": [], "numerical": []}
                for _ in range(args.B):
                    w = [0] * bed.m
                    for _ in range(bed.m):
                        w[rng.randrange(bed.m)] += 1
                    boot["analytic"].append(bed.analytic(w))
                    boot["numerical"].append(bed.numerical(w, Rn, tn))
                jack = {"analytic": [], "numerical": []}
                for i in range(bed.m):
                    w = [1] * bed.m
                    w[i] = 0
                    jack["analytic"].append(bed.analytic(w))
                    jack["numerical"].append(bed.numerical(w, Rn, tn))
                noellipse += sum(1 for r, _ in boot["analytic"] if math.isinf(r))
                for fit, (Rhat, that) in (("analytic", (Ra, ta)), ("numerical", (Rn, tn))):
                    rs = intervals(Rhat, [r for r, _ in boot[fit]], [r for r, _ in jack[fit]], False)
                    ts = intervals(that, [t for _, t in boot[fit]], [t for _, t in jack[fit]], True)
                    truth_off = wrap(theta * RAD - that)
                    bias[(fit, "R")].append(Rhat - R)
                    bias[(fit, "theta")].append(-truth_off / RAD)
                    for m in methods:
                        lo, hi = rs[m]
                        k = tally[(fit, "R", m)]
                        k[0] += lo <= R <= hi; k[1] += hi - lo; k[2] += 1
                        lo, hi = ts[m]
                        k = tally[(fit, "theta", m)]
                        k[0] += lo <= truth_off <= hi; k[1] += (hi - lo) / RAD; k[2] += 1
            print("cell R %g, theta' %g, %d specimens, noise %g px: %d beds, %d resamples each%s"
                  % (R, theta, n, noise, args.beds, args.B,
                     ", %d analytic resamples gave no ellipse" % noellipse if noellipse else ""))
            for fit in ("analytic", "numerical"):
                for what in ("R", "theta"):
                    cells = []
                    for m in methods:
                        hit, width, count = tally[(fit, what, m)]
                        cells.append("%s %5.1f %% (width %.3g)" % (m, 100 * hit / count, width / count))
                    b = bias[(fit, what)]
                    print("  %-9s %-5s %s; estimate - truth: mean %.3g, SD %.3g" % (fit, what, "; ".join(cells),
                                                                                 statistics.fmean(b), statistics.stdev(b)))
            sys.stdout.flush()


if __name__ == "__main__":
    main()
