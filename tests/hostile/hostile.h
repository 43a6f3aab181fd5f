#pragma once
// Hostile input, run the way a user meets it: the real programs of this
// build, started as processes on a script in a fresh folder, so that a
// crash, a hang, a lost file or a wrong exit status shows as what it is.
//
// A case table holds rows of Case; each row says what to lay out in the
// folder, which script to run, and the verdict it must reach:
//   - Refused: the run stops with exit status 1, its standard error names
//     the culprit (every string of `culprit` appears in it), and the files
//     that were there before are byte for byte what they were;
//   - Accepted: the run ends with status 0 and `check` (if any) holds.
// Either way the program must end by itself, with no signal and within the
// time limit.

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <ostream>
#include <string>
#include <vector>

namespace hostile {

namespace fs = std::filesystem;

// What one run of a program did.
struct Outcome {
  bool finished = false; // started and ended (by itself or by a signal)
  bool signalled = false; // ended by a signal (a crash, an abort)
  int status = -1;        // exit status when it ended normally
  std::string out, err;   // standard output and standard error
};

// Runs build/bin/<program> with `args` in `folder`, standard input from
// `input`, and waits for it to end however long it takes: a slow build on a
// busy machine is no failure, and ctest's per-test timeout stops a hang.
Outcome run(const std::string& program, const std::vector<std::string>& args, const fs::path& folder,
            const std::string& input = "");

// A fresh empty folder for one case, removed at the end of the process.
fs::path scratch(const std::string& name);

// Whole-file text, and a file written with exactly `text`.
std::string read(const fs::path& path);
void write(const fs::path& path, const std::string& text);

// Path of a file under examples/ (the bundled sample data).
std::string example(const std::string& relative);

// Refused: exit status 1, standard error naming the culprit, no file
// changed. Accepted: exit status 0 and the check. Partial: exit status 2
// (the results were written but some of the work was left undone, as
// superimpose --estimate-missing leaves a refused specimen's landmarks
// missing): standard error names the culprit, and the check holds.
enum class Verdict { Refused, Accepted, Partial };

struct Case {
  std::string name;                        // a sentence: what the user did
  std::string program;                     // anglepick, restrain, symrestore, tectsim, superimpose
  std::map<std::string, std::string> files; // name in the folder -> content, laid out first
  std::string script;                      // the --run script ("" when args say all)
  Verdict verdict = Verdict::Refused;
  std::vector<std::string> culprit;        // Refused, Partial: texts standard error must contain
  std::function<std::string(const fs::path& folder, const Outcome&)> check = {}; // Accepted, Partial: "" when right
  std::vector<std::string> args = {};      // extra arguments (before --run)
  std::string input = "";                  // standard input
};

// Runs a case in its own folder and says what was wrong with the outcome,
// or "" when it reached its verdict.
std::string judge(const Case& c);

// A printable name for parameterised tests: the case name with every
// character that is not a letter or digit dropped.
std::string testname(const Case& c);

// How GoogleTest prints a case (in failures and in ctest's list): its name.
void PrintTo(const Case& c, std::ostream* os);

} // namespace hostile

// The test suite SUITE: every row of the table that `table()` returns, each
// a test of its own named by its sentence, must reach its verdict.
#define HOSTILE_CASES(suite, table)                                                                      \
  class suite : public ::testing::TestWithParam<::hostile::Case> {};                                    \
  TEST_P(suite, ReachesItsVerdict) { EXPECT_EQ(::hostile::judge(GetParam()), ""); }                     \
  INSTANTIATE_TEST_SUITE_P(cases, suite, ::testing::ValuesIn(table()),                                   \
                           [](const auto& info) { return ::hostile::testname(info.param); })
