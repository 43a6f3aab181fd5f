// Actions in an order that cannot work: each is refused with a message that
// says what to do first, and nothing is written.

#include "tests/hostile/hostile.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using hostile::Case;
using hostile::Verdict;

const std::vector<Case>& cases() {
  static const std::vector<Case> table = {
      {"Anglepick protocol before any data", "anglepick", {{"p.txt", "1 0\n4 0\n2 3\n"}}, "LoadProto p.txt\n",
       Verdict::Refused, {"Load a TPS file first", "case.script, line 1"}},
      {"Anglepick the whole sample measured and saved", "anglepick", {},
       "LoadData " + hostile::example("deformed_sample/deformed.tps") + "\nLoadProto " +
           hostile::example("deformed_sample/protocol.txt") + "\nSaveAveData means.txt\n",
       Verdict::Accepted, {},
       [](const hostile::fs::path& folder, const hostile::Outcome&) -> std::string {
         const std::string text = hostile::read(folder / "means.txt");
         return std::count(text.begin(), text.end(), '\n') == 60 ? "" : "means.txt should hold 60 rows";
       }},
  };
  return table;
}

HOSTILE_CASES(order, cases);

} // namespace
