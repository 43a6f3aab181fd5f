// Symrestore driven by scripts: the four undeformation methods on a
// deformed sample of the lizard heads, and the refusals.

#include "apps/symrestore/symsw.h"

#include "core/procrustes.h"
#include "core/random.h"
#include "core/row_file.h"
#include "tests/shell/scripted_program.h"
#include "tests/support/test_support.h"

#include <cmath>
#include <numbers>

namespace {

shell::Program symrestoreprogram() { return testsupport::program("symrestore", "Symrestore", "symsw", symrestore::define); }

// The first 12 lizard heads turned to random bearings and deformed by one
// strain (axis ratio 1.69 = 1.3^2, long axis at 40 degrees), with their
// pair list.
struct Lizards : testsupport::ScriptedProgram {
  Eigen::MatrixXd original;
  Lizards() : ScriptedProgram(symrestoreprogram()) {
    host().setquiet(true);
    original = core::dload(testsupport::example("lizards_podarcis/lizards.txt")).topRows(12);
    core::setseed(5);
    const double a = 40 * std::numbers::pi / 180;
    Eigen::Matrix2d turn;
    turn << std::cos(a), -std::sin(a), std::sin(a), std::cos(a);
    const Eigen::Matrix2d strain = turn * Eigen::Vector2d(1.3, 1 / 1.3).asDiagonal() * turn.transpose();
    Eigen::MatrixXd x = original;
    for (Eigen::Index i = 0; i < x.rows(); ++i) {
      const Eigen::RowVectorXd placed = testsupport::similar(original.row(i), 1, 2 * std::numbers::pi * core::rand01(), 0, 0);
      for (int j = 0; j < 28; ++j) x.row(i).segment(2 * j, 2) = (strain * placed.segment(2 * j, 2).transpose()).transpose();
    }
    core::writerows(file("deformed.txt").string(), x, "%.17g ", "\n", core::WriteMode::Replace);
    Eigen::MatrixXd pairs = core::dload(testsupport::example("lizards_podarcis/lm_pairs.txt"));
    Eigen::MatrixXd list(pairs.rows() + 4, 2);
    list << pairs, Eigen::RowVector2d(1, 1), Eigen::RowVector2d(12, 12), Eigen::RowVector2d(18, 18), Eigen::RowVector2d(23, 23);
    core::writerows(file("pairs.txt").string(), list, "%g ", "\n", core::WriteMode::Replace);
  }
  // Mean Procrustes distance of a saved set from the undeformed heads.
  double distance(const std::string& name) const {
    const Eigen::MatrixXd y = core::dload(file(name).string());
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
  EXPECT_EQ(out, "deformed.txt\n 28 Landmarks\n 12 Samples\npairs.txt\n");
  // Real heads are nearly but not perfectly symmetric; restoring their
  // symmetry takes most of the strain out.
  const double deformed = sym.distance("deformed.txt");
  EXPECT_LT(sym.distance("free.txt"), 0.5 * deformed);
  EXPECT_LT(sym.distance("given.txt"), 0.5 * deformed);
  EXPECT_EQ(core::dload(sym.file("uni.txt").string()).rows(), 12);
  EXPECT_EQ(core::dload(sym.file("pca.txt").string()).cols(), 57);
}

TEST(symsw, SaysWhatToLoadAndRefusesListsThatDoNotFit) {
  Lizards sym;
  const auto expect_error = [&](const std::string& script, const std::string& message) {
    EXPECT_EQ(sym.run(script).first, 1) << script;
    EXPECT_EQ(sym.errors().substr(0, message.size()), message) << script;
  };
  expect_error("UnDeform\n", "Load a data set first (LoadData)");
  expect_error("LoadData deformed.txt\nRetroStrain\n", "Load the pairs file first (LoadProto)");
  expect_error("Save out.txt\n", "Nothing to save yet: undeform the data first");
  core::writerows(sym.file("short.txt").string(), core::dload(sym.file("pairs.txt").string()).topRows(10), "%g ", "\n",
                  core::WriteMode::Replace);
  expect_error("LoadProto short.txt\n", "The pair list leaves out landmarks 1, 12, 18, 23, 25, 26, 27, 28");
  expect_error("LoadProto pairs.txt\nset StrainBox -1\nRetroStrain\n",
               "The box StrainBox (strain ratio) holds '-1', which is not a positive number");
  expect_error("set PCABox 53\nUndeformPCA\n", "The box PCABox (axes to remove) holds axis 53; the axes of 28 landmarks are numbered 1 ... 52");
  // A list without two axis lines cannot be flipped (here the midline
  // landmarks are paired off).
  Eigen::MatrixXd noaxis(14, 2);
  noaxis << core::dload(sym.file("pairs.txt").string()).topRows(12), Eigen::RowVector2d(1, 12), Eigen::RowVector2d(18, 23);
  core::writerows(sym.file("noaxis.txt").string(), noaxis, "%g ", "\n", core::WriteMode::Replace);
  const auto [status, out] = sym.run("LoadProto noaxis.txt\nUndeformUni\n");
  EXPECT_EQ(status, 0) << sym.errors();
  EXPECT_EQ(out, "== ==\nOnly one point was found on the axis of symmetry.  Cannot flip the specimen\n\n");
  EXPECT_EQ(sym.run("Repair\n").second, "== ==\nFell through case function\n\n");
}
