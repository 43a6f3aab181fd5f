// Every program's tables exported as CSV by a script (`export FILE.csv`,
// and superimpose -s FILE.csv) and read back by Python's csv module, as a
// user's analysis would read them: the header row, a record of the
// header's length for every row, and the specimens' IDs in their column.

#include "tests/support/test_support.h"

#include <QProcess>
#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct Ran {
  int exitcode = -1;
  std::string out, err;
};

// Runs `program` with `args` in `folder` to its end (no limit of its own:
// ctest's timeout stops a hang).
Ran run(const QString& program, const QStringList& args, const fs::path& folder) {
  QProcess p;
  p.setWorkingDirectory(QString::fromStdString(folder.string()));
  p.start(program, args);
  Ran r;
  if (!p.waitForStarted() || !p.waitForFinished(-1) || p.exitStatus() != QProcess::NormalExit) return r;
  r.exitcode = p.exitCode();
  r.out = p.readAllStandardOutput().toStdString();
  r.err = p.readAllStandardError().toStdString();
  return r;
}

QString bin(const char* program) { return QString(TECTO_BIN_DIR) + "/" + program; }

// Python's reading of a CSV file: the header on the first line, then the
// cells of column `column`, one per line; fails when a record's length is
// not the header's.
const char* const reader = R"(import csv, sys
rows = list(csv.reader(open(sys.argv[1], newline="", encoding="utf-8")))
assert all(len(r) == len(rows[0]) for r in rows), "a record of another length than the header"
print("|".join(rows[0]))
for r in rows[1:]: print(r[int(sys.argv[2])])
)";

struct Read {
  std::string header;
  std::vector<std::string> column;
};

Read readcsv(const fs::path& file, int column, const fs::path& folder) {
  const Ran r = run("python3", {"-c", reader, QString::fromStdString(file.string()), QString::number(column)}, folder);
  EXPECT_EQ(r.exitcode, 0) << r.err;
  Read out;
  std::istringstream lines(r.out);
  std::getline(lines, out.header);
  for (std::string line; std::getline(lines, line);) out.column.push_back(line);
  return out;
}

std::vector<std::string> numbered(int n) {
  std::vector<std::string> ids;
  for (int i = 1; i <= n; ++i) ids.push_back(std::to_string(i));
  return ids;
}

struct Export {
  const char* program;
  std::string script; // empty: superimpose's command line
  const char* file;
  std::string header; // the start of the header row
  int column;         // the column checked: the IDs where the table has them
  std::vector<std::string> cells;
};

} // namespace

TEST(csvexport, EveryProgramsTablesReadBackWithHeaderAndIds) {
  const fs::path folder = testsupport::temppath("csv-export");
  fs::create_directories(folder);
  const std::string sample = testsupport::example("deformed_sample") + "/";
  const std::string tectsim = testsupport::example("tectsim") + "/";
  const Export exports[] = {
      {"anglepick", "LoadData " + sample + "deformed.tps\nLoadProto " + sample + "protocol.txt\nexport angles.csv\n"
                    "SaveData all.txt\n",
       "angles.csv", "specimen|ID|t|mean p|p pair 1|", 1, numbered(60)},
      {"restrain", "LoadAllTP all.txt\nDoWellman\nexport fits.csv\n", "fits.csv", "method|R|theta'|R^2|Chi^2|pairs", 0,
       {"analytic", "numerical"}},
      {"restrain", "LoadAllTP all.txt\nset PBox 50\nPermuteWellman\nexport permutation.csv\n", "permutation.csv",
       "statistic|observed|95 % low|95 % high|p value|permutations", 0,
       {"R^2 (pairs shuffled)", "Chi^2 (pairs shuffled)", "R^2 (specimens permuted)"}},
      {"restrain", "LoadAllTP all.txt\nset BootBox 100\nBootstrapWellman\nexport bootstrap.csv\n", "bootstrap.csv",
       "fit|R|R low|R high|theta'|theta' low|theta' high|resamples used", 0, {"numerical", "analytic"}},
      {"symrestore", "LoadData " + sample + "deformed.tps\nLoadProto " + sample + "pairs.txt\nUnDeform\nexport strains.csv\n",
       "strains.csv", "specimen|ID|R|theta'", 1, numbered(60)},
      {"tectsim", "Load1 " + tectsim + "start.txt\nLoad2 " + tectsim + "end.txt\nset NumBox 40\nBuildModels\nDoStats\n"
                  "export stats.csv\n",
       "stats.csv", "set|Wilks lambda|F|variance explained (%)|df1|df2|Wilks p value|regression slope", 0,
       {"Clean Data", "Noisy Data", "Deformed Clean Data", "Deformed Noisy Data", "Retrodeformed Clean Data",
        "Retrodeformed Noisy Data"}},
      {"superimpose", "", "superimposed.csv", "specimen|ID|x1|y1|x2|", 1, numbered(60)},
  };
  for (const Export& e : exports) {
    SCOPED_TRACE(std::string(e.program) + " " + e.file);
    Ran r;
    if (e.script.empty()) {
      r = run(bin(e.program), {QString::fromStdString(sample + "deformed.tps"), "-s", e.file}, folder);
    } else {
      std::ofstream(folder / "run.script") << e.script;
      r = run(bin(e.program), {"--quiet", "--seed", "1", "--run", "run.script"}, folder);
    }
    ASSERT_EQ(r.exitcode, 0) << r.err;
    const Read read = readcsv(folder / e.file, e.column, folder);
    EXPECT_EQ(read.header.substr(0, e.header.size()), e.header);
    EXPECT_EQ(read.column, e.cells);
  }
  // The table of the last action, or none: a load shows none, and export
  // says which action that was and writes nothing.
  std::ofstream(folder / "run.script") << "LoadAllTP all.txt\nDoWellman\nLoadAllTP all.txt\nexport stale.csv\n";
  const Ran refused = run(bin("restrain"), {"--quiet", "--run", "run.script"}, folder);
  EXPECT_EQ(refused.exitcode, 1);
  EXPECT_NE(refused.err.find("export: the last action, LoadAllTP, showed no table"), std::string::npos) << refused.err;
  EXPECT_FALSE(fs::exists(folder / "stale.csv"));
}
