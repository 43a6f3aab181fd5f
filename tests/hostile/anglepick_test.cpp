// Anglepick on protocols that cannot mean anything, on actions in an order
// that would save angles of other data or of nothing, on a long protocol
// and on a misspelt action: each refused by name with every file left as
// it was, or measured right.

#include "tests/hostile/hostile.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using hostile::Case;
using hostile::Verdict;

const std::string tps = hostile::example("deformed_sample/deformed.tps");
const std::string proto = hostile::example("deformed_sample/protocol.txt");
const std::string lizards = hostile::example("lizards_podarcis/lizards.tps");

// An angle file from an earlier session, which a refused save must leave.
const std::string earlier = "12.500000\t80.100000\t1\t % specimen 1\n";

std::string measure(const std::string& protocol, const std::string& then = "SaveAveData out.txt\n") {
  return "LoadData " + tps + "\nLoadProto " + protocol + "\n" + then;
}

// Accepted runs: `file` holds `rows` lines.
std::function<std::string(const hostile::fs::path&, const hostile::Outcome&)> rows(const std::string& file, long rows) {
  return [=](const hostile::fs::path& folder, const hostile::Outcome&) -> std::string {
    const std::string text = hostile::read(folder / file);
    const long n = std::count(text.begin(), text.end(), '\n');
    return n == rows ? "" : file + " holds " + std::to_string(n) + " rows, not " + std::to_string(rows);
  };
}

// A protocol of the sample's midline and then `pairs` rows cycling through
// its five pairs.
std::string longprotocol(int pairs) {
  std::string p = "1 0\n4 0\n2 0\n3 0\n";
  const char* cycle[] = {"5 6\n", "7 8\n", "9 10\n", "11 12\n", "13 14\n"};
  for (int i = 0; i < pairs; ++i) p += cycle[i % 5];
  return p;
}

const std::vector<Case>& cases() {
  static const std::vector<Case> table = {
      // Protocols that cannot mean anything.
      {"Anglepick first two protocol rows one midline landmark", "anglepick", {{"p.txt", "1 0\n1 0\n5 6\n7 8\n"}, {"out.txt", earlier}},
       measure("p.txt"), Verdict::Refused, {"protocol rows 1 and 2 name the same point (1 0)", "case.script, line 2"}},
      {"Anglepick first two protocol rows one pair both ways round", "anglepick",
       {{"p.txt", "5 6\n6 5\n1 0\n4 0\n"}, {"out.txt", earlier}}, measure("p.txt"), Verdict::Refused,
       {"protocol rows 1 and 2 name the same point (6 5)"}},
      {"Anglepick a pair of one landmark with itself", "anglepick", {{"p.txt", "1 0\n4 0\n7 8\n5 5\n"}, {"out.txt", earlier}},
       measure("p.txt"), Verdict::Refused, {"protocol row 4: the pair 5 5 names one landmark twice"}},
      {"Anglepick a protocol of midline landmarks only", "anglepick", {{"p.txt", "1 0\n4 0\n2 0\n3 0\n"}, {"out.txt", earlier}},
       measure("p.txt", "SaveData out.txt\n"), Verdict::Refused,
       {"The protocol file 'p.txt' holds no pair row (its second column is 0 on all 4 rows)"}},
      {"Anglepick Symrestore's pairs file given as the protocol", "anglepick", {{"out.txt", earlier}},
       measure(hostile::example("deformed_sample/pairs.txt")), Verdict::Refused,
       {"protocol row 1: the pair 1 1 names one landmark twice", "'1 0'"}},
      {"Anglepick a protocol with a landmark the data lack", "anglepick", {{"p.txt", "1 0\n4 0\n5 15\n"}}, measure("p.txt"),
       Verdict::Refused, {"protocol row 3: landmark number 15 is outside 1 ... 14"}},
      {"Anglepick the same pair twice further down is only weighed twice", "anglepick",
       {{"p.txt", "1 0\n4 0\n5 6\n5 6\n1 0\n"}}, measure("p.txt"), Verdict::Accepted, {}, rows("out.txt", 60)},

      // Stale angles: the data loaded after the protocol have no angles.
      {"Anglepick new data after the protocol then SaveAveData", "anglepick", {{"out.txt", earlier}},
       "LoadData " + lizards + "\nLoadProto " + proto + "\nLoadData " + tps + "\nSaveAveData out.txt\n", Verdict::Refused,
       {"Nothing measured for the data now loaded: load their protocol before saving angles", "line 4"}},
      {"Anglepick new data after the protocol then SaveData", "anglepick", {{"out.txt", earlier}},
       "LoadData " + lizards + "\nLoadProto " + proto + "\nLoadData " + tps + "\nSaveData out.txt\n", Verdict::Refused,
       {"Nothing measured for the data now loaded", "line 4"}},
      {"Anglepick new data measured again saves their own 60 specimens", "anglepick", {},
       "LoadData " + lizards + "\nLoadProto " + proto + "\nLoadData " + tps + "\nLoadProto " + proto + "\nSaveAveData out.txt\n",
       Verdict::Accepted, {},
       [](const hostile::fs::path& folder, const hostile::Outcome& o) -> std::string {
         if (o.out.find("note: the angles measured on the data loaded before were cleared") == std::string::npos)
           return "no note that the old angles were cleared";
         return rows("out.txt", 60)(folder, o);
       }},

      // Nothing measured: refused before the dialog, the file kept.
      {"Anglepick SaveData with nothing measured", "anglepick", {{"out.txt", earlier}}, "SaveData out.txt\n",
       Verdict::Refused, {"Nothing measured yet: load a TPS file and its protocol before saving angles"}},
      {"Anglepick SaveAveData with nothing measured", "anglepick", {{"out.txt", earlier}}, "SaveAveData out.txt\n",
       Verdict::Refused, {"Nothing measured yet", "before saving angles"}},
      {"Anglepick SaveDataBirch with nothing measured", "anglepick", {{"out.txt", earlier}}, "SaveDataBirch out.txt\n",
       Verdict::Refused, {"Nothing measured yet", "before saving angles"}},
      {"Anglepick SaveData with data but no protocol", "anglepick", {{"out.txt", earlier}}, "LoadData " + tps + "\nSaveData out.txt\n",
       Verdict::Refused, {"Nothing measured for the data now loaded", "line 2"}},
      {"Anglepick SaveData after Clear", "anglepick", {{"out.txt", earlier}}, measure(proto, "Clear\nSaveData out.txt\n"),
       Verdict::Refused, {"Nothing measured yet", "line 4"}},

      // A long protocol is measured, and measured in the same way as a short one.
      {"Anglepick a protocol of 3000 rows", "anglepick", {{"p.txt", longprotocol(2996)}}, measure("p.txt"),
       Verdict::Accepted, {}, rows("out.txt", 60)},

      // A misspelt action stops the run before the save after it.
      {"Anglepick misspelt action in a script", "anglepick", {{"out.txt", earlier}}, measure(proto, "SaveAverage out.txt\nSaveAveData out.txt\n"),
       Verdict::Refused, {"Unknown action 'SaveAverage': Anglepick's actions are LoadData, LoadProto", "line 3"}},

      // Data that cannot be superimposed are refused and leave the angles
      // measured before.
      {"Anglepick a TPS specimen whose landmarks coincide", "anglepick",
       {{"zero.tps", "LM=3\n0 0\n0 0\n0 0\nLM=3\n0 0\n1 0\n0 1\n"}}, "LoadData zero.tps\n", Verdict::Refused,
       {"specimen row 1 all lie at one point"}},
  };
  return table;
}

HOSTILE_CASES(anglepick, cases);

} // namespace
