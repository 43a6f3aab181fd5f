#!/usr/bin/env python3
"""A model of the missing-landmark estimates, to choose the methods before
they are built: how far each method's estimate lands from the true place,
on real landmark sets with landmarks deleted at random, and when an
estimate must be refused.

Configurations are complex vectors (x + iy), one entry per landmark, NaN for
a missing one. For one specimen, P are its landmarks present and M those
missing. Every method works in one frame per pattern P: each training
specimen is fitted on its landmarks P onto the consensus's landmarks P
(centred on them, scaled to their size, turned by the least-squares
rotation), and so is the specimen; an estimate made there is carried back
by the inverse of the specimen's fit.

  mean        the training set's mean of M in that frame: the mean shape
              fitted on the landmarks present (the similarity fit).
  tps         the thin-plate spline from the consensus's P onto the
              specimen's P, evaluated at the consensus's M (warp/missing.cpp).
              It is linear in its targets: a fixed m x p matrix W per
              pattern, estimate = W z_P. Consensus landmarks within 1 % of
              its size of each other are one point to the spline (`merge`).
  regression  ridge regression of M on P over the training set in that
              frame (x and y of every landmark as variables, intercept
              free), the ridge parameter chosen by exact leave-one-out
              (closed form from one SVD of the centred predictors).
  neighbours  the 5 training specimens nearest over P (Procrustes distance
              in the frame), each carried onto the specimen by its own
              approximating thin-plate spline through its P (kernel
              diagonal + 0.01 x its squared centroid size), weights 1 / d.
  blend       the mean of regression and neighbours.
  regtps      (tried, left out of the default list) the ridge regression of
              the residuals of tps: it shrinks towards the spline.
  mirror      the missing member of a pair reflected across the specimen's
              least-squares axis of symmetry (warp/missing.cpp).
  auto        per pattern, each candidate's leave-one-out error over the
              training specimens that have M measured (delete M, estimate
              it from the others, measure); the least root-mean-square
              error wins; its mean error is the expected error reported.

Every method but mean is guarded: no estimated landmark lies farther from
the mean shape's estimate than the farthest training specimen's same
landmark does (in the frame). `refusal` gives the rule for refusing a
specimen. With few or no complete specimens, `gpamissing` superimposes on
the landmarks present from the most complete specimen, and `completeall`
estimates from all specimens (two rounds).

Errors are the distance from the true place in % of the specimen's
centroid size (all its landmarks). The lizards are 49 individuals
digitised twice: one replicate of each is used.

Usage (one core: nice -n 10; bench/missing_accuracy.md has the output):
    python3 bench/missing_accuracy.py table [--reps 10]   # jackknife: each specimen loses f % of its landmarks
    python3 bench/missing_accuracy.py cells [--reps 3]    # f % of all landmarks deleted: few complete specimens
    python3 bench/missing_accuracy.py nocomplete          # every specimen lacks one landmark
    python3 bench/missing_accuracy.py examples            # the two reported cases, with the refusal rule
    python3 bench/missing_accuracy.py conditioning        # specimens keeping 3-6 landmarks: when tps fails
    python3 bench/missing_accuracy.py spread              # two landmarks present: when they coincide
    python3 bench/missing_accuracy.py sweep               # neighbours' K, weights and smoothing
    python3 bench/missing_accuracy.py timing
    options: --sets plethodon,lizards,trilobites,sample --guard 1 (0: none) --merge 0.01 --K 5 --power 1

numpy only (python3-numpy).
"""

import argparse
import os
import sys
import time

import numpy as np

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
DATA = os.environ.get("TECTO_DATA", "/work/shared/data")


# ------------------------------------------------------------------ reading

def readrows(path):
    """Row format: x1 y1 ... xk yk size; NaN or NA for missing."""
    rows = []
    with open(path) as f:
        for line in f:
            w = line.split()
            if not w or w[0].startswith("%"):
                continue
            rows.append([float("nan") if v in ("NaN", "NA", "nan") else float(v) for v in w])
    a = np.array(rows)
    k = a.shape[1] // 2
    return a[:, 0:2 * k:2] + 1j * a[:, 1:2 * k:2]


def readtps(path):
    """The LM= blocks of a TPS file (curves ignored); -1 -1 is missing."""
    with open(path, newline="") as f:
        lines = [l.strip() for l in f.read().replace("\r", "").split("\n")]
    specs, ids, i = [], [], 0
    while i < len(lines):
        if lines[i].upper().startswith("LM="):
            n = int(lines[i][3:])
            pts = [tuple(map(float, lines[i + 1 + j].split()[:2])) for j in range(n)]
            z = np.array([complex(x, y) for x, y in pts])
            z[np.array([x == -1 and y == -1 for x, y in pts])] = np.nan
            specs.append(z)
            ids.append(str(len(specs)))
            i += n + 1
            continue
        if lines[i].upper().startswith("ID=") and ids:
            ids[-1] = lines[i][3:]
        i += 1
    return np.array(specs), ids


def readpairs(path):
    p = np.loadtxt(path, dtype=int)
    return [(a - 1, b - 1) for a, b in p]


def datasets():
    """name -> (complete specimens n x k, pair list or None)."""
    d = {}
    d["plethodon"] = (readrows(f"{DATA}/plethodon_12lm/plethodon.txt"), None)
    # 49 individuals digitised twice: one replicate each, or every
    # specimen's twin would stand beside it as its nearest neighbour.
    liz = readrows(f"{DATA}/lizards_podarcis/lizards.txt")[0::2]
    pairs = readpairs(f"{DATA}/lizards_podarcis/lm_pairs.txt") + [(j, j) for j in (0, 11, 17, 22)]
    d["lizards"] = (liz, pairs)
    tri, _ = readtps(f"{DATA}/trilomorph_cephala/cephala_tpsdig_all.tps")
    d["trilobites"] = (tri[~np.isnan(tri).any(axis=1)], None)
    smp = readrows(f"{ROOT}/examples/deformed_sample/deformed.txt")
    d["sample"] = (smp, readpairs(f"{ROOT}/examples/deformed_sample/pairs.txt"))
    return d


# ----------------------------------------------------------------- geometry

def csize(z):
    z = z[~np.isnan(z)]
    return np.sqrt(np.sum(np.abs(z - z.mean()) ** 2))


def gpa(Z, tol=7.450580596923829e-10):
    """Partial Procrustes consensus of complete rows (as getconsensus)."""
    Z = Z - Z.mean(axis=1, keepdims=True)
    Z = Z / np.sqrt(np.sum(np.abs(Z) ** 2, axis=1, keepdims=True))
    r = Z[0]
    for _ in range(1000):
        rot = np.sum(np.conj(Z) * r, axis=1)
        Y = Z * (rot / np.abs(rot))[:, None]
        new = Y.mean(axis=0)
        new = new / np.sqrt(np.sum(np.abs(new) ** 2))
        done = np.sum(np.abs(new - r) ** 2) <= tol
        r = new
        if done:
            break
    return r, Y


def fitonto(Z, P, refP):
    """Each row of Z fitted on its landmarks P onto refP: centred on them,
    scaled to refP's size over them, turned by the least-squares rotation,
    placed on refP's centroid. Returns the fitted rows and (a, zc, rc) with
    fitted = a (z - zc) + rc."""
    zc = Z[:, P].mean(axis=1)
    rc = refP.mean()
    A = Z[:, P] - zc[:, None]
    R = refP - rc
    rot = A.conj() @ R
    scale = np.sqrt(np.sum(np.abs(R) ** 2) / np.sum(np.abs(A) ** 2, axis=1))
    a = scale * rot / np.abs(rot)
    return a[:, None] * (Z - zc[:, None]) + rc, (a, zc, rc)


def tpsoperator(src, at, merge=0.0):
    """The m x p real matrix W such that the thin-plate spline through the
    source landmarks src (p complex) onto any targets t gives W t at the
    points `at` (m complex). Kernel r^2 log r^2, the thin-plate kernel of warp/thin_plate.cpp.

    Source landmarks closer together than `merge` times the source's
    centroid size are one point to the spline (at their mean, its target
    the mean of theirs): two coincident sources make the spline's matrix
    singular, and two nearly coincident ones with targets apart bend it
    without bound."""
    src = np.asarray(src)
    p = len(src)
    tol = merge * csize(src)
    label = np.arange(p)
    for i in range(p):
        for j in range(i + 1, p):
            if abs(src[i] - src[j]) <= tol and label[j] != label[i]:
                label[label == label[j]] = label[i]
    groups = np.unique(label)
    A = np.array([(label == g) / np.sum(label == g) for g in groups])  # c x p averaging
    reps = A @ src
    if len(reps) < 3 or lineratio(reps) < 1e-9:
        raise np.linalg.LinAlgError("fewer than three distinct source landmarks off one line")
    return _tpsoperator(reps, at) @ A


def _tpsoperator(src, at):
    p = len(src)

    def U(a, b):
        d = np.abs(a[:, None] - b[None, :]) ** 2
        with np.errstate(divide="ignore", invalid="ignore"):
            return np.where(d > 0, d * np.log(np.where(d > 0, d, 1)), 0.0)

    L = np.zeros((p + 3, p + 3))
    L[:p, :p] = U(src, src)
    Q = np.column_stack([np.ones(p), src.real, src.imag])
    L[:p, p:] = Q
    L[p:, :p] = Q.T
    E = np.column_stack([U(at, src), np.ones(len(at)), at.real, at.imag])
    # W = E L^-1 [:, :p]; solve with L symmetric.
    return np.linalg.solve(L, E.T).T[:, :p]


def tpsoperators(srcs, ats, smooth=0.0):
    """tpsoperator for a stack of sources (n x p) and points (n x m). With
    `smooth` > 0 the spline approximates: smooth times the source's squared
    centroid size is added to the kernel's diagonal, so that coincident
    source landmarks (which make the interpolating spline's matrix singular)
    take the mean of their targets."""
    n, p = srcs.shape
    d = np.abs(srcs[:, :, None] - srcs[:, None, :]) ** 2
    with np.errstate(divide="ignore", invalid="ignore"):
        K = np.where(d > 0, d * np.log(np.where(d > 0, d, 1)), 0.0)
        de = np.abs(ats[:, :, None] - srcs[:, None, :]) ** 2
        Ke = np.where(de > 0, de * np.log(np.where(de > 0, de, 1)), 0.0)
    L = np.zeros((n, p + 3, p + 3))
    L[:, :p, :p] = K
    if smooth > 0:
        ss = np.sum(np.abs(srcs - srcs.mean(axis=1, keepdims=True)) ** 2, axis=1)
        L[:, np.arange(p), np.arange(p)] += smooth * ss[:, None]
    Q = np.stack([np.ones((n, p)), srcs.real, srcs.imag], axis=2)
    L[:, :p, p:] = Q
    L[:, p:, :p] = Q.transpose(0, 2, 1)
    m = ats.shape[1]
    E = np.concatenate([Ke, np.ones((n, m, 1)), ats.real[:, :, None], ats.imag[:, :, None]], axis=2)
    return np.linalg.solve(L, E.transpose(0, 2, 1)).transpose(0, 2, 1)[:, :, :p]


def lineratio(z):
    """The root-mean-square distance of the points from their best line over
    their centroid size (0 on a line; 1/sqrt(2) for an isotropic cloud):
    s2 / sqrt(s1^2 + s2^2) of the centred points."""
    A = np.column_stack([z.real - z.real.mean(), z.imag - z.imag.mean()])
    s = np.linalg.svd(A, compute_uv=False)
    tot = np.sqrt(np.sum(s ** 2))
    return s[-1] / tot if tot > 0 else 0.0


def tpsgain(W):
    """How much the tps estimate moves per unit move of the landmarks
    present: the largest singular value of W (1 for a landmark that copies
    a present one; large when the spline extrapolates an ill-set affine
    part)."""
    return np.linalg.norm(W, 2)


# --------------------------------------------------------------- ridge LOO

LAMBDAS = np.logspace(-5, 3, 33)


def ridge(X, Y, x, lambdas=LAMBDAS):
    """Ridge regression of Y (n x q) on X (n x d) with an unpenalised
    intercept, the parameter (a multiple of the mean eigenvalue of the
    centred X'X) chosen by exact leave-one-out over `lambdas`. Returns the
    prediction at x (d,), the leave-one-out predictions (n x q) at the
    chosen parameter, and the parameter. An x whose leverage exceeds every
    left-out training row's (c^2 g / (1 - c g), g its leverage less 1/n,
    c = n / (n - 1)) is pulled back towards the mean onto the largest: the
    leave-one-out vouches for the regression no farther out."""
    n = X.shape[0]
    xm, ym = X.mean(axis=0), Y.mean(axis=0)
    Xc, Yc = X - xm, Y - ym
    U, s, Vt = np.linalg.svd(Xc, full_matrices=False)
    keep = s > s[0] * 1e-10 if len(s) else s > 0
    U, s, Vt = U[:, keep], s[keep], Vt[keep]
    scale = np.sum(s ** 2) / max(X.shape[1], 1)
    UtY = U.T @ Yc
    best = None
    for t in lambdas:
        lam = t * scale
        f = s ** 2 / (s ** 2 + lam)
        fit = U @ (f[:, None] * UtY)
        h = np.sum(U ** 2 * f, axis=1) + 1.0 / n
        res = (Yc - fit) / (1 - h)[:, None]
        press = np.sum(res ** 2)
        if best is None or press < best[0]:
            best = (press, lam, Y - res, t)
    _, lam, loo, t = best
    B = Vt.T @ ((s / (s ** 2 + lam))[:, None] * UtY)
    xc = x - xm
    g = np.sum(U ** 2 * (s ** 2 / (s ** 2 + lam)), axis=1)
    c = n / (n - 1)
    reach = np.max(np.where(c * g < 1, c * c * g / np.maximum(1 - c * g, 1e-300), np.inf))
    leverage = np.sum((Vt @ xc) ** 2 / (s ** 2 + lam))
    if leverage > reach:
        xc = xc * np.sqrt(reach / leverage)
    return ym + xc @ B, loo, t


def realcols(Zc):
    return np.concatenate([Zc.real, Zc.imag], axis=-1)


def complexcols(R, m):
    return R[..., :m] + 1j * R[..., m:]


# ------------------------------------------------------------------ methods

METHODS = ["mean", "tps", "regression", "neighbours", "blend", "mirror"]

# auto's variants: name -> (candidates, None for every method computed;
# the selection criterion over the leave-one-out errors).
AUTOS = {
    "auto": (None, "rms"),
    "auto, mean LOO": (None, "mean"),
    "stack": (["mean", "tps", "regression", "neighbours", "mirror"], "stack"),
}


class Pattern:
    """The training set (complete specimens, n x k) in the frame of one
    pattern of present landmarks P and missing M, with each method's
    leave-one-out estimates of M over the training set, and each method's
    estimate for a specimen with that pattern."""

    def __init__(self, train, consensus, P, M, pairs=None, K=5, power=1.0, wanted=METHODS, smooth=1e-2,
                 guard=1.0, measured=None, merge=1e-2):
        self.P, self.M = np.asarray(P), np.asarray(M)
        self.pairs = pairs
        self.K, self.power, self.smooth, self.guard = K, power, smooth, guard
        self.wanted = wanted
        self.train = train
        self.cons = consensus
        A, _ = fitonto(train, self.P, consensus[self.P])
        self.A = A
        self.AP, self.AM = A[:, self.P], A[:, self.M]
        self.n = len(train)
        # Training specimens whose M were measured: only they judge the
        # methods (the others' M are themselves estimates).
        self.measured = np.ones(self.n, bool) if measured is None else measured
        self.size = np.sqrt(np.sum(np.abs(A - A.mean(axis=1, keepdims=True)) ** 2, axis=1))
        try:
            self.W = tpsoperator(consensus[self.P], consensus[self.M], merge)
        except np.linalg.LinAlgError:
            self.W = None  # no spline through the consensus's P: tps is out
        self.loo = {}
        self._prepare()

    def _prepare(self):
        m = len(self.M)
        X, Y = realcols(self.AP), realcols(self.AM)
        if "mean" in self.wanted:
            tot = self.AM.sum(axis=0)
            self.loo["mean"] = (tot[None, :] - self.AM) / (self.n - 1)
        if "tps" in self.wanted and self.W is not None:
            self.loo["tps"] = self.AP @ self.W.T
        if "regression" in self.wanted:
            _, loo, self.ridget = ridge(X, Y, X[0])
            self.loo["regression"] = complexcols(loo, m)
        if "regtps" in self.wanted and self.W is not None:
            T = realcols(self.AP @ self.W.T)
            _, loo, self.lamt = ridge(X, Y - T, X[0])
            self.loo["regtps"] = complexcols(loo, m) + self.AP @ self.W.T
        # A training specimen whose P are (nearly) on one line carries no
        # spline: it is no neighbour.
        self.usable = np.array([lineratio(a) > 1e-6 for a in self.AP])
        if "neighbours" in self.wanted and self.usable.sum() >= 2:
            # Each training specimen's own spline through its P, onto any
            # specimen's P: W_l z_P carries l's M along.
            self.Wn = np.zeros((self.n, len(self.M), len(self.P)))
            self.Wn[self.usable] = tpsoperators(self.AP[self.usable], self.AM[self.usable], self.smooth)
            D = np.sqrt(np.sum(np.abs(self.AP[:, None, :] - self.AP[None, :, :]) ** 2, axis=2))
            D[:, ~self.usable] = np.inf
            np.fill_diagonal(D, np.inf)
            est = np.empty_like(self.AM)
            for j in range(self.n):
                est[j] = self._neighbours(self.AP[j], D[j])
            self.loo["neighbours"] = est
        if "knnmean" in self.wanted:
            D = np.sqrt(np.sum(np.abs(self.AP[:, None, :] - self.AP[None, :, :]) ** 2, axis=2))
            np.fill_diagonal(D, np.inf)
            self.loo["knnmean"] = np.array([self._knnmean(D[j]) for j in range(self.n)])
        if "blend" in self.wanted and "neighbours" in self.loo and "regression" in self.loo:
            self.loo["blend"] = (self.loo["regression"] + self.loo["neighbours"]) / 2
        # The guard: no estimate strays from the mean shape's further than
        # `guard` times the farthest training specimen's landmark does
        # (each landmark's reach; left out, the second farthest).
        dev = np.abs(self.AM - self.AM.mean(axis=0))
        order = np.argsort(-dev, axis=0)
        self.reach = dev[order[0], np.arange(len(self.M))]
        second = dev[order[1], np.arange(len(self.M))] if self.n > 1 else self.reach
        reachloo = np.where(np.arange(self.n)[:, None] == order[0][None, :], second[None, :], self.reach[None, :])
        if self.guard is not None:
            base = (self.AM.sum(axis=0)[None, :] - self.AM) / (self.n - 1)
            for k in self.loo:
                if k != "mean":
                    self.loo[k] = clip(self.loo[k], base, self.guard * reachloo)
        if "mirror" in self.wanted and self.pairs is not None and mirrorable(self.M, self.P, self.pairs):
            self.loo["mirror"] = np.array([mirror(a, self.M, self.pairs) for a in self.A])

    def _neighbours(self, zP, d):
        K = min(self.K, int(np.sum(np.isfinite(d))))
        idx = np.argsort(d)[:K]
        w = 1.0 / np.maximum(d[idx], 1e-12) ** self.power
        w /= w.sum()
        return np.einsum("l,lmp,p->m", w, self.Wn[idx], zP)

    def _knnmean(self, d):
        K = min(self.K, int(np.sum(np.isfinite(d))))
        idx = np.argsort(d)[:K]
        w = 1.0 / np.maximum(d[idx], 1e-12) ** self.power
        return (w / w.sum()) @ self.AM[idx]

    def looerrors(self):
        """Per method, the leave-one-out error of each training specimen
        that has M measured (not estimated): mean over M of the distance in
        % of its centroid size."""
        rows = self.measured
        return {k: 100 * np.mean(np.abs(v[rows] - self.AM[rows]), axis=1) / self.size[rows]
                for k, v in self.loo.items()}

    def estimate(self, z, method):
        """The estimate of M for the specimen z (k complex, M ignored) in
        its own frame."""
        fitted, (a, zc, rc) = fitonto(z[None, :], self.P, self.cons[self.P])
        a, zc = a[0], zc[0]
        tP = fitted[0, self.P]
        e = self._aligned(z, tP, method, a, zc, rc)
        if self.guard is not None and method != "mean":
            e = clip(e, self.AM.mean(axis=0), self.guard * self.reach)
        return (e - rc) / a + zc

    def _aligned(self, z, tP, method, a, zc, rc):
        if method == "mirror":
            return a * (mirror(z, self.M, self.pairs) - zc) + rc
        if method == "blend":
            return (self._aligned(z, tP, "regression", a, zc, rc) + self._aligned(z, tP, "neighbours", a, zc, rc)) / 2
        if method == "mean":
            return self.AM.mean(axis=0)
        if method == "tps":
            return self.W @ tP
        if method == "regression":
            x = realcols(tP)
            return complexcols(ridge(realcols(self.AP), realcols(self.AM), x)[0], len(self.M))
        if method == "regtps":
            x = realcols(tP)
            T = realcols(self.AP @ self.W.T)
            return complexcols(ridge(realcols(self.AP), realcols(self.AM) - T, x)[0], len(self.M)) + self.W @ tP
        if method == "neighbours":
            d = np.sqrt(np.sum(np.abs(self.AP - tP[None, :]) ** 2, axis=1))
            d[~self.usable] = np.inf
            return self._neighbours(tP, d)
        if method == "knnmean":
            return self._knnmean(np.sqrt(np.sum(np.abs(self.AP - tP[None, :]) ** 2, axis=1)))
        raise ValueError(method)

    def stackweights(self, candidates):
        """Weights w >= 0, summing to 1, of the candidates' estimates whose
        combination has the least summed squared leave-one-out error
        (relative to each training specimen's size): an active-set solve
        of min w'Gw over the simplex, G the Gram matrix of the candidates'
        leave-one-out residuals."""
        names = [c for c in candidates if c in self.loo]
        R = [((self.loo[c] - self.AM) / self.size[:, None]).ravel() for c in names]
        G = np.array([[np.real(np.vdot(a, b)) for b in R] for a in R])
        active = list(range(len(names)))
        while True:
            g = G[np.ix_(active, active)] + 1e-12 * np.trace(G) * np.eye(len(active))
            w = np.linalg.solve(g, np.ones(len(active)))
            w /= w.sum()
            if (w >= 0).all():
                break
            active = [a for a, v in zip(active, w) if v > 0] or [active[int(np.argmax(w))]]
        out = dict.fromkeys(names, 0.0)
        for a, v in zip(active, w):
            out[names[a]] = v
        return out

    def auto(self, candidates=None, select="mean"):
        """The candidate of least leave-one-out error (mean, or root mean
        square to weigh the tail), its mean leave-one-out error and every
        candidate's."""
        loo = self.looerrors()
        errs = {k: v.mean() for k, v in loo.items() if candidates is None or k in candidates}
        crit = errs if select == "mean" else {k: np.sqrt(np.mean(loo[k] ** 2)) for k in errs}
        best = min(crit, key=crit.get)
        return best, errs[best], errs


def enclosing(points):
    """The centre and radius of the smallest circle round complex points
    (Welzl's incremental form)."""
    def two(a, b):
        return (a + b) / 2, abs(a - b) / 2

    def three(a, b, q):
        ab, aq = b - a, q - a
        cross = ab.real * aq.imag - ab.imag * aq.real
        if abs(cross) <= 1e-14 * abs(ab) ** 2 + 1e-300:
            return max((two(a, b), two(a, q), two(b, q)), key=lambda c: c[1])
        c = a - 1j * (abs(ab) ** 2 * aq - abs(aq) ** 2 * ab) / (2 * cross)
        return c, abs(c - a)

    def holds(c, p):
        return abs(p - c[0]) <= c[1] * (1 + 1e-12) + 1e-300

    p = list(points)
    c = (p[0], 0.0)
    for i in range(1, len(p)):
        if holds(c, p[i]):
            continue
        c = (p[i], 0.0)
        for j in range(i):
            if holds(c, p[j]):
                continue
            c = two(p[i], p[j])
            for q in range(j):
                if not holds(c, p[q]):
                    c = three(p[i], p[j], p[q])
    return c


def tail(pat, method, floor=5.0):
    """auto's long-tail rule: per landmark of M, whether it goes to the
    centre of the training specimens' spread of it (the smallest circle round
    them) rather than where `method` puts it: where the method's
    leave-one-out worst error exceeds `floor` and the centre's root mean
    square plus worst error is the smaller. Returns the flags, the centres
    and the leave-one-out centres."""
    n, m = pat.AM.shape
    centre = np.empty(m, complex)
    cloo = np.empty((n, m), complex)
    for c in range(m):
        cen, r = enclosing(pat.AM[:, c])
        centre[c] = cen
        cloo[:, c] = cen
        for l in range(n):
            if abs(pat.AM[l, c] - cen) >= r * (1 - 1e-9):
                cloo[l, c] = enclosing(np.delete(pat.AM[:, c], l))[0]
    rows = pat.measured
    def spread(e, c):
        d = 100 * np.abs(e[rows, c] - pat.AM[rows, c]) / pat.size[rows]
        return np.sqrt(np.mean(d ** 2)), d.max()
    flags = np.zeros(m, bool)
    for c in range(m):
        rms, worst = spread(pat.loo[method], c)
        if worst > floor:
            crms, cworst = spread(cloo, c)
            flags[c] = crms + cworst < rms + worst
    return flags, centre, cloo


def clip(e, base, bound):
    """e moved towards base until no landmark is further than bound from it."""
    d = e - base
    r = np.abs(d)
    f = np.where(r > bound, bound / np.maximum(r, 1e-300), 1.0)
    return base + d * f


# ------------------------------------------------------------------- mirror

def mirrorable(M, P, pairs):
    partner = {}
    for a, b in pairs:
        partner[a], partner[b] = b, a
    Ps = set(int(j) for j in P)
    return all(j in partner and partner[j] != j and partner[j] in Ps for j in M)


def mirror(z, M, pairs):
    """The reflection of each missing landmark's partner across the
    least-squares symmetry axis of the specimen's complete pairs and
    midline landmarks (warp/missing.cpp), M's own values ignored."""
    z = z.copy()
    z[np.asarray(M)] = np.nan
    axis, across = [], []
    for a, b in pairs:
        if np.isnan(z[a]) or np.isnan(z[b]):
            continue
        if a == b:
            axis.append(z[a])
        else:
            axis.append((z[a] + z[b]) / 2)
            across.append(z[a] - z[b])
    partner = {}
    for a, b in pairs:
        partner[a], partner[b] = b, a
    out = np.full(len(M), np.nan + 0j)
    if not axis:
        return out
    axis = np.array(axis)
    c = axis.mean()
    S = np.zeros((2, 2))
    for p in axis:
        v = np.array([(p - c).real, (p - c).imag])
        S += np.outer(v, v)
    V = np.zeros((2, 2))
    for d in across:
        v = np.array([d.real, d.imag])
        V += np.outer(v, v)
    w, vec = np.linalg.eigh(S - V / 4)
    nvec = complex(vec[0, 0], vec[1, 0])
    for i, j in enumerate(M):
        q = z[partner[j]]
        # reflect q across the line through c with unit normal nvec
        dot = (np.conj(nvec) * (q - c)).real
        out[i] = q - 2 * nvec * dot
    return out


# --------------------------------------------------------------- protocols

def jackknife(name, Z, pairs, fracs, reps, seed=25, K=5, power=1.0, methods=METHODS, withauto=True, smooth=1e-2,
              guard=1.0, merge=1e-2):
    """Each complete specimen in turn loses round(f k) landmarks (at least
    one) at random; the others are the training set. Returns, per fraction,
    a dict method -> list of per-landmark errors (% of centroid size), and
    the auto choices with their expected and actual errors."""
    n, k = Z.shape
    autos = AUTOS if withauto else {}
    out = {f: {m: [] for m in ["plain tps"] + list(methods) + list(autos)} for f in fracs}
    picks = {f: [] for f in fracs}
    for i in range(n):
        train = np.delete(Z, i, axis=0)
        cons, _ = gpa(train)
        cs = csize(Z[i])
        for f in fracs:
            nm = max(1, int(round(f * k)))
            for r in range(reps):
                rng = np.random.default_rng([seed, int(f * 1000), r, i])
                M = np.sort(rng.choice(k, nm, replace=False))
                P = np.setdiff1d(np.arange(k), M)
                pat = Pattern(train, cons, P, M, pairs, K=K, power=power, wanted=methods, smooth=smooth, guard=guard,
                              merge=merge)
                out[f]["plain tps"].extend(100 * np.abs(tpsplain(cons, Z[i], P, M) - Z[i, M]) / cs)
                est = {}
                for m in methods:
                    if m not in pat.loo:
                        continue
                    est[m] = pat.estimate(Z[i], m)
                    out[f][m].extend(100 * np.abs(est[m] - Z[i, M]) / cs)
                for a, (cands, select) in autos.items():
                    if select == "stack":
                        w = pat.stackweights(cands)
                        e = sum(v * est[c] for c, v in w.items() if v > 0)
                        err = 100 * np.abs(e - Z[i, M]) / cs
                        out[f][a].extend(err)
                        continue
                    best, expected, _ = pat.auto(cands, select)
                    err = 100 * np.abs(est[best] - Z[i, M]) / cs
                    out[f][a].extend(err)
                    if a == "auto":
                        picks[f].append((best, expected, err.mean(), getattr(pat, "ridget", np.nan)))
    return out, picks


# ----------------------------------------------------- no complete specimen

def gpamissing(Z, tol=7.450580596923829e-10, start=None):
    """Partial Procrustes consensus of rows with missing landmarks (NaN),
    as core/procrustes_missing.cpp but started from the most complete
    specimen: each row is fitted, on the landmarks it shares with the
    reference, onto them (centred, scaled to the reference's size over
    them, turned); each landmark of the new consensus is the mean over the
    rows that have it; the consensus is centred and scaled to unit size.
    The start lacks some landmarks, so the first pass fits on fewer; from
    the second on the reference is whole."""
    have = ~np.isnan(Z)
    if not have.any(axis=0).all():
        raise ValueError("a landmark is missing in every specimen")
    i0 = int(np.argmax(have.sum(axis=1))) if start is None else start
    r = Z[i0].copy()
    r = r - np.nanmean(r)
    r = r / np.sqrt(np.nansum(np.abs(r) ** 2))
    for passno in range(1000):
        F = np.full_like(Z, np.nan)
        for i in range(len(Z)):
            c = have[i] & ~np.isnan(r)
            f, _ = fitonto(Z[i][None, :], np.flatnonzero(c), r[c])
            F[i, have[i]] = f[0, have[i]]
        new = np.nanmean(F, axis=0)
        new = new - new.mean()
        new = new / np.sqrt(np.sum(np.abs(new) ** 2))
        both = ~np.isnan(r)
        change = np.sum(np.abs(new[both] - r[both]) ** 2) if passno else np.inf
        r = new
        if change <= tol:
            break
    return r, F, passno + 1


def completeall(Z, pairs=None, passes=5, candidates=None, select="rms", guard=1.0, first="tps", tol=1e-5):
    """Estimates every missing landmark when few or no specimens are
    complete. Start: the consensus of all specimens on the landmarks they
    have (gpamissing); each specimen's missing landmarks placed by `first`
    (tps or mean) from that consensus. Then `passes` rounds: for each
    incomplete specimen, the other specimens (with their current
    estimates) are the training set; auto picks the method by leave-one-out
    over the training specimens that have the missing landmarks measured;
    the specimen's estimates are replaced (all specimens from the same
    round's training set). Stops early when no estimate moved by more than
    tol of its specimen's centroid size. Returns the completed rows, the
    picks of the last round, and the rounds run."""
    have = ~np.isnan(Z)
    cons, _, _ = gpamissing(Z)
    F = Z.copy()
    for i in np.flatnonzero(~have.all(axis=1)):
        P, M = np.flatnonzero(have[i]), np.flatnonzero(~have[i])
        F[i, M] = tpsplain(cons, Z[i], P, M) if first == "tps" else meanfit(cons, Z[i], P, M)
    picks = {}
    for rnd in range(passes):
        cons, _ = gpa(F)
        G = F.copy()
        moved = 0.0
        for i in np.flatnonzero(~have.all(axis=1)):
            P, M = np.flatnonzero(have[i]), np.flatnonzero(~have[i])
            train = np.delete(F, i, axis=0)
            measured = np.delete(have[:, M].all(axis=1), i)
            pat = Pattern(train, cons, P, M, pairs, guard=guard, measured=measured)
            if measured.sum() >= 3:
                best, expected, _ = pat.auto(candidates, select)
            else:
                best, expected = "tps", np.nan
            G[i, M] = pat.estimate(F[i], best)
            picks[i] = (best, expected)
            moved = max(moved, np.max(np.abs(G[i, M] - F[i, M])) / csize(G[i]))
        F = G
        if moved < tol:
            break
    return F, picks, rnd + 1


def summarise(errs):
    """Mean, worst, count and 99th percentile."""
    e = np.asarray(errs)
    return (e.mean(), e.max(), len(e), np.percentile(e, 99)) if len(e) else (np.nan, np.nan, 0, np.nan)


def cmd_table(args):
    sets = datasets()
    fracs = [0.05, 0.10, 0.20]
    print(f"jackknife: each complete specimen in turn loses round(f k) landmarks (at least 1), the others"
          f" train; {args.reps} replicates; error in % of centroid size, mean / worst over estimated landmarks")
    print()
    rows = []
    for name in args.sets.split(","):
        Z, pairs = sets[name]
        t0 = time.process_time()
        out, picks = jackknife(name, Z, pairs, fracs, args.reps, K=args.K, power=args.power, guard=args.guard,
                               merge=args.merge)
        dt = time.process_time() - t0
        for f in fracs:
            base = summarise(out[f]["plain tps"])
            out[f] = {("tps (merged, guarded)" if m == "tps" else m): v for m, v in out[f].items()}
            for m in out[f]:
                mean, worst, cnt, p99 = summarise(out[f][m])
                if cnt == 0:
                    continue
                rows.append((name, f, m, mean, worst, cnt, 100 * (1 - mean / base[0]), p99))
            chosen = {}
            for b, *_ in picks[f]:
                chosen[b] = chosen.get(b, 0) + 1
            exp = np.array([e for _, e, _, _ in picks[f]])
            act = np.array([a for _, _, a, _ in picks[f]])
            ts = np.array([t for *_, t in picks[f]])
            rows.append((name, f, "auto picks", chosen, exp, act, ts))
        print(f"# {name}: {Z.shape[0]} x {Z.shape[1]}, {dt:.0f} s CPU", file=sys.stderr)
    print("| set | missing | method | mean % | worst % | 99th pct % | n landmarks | mean below tps |")
    print("|---|---|---|---|---|---|---|---|")
    picks = []
    for r in rows:
        if r[2] == "auto picks":
            picks.append(f"| {r[0]} | {int(r[1]*100)} % | {r[3]} | {r[4].mean():.2f} | {r[5].mean():.2f} |"
                         f" {r[4].max():.2f} ({np.sum(r[4] > EMAX)} of {len(r[4])}) | {np.median(r[6]):.2g} ({np.min(r[6]):.2g}-{np.max(r[6]):.2g}) |")
        else:
            print(f"| {r[0]} | {int(r[1]*100)} % | {r[2]} | {r[3]:.2f} | {r[4]:.1f} | {r[7]:.1f} | {r[5]} |"
                  f" {r[6]:+.0f} % |")
    print()
    print("auto's choices (per specimen and replicate), its expected error (leave-one-out, mean over patterns) beside"
          " the actual, the largest expected error met, and the ridge parameter t chosen by leave-one-out"
          " (median, range; a multiple of the mean eigenvalue of the centred X'X)")
    print()
    print("| set | missing | picks | expected % | actual % | largest expected % (above 5 %) | ridge t |")
    print("|---|---|---|---|---|---|---|")
    for line in picks:
        print(line)


# ------------------------------------------------------------- refusal

LINE_MIN = 0.10   # tps needs its landmarks present off a line by 10 % of their size
MERGE = 0.01      # landmarks within 1 % of the consensus's size of each other are one point
EMAX = 5.0        # auto refuses an estimate expected to miss by more (% of centroid size)


def refusal(z, P, cons, method, expected=None):
    """Why the specimen z cannot have its missing landmarks estimated by
    `method` from its landmarks present P, or None. For auto, `expected` is
    the chosen method's leave-one-out error (% of centroid size)."""
    P = list(P)
    # Distinct points as the consensus sees them: the similarity fit needs two.
    tol = MERGE * csize(cons)
    groups = []
    for j in P:
        for g in groups:
            if abs(cons[j] - cons[g[0]]) <= tol:
                g.append(j)
                break
        else:
            groups.append([j])
    names = lambda js: " and ".join([", ".join(str(j + 1) for j in js[:-1]), str(js[-1] + 1)]) if len(js) > 1 \
        else str(js[0] + 1)
    if len(groups) < 2:
        if len(P) == 1:
            return f"only landmark {P[0] + 1} is present"
        return f"landmarks {names(P)}, the only ones present, coincide"
    own, mean = lineratio(z[P]), lineratio(cons[P])
    linewhy = None
    if own < LINE_MIN:
        linewhy = f"the {len(P)} landmarks present lie within {100 * own:.1g} % of a line"
    elif mean < LINE_MIN:
        linewhy = f"the {len(P)} landmarks present lie within {100 * mean:.1g} % of a line in the mean shape"
    if method == "tps":
        if len(groups) < 3:
            same = "; ".join(f"landmarks {names(g)} coincide" for g in groups if len(g) > 1)
            return f"{same}: {len(groups)} distinct landmarks present, and a thin-plate spline needs three"
        return linewhy
    if method == "auto" and expected is not None and expected > EMAX:
        why = f"its best estimate would miss by {expected:.1f} % of centroid size (leave-one-out; limit {EMAX:g} %)"
        return f"{linewhy}, and {why}" if linewhy else why
    return None


def spread(cons, P):
    """The centroid size of the consensus's landmarks P (the consensus has
    size 1): how much of the form the landmarks present span."""
    return csize(cons[np.asarray(P)])


def coincident(z, P, frac=1e-3):
    """Pairs of present landmarks (numbered from 1) closer than frac times
    the centroid size of the landmarks present."""
    cs = csize(z[P])
    return [(a + 1, b + 1) for i, a in enumerate(P) for b in P[i + 1:] if abs(z[a] - z[b]) <= frac * cs]


def describe(label, z, train, P, M, pairs=None, truth=None):
    """One specimen with the pattern (P, M): its conditioning figures, each
    method's estimate and leave-one-out error, auto's choice."""
    cons, _ = gpa(train)
    pat = Pattern(train, cons, P, M, pairs)
    best, expected, errs = pat.auto()
    cs = csize(truth) if truth is not None else np.nan
    print(f"{label}: present {list(P + 1)}, missing {list(M + 1)}")
    print(f"  line ratio: specimen {100 * lineratio(z[P]):.3g} %, consensus {100 * lineratio(cons[P]):.3g} %;"
          f" consensus spread of P {100 * spread(cons, P):.3g} % of its size; tps gain {tpsgain(pat.W):.3g};"
          f" coincident present landmarks {coincident(z, list(P))}")
    for m in ["plain tps"] + list(errs):
        e = tpsplain(cons, z, P, M) if m == "plain tps" else pat.estimate(z, m)
        line = f"  {m:11s} leave-one-out {errs[m]:7.2f} %" if m in errs else f"  {m:11s} {'':22s}"
        if truth is not None:
            d = np.abs(e - truth[M])
            line += f"   actual mean {d.mean():9.1f} ({100 * d.mean() / cs:6.2f} % of {cs:.0f}), worst {d.max():9.1f}"
        print(line)
    print(f"  auto picks {best} (expected {expected:.2f} %)")
    for m in ("tps", "auto"):
        why = refusal(z, P, cons, m, expected)
        print(f"  {m}: " + (f"refused: {why}" if why else "estimated"))
    return pat


def cmd_examples(args):
    """The two reported cases: the sample's specimen 3 keeping its midline,
    and the trilobites' 13 incomplete specimens."""
    Z, ids = readtps(f"{ROOT}/examples/deformed_sample/deformed.tps")
    pairs = readpairs(f"{ROOT}/examples/deformed_sample/pairs.txt")
    k = Z.shape[1]
    i = 2
    P, M = np.arange(4), np.arange(4, k)
    train = np.delete(Z, i, axis=0)
    pat = describe("sample, specimen 3, midline only", Z[i], train, P, M, pairs, truth=Z[i])
    e = tpsplain(gpa(train)[0], Z[i], P, M)
    print(f"  plain tps landmark 9: ({e[4].real:.0f}, {e[4].imag:.0f}) against ({Z[i, 8].real:.0f}, {Z[i, 8].imag:.0f})")
    print()

    T, ids = readtps(f"{DATA}/trilomorph_cephala/cephala_tpsdig_all.tps")
    lost = np.isnan(T)
    complete = T[~lost.any(axis=1)]
    cons, _ = gpa(complete)
    print(f"trilobites: {len(T)} specimens, {len(complete)} complete")
    pats = {}
    for i in np.flatnonzero(lost.any(axis=1)):
        M = np.flatnonzero(lost[i])
        P = np.flatnonzero(~lost[i])
        key = tuple(M)
        if key not in pats:
            pats[key] = describe(f"pattern missing {list(M + 1)}", T[i], complete, P, M)
            print("  per specimen: coincident present landmarks (exact); Procrustes distance over P to the"
                  " consensus (complete specimens: median, max); estimates' spread between methods (% of the"
                  " size of P)")
            d = np.sqrt(np.sum(np.abs(pats[key].AP - cons[P]) ** 2, axis=1))
            print(f"  complete specimens' distances: median {np.median(d):.3f}, max {d.max():.3f}")
        pat = pats[key]
        fitted, _ = fitonto(T[i][None, :], P, cons[P])
        dist = np.sqrt(np.sum(np.abs(fitted[0, P] - cons[P]) ** 2))
        ests = np.array([pat.estimate(T[i], m) for m in ("tps", "regression", "neighbours", "mean")])
        sp = np.max(np.abs(ests - ests.mean(axis=0))) / csize(T[i, P]) * 100
        best, _, _ = pat.auto()
        print(f"  specimen {i + 1:2d} {ids[i]:22s} coincident {str(coincident(T[i], list(P), 1e-9)):20s}"
              f" distance {dist:.3f}  methods within {sp:.2f} %  auto -> {best}")


def cmd_conditioning(args):
    """When the spline's estimate is unsafe: each specimen in turn keeps
    only 3 to 6 landmarks at random (the others train); the suite's tps
    against the similarity fit and auto, binned by the line ratio of the
    consensus's landmarks present (the spline's source), of the
    specimen's, and by the spline's gain (largest singular value of W)."""
    sets = datasets()
    rec = []
    for name in args.sets.split(","):
        Z, pairs = sets[name]
        n, k = Z.shape
        for i in range(n):
            train = np.delete(Z, i, axis=0)
            cons, _ = gpa(train)
            cs = csize(Z[i])
            for r in range(args.reps * 2):
                rng = np.random.default_rng([26, r, i, k])
                P = np.sort(rng.choice(k, rng.integers(3, 7), replace=False))
                M = np.setdiff1d(np.arange(k), P)
                pat = Pattern(train, cons, P, M, pairs)
                best, expected, _ = pat.auto(None, "rms")
                err = lambda e: np.mean(np.abs(e - Z[i, M])) / cs * 100
                rec.append((lineratio(cons[P]), lineratio(Z[i, P]), tpsgain(tpsoperator(cons[P], cons[M], 1e-9)),
                            err(tpsplain(cons, Z[i], P, M)), err(pat.estimate(Z[i], "mean")),
                            err(pat.estimate(Z[i], best)), expected))
    a = np.array(rec)
    print(f"{len(a)} specimens keeping 3-6 landmarks ({args.sets}); errors: mean over the specimen's missing"
          " landmarks, % of centroid size")
    print()
    print("| binned by | range | count | tps mean / worst | mean fit mean / worst | auto mean / worst |"
          " auto expected | tps > 2x mean fit |")
    print("|---|---|---|---|---|---|---|---|")
    for col, label, edges in ((0, "consensus line ratio %", [0, 1, 2, 3, 5, 10, 20, 100]),
                              (1, "specimen line ratio %", [0, 1, 2, 3, 5, 10, 20, 100]),
                              (2, "tps gain", [0, 2, 3, 5, 10, 20, 1e99])):
        v = a[:, col] * (100 if col < 2 else 1)
        for lo, hi in zip(edges[:-1], edges[1:]):
            sel = (v >= lo) & (v < hi)
            if not sel.any():
                continue
            t, m, u, x = a[sel, 3], a[sel, 4], a[sel, 5], a[sel, 6]
            print(f"| {label} | {lo:g}-{hi:g} | {sel.sum()} | {t.mean():.1f} / {t.max():.0f} |"
                  f" {m.mean():.1f} / {m.max():.0f} | {u.mean():.1f} / {u.max():.0f} | {x.mean():.1f} |"
                  f" {100 * np.mean(t > 2 * m):.0f} % |")


def cmd_spread(args):
    """How far apart the landmarks present must be to place a specimen at
    all: every pair of landmarks as the only ones present, each complete
    specimen in turn, the similarity fit of the mean shape (the only
    method two landmarks support), binned by the pair's distance in the
    consensus (unit centroid size)."""
    sets = datasets()
    rec = []
    for name in args.sets.split(","):
        Z, _ = sets[name]
        n, k = Z.shape
        for i in range(0, n, 2):
            train = np.delete(Z, i, axis=0)
            cons, _ = gpa(train)
            cs = csize(Z[i])
            for a in range(k):
                for b in range(a + 1, k):
                    P = np.array([a, b])
                    M = np.setdiff1d(np.arange(k), P)
                    if abs(Z[i, a] - Z[i, b]) == 0:
                        rec.append((abs(cons[a] - cons[b]), np.inf))
                        continue
                    fitted, (al, zc, rc) = fitonto(Z[i][None, :], P, cons[P])
                    e = (cons[M] - rc) / al[0] + zc[0]
                    rec.append((abs(cons[a] - cons[b]), np.mean(np.abs(e - Z[i, M])) / cs * 100))
    a = np.array(rec)
    print("| pair's distance in the consensus (% of its size) | count | specimen's pair coincident |"
          " mean fit: median / 90th pct / worst % |")
    print("|---|---|---|---|")
    for lo, hi in ((0, 0.5), (0.5, 1), (1, 2), (2, 5), (5, 10), (10, 20), (20, 200)):
        sel = (100 * a[:, 0] >= lo) & (100 * a[:, 0] < hi)
        if not sel.any():
            continue
        e = a[sel, 1]
        f = e[np.isfinite(e)]
        print(f"| {lo:g}-{hi:g} | {sel.sum()} | {np.sum(~np.isfinite(e))} |"
              f" {np.median(f):.1f} / {np.percentile(f, 90):.1f} / {f.max():.0f} |" if len(f) else
              f"| {lo:g}-{hi:g} | {sel.sum()} | {np.sum(~np.isfinite(e))} | |")


def cmd_nocomplete(args):
    """Every specimen lacks one landmark (at random): no complete specimen.
    The consensus from the landmarks present against the complete data's,
    and the estimates: tps and mean from that consensus (one pass), auto
    iterated for 1, 2, 3 and 10 rounds, and for reference the jackknife
    with complete training (each specimen estimated from the others, all
    complete)."""
    sets = datasets()
    print("| set | consensus distance to the complete data's | tps from it | mean fit from it |"
          " auto, 1 round | 2 rounds | 3 rounds | 10 rounds | auto with complete training |")
    print("|---|---|---|---|---|---|---|---|---|")
    for name in args.sets.split(","):
        Z, pairs = sets[name]
        n, k = Z.shape
        full, _ = gpa(Z)
        sizes = np.array([csize(z) for z in Z])
        res = {key: [] for key in ("tps", "mean", "auto1", "auto2", "auto3", "auto10", "ref")}
        dists = []
        for r in range(args.reps):
            rng = np.random.default_rng([27, r, k])
            lose = rng.integers(0, k, n)
            X = Z.copy()
            X[np.arange(n), lose] = np.nan
            cons, _, _ = gpamissing(X)
            dists.append(np.sqrt(np.sum(np.abs(fitonto(cons[None, :], np.arange(k), full)[0][0] - full) ** 2)))
            for i in range(n):
                P, M = np.setdiff1d(np.arange(k), [lose[i]]), np.array([lose[i]])
                res["tps"].append(100 * abs(tpsplain(cons, X[i], P, M)[0] - Z[i, M][0]) / sizes[i])
                res["mean"].append(100 * abs(meanfit(cons, X[i], P, M)[0] - Z[i, M][0]) / sizes[i])
                train = np.delete(Z, i, axis=0)
                pat = Pattern(train, gpa(train)[0], P, M, pairs)
                best, _, _ = pat.auto(None, "rms")
                res["ref"].append(100 * abs(pat.estimate(Z[i], best)[0] - Z[i, M][0]) / sizes[i])
            for passes in (1, 2, 3, 10):
                F, _, _ = completeall(X, pairs, passes=passes)
                res[f"auto{passes}"].extend(100 * np.abs(F[np.arange(n), lose] - Z[np.arange(n), lose]) / sizes)
        cell = lambda key: "%.2f / %.1f" % summarise(res[key])[:2]
        print(f"| {name} | {np.mean(dists):.4f} | {cell('tps')} | {cell('mean')} | {cell('auto1')} |"
              f" {cell('auto2')} | {cell('auto3')} | {cell('auto10')} | {cell('ref')} |")
        sys.stdout.flush()


def cmd_cells(args):
    """f % of all the data set's landmarks deleted at random (every
    specimen keeps at least three): few specimens stay complete. tps and
    auto trained on the complete specimens (as the suite does now: at
    least two complete for tps; five for auto here), against tps from the
    consensus of all specimens and auto on all specimens (2 rounds)."""
    sets = datasets()
    fracs = [0.05, 0.10, 0.20]
    print("| set | missing | complete specimens (mean) | tps, complete training | auto, complete training |"
          " tps from the consensus of all | auto on all, 2 rounds | mean fit from the consensus of all |")
    print("|---|---|---|---|---|---|---|---|")
    for name in args.sets.split(","):
        Z, pairs = sets[name]
        n, k = Z.shape
        sizes = np.array([csize(z) for z in Z])
        for f in fracs:
            res = {key: [] for key in ("tpsc", "autoc", "tpsa", "autoa", "meana")}
            ncomp, refused = [], {"tpsc": 0, "autoc": 0}
            for r in range(args.reps):
                rng = np.random.default_rng([28, int(f * 1000), r, k])
                while True:
                    X = Z.copy()
                    cells = rng.choice(n * k, int(round(f * n * k)), replace=False)
                    X[cells // k, cells % k] = np.nan
                    if (np.sum(~np.isnan(X), axis=1) >= 3).all() and (~np.isnan(X)).any(axis=0).all():
                        break
                have = ~np.isnan(X)
                whole = have.all(axis=1)
                ncomp.append(whole.sum())
                lost = np.flatnonzero(~whole)
                err = lambda i, M, e: list(100 * np.abs(e - Z[i, M]) / sizes[i])
                if whole.sum() >= 2:
                    train = X[whole]
                    cons, _ = gpa(train)
                    for i in lost:
                        P, M = np.flatnonzero(have[i]), np.flatnonzero(~have[i])
                        res["tpsc"] += err(i, M, tpsplain(cons, X[i], P, M))
                        if whole.sum() >= 5:
                            pat = Pattern(train, cons, P, M, pairs)
                            best, _, _ = pat.auto(None, "rms")
                            res["autoc"] += err(i, M, pat.estimate(X[i], best))
                        else:
                            refused["autoc"] += len(M)
                else:
                    refused["tpsc"] += int((~have).sum())
                    refused["autoc"] += int((~have).sum())
                consall, _, _ = gpamissing(X)
                for i in lost:
                    P, M = np.flatnonzero(have[i]), np.flatnonzero(~have[i])
                    res["tpsa"] += err(i, M, tpsplain(consall, X[i], P, M))
                    res["meana"] += err(i, M, meanfit(consall, X[i], P, M))
                F, _, _ = completeall(X, pairs, passes=2)
                for i in lost:
                    M = np.flatnonzero(~have[i])
                    res["autoa"] += err(i, M, F[i, M])

            def cell(key):
                if not res[key]:
                    return "refused"
                m, w, c, _ = summarise(res[key])
                extra = f" ({refused[key]} refused)" if refused.get(key) else ""
                return f"{m:.2f} / {w:.1f}{extra}"

            print(f"| {name} | {int(f * 100)} % | {np.mean(ncomp):.1f} of {n} | {cell('tpsc')} | {cell('autoc')} |"
                  f" {cell('tpsa')} | {cell('autoa')} | {cell('meana')} |")
            sys.stdout.flush()


def tpsplain(cons, z, P, M):
    """The suite's tps: the spline from the consensus's P onto z's P at the
    consensus's M, no guard (exactly coincident sources merged, where the
    suite refuses)."""
    return fromconsensus(cons, z, P, lambda tP: tpsoperator(cons[P], cons[M], 1e-9) @ tP)


def meanfit(cons, z, P, M):
    """The consensus's M carried onto z by the similarity fit over P."""
    return fromconsensus(cons, z, P, lambda tP: cons[M])


def fromconsensus(cons, z, P, estimate):
    """An estimate made in the frame of z fitted over P onto the consensus
    (estimate(z's fitted P)), carried back into z's own frame."""
    fitted, (a, zc, rc) = fitonto(z[None, :], P, cons[P])
    return (estimate(fitted[0, P]) - rc) / a[0] + zc[0]


def cmd_timing(args):
    """CPU time per pattern of building it (the training set's fit and
    each method's leave-one-out: what auto costs per specimen) and of one
    estimate, at the data sets' sizes with 10 % missing. numpy, one core."""
    sets = datasets()
    print("| set | n train x k | missing | fit + mean + tps | + regression LOO | + neighbours LOO | all (auto) |"
          " one estimate, each method |")
    print("|---|---|---|---|---|---|---|---|")
    for name in args.sets.split(","):
        Z, pairs = sets[name]
        n, k = Z.shape
        train = Z[1:]
        cons, _ = gpa(train)
        rng = np.random.default_rng(5)
        nm = max(1, int(round(0.1 * k)))
        pats = []
        for r in range(20):
            M = np.sort(rng.choice(k, nm, replace=False))
            pats.append((np.setdiff1d(np.arange(k), M), M))

        def clock(wanted):
            t0 = time.process_time()
            for P, M in pats:
                Pattern(train, cons, P, M, pairs, wanted=wanted)
            return (time.process_time() - t0) / len(pats) * 1000

        base = clock(["mean", "tps"])
        reg = clock(["mean", "tps", "regression"])
        nbr = clock(["mean", "tps", "neighbours"])
        full = clock(METHODS)
        pat = Pattern(train, cons, *pats[0], pairs)
        t0 = time.process_time()
        for m in ("mean", "tps", "regression", "neighbours"):
            for _ in range(20):
                pat.estimate(Z[0], m)
        one = (time.process_time() - t0) / 80 * 1000
        print(f"| {name} | {n - 1} x {k} | {nm} | {base:.1f} ms | {reg:.1f} ms | {nbr:.1f} ms | {full:.1f} ms |"
              f" {one:.2f} ms |")


def cmd_sweep(args):
    """The neighbours' count K, weight power and spline smoothing."""
    sets = datasets()
    fracs = [0.05, 0.10, 0.20]
    print("| set | variant | " + " | ".join(f"{int(f*100)} % mean / worst" for f in fracs) + " |")
    print("|---|---|" + "---|" * len(fracs))
    for name in args.sets.split(","):
        Z, pairs = sets[name]
        out, _ = jackknife(name, Z, None, fracs, args.reps, methods=["tps", "mean"], withauto=False)
        for m in ("tps", "mean"):
            print(f"| {name} | {'tps (merged, guarded)' if m == 'tps' else m} | " + " | ".join("%.2f / %.1f" % summarise(out[f][m])[:2] for f in fracs) + " |")
        for K in (3, 5, 8, 12):
            for power in (0, 1, 2):
                for smooth in ((1e-6, 1e-3, 1e-2) if (K, power) == (5, 1) else (1e-3,)):
                    out, _ = jackknife(name, Z, None, fracs, args.reps, K=K, power=power, smooth=smooth,
                                       methods=["neighbours", "knnmean"], withauto=False)
                    for m in ("neighbours", "knnmean"):
                        if m == "knnmean" and smooth != 1e-3:
                            continue
                        print(f"| {name} | {m} K={K} 1/d^{power} smooth={smooth:g} | " +
                              " | ".join("%.2f / %.1f" % summarise(out[f][m])[:2] for f in fracs) + " |")
        sys.stdout.flush()


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("command", choices=["table", "cells", "sweep", "examples", "conditioning", "spread", "nocomplete", "timing"])
    ap.add_argument("--reps", type=int, default=3)
    ap.add_argument("--sets", default="plethodon,lizards,trilobites,sample")
    ap.add_argument("--K", type=int, default=5)
    ap.add_argument("--power", type=float, default=1.0)
    ap.add_argument("--guard", type=float, default=1.0, help="0: none")
    ap.add_argument("--merge", type=float, default=1e-2)
    args = ap.parse_args()
    if args.guard == 0:
        args.guard = None
    globals()["cmd_" + args.command](args)


if __name__ == "__main__":
    main()
