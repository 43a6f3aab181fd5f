#!/usr/bin/env python3
"""Makes the synthetic deformed-fossil sample in examples/deformed_sample/.

A bilaterally symmetric template (a trilobite-like cephalon: four midline
landmarks and five pairs) is copied onto one bedding plane (slab) at random
bearings, sizes and places, the whole slab is deformed by one known
homogeneous strain, and each landmark gets a little digitising noise. The
result is written the way a digitiser writes it: a TPS file in pixel
coordinates with LM=, IMAGE=, ID= and SCALE= lines (SCALE is mm per pixel
and, as in every TPS reader of the suite, never applied). Beside it:

  deformed.tps   the specimens (TPS, pixels, y up)
  deformed.txt   the same specimens in the row format (x1 y1 ... xk yk and
                 the centroid size), for Symrestore and Restrain's Load
  protocol.txt   Anglepick's protocol: midline landmarks 1, 4, 2, 3 (the
                 first two rows run from the head, 1, to the tail, 4), then
                 the pairs
  pairs.txt      Symrestore's pair list: axis landmarks as "a a", pairs
  truth.txt      the strain that was applied: axis ratio R and the bearing
                 theta' of its long axis (degrees clockwise from north), and
                 the stretch e = sqrt(R) that Symrestore's strain box takes
  start.txt, end.txt   in examples/tectsim/: the template and a variant
                 with a wider glabella and longer genae, as Tectsim's two
                 exemplar shapes (row format, size slot 1)

The strain stretches by sqrt(R) along the bearing theta' and shortens by
1/sqrt(R) across it (area preserved). Everything is seeded, so running the
script again writes the same files.

With --midline-error SD each specimen's form is first sheared by its own
angle d (normal, SD degrees, from a generator of its own, so the specimens
are otherwise those of the same seed): the midline leans by d while every
pair stays at right angles to the original axis, so all pairs of a specimen
share one error of their angle to the midline (t moves by d, every p by -d),
as when a specimen's midline is misjudged. --decimals sets the digits of
the pixel coordinates (0: whole pixels, as many digitisers write them).

Usage: python3 scripts/make_sample.py [--seed 2026] [--R 1.8] [--theta 35]
       [--n 60] [--noise 1.0] [--midline-error 0] [--decimals 2]
       [--out examples]
"""

import argparse
import math
import os
import random

# Template in millimetres, midline along +y, head (landmark 1) at the top.
MIDLINE = [(0.0, 10.0), (0.0, 5.5), (0.0, -1.0), (0.0, -9.0)]  # landmarks 1-4
PAIRS = [(3.5, 8.5), (7.0, 4.5), (9.0, -0.5), (5.5, -5.5), (2.5, -8.0)]  # right side of 5/6, 7/8, ...


def template(widen=1.0, lengthen=1.0):
    """Landmarks 1..14: midline 1-4, then pairs (5,6), (7,8), ... (13,14)."""
    points = list(MIDLINE)
    for i, (x, y) in enumerate(PAIRS):
        # The variant widens the front pairs and lengthens the back ones.
        w = widen if i < 2 else 1.0
        l = lengthen if i >= 3 else 1.0
        points.append((x * w, y * l))
        points.append((-x * w, y * l))
    return points


def strain(R, theta_deg):
    """2 x 2 strain with axis ratio R, long axis at compass bearing theta'."""
    a = math.pi / 2 - math.radians(theta_deg)  # angle from +x, counter-clockwise
    c, s = math.cos(a), math.sin(a)
    l, r = math.sqrt(R), 1 / math.sqrt(R)
    return [[l * c * c + r * s * s, (l - r) * c * s], [(l - r) * c * s, l * s * s + r * c * c]]


def centroid_size(points):
    cx = sum(p[0] for p in points) / len(points)
    cy = sum(p[1] for p in points) / len(points)
    return math.sqrt(sum((p[0] - cx) ** 2 + (p[1] - cy) ** 2 for p in points))


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--seed", type=int, default=2026)
    ap.add_argument("--R", type=float, default=1.8, help="axis ratio of the strain ellipse")
    ap.add_argument("--theta", type=float, default=35.0, help="bearing of its long axis, degrees")
    ap.add_argument("--n", type=int, default=60, help="number of specimens")
    ap.add_argument("--noise", type=float, default=1.0, help="digitising noise, pixels (standard deviation)")
    ap.add_argument("--midline-error", type=float, default=0.0,
                    help="standard deviation (degrees) of each specimen's shared midline error")
    ap.add_argument("--decimals", type=int, default=2, help="decimals of the pixel coordinates")
    ap.add_argument("--out", default="examples")
    args = ap.parse_args()

    rng = random.Random(args.seed)
    scale = 0.0125  # mm per pixel of the slab photograph
    S = strain(args.R, args.theta)
    form = template()
    # A generator of its own, so that the shared errors leave every other
    # draw (and the default output) as it was.
    lean = random.Random("midline-error %d" % args.seed)
    specimens = []
    for _ in range(args.n):
        shape = form
        if args.midline_error > 0:
            k = math.tan(math.radians(lean.gauss(0, args.midline_error)))
            shape = [(x + k * y, y) for x, y in form]
        bearing = rng.uniform(0, 2 * math.pi)
        size = rng.uniform(0.8, 1.25)
        cx, cy = rng.uniform(40, 200), rng.uniform(30, 120)  # mm on the slab
        c, s = math.cos(bearing), math.sin(bearing)
        pts = []
        for x, y in shape:
            # Placed on the slab, then the whole slab strained, then
            # digitised in pixels with a little noise.
            px, py = size * (c * x - s * y) + cx, size * (s * x + c * y) + cy
            dx, dy = S[0][0] * px + S[0][1] * py, S[1][0] * px + S[1][1] * py
            pts.append((dx / scale + rng.gauss(0, args.noise), dy / scale + rng.gauss(0, args.noise)))
        specimens.append(pts)

    folder = os.path.join(args.out, "deformed_sample")
    os.makedirs(folder, exist_ok=True)
    xy = "%%.%df %%.%df" % (args.decimals, args.decimals)
    with open(os.path.join(folder, "deformed.tps"), "w") as f:
        for i, pts in enumerate(specimens, 1):
            f.write("LM=%d\n" % len(pts))
            for p in pts:
                f.write(xy % p + "\n")
            f.write("IMAGE=slab_A_%03d.jpg\nID=%d\nSCALE=%.4f\n" % (i, i, scale))
    with open(os.path.join(folder, "deformed.txt"), "w") as f:
        for pts in specimens:
            f.write(" ".join(xy % p for p in pts) + " %.4f\n" % centroid_size(pts))
    with open(os.path.join(folder, "protocol.txt"), "w") as f:
        f.write("1 0\n4 0\n2 0\n3 0\n")
        for k in range(5):
            f.write("%d %d\n" % (5 + 2 * k, 6 + 2 * k))
    with open(os.path.join(folder, "pairs.txt"), "w") as f:
        for k in range(1, 5):
            f.write("%d %d\n" % (k, k))
        for k in range(5):
            f.write("%d %d\n" % (5 + 2 * k, 6 + 2 * k))
    with open(os.path.join(folder, "truth.txt"), "w") as f:
        f.write("R %g\ntheta' %g\ne %.6f\nseed %d\nspecimens %d\nnoise_px %g\n"
                % (args.R, args.theta, math.sqrt(args.R), args.seed, args.n, args.noise))
        if args.midline_error > 0:
            f.write("midline_error_deg %g\n" % args.midline_error)
        if args.decimals != 2:
            f.write("decimals %d\n" % args.decimals)

    ts = os.path.join(args.out, "tectsim")
    os.makedirs(ts, exist_ok=True)
    for name, pts in (("start.txt", template()), ("end.txt", template(widen=1.25, lengthen=1.2))):
        with open(os.path.join(ts, name), "w") as f:
            f.write(" ".join("%g %g" % p for p in pts) + " 1\n")


if __name__ == "__main__":
    main()
