// Tectsim's report told apart when appended, kept in step with the models,
// and the sets cleared when an exemplar they were built from is replaced.

#include "apps/tectsim/tsswitch.h"

#include "core/random.h"
#include "io/row_file.h"
#include "tests/support/scripted_program.h"
#include "tests/support/test_support.h"

#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

struct Tectsim : testsupport::ScriptedProgram {
  Tectsim() : ScriptedProgram(testsupport::program("tectsim", "Tectsim", "TSSwitch", tectsim::define)) {
    host().setquiet(true);
    const Eigen::MatrixXd heads = io::dload(testsupport::example("plethodon_12lm/plethodon.txt"));
    io::writerows(file("start.txt").string(), heads.topRows(5), "%.10g ", "\n", io::WriteMode::Replace);
    io::writerows(file("end.txt").string(), heads.row(30), "%.10g ", "\n", io::WriteMode::Replace);
  }
  std::string text(const std::string& name) const {
    std::ifstream in(file(name));
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
};

std::size_t count(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

const char* const boxes = "set AmpBox 0.005\nset DefBox 1.5\nset AngleBox 20\nset NaxisBox 1\n";

} // namespace

TEST(TectsimReport, AppendedReportsCarryTheirBuildAndTheWindowFollowsARebuild) {
  Tectsim ts;
  core::setseed(7);
  auto [status, out] = ts.run(std::string("Load1 start.txt\nLoad2 end.txt\n") + boxes +
                              "set NumBox 20\nBuildModels\nDoStats\nAuxBoxsw report.txt\n"
                              "set NumBox 25\nBuildModels\nAuxBoxsw report.txt\n");
  ASSERT_EQ(status, 0) << ts.errors();
  // The rebuild put the new report in the Results tab and said so.
  EXPECT_NE(out.find("The Results tab now shows the report of the rebuilt models\n"), std::string::npos) << out;
  const std::string saved = ts.text("report.txt");
  EXPECT_EQ(count(saved, "Tectsim report, "), 2u);
  const std::size_t first = saved.find("Parameters: 20 specimens per set"),
                    second = saved.find("Parameters: 25 specimens per set");
  EXPECT_TRUE(first != std::string::npos && second != std::string::npos && first < second) << saved;
  EXPECT_NE(saved.find("Random seed 7, build 1 since"), std::string::npos);
  EXPECT_NE(saved.find("Random seed 7, build 2 since"), std::string::npos);
  // Each heading row gains the blank the save writes after every row; the
  // statistics follow unchanged.
  EXPECT_NE(saved.find("(repeat the run with --seed 7) \n\nNoisy Data \nWilks Lambda"), std::string::npos) << saved;
  // Before any report, a rebuild says nothing of one.
  Tectsim quiet;
  std::tie(status, out) = quiet.run(std::string("Load1 start.txt\nLoad2 end.txt\n") + boxes +
                                    "set NumBox 20\nBuildModels\nBuildModels\n");
  ASSERT_EQ(status, 0) << quiet.errors();
  EXPECT_EQ(out, "");
}

TEST(TectsimReport, ANewExemplarClearsTheSetsBuiltFromTheOldOne) {
  Tectsim ts;
  core::setseed(3);
  auto [status, out] = ts.run(std::string("Load1 start.txt\nLoad2 end.txt\n") + boxes + "set NumBox 12\n");
  ASSERT_EQ(status, 0) << ts.errors();
  // Loading an exemplar before anything is built clears nothing.
  EXPECT_EQ(out, "");
  std::tie(status, out) = ts.run("BuildModels\nLoad1 start.txt\nSaveCData c.txt\n");
  EXPECT_EQ(status, 1);
  EXPECT_EQ(out.rfind("note: the simulated sets, their plot and their statistics made from the shape loaded before", 0),
            0u)
      << out;
  EXPECT_EQ(ts.errors().substr(0, 52), "Nothing to show or save yet: build the models first ");
  // Both exemplars stay drawn: the end shape again beside the new start.
  EXPECT_EQ(ts.host().axes().pointcount(), 6u * 12u);
  // The actions that use the sets wait for them.
  tectsim::State empty;
  const auto ready = shell::readinessof(tectsim::actions(), empty);
  EXPECT_EQ(ready("BuildModels"), "Load the start and end shapes first");
  EXPECT_EQ(ready("DoStats"), "Build the models first (Build models)");
  EXPECT_FALSE(ready("Load2").has_value());
}

TEST(TectsimReport, AuxBoxswBeforeDoStatsRefusesByNameAndWritesNoFile) {
  Tectsim ts;
  const auto [status, out] = ts.run(std::string("Load1 start.txt\nLoad2 end.txt\n") + boxes +
                                    "set NumBox 20\nBuildModels\nAuxBoxsw report.txt\n");
  EXPECT_EQ(status, 1);
  EXPECT_EQ(ts.errors().rfind("AuxBoxsw: there are no results to append yet (in Tectsim, run DoStats first)", 0), 0u)
      << ts.errors();
  EXPECT_FALSE(std::filesystem::exists(ts.file("report.txt")));
}
