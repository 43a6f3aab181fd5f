// Tectsim driven by scripts: a whole experiment, saved sets and the
// report, repeatable with the same seed.

#include "apps/tectsim/tsswitch.h"

#include "core/random.h"
#include "io/row_file.h"
#include "tests/support/scripted_program.h"
#include "tests/support/test_support.h"

#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

shell::Program tectsimprogram() { return testsupport::program("tectsim", "Tectsim", "TSSwitch", tectsim::define); }

struct Tectsim : testsupport::ScriptedProgram {
  Tectsim() : ScriptedProgram(tectsimprogram()) {
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

const char* const experiment =
    "Load1 start.txt\nLoad2 end.txt\nshow FileBox1\nset NumBox 30\nset AmpBox 0.005\nset DefBox 1.5\n"
    "set AngleBox 20\nset NaxisBox 1\nBuildModels\nDoStats\nSaveDNData dn.txt\nSaveDNData dn.txt\n"
    "SaveCData c.txt\nShowDCData\nplot shown.svg\n";

} // namespace

TEST(TSSwitch, RunsARepeatableExperiment) {
  Tectsim first;
  core::setseed(42);
  const auto [status, out] = first.run(experiment);
  ASSERT_EQ(status, 0) << first.errors();
  EXPECT_EQ(out.substr(0, 48), "File start.txt \n    5 specimens \n   12 landmarks");
  // The report opens with its date, exemplars, parameters and seed, then
  // the statistics as always.
  EXPECT_NE(out.find("== Results ==\nTectsim report, "), std::string::npos) << out;
  EXPECT_NE(out.find("\nExemplars: start.txt (5 specimens) to end.txt (1 specimen), 12 landmarks\nParameters: 30 "
                     "specimens per set, noise amplitude 0.005, deformation amount 1.5, deformation angle 20 degrees, "
                     "principal axes removed: 1\nRandom seed 42, build 1 since the program started (repeat the run "
                     "with --seed 42)\n\nNoisy Data \nWilks Lambda"),
            std::string::npos)
      << out;
  // Appended twice, a leading blank before every value.
  const Eigen::MatrixXd dn = io::dload(first.file("dn.txt").string());
  EXPECT_EQ(dn.rows(), 60);
  EXPECT_EQ(first.text("dn.txt").substr(0, 1), " ");
  EXPECT_EQ(first.text("c.txt").substr(0, 1) == " ", false);
  EXPECT_TRUE((dn.col(24).array() > 0).all() && (dn.col(24).array() < 1).all());

  Tectsim second;
  core::setseed(42);
  const auto [status2, out2] = second.run(experiment);
  EXPECT_EQ(status2, 0);
  // The same but for the time of the report.
  const auto undated = [](std::string text) {
    const std::size_t at = text.find("Tectsim report, ");
    if (at != std::string::npos) text.erase(at, text.find('\n', at) - at);
    return text;
  };
  EXPECT_EQ(undated(out2), undated(out));
  EXPECT_EQ(second.text("dn.txt"), first.text("dn.txt"));
}

TEST(TSSwitch, ClearForgetsTheShapesAndTheSets) {
  Tectsim ts;
  core::setseed(1);
  const auto [status, out] = ts.run(std::string(experiment) + "Clear\nshow FileBox1\n");
  ASSERT_EQ(status, 0) << ts.errors();
  EXPECT_NE(out.find("No file loaded\n"), std::string::npos);
  EXPECT_EQ(ts.run("BuildModels\n").first, 1);
  EXPECT_EQ(ts.errors().substr(0, 35), "Load the start and end shapes first");
  ASSERT_EQ(ts.run("Load1 start.txt\nLoad2 end.txt\nset NumBox 10\nBuildModels\nSaveCData c10.txt\n").first, 0)
      << ts.errors();
  EXPECT_EQ(io::dload(ts.file("c10.txt").string()).rows(), 10);
  // An unknown action shows the program's message box and stops the script.
  const auto [unknown, shown] = ts.run("MoveOn\nSaveCData never.txt\n");
  EXPECT_EQ(unknown, 1);
  EXPECT_NE(shown.find("== ==\nFell through Case!\n\n"), std::string::npos);
  EXPECT_EQ(ts.errors().substr(0, 24), "Unknown action 'MoveOn':");
  EXPECT_FALSE(std::filesystem::exists(ts.file("never.txt")));
  EXPECT_EQ(ts.run("Clear\nShowCData\n").first, 1);
  EXPECT_EQ(ts.errors().substr(0, 52), "Nothing to show or save yet: build the models first ");
  EXPECT_EQ(ts.run("set NumBox ten\nBuildModels\n").first, 1);
  EXPECT_EQ(ts.errors().substr(0, 61), "The box NumBox (number of specimens) holds 'ten', which is no");
}

TEST(TSSwitch, KeepsItsExemplarsWhenAnExemplarFileIsRefused) {
  Tectsim ts;
  const Eigen::MatrixXd end = io::dload(ts.file("end.txt").string());
  io::writerows(ts.file("even.txt").string(), end.leftCols(end.cols() - 1), "%.10g ", "\n", io::WriteMode::Replace);
  ASSERT_EQ(ts.run("Load1 start.txt\nLoad2 end.txt\n").first, 0) << ts.errors();
  EXPECT_EQ(ts.run("Load2 even.txt\n").first, 1);
  EXPECT_EQ(ts.errors().substr(0, 61), "The end shape file 'even.txt' holds 24 numbers per row, an ev");
  // The end shape loaded before is the one built from.
  core::setseed(3);
  EXPECT_EQ(ts.run("set NumBox 12\nset AmpBox 0\nset DefBox 1.2\nset AngleBox 10\nset NaxisBox 1\nBuildModels\n"
                   "SaveCData c.txt\n")
                .first,
            0)
      << ts.errors();
  EXPECT_EQ(io::dload(ts.file("c.txt").string()).cols(), 25);
  EXPECT_EQ(ts.run("set NumBox 100001\nBuildModels\n").first, 1);
  const std::string message = "The box NumBox (number of specimens) holds '100001', which is more than the 100000 "
                              "specimens a simulation of 12 landmarks may hold";
  EXPECT_EQ(ts.errors().substr(0, message.size()), message);
}

TEST(TSSwitch, APlotFollowsTheModelsThroughARebuild) {
  // The set on the plot is drawn again from the rebuilt models, as showing
  // it anew draws it: never the old models' picture.
  const auto points = [](const std::vector<testsupport::FakeAxes::Plot>& plots) {
    std::vector<double> all;
    for (const auto& p : plots) all.insert(all.end(), p.x.begin(), p.x.end());
    return all;
  };
  for (const char* shown : {"ShowNData", "ShowDCData"}) {
    Tectsim ts;
    core::setseed(1);
    ASSERT_EQ(ts.run(std::string("Load1 start.txt\nLoad2 end.txt\nset NumBox 20\nBuildModels\n") + shown + "\n").first,
              0)
        << ts.errors();
    const std::vector<double> first = points(ts.window().fakeaxes().plots);
    const auto [status, out] = ts.run("BuildModels\n");
    ASSERT_EQ(status, 0) << ts.errors();
    EXPECT_NE(out.find("The plot was drawn again from the rebuilt models\n"), std::string::npos) << out;
    const std::vector<double> rebuilt = points(ts.window().fakeaxes().plots);
    ASSERT_EQ(ts.run(std::string(shown) + "\n").first, 0) << ts.errors();
    EXPECT_NE(rebuilt, first) << shown;
    EXPECT_EQ(rebuilt, points(ts.window().fakeaxes().plots)) << shown;
  }
}

TEST(TSSwitch, ShowsTheStrainItsBoxesMake) {
  // No diagonal strain: the elongation alone, R its square, the long axis
  // along x (bearing 90°). The defaults make R ≈ 5.2; 45° flattens.
  const struct {
    double elongation, angle;
    const char* text;
  } cases[] = {
      {1.5, 0, "Strain made: R = 2.25, θ′ = 90.0°"},
      {1.5, 30, "Strain made: R = 5.20, θ′ = 55.6°"},
      {1.5, 45, "Strain made: none, an angle of 45° flattens every specimen"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(tectsim::straintext(c.elongation, core::Angle::degrees(c.angle)), c.text) << c.angle;
  // A build shows it too, in the box a script can show.
  Tectsim ts;
  const auto [status, out] = ts.run(std::string(experiment) + "set AngleBox 0\nset NumBox 5\nBuildModels\nshow StrainShown\n");
  ASSERT_EQ(status, 0) << ts.errors();
  EXPECT_NE(out.find("\nStrain made: R = 2.25, θ′ = 90.0°\n"), std::string::npos) << out;
}

TEST(TSSwitch, SaysWhatASaveAppendedAndWhatTheFileNowHolds) {
  const struct {
    Eigen::Index rows, held;
    bool replaced;
    const char* said;
  } cases[] = {
      {100, 200, false, "appended 100 rows to x.txt; the file now holds 200 rows"},
      {1, 2, false, "appended 1 row to x.txt; the file now holds 2 rows"},
      {100, 100, false, "wrote 100 rows to x.txt"},
      {100, 100, true, "wrote 100 rows to x.txt"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(tectsim::savedline("x.txt", c.rows, std::string(static_cast<std::size_t>(c.held), '\n'), c.replaced),
              c.said);
  // A script appends, as it always has, and says so.
  Tectsim ts;
  const auto [status, out] = ts.run(experiment);
  ASSERT_EQ(status, 0) << ts.errors();
  EXPECT_NE(out.find("\nwrote 30 rows to dn.txt\nappended 30 rows to dn.txt; the file now holds 60 rows\n"),
            std::string::npos)
      << out;
  EXPECT_EQ(io::dload(ts.file("dn.txt").string()).rows(), 60);
}
