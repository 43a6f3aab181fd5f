#!/usr/bin/env python3
"""The scaling harness's bookkeeping, run on a stand-in program that prints
timing lines as the real ones do and hangs or fails on the commands told:
each action's time is the sum of its lines and its peak their largest, a
hung command is stopped and reported as a timeout while the actions that
do not need it still run, and a failed one is reported with its message."""

import os
import shutil
import stat
import sys
import tempfile
import unittest

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import scaling  # noqa: E402

# Runs a script as `PROGRAM --quiet --seed 1 --timing --run SCRIPT` does:
# "Hang" never ends, "Fail" stops the run with an error, any other command
# takes the time and peak written after it ("Act 0.25 70").
STANDIN = r"""#!/usr/bin/env python3
import sys, time
script = sys.argv[sys.argv.index("--run") + 1]
with open(script) as f:
    for number, line in enumerate(f, 1):
        words = line.split()
        if words[0] == "Hang":
            time.sleep(3600)
        if words[0] == "Fail":
            print("deliberate failure\n(bench.script, line %d: Fail)" % number, file=sys.stderr)
            sys.exit(1)
        seconds = words[1] if len(words) > 1 else "0.010"
        peak = words[2] if len(words) > 2 else "50.0"
        print("timing: line %d %s %s s, peak %s MiB" % (number, words[0], seconds, peak), file=sys.stderr, flush=True)
"""


class Harness(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="tecto-scaling-test-")
        self.program = os.path.join(self.folder, "standin")
        with open(self.program, "w") as f:
            f.write(STANDIN)
        os.chmod(self.program, os.stat(self.program).st_mode | stat.S_IEXEC)

    def tearDown(self):
        shutil.rmtree(self.folder, ignore_errors=True)

    # The stand-in's own commands get a limit no busy machine reaches; only
    # a step that hangs is given a short one of its own, and it hangs for
    # good, so no verdict depends on how fast the machine is.
    def run_steps(self, steps, repeat=1, timeout=600.0):
        outcomes = {s.label: scaling.Outcome() for s in steps}
        for _ in range(repeat):
            scaling.measure(self.program, self.folder, steps, outcomes, timeout)
        return outcomes

    def test_sums_each_actions_lines_and_takes_their_largest_peak(self):
        steps = [
            scaling.Step("Load", ["Load 0.100 60.0"]),
            scaling.Step("Act", ["Set 0.001 61.0", "Act 0.250 90.5", "Plot 0.050 70.0"], ["Load"]),
        ]
        out = self.run_steps(steps, repeat=3)
        self.assertEqual(out["Load"].times, [0.1] * 3)
        self.assertAlmostEqual(out["Act"].time(), 0.301)
        self.assertEqual(out["Act"].peak(), 90.5)
        self.assertFalse(out["Act"].failure)

    def test_a_hung_action_times_out_and_the_others_still_run(self):
        steps = [
            scaling.Step("Load", ["Load 0.100"]),
            scaling.Step("Stuck", ["Hang"], ["Load"], timeout=0.5),
            scaling.Step("After", ["After 0.200"], ["Stuck"]),
            scaling.Step("Other", ["Other 0.300"], ["Load"]),
        ]
        out = self.run_steps(steps, repeat=2)
        self.assertEqual(out["Stuck"].failure, "timeout")
        self.assertIsNone(out["Stuck"].time())
        self.assertEqual(out["After"].failure, "not run")
        # Measured in a fresh process set up by Load, once per repeat; Load's
        # set-up runs are not counted again.
        self.assertEqual(out["Other"].times, [0.3, 0.3])
        self.assertEqual(out["Load"].times, [0.1, 0.1])

    def test_a_failed_action_carries_its_message(self):
        steps = [
            scaling.Step("Load", ["Load"]),
            scaling.Step("Broken", ["Fail"], ["Load"]),
            scaling.Step("Next", ["Next 0.020"], ["Load"]),
        ]
        out = self.run_steps(steps)
        self.assertEqual(out["Broken"].failure, "error")
        self.assertIn("deliberate failure", out["Broken"].message)
        self.assertEqual(out["Next"].times, [0.02])

    def test_growth_exponents_and_their_mark(self):
        def timed(t):
            return scaling.Outcome(times=[t])

        self.assertEqual(scaling.exponent(timed(0.1), timed(0.5), 600, 3000), "1.00")
        self.assertEqual(scaling.exponent(timed(0.1), timed(2.5), 600, 3000), "2.00 !")
        self.assertEqual(scaling.exponent(timed(0.4), timed(0.5), 3000, 15000), "0.14")
        self.assertEqual(scaling.exponent(timed(0.009), timed(0.5), 600, 3000), "-")  # too short to say
        self.assertEqual(scaling.exponent(timed(0.5), timed(0.009), 600, 3000), "-")
        self.assertEqual(scaling.exponent(scaling.Outcome(failure="timeout"), timed(0.5), 600, 3000), "-")

    def test_timing_lines_parse_in_both_forms(self):
        m = scaling.TIMING.match("timing: line 12 DoWellman 0.734 s, peak 123.4 MiB")
        self.assertEqual((m.group(1), m.group(2), m.group(3), m.group(4), m.group(5)),
                         ("12", "DoWellman", "0.734", None, "123.4"))
        m = scaling.TIMING.match("timing: line 3 plot 1.000 s, peak so far 99.0 MiB")
        self.assertEqual(m.group(4), "so far ")


if __name__ == "__main__":
    unittest.main()
