#!/usr/bin/env python3
"""The C++ estimates beside the numpy model's, on the same patterns.

build/bin/missing_accuracy --dump FILE writes every trial it ran (data set,
specimen, the landmarks deleted, the method, the C++ estimate); this
recomputes each with bench/missing_accuracy.py and prints, per data set
and method, the largest difference between the two estimates in % of the
specimen's centroid size, and how often auto chose another method (auto with
its long-tail rule, tail()).

    build/bin/missing_accuracy --reps 3 --dump /tmp/dump.txt > /dev/null
    python3 bench/missing_crosscheck.py /tmp/dump.txt

numpy only (python3-numpy).
"""

import os
import sys

import numpy as np

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import missing_accuracy as model  # noqa: E402


def main():
    sets = model.datasets()
    worst, picks, count = {}, {}, {}
    cache = {}
    with open(sys.argv[1]) as f:
        for line in f:
            w = line.split()
            name, row, said = w[0], int(w[1]), w[4]
            m_at, e_at = w.index("M"), w.index("E")
            M = np.array([int(v) for v in w[m_at + 1:e_at]])
            values = np.array([float(v) for v in w[e_at + 1:]])
            cpp = values[0::2] + 1j * values[1::2]
            Z, pairs = sets[name]
            k = Z.shape[1]
            P = np.setdiff1d(np.arange(k), M)
            key = (name, row, tuple(M))
            if key not in cache:
                train = np.delete(Z, row, axis=0)
                cons, _ = model.gpa(train)
                cache[key] = (cons, model.Pattern(train, cons, P, M, pairs))
            cons, pat = cache[key]
            method = said
            if said == "plain":
                e = model.tpsplain(cons, Z[row], P, M)
            elif said.startswith("auto:"):
                best, _, _ = pat.auto(None, "rms")
                method = "auto"
                picks.setdefault(name, [0, 0])
                picks[name][0] += 1
                picks[name][1] += best != said.split(":")[1]
                e = pat.estimate(Z[row], said.split(":")[1])
                flags, centre, _ = model.tail(pat, said.split(":")[1])
                fitted, (a, zc, rc) = model.fitonto(Z[row][None, :], P, cons[P])
                e = np.where(flags, (centre - rc) / a[0] + zc[0], e)
            else:
                e = pat.estimate(Z[row], said)
            d = 100 * np.max(np.abs(e - cpp)) / model.csize(Z[row])
            worst[(name, method)] = max(worst.get((name, method), 0.0), d)
            count[(name, method)] = count.get((name, method), 0) + 1
    print("| set | method | trials | largest difference, % of centroid size |")
    print("|---|---|---|---|")
    for (name, method), d in sorted(worst.items()):
        print(f"| {name} | {method} | {count[(name, method)]} | {d:.2g} |")
    print()
    for name, (n, other) in picks.items():
        print(f"{name}: auto chose as the model would in {n - other} of {n} trials")


if __name__ == "__main__":
    main()
