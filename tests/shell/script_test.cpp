// A tiny program driven end to end the way `PROGRAM --run SCRIPT` drives
// the real ones, without a window: controls set and shown, dialogs
// answered from the script, message boxes and results printed, a plot
// saved, an error stopping the run; and the script language's lines
// split into words.

#include "shell/script.h"

#include "core/error.h"
#include "io/row_file.h"
#include "tests/shell/tiny_program.h"
#include "tests/support/scripted_program.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

using testsupport::error_of;

namespace {

namespace fs = std::filesystem;

struct Tiny : testsupport::ScriptedProgram {
  Tiny() : ScriptedProgram(testsupport::tinyprogram(), std::string(TECTO_SHELL_DATA) + "/Tiny.fig") {}
};

} // namespace

TEST(runscript, DrivesAProgramFromEndToEnd) {
  Tiny tiny;
  std::ofstream(tiny.folder() / "data.txt") << "0 0 1 0 0 1 1\n2 2 3 2 2 3 1\n";
  const auto [status, out] = tiny.run(
      "# a whole session\n"
      "set SlabBox 7   # the slab\n"
      "Load data.txt\n"
      "show FileBox\n"
      "Hello\n"
      "Nonsense\n"
      "Report\n"
      "AuxBoxsw results.txt\n"
      "AuxBoxsw results.txt\n"
      "plot \"my plot.svg\"\n"
      "Save out/../slab.txt\n");
  EXPECT_EQ(status, 0) << tiny.errors();
  EXPECT_EQ(out,
            "Loaded:\ndata.txt\n"
            "== Greeting ==\nHello there\n\n"
            "== ==\nHopelessly lost, send help!\n\n"
            "== Results ==\nline one\nline two\n\n"
            "h =\n\n  AuxResults\n\nline oneline twoline oneline two"
            "h =\n\n  AuxResults\n\nline oneline twoline oneline two");
  // Saving twice appends the text twice, each row ending in a blank.
  std::ifstream results(tiny.folder() / "results.txt");
  std::stringstream text;
  text << results.rdbuf();
  EXPECT_EQ(text.str(), "line one \nline two \nline one \nline two \n");
  EXPECT_EQ(io::dload((tiny.folder() / "slab.txt").string())(0, 0), 7);
  EXPECT_EQ(tiny.window().fakeaxes().saved, std::vector<std::string>{(tiny.folder() / "my plot.svg").string()});
  EXPECT_EQ(tiny.host().axes().pointcount(), 6u); // two specimens of three landmarks
}

TEST(runscript, StopsAtTheFirstErrorAndKeepsWhatWasStored) {
  Tiny tiny;
  const auto [status, out] = tiny.run("Hello\nFail\nHello\n");
  EXPECT_EQ(status, 1);
  EXPECT_EQ(out, "== Greeting ==\nHello there\n\n");
  EXPECT_EQ(tiny.errors(), "deliberate failure\n(test.script, line 2: Fail)\n");
  EXPECT_EQ(tiny.host().string("FileBox"), std::vector<std::string>{"before the error"});

  // A cancelled dialog ("-") is the action's business: here an error.
  const auto [status2, out2] = tiny.run("Load -\n");
  EXPECT_EQ(status2, 1);
  EXPECT_EQ(tiny.errors(), "No file chosen\n(test.script, line 1: Load)\n");
  // A control that does not exist.
  EXPECT_EQ(tiny.run("show NoSuchBox\n").first, 1);
  EXPECT_EQ(tiny.errors(), "No window holds a control with the Tag 'NoSuchBox'\n(test.script, line 1: show)\n");
}

TEST(runscript, RunsEveryCommandWhateverItsLineEnds) {
  Tiny tiny;
  // Lone CR (old Mac editors), CR LF, LF, and a byte-order mark first.
  const auto [status, out] = tiny.run("\xEF\xBB\xBFHello\rHello\r\nHello\nHello");
  EXPECT_EQ(status, 0);
  std::string four;
  for (int i = 0; i < 4; ++i) four += "== Greeting ==\nHello there\n\n";
  EXPECT_EQ(out, four);
  // Line numbers count every kind of line end.
  EXPECT_EQ(tiny.run("Hello\r\rFail\n").first, 1);
  EXPECT_EQ(tiny.errors(), "deliberate failure\n(test.script, line 3: Fail)\n");
}

TEST(runscript, SaysWhichActionRanOutOfMemory) {
  Tiny tiny;
  EXPECT_EQ(tiny.run("Hello\nGrow\nHello\n").first, 1);
  EXPECT_EQ(tiny.errors(), shell::outofmemory("Grow") + "\n(test.script, line 2: Grow)\n");
  EXPECT_NE(tiny.errors().find("Not enough memory for Grow"), std::string::npos);
}

TEST(runscript, ShowsProgressOnOneLineOnlyWhereAskedAndClearsIt) {
  Tiny tiny;
  // Into a file (a log, a pipe): nothing but what the run prints.
  EXPECT_EQ(tiny.run("Long\nHello\n").second, "== Greeting ==\nHello there\n\n");
  EXPECT_EQ(tiny.errors(), "");

  // On a terminal: each report rewrites the line, and the line is blanked
  // when the action ends, before anything else is printed.
  std::FILE* out = std::tmpfile();
  ASSERT_NE(out, nullptr);
  tiny.host().showprogress(out, 0);
  EXPECT_EQ(tiny.run("Long\n").first, 0);
  tiny.host().showprogress(nullptr);
  std::rewind(out);
  std::string shown;
  for (int c; (c = std::fgetc(out)) != EOF;) shown += static_cast<char>(c);
  std::fclose(out);
  const std::string line = "Counting 1000 of 1000 (100 %)";
  EXPECT_EQ(shown, "\rCounting 250 of 1000 (25 %)\rCounting 500 of 1000 (50 %)\rCounting 750 of 1000 (75 %)\r" + line +
                       "\r" + std::string(line.size(), ' ') + "\r");
}

TEST(runscript, TimesEachCommandThatRanOnlyWhenAsked) {
  Tiny tiny;
  const std::string script = "# timed\nset SlabBox 7\n\nHold\nHello\nFail\nHello\n";
  // Untimed: standard error holds the error alone.
  EXPECT_EQ(tiny.run(script).first, 1);
  EXPECT_EQ(tiny.errors(), "deliberate failure\n(test.script, line 6: Fail)\n");

  tiny.host().showtiming(stderr);
  const auto [status, out] = tiny.run(script);
  tiny.host().showtiming(nullptr);
  EXPECT_EQ(status, 1);
  EXPECT_EQ(out, "== Greeting ==\nHello there\n\n");
  // One line per command that ran to its end, in order, then the error.
  const std::regex format(R"(timing: line (\d+) (\S+) (\d+\.\d{3}) s, peak (so far )?(\d+\.\d) MiB)");
  std::istringstream err(tiny.errors());
  std::vector<std::string> lines;
  for (std::string line; std::getline(err, line);) lines.push_back(line);
  ASSERT_EQ(lines.size(), 5u) << tiny.errors();
  const std::vector<std::pair<std::string, std::string>> expected = {{"2", "set"}, {"4", "Hold"}, {"5", "Hello"}};
  std::vector<double> peak;
  bool restarted = true;
  for (std::size_t i = 0; i < expected.size(); ++i) {
    std::smatch m;
    ASSERT_TRUE(std::regex_match(lines[i], m, format)) << lines[i];
    EXPECT_EQ(m[1], expected[i].first);
    EXPECT_EQ(m[2], expected[i].second);
    EXPECT_GE(std::stod(m[3]), 0.0);
    restarted = restarted && !m[4].matched;
    peak.push_back(std::stod(m[5]));
  }
  EXPECT_EQ(lines[3], "deliberate failure");
  // The 64 MiB block counts in its own command's peak; the command after it
  // starts from what the process holds once the block is given back, unless
  // the system keeps one peak for the whole run.
#if defined(__SANITIZE_ADDRESS__)
  // AddressSanitizer keeps freed memory in quarantine, so the block is not
  // given back when its command ends.
  constexpr bool givenback = false;
#else
  constexpr bool givenback = true;
#endif
  if (restarted) {
    EXPECT_GE(peak[1], peak[0] + 60);
    if (givenback) {
      EXPECT_LE(peak[2], peak[1] - 60);
    }
  } else {
    EXPECT_GE(peak[1], peak[0]);
    EXPECT_GE(peak[2], peak[1]);
  }
}

TEST(scriptwords, SplitsAtBlanksKeepsQuotesAndDropsComments) {
  EXPECT_EQ(shell::scriptwords("Load  \"a b.txt\" c.txt # later"),
            (std::vector<std::string>{"Load", "a b.txt", "c.txt"}));
  EXPECT_EQ(shell::scriptwords("   # only a comment"), std::vector<std::string>{});
  EXPECT_EQ(shell::scriptwords("set Box \"\""), (std::vector<std::string>{"set", "Box", ""}));
  EXPECT_EQ(error_of([] { shell::scriptwords("Load \"open"); }), "a double quote is not closed");
}
