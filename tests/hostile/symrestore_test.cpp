// Symrestore on pair lists that pair nothing, axis lists that list no axis,
// data without their size slot, and actions in an order that would save
// the undeformed set of other inputs: each refused by name with every file
// left as it was, or undeformed right.

#include "tests/hostile/hostile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>

namespace {

using hostile::Case;
using hostile::Verdict;

const std::string pairs = hostile::example("deformed_sample/pairs.txt");

// The first `n` specimens of the sample (14 landmarks and the size slot),
// or the same without the slot.
std::string sample(int n, bool slot = true) {
  std::ifstream in(hostile::example("deformed_sample/deformed.txt"));
  std::string out, line;
  for (int i = 0; i < n && std::getline(in, line); ++i) {
    if (!slot) line = line.substr(0, line.find_last_of(' ', line.find_last_not_of(' ')));
    out += line + "\n";
  }
  return out;
}

// A result from an earlier session, which a refused save must leave.
const std::string earlier = "1 2 3 \n";

std::string axisonly() {
  std::string p;
  for (int j = 1; j <= 14; ++j) p += std::to_string(j) + " " + std::to_string(j) + "\n";
  return p;
}

std::function<std::string(const hostile::fs::path&, const hostile::Outcome&)> rows(const std::string& file, long rows) {
  return [=](const hostile::fs::path& folder, const hostile::Outcome&) -> std::string {
    const std::string text = hostile::read(folder / file);
    const long n = std::count(text.begin(), text.end(), '\n');
    return n == rows ? "" : file + " holds " + std::to_string(n) + " rows, not " + std::to_string(rows);
  };
}

const std::vector<Case>& cases() {
  static const std::vector<Case> table = {
      // Pair lists that pair nothing, or are not pair lists.
      {"Symrestore pairs file of axis rows only", "symrestore", {{"d.txt", sample(10)}, {"axis.txt", axisonly()}, {"out.txt", earlier}},
       "LoadData d.txt\nLoadProto axis.txt\nUnDeform\nSave out.txt\n", Verdict::Refused,
       {"The pairs file 'axis.txt' holds only axis rows (each of its 14 rows names one landmark twice)", "line 2"}},
      {"Symrestore pairs file of axis rows only before any data", "symrestore", {{"axis.txt", axisonly()}}, "LoadProto axis.txt\n",
       Verdict::Refused, {"The pairs file 'axis.txt' holds only axis rows"}},
      {"Symrestore pairs file with a third column", "symrestore",
       {{"d.txt", sample(10)}, {"wide.txt", "1 1 0\n2 2 0\n3 3 0\n4 4 0\n5 6 0\n7 8 0\n9 10 0\n11 12 0\n13 14 0\n"}},
       "LoadData d.txt\nLoadProto wide.txt\n", Verdict::Refused, {"The pair list has 3 columns"}},
      {"Symrestore Anglepick's protocol given as the pairs file", "symrestore", {{"d.txt", sample(10)}},
       "LoadData d.txt\nLoadProto " + hostile::example("deformed_sample/protocol.txt") + "\n", Verdict::Refused,
       {"The pair list, row 1: landmark number 0 is not one of the data set's landmarks 1 ... 14"}},

      // Axis lists that list no axis.
      {"Symrestore empty axis list", "symrestore", {{"d.txt", sample(10)}, {"out.txt", earlier}},
       "LoadData d.txt\nset PCABox \"\"\nUndeformPCA\nSave out.txt\n", Verdict::Refused,
       {"The box PCABox (axes to remove) holds '', which lists no axis", "line 3"}},
      {"Symrestore axis list of empty brackets", "symrestore", {{"d.txt", sample(10)}},
       "LoadData d.txt\nset PCABox []\nUndeformPCA\n", Verdict::Refused, {"The box PCABox (axes to remove) holds '[]', which lists no axis"}},
      {"Symrestore axis list of an empty range", "symrestore", {{"d.txt", sample(10)}},
       "LoadData d.txt\nset PCABox 1:0\nUndeformPCA\n", Verdict::Refused, {"The box PCABox (axes to remove) holds '1:0', which lists no axis"}},
      {"Symrestore axis list beyond the axes", "symrestore", {{"d.txt", sample(10)}},
       "LoadData d.txt\nset PCABox 25\nUndeformPCA\n", Verdict::Refused,
       {"holds axis 25; the axes of 14 landmarks are numbered 1 ... 24"}},

      {"Symrestore axes removed from specimens of two landmarks", "symrestore",
       {{"k2.txt", "0 0 1 0 1\n0 0 1 0.1 1\n0 0 1 -0.2 1\n"}}, "LoadData k2.txt\nset PCABox 1\nUndeformPCA\n",
       Verdict::Refused, {"The data set 'k2.txt' has 2 landmarks, which vary in no principal axis of shape"}},

      // Data without the size slot.
      {"Symrestore data without the size slot undeformed by symmetry", "symrestore", {{"d.txt", sample(10, false)}},
       "LoadData d.txt\nLoadProto " + pairs + "\nUnDeform\n", Verdict::Refused,
       {"The data set 'd.txt' has 28 columns, but a specimen row holds 2k + 1", "line 3"}},

      // Stale results: a save never writes the set of other inputs.
      {"Symrestore new data after UnDeform then Save", "symrestore",
       {{"d.txt", sample(10)}, {"e.txt", sample(8)}, {"out.txt", earlier}},
       "LoadData d.txt\nLoadProto " + pairs + "\nUnDeform\nLoadData e.txt\nSave out.txt\n", Verdict::Refused,
       {"Nothing to save yet: undeform the data first", "line 5"}},
      {"Symrestore new pairs file after UnDeform then Save", "symrestore", {{"d.txt", sample(10)}, {"out.txt", earlier}},
       "LoadData d.txt\nLoadProto " + pairs + "\nUnDeform\nLoadProto " + pairs + "\nSave out.txt\n", Verdict::Refused,
       {"Nothing to save yet", "line 5"}},
      {"Symrestore new pairs file after UndeformPCA keeps its result", "symrestore", {{"d.txt", sample(10)}},
       "LoadData d.txt\nset PCABox 1\nUndeformPCA\nLoadProto " + pairs + "\nSave out.txt\n", Verdict::Accepted, {},
       rows("out.txt", 10)},
      {"Symrestore new data undeformed again saves their own specimens", "symrestore", {{"d.txt", sample(10)}, {"e.txt", sample(8)}},
       "LoadData d.txt\nLoadProto " + pairs + "\nUnDeform\nLoadData e.txt\nUnDeform\nSave out.txt\n", Verdict::Accepted, {},
       rows("out.txt", 8)},
      {"Symrestore Save before any undeformation", "symrestore", {{"d.txt", sample(10)}, {"out.txt", earlier}},
       "LoadData d.txt\nSave out.txt\n", Verdict::Refused, {"Nothing to save yet: undeform the data first"}},

      // A fix that cannot run stops the run.
      {"Symrestore UndeformUni with no axis row after UnDeform", "symrestore",
       {{"d.txt", sample(10)}, {"none.txt", "1 2\n3 4\n5 6\n7 8\n9 10\n11 12\n13 14\n"}, {"out.txt", earlier}},
       "LoadData d.txt\nLoadProto none.txt\nUnDeform\nUndeformUni\nSave out.txt\n", Verdict::Refused,
       {"UndeformUni needs two axis rows", "pairs file 'none.txt', which has 0: nothing was undeformed", "line 4"}},
      {"Symrestore RetroStrain with no axis row", "symrestore",
       {{"d.txt", sample(10)}, {"none.txt", "1 2\n3 4\n5 6\n7 8\n9 10\n11 12\n13 14\n"}},
       "LoadData d.txt\nLoadProto none.txt\nset StrainBox 1.3\nRetroStrain\n", Verdict::Refused,
       {"RetroStrain needs two axis rows", "which has 0"}},
      {"Symrestore misspelt action in a script", "symrestore", {{"d.txt", sample(10)}, {"out.txt", earlier}},
       "LoadData d.txt\nUndeform\nSave out.txt\n", Verdict::Refused,
       {"Unknown action 'Undeform': Symrestore's actions are LoadData, LoadProto, UnDeform", "line 2"}},
  };
  return table;
}

HOSTILE_CASES(symrestore, cases);

} // namespace
