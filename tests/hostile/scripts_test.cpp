// Scripted runs on hostile scripts: every kind of line end, a byte-order
// mark, a folder or a missing file given as the script, box texts beyond
// an edit box's default length, ranges too long for a box, and SIGINT or
// SIGTERM in the middle of a run, which must say "interrupted", exit with
// the conventional status and leave no half-written or temporary file.

#include "tests/hostile/hostile.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <csignal>
#include <regex>
#include <sstream>

namespace {

using hostile::Case;
using hostile::Verdict;
namespace fs = hostile::fs;

const std::string tps = hostile::example("deformed_sample/deformed.tps");
const std::string protocol = hostile::example("deformed_sample/protocol.txt");

// Anglepick's chain with the given line end after every command.
std::string chain(const std::string& end) {
  return "LoadData " + tps + end + "LoadProto " + protocol + end + "SaveAveData means.txt" + end;
}

std::string sixtyrows(const fs::path& folder, const hostile::Outcome&) {
  const std::string text = hostile::read(folder / "means.txt");
  return std::count(text.begin(), text.end(), '\n') == 60 ? "" : "means.txt should hold 60 rows (every command ran)";
}

// A timed run: one line per command on standard error, in the form the
// option's help gives, and the means written as without the option.
std::string timedlines(const fs::path& folder, const hostile::Outcome& o) {
  const std::regex line(R"(timing: line (\d+) (\S+) \d+\.\d{3} s, peak (so far )?\d+\.\d MiB)");
  std::istringstream err(o.err);
  std::string found;
  for (std::string l; std::getline(err, l);) {
    std::smatch m;
    if (!std::regex_match(l, m, line)) return "not a timing line: '" + l + "'";
    found += m[1].str() + " " + m[2].str() + ";";
  }
  if (found != "1 LoadData;2 LoadProto;3 SaveAveData;") return "timed commands were " + found;
  return sixtyrows(folder, o);
}

std::string longtext() {
  std::string t;
  while (t.size() < 40000) t += "12 ";
  t.pop_back();
  return t;
}

const std::vector<Case>& cases() {
  static const std::vector<Case> table = {
      {"Script with CR line ends", "anglepick", {}, chain("\r"), Verdict::Accepted, {}, sixtyrows},
      {"Script with CR LF line ends", "anglepick", {}, chain("\r\n"), Verdict::Accepted, {}, sixtyrows},
      {"Script timed command by command", "anglepick", {}, chain("\n"), Verdict::Accepted, {}, timedlines,
       {"--timing"}},
      {"Script starting with a byte-order mark", "anglepick", {}, "\xEF\xBB\xBF" + chain("\n"), Verdict::Accepted, {},
       sixtyrows},
      {"Script with CR line ends failing at its third command", "anglepick", {},
       "LoadData " + tps + "\rLoadProto " + protocol + "\rLoadProto nosuch.txt\rSaveAveData means.txt\r",
       Verdict::Refused, {"nosuch.txt", "(case.script, line 3: LoadProto)"}},
      {"Run a folder as the script", "anglepick", {}, "", Verdict::Refused,
       {"anglepick: the script '.' is a folder, not a file of commands"}, {}, {"--quiet", "--run", "."}},
      {"Run a script that does not exist", "restrain", {}, "", Verdict::Refused,
       {"restrain: cannot open the script 'missing.txt': No such file or directory"}, {},
       {"--quiet", "--run", "missing.txt"}},
      {"Box text of 40000 characters set and shown", "anglepick", {}, "set SlabBox " + longtext() + "\nshow SlabBox\n",
       Verdict::Accepted, {},
       [](const fs::path&, const hostile::Outcome& o) -> std::string {
         return o.out == longtext() + "\n" ? "" : "the box did not show the whole text that was set";
       }},
      {"Tectsim axis box range of 10 to the 8", "tectsim", {},
       "Load1 " + hostile::example("tectsim/start.txt") + "\nLoad2 " + hostile::example("tectsim/end.txt") +
           "\nset NaxisBox 1:99999999\nBuildModels\n",
       Verdict::Refused, {"The box NaxisBox", "'1:99999999'", "at most 1000000 numbers"}},
      {"Symrestore PCA box range of 10 to the 8", "symrestore", {},
       "LoadData " + hostile::example("deformed_sample/deformed.txt") + "\nset PCABox 1:99999999\nUndeformPCA\n",
       Verdict::Refused, {"The box PCABox", "'1:99999999'", "at most 1000000 numbers"}},
  };
  return table;
}

HOSTILE_CASES(scripts, cases);

// A program started on a script, to be sent a signal part way.
struct Interrupted {
  int status = -1;
  bool normal = false;
  std::string err;
};

// Sends `signal` once the run has shown it is under way: once it printed
// the line `marker` on standard output (the script shows a box whose text
// it set to the marker, at the point where the signal should land). Waits
// for that output and for the end of the process, never for a time: ctest's
// per-test timeout stops a run that hangs.
Interrupted interrupt(const std::string& program, const fs::path& folder, const std::string& scriptfile,
                      const std::string& input, int signal, const std::string& marker) {
  QProcess p;
  p.setWorkingDirectory(QString::fromStdString(folder.string()));
  p.start(QString::fromStdString(std::string(TECTO_BIN_DIR) + "/" + program),
          {"--quiet", "--seed", "1", "--run", QString::fromStdString(scriptfile)});
  Interrupted r;
  if (!p.waitForStarted(-1)) return r;
  if (!input.empty()) p.write(QByteArray::fromStdString(input)); // standard input stays open
  QByteArray out;
  const QByteArray line = QByteArray::fromStdString(marker + "\n");
  while (!out.startsWith(line) && !out.contains("\n" + line) && p.state() == QProcess::Running) {
    p.waitForReadyRead(-1);
    out += p.readAllStandardOutput();
  }
  ::kill(static_cast<pid_t>(p.processId()), signal);
  p.waitForFinished(-1);
  r.normal = p.exitStatus() == QProcess::NormalExit;
  r.status = p.exitCode();
  r.err = p.readAllStandardError().toStdString();
  return r;
}

// The script lines that print `marker` alone on a line, through a box
// that the saves after it do not read.
std::string showmarker(const std::string& box, const std::string& marker) {
  return "set " + box + " " + marker + "\nshow " + box + "\n";
}

std::string leftovers(const fs::path& folder) {
  for (const auto& e : fs::directory_iterator(folder))
    if (e.path().filename().string().starts_with(".~tecto")) return e.path().filename().string();
  return "";
}

TEST(interrupted, SigintAndSigtermSayInterruptedAndExitWithTheirStatus) {
  for (const auto& [signal, name, status] : {std::tuple{SIGINT, "SIGINT", 130}, std::tuple{SIGTERM, "SIGTERM", 143}}) {
    SCOPED_TRACE(name);
    const fs::path folder = hostile::scratch(std::string("interrupt-") + name);
    // The run waits for its next command on standard input.
    const Interrupted r =
        interrupt("anglepick", folder, "-", "LoadData " + tps + "\n" + showmarker("SlabBox", "loaded"), signal, "loaded");
    ASSERT_TRUE(r.normal) << "killed by the signal instead of ending on it";
    EXPECT_EQ(r.status, status);
    EXPECT_NE(r.err.find(std::string("anglepick: interrupted (") + name + "); nothing more was written"),
              std::string::npos)
        << r.err;
  }
}

// A file made of whole copies of `block` and nothing else.
bool wholeblocks(const std::string& text, const std::string& block) {
  if (block.empty() || text.size() % block.size() != 0) return false;
  for (std::size_t at = 0; at < text.size(); at += block.size())
    if (text.compare(at, block.size(), block) != 0) return false;
  return true;
}

TEST(interrupted, ASignalAmidSavesLeavesOnlyWholeFiles) {
  // For each writer one save, run whole, is the reference; then hundreds of
  // saves into the same file, interrupted at different points: appends
  // (Tectsim) hold whole copies only, a replaced file (Symrestore) is the
  // whole new file, and no temporary file is left. The script comes on
  // standard input, which stays open, so the run cannot end before the
  // signal however the machine schedules it: the signal lands amid a save
  // or while the run waits for its next command.
  struct Writer {
    std::string program, load, save, file, box;
    bool append;
  };
  const std::vector<Writer> writers = {
      {"tectsim",
       "Load1 " + hostile::example("tectsim/start.txt") + "\nLoad2 " + hostile::example("tectsim/end.txt") +
           "\nset NumBox 100\nBuildModels\n",
       "SaveCData out.txt\n", "out.txt", "AmpBox", true},
      {"symrestore",
       "LoadData " + hostile::example("deformed_sample/deformed.txt") + "\nLoadProto " +
           hostile::example("deformed_sample/pairs.txt") + "\nUndeformUni\n",
       "Save out.txt\n", "out.txt", "PCABox", false},
  };
  const auto repeated = [](const std::string& line, int times) {
    std::string text;
    for (int i = 0; i < times; ++i) text += line;
    return text;
  };
  for (const Writer& w : writers) {
    SCOPED_TRACE(w.program);
    const fs::path reference = hostile::scratch("interrupt-reference-" + w.program);
    hostile::write(reference / "one.script", w.load + w.save);
    ASSERT_EQ(hostile::run(w.program, {"--quiet", "--seed", "1", "--run", "one.script"}, reference).status, 0);
    const std::string once = hostile::read(reference / w.file);
    ASSERT_GT(once.size(), 1000u);
    for (const int before : {0, 5, 50}) {
      SCOPED_TRACE(before);
      const fs::path folder = hostile::scratch("interrupt-" + w.program + std::to_string(before));
      const std::string input =
          w.load + repeated(w.save, before) + showmarker(w.box, "saving") + repeated(w.save, 300);
      const Interrupted r = interrupt(w.program, folder, "-", input, SIGTERM, "saving");
      ASSERT_TRUE(r.normal);
      EXPECT_EQ(r.status, 143) << r.err;
      EXPECT_EQ(leftovers(folder), "");
      // Interrupted amid the first append, which made the file: undone, the
      // file is gone again.
      if (!fs::exists(folder / w.file)) continue;
      const std::string text = hostile::read(folder / w.file);
      EXPECT_TRUE(w.append ? wholeblocks(text, once) : text == once)
          << w.file << " holds " << text.size() << " bytes; one save writes " << once.size();
    }
  }
}

} // namespace
