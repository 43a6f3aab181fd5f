// The run report's text: its heading, the seed or why there is none, the
// files loaded, then the log.

#include "io/run_report.h"

#include <gtest/gtest.h>

TEST(runreport, NamesTheRunTheSeedAndEveryFileBeforeTheLog) {
  io::RunReport r;
  r.program = "restrain";
  r.version = "0.1.0";
  r.started = "2024-05-01T10:00:00";
  r.saved = "2024-05-01T10:05:00";
  r.log = "== Load  10:00:12 ==\n-- Load: 0.01 s";
  const std::string head = "Run report of restrain 0.1.0\nStarted: 2024-05-01T10:00:00\nSaved: 2024-05-01T10:05:00\n";
  EXPECT_EQ(io::formatrunreport(r), head +
                                        "Random seed: none (this program draws no random numbers)\n"
                                        "Files loaded:\n  none\n"
                                        "Actions and results:\n== Load  10:00:12 ==\n-- Load: 0.01 s\n");
  r.seed = 42;
  r.files = {{"/d/a.txt", "3a7b", "10:00:12"}, {"/d/gone.txt", "", "10:01:00"}};
  r.log += "\n";
  EXPECT_EQ(io::formatrunreport(r), head +
                                        "Random seed: 42 (repeat with --seed 42)\n"
                                        "Files loaded:\n  /d/a.txt\n    SHA-256 3a7b, loaded 10:00:12\n"
                                        "  /d/gone.txt\n    SHA-256 (the file could not be read), loaded 10:01:00\n"
                                        "Actions and results:\n== Load  10:00:12 ==\n-- Load: 0.01 s\n");
}
