// Tectsim on malformed exemplar files, sizes beyond its memory, box values
// out of range and misspelt actions; and the p values of its report kept
// far below 1e-16.

#include "tests/hostile/hostile.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using hostile::Case;
using hostile::Verdict;

const std::string start = hostile::example("tectsim/start.txt");
const std::string end = hostile::example("tectsim/end.txt");
const std::string exemplars = "Load1 " + start + "\nLoad2 " + end + "\n";
const std::string boxes = "set AmpBox 0.01\nset DefBox 1.5\nset AngleBox 30\nset NaxisBox 1\n";

// The end shape's row with one number more or fewer.
std::string row(int count) {
  std::string s;
  for (int i = 0; i < count; ++i) s += std::to_string(i % 7) + "." + std::to_string(i) + " ";
  return s + "\n";
}

const std::vector<Case>& cases() {
  static const std::vector<Case> table = {
      // Exemplar files: named with what is wrong, and not kept.
      {"an end shape of 30 columns, no size slot", "tectsim", {{"e.txt", row(30)}}, exemplars + "Load2 e.txt\n",
       Verdict::Refused, {"The end shape file 'e.txt' holds 30 numbers per row, an even count", "size slot"}},
      {"a start shape of 30 columns", "tectsim", {{"s.txt", row(30) + row(30)}}, "Load1 s.txt\n", Verdict::Refused,
       {"'s.txt' holds 30 numbers per row"}},
      {"a start shape of two landmarks", "tectsim", {{"s.txt", row(5)}}, "Load1 s.txt\n", Verdict::Refused,
       {"'s.txt' holds 5 numbers per row, fewer than the 7 of three landmarks"}},
      {"exemplars of 14 and 13 landmarks", "tectsim", {{"e.txt", row(27)}},
       "Load1 " + start + "\nLoad2 e.txt\nset NumBox 20\n" + boxes + "BuildModels\n", Verdict::Refused,
       {"different numbers of landmarks (14 and 13)"}},

      // Sizes.
      {"a hundred million specimens", "tectsim", {}, exemplars + "set NumBox 1e8\n" + boxes + "BuildModels\n",
       Verdict::Refused,
       {"The box NumBox (number of specimens) holds '1e8', which is more than the 100000 specimens a simulation of 14 "
        "landmarks may hold"}},
      {"one specimen past the limit before any exemplar", "tectsim", {}, "set NumBox 100001\n" + boxes + "BuildModels\n",
       Verdict::Refused, {"NumBox", "'100001'", "100000 specimens"}},
      {"two specimens", "tectsim", {}, exemplars + "set NumBox 2\n" + boxes + "BuildModels\n", Verdict::Refused,
       {"The box NumBox (number of specimens) must hold a whole number of at least 3"}},

      // The report's p values are upper tails, not 1 - cdf.
      {"the bundled exemplars' Wilks p value", "tectsim", {},
       exemplars + "set NumBox 200\n" + boxes + "BuildModels\nDoStats\n", Verdict::Accepted, {},
       [](const hostile::fs::path&, const hostile::Outcome& o) -> std::string {
         return o.out.find("df2=175,  p value=3.1825633e-63") == std::string::npos ? "no Wilks p value of 3.18e-63"
                                                                                    : "";
       },
       {"--seed", "1"}},

      // Misspelt actions stop the script before anything is saved.
      {"a misspelt BuildModels", "tectsim", {}, exemplars + "set NumBox 20\n" + boxes + "BuildModel\nSaveCData c.txt\n",
       Verdict::Refused, {"Unknown action 'BuildModel'", "case.script, line 8"}},
      {"SavePlot in a script", "tectsim", {}, "SavePlot\n", Verdict::Refused, {"Unknown action 'SavePlot'"}},
  };
  return table;
}

HOSTILE_CASES(tectsimhostile, cases);

} // namespace
