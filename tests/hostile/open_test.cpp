// A file handed to a program on its command line, as a desktop's file
// manager hands it over (`anglepick FILE`): the window opens with it loaded
// by the program's first load action, or the program names the file on
// standard error and ends with status 1.

#include "tests/hostile/hostile.h"

#include <gtest/gtest.h>

namespace {

using hostile::Case;
using hostile::Verdict;

// The window was pictured once the file was loaded, and the load said what
// it found (the cephala's missing landmarks), when `said` is given.
std::function<std::string(const hostile::fs::path&, const hostile::Outcome&)> opened(const std::string& said) {
  return [said](const hostile::fs::path& folder, const hostile::Outcome& o) -> std::string {
    if (!hostile::fs::exists(folder / "shot.png")) return "no picture of the window";
    if (o.out.find(said) == std::string::npos) return "standard output does not say '" + said + "'";
    return "";
  };
}

const std::vector<Case>& cases() {
  static const std::vector<Case> table = [] {
    const std::string cephala = hostile::read(hostile::example("trilomorph_cephala/cephala_tpsdig_all.tps"));
    const std::string missing = "in.tps: 39 landmarks are missing in 13 specimens";
    const std::string start = hostile::read(hostile::example("tectsim/start.txt"));
    const std::vector<std::string> shot = {"--screenshot", "shot.png"};
    const auto with = [&](std::string file) {
      std::vector<std::string> a{std::move(file)};
      a.insert(a.end(), shot.begin(), shot.end());
      return a;
    };
    std::vector<Case> t = {
        {"Anglepick opens a TPS file with missing landmarks", "anglepick", {{"in.tps", cephala}}, "",
         Verdict::Accepted, {}, opened(missing), with("in.tps")},
        {"Restrain opens a TPS file", "restrain", {{"in.tps", cephala}}, "", Verdict::Accepted, {}, opened(missing),
         with("in.tps")},
        {"Symrestore opens a TPS file", "symrestore", {{"in.tps", cephala}}, "", Verdict::Accepted, {},
         opened(missing), with("in.tps")},
        {"Tectsim opens a start shape", "tectsim", {{"start.txt", start}}, "", Verdict::Accepted, {}, opened(""),
         with("start.txt")},
        {"Anglepick refuses a TPS file with a point too many", "anglepick",
         {{"in.tps", "LM=2\n0 0\n1 0\n2 2\nID=1\n"}}, "", Verdict::Refused, {"in.tps", "'in.tps' was not loaded"},
         {}, {"in.tps"}},
        {"Restrain refuses a file that holds no numbers", "restrain", {{"in.txt", "not a data set\n"}}, "",
         Verdict::Refused, {"'in.txt' was not loaded"}, {}, {"in.txt"}},
        {"Symrestore refuses a file that holds no numbers", "symrestore", {{"in.txt", "not a data set\n"}}, "",
         Verdict::Refused, {"'in.txt' was not loaded"}, {}, {"in.txt"}},
        {"Tectsim refuses a start shape with a missing landmark", "tectsim", {{"start.txt", "0 0 NaN NaN 0 1 1\n"}},
         "", Verdict::Refused, {"'start.txt' was not loaded"}, {}, with("start.txt")},
        {"Anglepick names a file that is not there", "anglepick", {}, "", Verdict::Refused,
         {"anglepick: cannot open 'gone.tps': there is no such file"}, {}, {"gone.tps"}},
        {"Restrain names a folder given as its file", "restrain", {}, "", Verdict::Refused,
         {"restrain: cannot open '.': it is a folder, not a data file"}, {}, {"."}},
    };
    return t;
  }();
  return table;
}

class Open : public testing::TestWithParam<Case> {};

TEST_P(Open, LoadsTheFileOrNamesItAndFails) { EXPECT_EQ(hostile::judge(GetParam()), ""); }

INSTANTIATE_TEST_SUITE_P(CommandLine, Open, testing::ValuesIn(cases()),
                         [](const testing::TestParamInfo<Case>& i) { return hostile::testname(i.param); });

} // namespace
