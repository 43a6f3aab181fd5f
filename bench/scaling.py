#!/usr/bin/env python3
"""Scaling of whole actions: each program's main actions run by script, the
way a user runs them without a window, on samples of n and 5n specimens.

For every size the sample generator (scripts/make_sample.py, five pairs per
specimen) writes a fresh sample; the programs of a build run their actions
on it with --quiet --seed 1 --timing, and the timing lines they print give
each action's wall-clock time and peak resident memory. An action that
draws is followed by a `plot FILE.png` command and its time is the two
together, so drawing counts as the user waits for it. The table (markdown,
on standard output) gives time and peak per size and the growth exponent
between consecutive sizes,

    log(t(n2) / t(n1)) / log(n2 / n1)

1 for an action linear in its data, 2 for a quadratic one; an exponent
above 1.15 is marked with "!", and none is given where a time is under
10 ms. With --targets it also measures the targets of the largest studies
(see TARGETS) and says PASS or FAIL for each.

Every command has a time limit (--timeout): a command still running then is
stopped and reported as "timeout", so a quadratic action cannot hang the
run; the actions that do not need it still run, in a fresh process.

Usage (from the source tree, after a build; through the lock the benchmarks
share):

    flock /tmp/tecto-cpu.lock python3 bench/scaling.py --targets
    python3 bench/scaling.py --sizes 60,300 --repeat 1     # a quick check

Standard library only.
"""

import argparse
import math
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import threading
import time
from dataclasses import dataclass, field

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
LIMIT = 1.15  # the largest growth exponent a linear action may show
# The shortest time an exponent is worked out from: the timing lines give
# milliseconds, and below this the grain and a process's fixed costs make
# the ratio of two times say nothing about growth.
SHORTEST = 0.010

TIMING = re.compile(r"^timing: line (\d+) (\S+) (\d+\.\d+) s, peak (so far )?(\d+(?:\.\d+)?) MiB$")


@dataclass
class Step:
    """One measured action: its commands (the action, its settings, the
    plot after it) and the earlier steps whose effect it needs in the same
    process (loaded data, a fitted result)."""

    label: str
    commands: list
    needs: list = field(default_factory=list)
    # Its own limit in seconds, in place of the run's --timeout.
    timeout: float = None


@dataclass
class Outcome:
    """What one step did: its time and peak (median over the repeats), or
    why it has none ("timeout", "error", "not run")."""

    times: list = field(default_factory=list)
    peaks: list = field(default_factory=list)
    peaksofar: bool = False
    failure: str = ""
    message: str = ""

    def time(self):
        return statistics.median(self.times) if self.times and not self.failure else None

    def peak(self):
        return statistics.median(self.peaks) if self.peaks and not self.failure else None


def programs(sample, tectsim, e, n):
    """Each program's steps, in the order a study runs them. `sample` and
    `tectsim` are the generator's folders, `e` the stretch of its strain,
    `n` the number of specimens (Tectsim simulates as many)."""
    tps = f"{sample}/deformed.tps"
    return {
        "anglepick": [
            Step("LoadData", [f"LoadData {tps}", "plot anglepick-specimens.png"]),
            Step("LoadProto", [f"LoadProto {sample}/protocol.txt", "plot anglepick-protocol.png"], ["LoadData"]),
            Step("SaveData", ["set SlabBox 1", "SaveData angles-all.txt"], ["LoadProto"]),
            Step("SaveAveData", ["set SlabBox 1", "SaveAveData angles-means.txt"], ["LoadProto"]),
        ],
        "restrain": [
            Step("LoadTPS", [f"LoadTPS {tps}", "plot restrain-tps.png"]),
            Step("LoadDataTP", ["LoadDataTP angles-means.txt"], ["LoadTPS"]),
            Step("LoadAllTP", ["LoadAllTP angles-all.txt"], ["LoadDataTP"]),
            Step("DoWellman", ["DoWellman", "plot restrain-wellman.png"], ["LoadAllTP"]),
            Step("PermuteWellman", ["set PBox 100", "PermuteWellman", "plot restrain-permute.png"], ["LoadAllTP"]),
            Step("DoRetro", ["set BaseBox1 1", "set BaseBox2 4", "DoRetro", "plot restrain-retro.png"], ["LoadAllTP"]),
            Step("Save", ["Save restrain-retrodeformed.txt"], ["DoRetro"]),
        ],
        "symrestore": [
            Step("LoadData", [f"LoadData {sample}/deformed.txt", "plot symrestore-loaded.png"]),
            Step("LoadProto", [f"LoadProto {sample}/pairs.txt"], ["LoadData"]),
            Step("UnDeform", ["UnDeform", "plot symrestore-undeform.png"], ["LoadProto"]),
            Step("RetroStrain", [f"set StrainBox {e}", "RetroStrain", "plot symrestore-retrostrain.png"], ["LoadProto"]),
            Step("UndeformUni", ["UndeformUni", "plot symrestore-uniform.png"], ["LoadProto"]),
            Step("UndeformPCA", ["set PCABox 1", "UndeformPCA", "plot symrestore-pca.png"], ["LoadProto"]),
            Step("Save", ["Save symrestore-pca.txt"], ["UndeformPCA"]),
        ],
        "tectsim": [
            Step("Load1", [f"Load1 {tectsim}/start.txt"]),
            Step("Load2", [f"Load2 {tectsim}/end.txt"], ["Load1"]),
            Step("BuildModels", [f"set NumBox {n}", "BuildModels"], ["Load2"]),
            Step("ShowCData", ["ShowCData", "plot tectsim-clean.png"], ["BuildModels"]),
            Step("ShowDNData", ["ShowDNData", "plot tectsim-deformed.png"], ["BuildModels"]),
            Step("DoStats", ["DoStats"], ["BuildModels"]),
        ],
    }


# The targets of the largest studies: (what, specimens, program, steps of
# the programs() table to run first, the measured step, its settings, the
# limit in seconds). 100,000 pairs are 20,000 specimens of five pairs.
TARGETS = [
    ("DoWellman, 100,000 pairs", 20000, "restrain", "DoWellman", [], 1.0),
    ("PermuteWellman, 1,000 permutations, 100,000 pairs", 20000, "restrain", "PermuteWellman",
     ["set PBox 1000", "PermuteWellman", "plot restrain-permute.png"], 5.0),
    ("Symrestore UnDeform, 10,000 specimens", 10000, "symrestore", "UnDeform", [], 5.0),
]


def closure(steps, label):
    """The labels a step needs, its own last, each once, in table order."""
    bylabel = {s.label: s for s in steps}
    wanted = set()

    def add(name):
        if name not in wanted:
            wanted.add(name)
            for need in bylabel[name].needs:
                add(need)

    add(label)
    return [s.label for s in steps if s.label in wanted]


def runscript(binary, folder, script, timeout, limits=None):
    """Runs one script; gives the timing lines as {line: (seconds, peak MiB,
    peak so far)}, how the run ended ("ok", "timeout", "error") and its
    standard error without the timing lines. A command still running
    `timeout` seconds (or its line's own limit in `limits`) after the
    previous one ended is stopped."""
    limits = limits or {}
    path = os.path.join(folder, "bench.script")
    with open(path, "w") as f:
        f.write("\n".join(script) + "\n")
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    proc = subprocess.Popen([binary, "--quiet", "--seed", "1", "--timing", "--run", path], cwd=folder, env=env,
                            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    timed, other = {}, []
    last = [time.monotonic()]

    def read():
        for line in proc.stderr:
            line = line.rstrip("\n")
            m = TIMING.match(line)
            if m:
                timed[int(m.group(1))] = (float(m.group(3)), float(m.group(5)), bool(m.group(4)))
                last[0] = time.monotonic()
            else:
                other.append(line)

    reader = threading.Thread(target=read, daemon=True)
    reader.start()
    while proc.poll() is None:
        running = next((i for i in range(1, len(script) + 1) if i not in timed), None)
        if time.monotonic() - last[0] > limits.get(running, timeout):
            proc.kill()
            proc.wait()
            reader.join()
            proc.stderr.close()
            return timed, "timeout", "\n".join(other)
        time.sleep(0.05)
    reader.join()
    proc.stderr.close()
    return timed, "ok" if proc.returncode == 0 else "error", "\n".join(other)


def measure(binary, folder, steps, outcomes, timeout):
    """Runs the steps not yet failed once each, in as few processes as the
    failures allow, and adds their times to `outcomes`. A step is set up
    by running the steps it needs before it in the same process; those
    set-up runs are not counted."""
    todo = [s for s in steps if not outcomes[s.label].failure]
    bylabel = {s.label: s for s in steps}
    while todo:
        script, owner, measured, present, limits = [], {}, [], set(), {}
        for step in todo:
            chain = closure(steps, step.label)
            if any(outcomes[c].failure for c in chain):
                continue
            for name in chain:
                if name in present:
                    continue
                present.add(name)
                counted = name == step.label or name in [t.label for t in todo]
                for command in bylabel[name].commands:
                    script.append(command)
                    if bylabel[name].timeout is not None:
                        limits[len(script)] = bylabel[name].timeout
                    if counted:
                        owner[len(script)] = name
                if counted:
                    measured.append(name)
        for step in todo:
            if step.label not in present and not outcomes[step.label].failure:
                outcomes[step.label].failure = "not run"
        if not script:
            return
        timed, ended, errors = runscript(binary, folder, script, timeout, limits)
        done = set()
        for name in measured:
            lines = [i for i, o in owner.items() if o == name]
            if all(i in timed for i in lines):
                out = outcomes[name]
                out.times.append(sum(timed[i][0] for i in lines))
                out.peaks.append(max(timed[i][1] for i in lines))
                out.peaksofar = out.peaksofar or any(timed[i][2] for i in lines)
                done.add(name)
        # The first step of the script left unfinished is the one that ran
        # out of time or failed; the steps after it wait for a fresh process.
        if ended != "ok":
            unfinished = [i for i in range(1, len(script) + 1) if i not in timed]
            culprit = owner.get(unfinished[0]) if unfinished else None
            if culprit is None:  # a set-up step failed where it had not before
                culprit = next((n for n in measured if n not in done), None)
            if culprit is not None:
                outcomes[culprit].failure = ended
                outcomes[culprit].message = " ".join(l for l in errors.splitlines() if "random seed" not in l)
                done.add(culprit)
        todo = [s for s in todo if s.label not in done and not outcomes[s.label].failure]
        if ended == "ok":
            for step in todo:  # ran to the end without timing a step: cannot happen, but never loop
                outcomes[step.label].failure = "not run"
            todo = []


def makesample(folder, n):
    subprocess.run([sys.executable, os.path.join(ROOT, "scripts", "make_sample.py"), "--n", str(n), "--out", folder],
                   check=True, stdout=subprocess.DEVNULL)
    sample = os.path.join(folder, "deformed_sample")
    e = None
    with open(os.path.join(sample, "truth.txt")) as f:
        for line in f:
            words = line.split()
            if len(words) == 2 and words[0] == "e":
                e = words[1]
    return sample, os.path.join(folder, "tectsim"), e


def runsize(bindir, n, repeat, timeout, only=None):
    """Measures every program's steps on a sample of n specimens; gives
    {(program, step): Outcome}."""
    folder = tempfile.mkdtemp(prefix=f"tecto-scaling-{n}-")
    try:
        sample, tectsim, e = makesample(folder, n)
        table = programs(sample, tectsim, e, n)
        results = {}
        for program, steps in table.items():
            if only is not None and program not in only:
                continue
            outcomes = {s.label: Outcome() for s in steps}
            for r in range(repeat):
                print(f"  n = {n}: {program} (run {r + 1} of {repeat})", file=sys.stderr, flush=True)
                measure(os.path.join(bindir, program), folder, steps, outcomes, timeout)
            for s in steps:
                results[(program, s.label)] = outcomes[s.label]
        return results
    finally:
        shutil.rmtree(folder, ignore_errors=True)


def seconds(out, timeout):
    if out.failure == "timeout":
        return f"timeout (> {timeout:g} s)"
    if out.failure:
        return out.failure
    t = out.time()
    return f"{t:.3f}"


def mib(out):
    p = out.peak()
    if p is None:
        return "-"
    return f"{p:.0f}" + (" (so far)" if out.peaksofar else "")


def exponent(a, b, na, nb):
    """The growth exponent between two sizes, "-" where either time is
    missing or the smaller is too short to say (SHORTEST)."""
    ta, tb = a.time(), b.time()
    if ta is None or tb is None or min(ta, tb) < SHORTEST:
        return "-"
    value = math.log(tb / ta) / math.log(nb / na) if tb > 0 else float("-inf")
    return f"{value:.2f}" + (" !" if value > LIMIT else "")


def scalingtable(sizes, results, order, timeout):
    header = ["program", "action"] + [f"time (s) n={n}" for n in sizes] + [f"peak (MiB) n={n}" for n in sizes]
    header += [f"exponent {a}→{b}" for a, b in zip(sizes, sizes[1:])]
    rows = ["| " + " | ".join(header) + " |", "|" + "---|" * len(header)]
    for program, label in order:
        outs = [results[n][(program, label)] for n in sizes]
        cells = [program, label] + [seconds(o, timeout) for o in outs] + [mib(o) for o in outs]
        cells += [exponent(outs[i], outs[i + 1], sizes[i], sizes[i + 1]) for i in range(len(sizes) - 1)]
        rows.append("| " + " | ".join(cells) + " |")
    notes = [f"- {program} {label}, n={n}: {results[n][(program, label)].message}" for n in sizes
             for program, label in order if results[n][(program, label)].failure == "error"]
    return "\n".join(rows + ([""] + notes if notes else []))


def runtargets(bindir, repeat, timeout):
    """Measures the targets; gives markdown rows."""
    rows = ["| target | specimens | time (s) | peak (MiB) | limit (s) | verdict |", "|---|---|---|---|---|---|"]
    bysize = {}
    for what, n, program, label, commands, limit in TARGETS:
        bysize.setdefault(n, []).append((what, program, label, commands, limit))
    for n, targets in bysize.items():
        folder = tempfile.mkdtemp(prefix=f"tecto-targets-{n}-")
        try:
            sample, tectsim, e = makesample(folder, n)
            table = programs(sample, tectsim, e, n)
            if any(program == "restrain" for _, program, *_ in targets):
                # Restrain reads the angles Anglepick measures on the sample.
                prep = {s.label: Outcome() for s in table["anglepick"]}
                print(f"  targets, n = {n}: anglepick", file=sys.stderr, flush=True)
                measure(os.path.join(bindir, "anglepick"), folder, table["anglepick"], prep, timeout)
            for what, program, label, commands, limit in targets:
                steps = [s for s in table[program] if s.label in closure(table[program], label)]
                if commands:
                    steps[-1] = Step(label, commands, steps[-1].needs)
                # Only the target is reported; the steps before it set it up.
                outcomes = {s.label: Outcome() for s in steps}
                for r in range(repeat):
                    print(f"  targets, n = {n}: {what} (run {r + 1} of {repeat})", file=sys.stderr, flush=True)
                    measure(os.path.join(bindir, program), folder, steps, outcomes, timeout)
                out = outcomes[label]
                t = out.time()
                verdict = "PASS" if t is not None and t < limit else "FAIL"
                rows.append(f"| {what} | {n:,} | {seconds(out, timeout)} | {mib(out)} | {limit:g} | {verdict} |")
        finally:
            shutil.rmtree(folder, ignore_errors=True)
    return "\n".join(rows)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0],
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--bin", default=os.path.join(ROOT, "build", "bin"),
                        help="the folder of anglepick, restrain, symrestore and tectsim (default: build/bin)")
    parser.add_argument("--sizes", default="600,3000,15000",
                        help="numbers of specimens, comma-separated (default 600,3000,15000)")
    parser.add_argument("--repeat", type=int, default=3,
                        help="runs per action; the table gives medians (default 3)")
    parser.add_argument("--timeout", type=float, default=60,
                        help="seconds one command may take before it is stopped (default 60)")
    parser.add_argument("--programs", default="anglepick,restrain,symrestore,tectsim",
                        help="the programs to measure, comma-separated (default: all four)")
    parser.add_argument("--targets", action="store_true", help="also measure the targets and say PASS or FAIL")
    parser.add_argument("--targets-only", action="store_true", help="measure the targets alone")
    args = parser.parse_args()

    # The programs run in their samples' folders: a relative --bin must not
    # be read from there.
    args.bin = os.path.abspath(args.bin)
    sizes = [int(s) for s in args.sizes.split(",") if s.strip()]
    only = set(p.strip() for p in args.programs.split(",") if p.strip())
    if "restrain" in only:
        only.add("anglepick")  # Restrain reads the angles Anglepick measures
    for program in only:
        if not os.access(os.path.join(args.bin, program), os.X_OK):
            parser.error(f"no program {program} in {args.bin} (give the programs' folder with --bin)")

    if not args.targets_only:
        results = {}
        for n in sizes:
            results[n] = runsize(args.bin, n, args.repeat, args.timeout, only)
        order = [key for key in results[sizes[0]]]
        print(f"Scaling of whole actions: median of {args.repeat} run(s), --timeout {args.timeout:g} s; "
              f"\"!\" marks a growth exponent above {LIMIT}.\n")
        print(scalingtable(sizes, results, order, args.timeout))
    if args.targets or args.targets_only:
        print("\nTargets:\n")
        print(runtargets(args.bin, args.repeat, args.timeout))


if __name__ == "__main__":
    main()
