// Symrestore driven by scripts: the four undeformation methods on a
// deformed sample of the lizard heads, and the refusals.

#include "apps/symrestore/symsw.h"

#include "core/angles.h"
#include "core/configurations.h"
#include "core/procrustes.h"
#include "core/strain.h"
#include "core/random.h"
#include "io/row_file.h"
#include "tests/support/scripted_program.h"
#include "tests/support/test_support.h"

#include <cmath>
#include <fstream>
#include <iterator>
#include <tuple>
#include <numbers>

namespace {

std::string readfile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

shell::Program symrestoreprogram() { return testsupport::program("symrestore", "Symrestore", "symsw", symrestore::define); }

// The first 12 lizard heads turned to random bearings and deformed by one
// strain (axis ratio 1.69 = 1.3^2, long axis at 40 degrees), with their
// pair list.
struct Lizards : testsupport::ScriptedProgram {
  Eigen::MatrixXd original;
  Lizards() : ScriptedProgram(symrestoreprogram()) {
    host().setquiet(true);
    original = io::dload(testsupport::example("lizards_podarcis/lizards.txt")).topRows(12);
    core::setseed(5);
    const Eigen::Matrix2d strain = core::purestrain(core::Angle::degrees(40).rad(), 1.3);
    Eigen::MatrixXd x = original;
    for (Eigen::Index i = 0; i < x.rows(); ++i) {
      const Eigen::RowVectorXd placed = testsupport::similar(original.row(i), 1, 2 * std::numbers::pi * core::rand01(), 0, 0);
      for (int j = 0; j < 28; ++j) x.row(i).segment(2 * j, 2) = (strain * placed.segment(2 * j, 2).transpose()).transpose();
    }
    io::writerows(file("deformed.txt").string(), x, "%.17g ", "\n", io::WriteMode::Replace);
    Eigen::MatrixXd pairs = io::dload(testsupport::example("lizards_podarcis/lm_pairs.txt"));
    Eigen::MatrixXd list(pairs.rows() + 4, 2);
    list << pairs, Eigen::RowVector2d(1, 1), Eigen::RowVector2d(12, 12), Eigen::RowVector2d(18, 18), Eigen::RowVector2d(23, 23);
    io::writerows(file("pairs.txt").string(), list, "%g ", "\n", io::WriteMode::Replace);
  }
  // Mean Procrustes distance of a saved set from the undeformed heads.
  double distance(const std::string& name) const {
    const Eigen::MatrixXd y = io::dload(file(name).string());
    const core::Superimposition truth = core::getconsensus(original);
    return (core::getpsup(y, truth.y).leftCols(56) - core::getpsup(original, truth.y).leftCols(56)).rowwise().norm().mean();
  }
};

} // namespace

TEST(symsw, UndeformsBySymmetryUniformComponentsAndPrincipalAxes) {
  Lizards sym;
  const auto [status, out] =
      sym.run("LoadData deformed.txt\nshow FileBox\nLoadProto pairs.txt\nshow ProtoBox\n"
              "UnDeform\nSave free.txt\nset StrainBox 1.3\nRetroStrain\nSave given.txt\n"
              "UndeformUni\nSave uni.txt\nset PCABox [1 2]\nUndeformPCA\nSave pca.txt\n");
  ASSERT_EQ(status, 0) << sym.errors();
  EXPECT_EQ(out.substr(0, 51), "deformed.txt\n 28 Landmarks\n 12 Specimens\npairs.txt\n");
  // Each fix says the strain it found, one line each, in the order run.
  const std::size_t undeform = out.find("\nUnDeform: strain R = "), retro = out.find("\nRetroStrain: strain R = 1.69,"),
                    uni = out.find("\nUndeformUni: strain R = ");
  EXPECT_TRUE(undeform != std::string::npos && undeform < retro && retro < uni && uni != std::string::npos) << out;
  // Real heads are nearly but not perfectly symmetric; restoring their
  // symmetry takes most of the strain out.
  const double deformed = sym.distance("deformed.txt");
  EXPECT_LT(sym.distance("free.txt"), 0.5 * deformed);
  EXPECT_LT(sym.distance("given.txt"), 0.5 * deformed);
  EXPECT_EQ(io::dload(sym.file("uni.txt").string()).rows(), 12);
  EXPECT_EQ(io::dload(sym.file("pca.txt").string()).cols(), 57);
}

// The bed's strain with its intervals: one line and a results table; what
// was undeformed before stays, to be saved.
TEST(symsw, BootstrapsTheBedsStrainAndKeepsTheResult) {
  Lizards sym;
  const auto [status, out] = sym.run("LoadData deformed.txt\nLoadProto pairs.txt\nUnDeform\nset BootBox 100\n"
                                     "BootstrapStrain\nSave after.txt\n");
  ASSERT_EQ(status, 0) << sym.errors();
  const std::size_t line = out.find("\nBootstrapStrain: strain R = 1.");
  ASSERT_NE(line, std::string::npos) << out;
  EXPECT_NE(out.find("fitted to the whole bed; 100 resamples of the 12 specimens, expanded percentile intervals", line),
            std::string::npos);
  EXPECT_NE(out.find("== Results ==\nfit\tR\tR low\tR high\ttheta'\ttheta' low\ttheta' high\tresamples used\n"
                     "symmetry\t1."),
            std::string::npos)
      << out;
  EXPECT_EQ(io::dload(sym.file("after.txt").string()).rows(), 12);
}

TEST(symsw, SaysWhatToLoadAndRefusesListsThatDoNotFit) {
  Lizards sym;
  const auto expect_error = [&](const std::string& script, const std::string& message) {
    EXPECT_EQ(sym.run(script).first, 1) << script;
    EXPECT_EQ(sym.errors().substr(0, message.size()), message) << script;
  };
  expect_error("UnDeform\n", "Load a data file first");
  expect_error("LoadData deformed.txt\nRetroStrain\n", "Load the pairs file first");
  expect_error("Save out.txt\n", "Nothing to save yet: undeform the data first");
  io::writerows(sym.file("short.txt").string(), io::dload(sym.file("pairs.txt").string()).topRows(10), "%g ", "\n",
                  io::WriteMode::Replace);
  expect_error("LoadProto short.txt\n", "The pair list leaves out landmarks 1, 12, 18, 23, 25, 26, 27, 28");
  expect_error("LoadProto pairs.txt\nset StrainBox -1\nRetroStrain\n",
               "The box StrainBox (stretch e = √R) holds '-1', which is not a positive number");
  expect_error("set PCABox 53\nUndeformPCA\n", "The box PCABox (axes to remove) holds axis 53; the axes of 28 landmarks are numbered 1 ... 52");
  // A list without two axis lines cannot be flipped (here the midline
  // landmarks are paired off).
  Eigen::MatrixXd noaxis(14, 2);
  noaxis << io::dload(sym.file("pairs.txt").string()).topRows(12), Eigen::RowVector2d(1, 12), Eigen::RowVector2d(18, 23);
  io::writerows(sym.file("noaxis.txt").string(), noaxis, "%g ", "\n", io::WriteMode::Replace);
  // The message box, then the run stops: nothing was undeformed.
  for (const std::string action : {"UndeformUni", "RetroStrain"}) {
    const auto [status, out] = sym.run("LoadProto noaxis.txt\nset StrainBox 1.3\n" + action + "\nSave out.txt\n");
    EXPECT_EQ(status, 1);
    EXPECT_EQ(out, "== ==\nOnly one point was found on the axis of symmetry.  Cannot flip the specimen\n\n");
    EXPECT_EQ(sym.errors(), action + " needs two axis rows (a landmark paired with itself, 'a a') in the pairs file "
                                     "'noaxis.txt', which has 0: nothing was undeformed\n(test.script, line 3: " +
                                action + ")\n");
    EXPECT_FALSE(std::filesystem::exists(sym.file("out.txt")));
  }
  const auto [status, out] = sym.run("Repair\nSave out.txt\n");
  EXPECT_EQ(status, 1);
  EXPECT_EQ(out, "== ==\nFell through case function\n\n");
  EXPECT_EQ(sym.errors(), "Unknown action 'Repair': Symrestore's actions are LoadData, LoadProto, UnDeform, "
                          "BootstrapStrain, UndeformUni, RetroStrain, UndeformPCA, EstimateMissing, Save and Clear\n"
                          "(test.script, line 1: Repair)\n");
}

TEST(symsw, RefusesListsAndBoxesThatAskForNothing) {
  Lizards sym;
  ASSERT_EQ(sym.run("LoadData deformed.txt\nLoadProto pairs.txt\nset PCABox 1\nUndeformPCA\nSave before.txt\n").first, 0)
      << sym.errors();
  // Every landmark on the axis: nothing is paired, refused with or without
  // data loaded, and the list loaded before is kept.
  Eigen::MatrixXd axis(28, 2);
  for (int j = 0; j < 28; ++j) axis.row(j) << j + 1, j + 1;
  io::writerows(sym.file("axis.txt").string(), axis, "%g ", "\n", io::WriteMode::Replace);
  const std::string axismessage = "The pairs file 'axis.txt' holds only axis rows (each of its 28 rows names one landmark "
                                  "twice): it pairs no landmarks, so there is no symmetry to restore\n";
  EXPECT_EQ(sym.run("LoadProto axis.txt\n").first, 1);
  EXPECT_EQ(sym.errors(), axismessage + "(test.script, line 1: LoadProto)\n");
  // A third column is refused rather than ignored.
  const Eigen::MatrixXd pairs = io::dload(sym.file("pairs.txt").string());
  Eigen::MatrixXd wide(pairs.rows(), 3);
  wide << pairs, Eigen::VectorXd::Ones(pairs.rows());
  io::writerows(sym.file("wide.txt").string(), wide, "%g ", "\n", io::WriteMode::Replace);
  EXPECT_EQ(sym.run("LoadProto wide.txt\n").first, 1);
  EXPECT_EQ(sym.errors(), "The pair list has 3 columns; each line holds two landmark numbers, one side's and its "
                          "counterpart's, and nothing else\n(test.script, line 1: LoadProto)\n");
  // An axis list that lists no axis.
  for (const std::string text : {"\"\"", "[]", "1:0", "\" \""}) {
    EXPECT_EQ(sym.run("set PCABox " + text + "\nUndeformPCA\n").first, 1) << text;
    const std::string typed = text == "\"\"" ? "" : text == "\" \"" ? " " : text;
    EXPECT_EQ(sym.errors(), "The box PCABox (axes to remove) holds '" + typed +
                                "', which lists no axis; type the axes to remove, such as 1 or 1 2\n(test.script, line 2: "
                                "UndeformPCA)\n");
  }
  // Nothing refused changed the result: it saves as before.
  ASSERT_EQ(sym.run("Save after.txt\n").first, 0) << sym.errors();
  EXPECT_EQ(readfile(sym.file("after.txt")), readfile(sym.file("before.txt")));
}

TEST(symsw, NeverSavesTheResultOfOtherInputs) {
  Lizards sym;
  Eigen::MatrixXd x = io::dload(sym.file("deformed.txt").string());
  io::writerows(sym.file("fewer.txt").string(), x.topRows(8), "%.17g ", "\n", io::WriteMode::Replace);
  std::ofstream(sym.file("kept.txt")) << "kept\n";
  // New data drop the set undeformed from the old.
  auto [status, out] = sym.run("LoadData deformed.txt\nLoadProto pairs.txt\nUnDeform\nLoadData fewer.txt\nSave kept.txt\n");
  EXPECT_EQ(status, 1);
  EXPECT_NE(out.find("note: the undeformed set of the data set loaded before was cleared; undeform again before saving\n"),
            std::string::npos);
  EXPECT_EQ(sym.errors(), "Nothing to save yet: undeform the data first\n(test.script, line 5: Save)\n");
  EXPECT_EQ(readfile(sym.file("kept.txt")), "kept\n");
  // A new pair list drops a set made by symmetry ...
  std::tie(status, out) = sym.run("UnDeform\nLoadProto pairs.txt\nSave kept.txt\n");
  EXPECT_EQ(status, 1);
  EXPECT_NE(out.find("note: the undeformed set of the pair list loaded before was cleared"), std::string::npos);
  EXPECT_EQ(readfile(sym.file("kept.txt")), "kept\n");
  // ... but not one made without it.
  ASSERT_EQ(sym.run("set PCABox 1\nUndeformPCA\nSave pca.txt\nLoadProto pairs.txt\nSave again.txt\n").first, 0)
      << sym.errors();
  EXPECT_EQ(io::dload(sym.file("again.txt").string()).rows(), 8);
  EXPECT_EQ(readfile(sym.file("again.txt")), readfile(sym.file("pca.txt")));
}
