// The strain Symrestore reports after a fix, against the known strain of
// the bundled sample; the warning for R typed where the stretch e belongs;
// loading over results.

#include "apps/symrestore/symmetry.h"
#include "apps/symrestore/symsw.h"

#include "core/angles.h"
#include "core/configurations.h"
#include "core/strain.h"
#include "io/row_file.h"
#include "tests/support/scripted_program.h"
#include "tests/support/test_support.h"

#include <Eigen/LU>
#include <cmath>
#include <fstream>
#include <map>
#include <sstream>

namespace {

const std::string sample = testsupport::example("deformed_sample/");

struct Symrestore : testsupport::ScriptedProgram {
  Symrestore()
      : ScriptedProgram(testsupport::program("symrestore", "Symrestore", "symsw", symrestore::define)) {
    host().setquiet(true);
  }
};

// truth.txt: "R 1.8", "theta' 35", "e 1.341641", ...
std::map<std::string, double> truth() {
  std::ifstream in(sample + "truth.txt");
  std::map<std::string, double> out;
  for (std::string key; in >> key;) in >> out[key];
  return out;
}

// R and theta' from the report line of `action` in what a run printed.
std::pair<double, double> reported(const std::string& out, const std::string& action) {
  const std::size_t at = out.find(action + ": strain R = ");
  if (at == std::string::npos) return {NAN, NAN};
  double R = NAN, theta = NAN;
  std::sscanf(out.c_str() + at + action.size(), ": strain R = %lf, theta' = %lf", &R, &theta);
  return {R, theta};
}

// The difference of two axial bearings as reported (degrees), within 90
// either side.
double axialdiff(double a, double b) {
  return core::axialdifference(core::Bearing::degrees(a), core::Bearing::degrees(b)).deg();
}

} // namespace

TEST(SymrestoreStrain, RecoversTheLinearPartOfAnAffineMap) {
  // A map undoing a tectonic strain of R = 2.25 along the bearing 120
  // degrees, then turning and scaling; its linear part is recovered from
  // four landmarks, a missing one left out.
  const Eigen::Matrix2d undo =
      0.7 * core::rotation(0.4) * core::Strain::from_stretch(1.5, core::Bearing::degrees(120)).removal();
  Eigen::RowVectorXd from(9), to(9);
  from << 0, 0, 1, 0, 0, 2, 3, 1, 1;
  for (int j = 0; j < 4; ++j)
    to.segment(2 * j, 2) = (undo * from.segment(2 * j, 2).transpose()).transpose() +
                                             Eigen::RowVector2d(5, -3);
  to(8) = 1;
  from(6) = NAN;
  const auto fitted = symrestore::linearpart(from, to, 4);
  ASSERT_TRUE(fitted.has_value());
  EXPECT_LT((*fitted - undo).norm(), 1e-9);
  from(4) = NAN;
  EXPECT_FALSE(symrestore::linearpart(from, to, 4).has_value()); // two landmarks left
}

TEST(SymrestoreStrain, ReportsTheKnownStrainOfTheSample) {
  const auto t = truth();
  Symrestore sym;
  const auto [status, out] = sym.run("LoadData " + sample + "deformed.txt\nLoadProto " + sample +
                                     "pairs.txt\nUnDeform\nset StrainBox " + std::to_string(t.at("e")) +
                                     "\nRetroStrain\nUndeformUni\n");
  ASSERT_EQ(status, 0) << sym.errors();
  // 60 specimens, 1 pixel of noise: the bed's strain to within 0.05 in R
  // and 2 degrees in theta'.
  const auto [R, theta] = reported(out, "UnDeform");
  EXPECT_NEAR(R, t.at("R"), 0.05) << out;
  EXPECT_NEAR(axialdiff(theta, t.at("theta'")), 0, 2) << out;
  EXPECT_NE(out.find("fitted to the whole bed (per-specimen fits of 60 specimens: R median "), std::string::npos) << out;
  // The given stretch fixes R = e^2; its orientation is fitted.
  const auto [Rg, thetag] = reported(out, "RetroStrain");
  EXPECT_NEAR(Rg, t.at("R"), 0.005) << out;
  EXPECT_NEAR(axialdiff(thetag, t.at("theta'")), 0, 2) << out;
  // The uniform components make no bed fit: their mean is reported, named
  // as such.
  EXPECT_NE(out.find("UndeformUni: strain R = "), std::string::npos) << out;
  EXPECT_NE(out.find("the mean of the specimens' strains"), std::string::npos) << out;
  // Nothing else is said, and no message box is shown for the report.
  EXPECT_EQ(out.find("=="), std::string::npos) << out;
}

TEST(SymrestoreStrain, WarnsOfRTypedForTheStretch) {
  // Without a fitted strain: only a stretch whose square is beyond any
  // ordinary bed.
  EXPECT_FALSE(symrestore::looksliker(1.34, 0));
  EXPECT_FALSE(symrestore::looksliker(1.9, 0));
  EXPECT_TRUE(symrestore::looksliker(3, 0));
  EXPECT_FALSE(symrestore::looksliker(40, 0));
  // With one: nearer the fitted R than its stretch.
  EXPECT_TRUE(symrestore::looksliker(1.8, 1.8));
  EXPECT_TRUE(symrestore::looksliker(1.7, 1.8));
  EXPECT_FALSE(symrestore::looksliker(1.34, 1.8));
  EXPECT_FALSE(symrestore::looksliker(1.45, 1.8));
  EXPECT_FALSE(symrestore::looksliker(1.05, 1.1)); // R and e too alike to tell

  const auto t = truth();
  Symrestore sym;
  const std::string load = "LoadData " + sample + "deformed.txt\nLoadProto " + sample + "pairs.txt\nUnDeform\n";
  auto [status, out] = sym.run(load + "set StrainBox " + std::to_string(t.at("R")) + "\nRetroStrain\nSave r.txt\n");
  ASSERT_EQ(status, 0) << sym.errors();
  // A warning, not a refusal: the fix went on and saved.
  EXPECT_NE(out.find("== Strain ratio ==\nStrainBox holds 1.8, which looks like the axis ratio R rather than the "
                     "stretch e = sqrt(R) that the box takes: as a stretch it means R = e^2 = 3.24. UnDeform fitted R = "),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("If 1.8 is R, type its square root, 1.342."), std::string::npos) << out;
  EXPECT_TRUE(std::filesystem::exists(sym.file("r.txt")));
  std::tie(status, out) = sym.run(load + "set StrainBox " + std::to_string(t.at("e")) + "\nRetroStrain\n");
  ASSERT_EQ(status, 0) << sym.errors();
  EXPECT_EQ(out.find("== Strain ratio =="), std::string::npos) << out;
}

TEST(SymrestoreStrain, LoadingStaysPossibleAndClearsTheResults) {
  const auto t = truth();
  Symrestore sym;
  const std::string data = "LoadData " + sample + "deformed.txt\n";
  auto [status, out] = sym.run(data + "LoadProto " + sample + "pairs.txt\nset PCABox 1\nUndeformPCA\nUnDeform\n");
  ASSERT_EQ(status, 0) << sym.errors();
  // UndeformPCA left the data as loaded: the bed's strain is still found.
  const auto [R, theta] = reported(out, "UnDeform");
  EXPECT_NEAR(R, t.at("R"), 0.05) << out;
  EXPECT_NEAR(axialdiff(theta, t.at("theta'")), 0, 2) << out;
  // The window's Load button was never disabled.
  EXPECT_EQ(sym.host().string("Load"), std::vector<std::string>{"Load data file…"});
  EXPECT_FALSE(sym.window().disabled.contains("Load"));
  // Loading again clears the undeformed set and the plot, and says so.
  std::tie(status, out) = sym.run(data + "Save never.txt\n");
  EXPECT_EQ(status, 1);
  EXPECT_EQ(out, "note: the undeformed set of the data set loaded before was cleared; undeform again before saving\n");
  EXPECT_EQ(sym.host().axes().pointcount(), 60u * 14u);
  EXPECT_FALSE(std::filesystem::exists(sym.file("never.txt")));
  // A fresh load over no results says nothing.
  std::tie(status, out) = sym.run(data);
  EXPECT_EQ(out, "");
  // The fixes wait for data and pairs.
  symrestore::State empty;
  const auto ready = shell::readinessof(symrestore::actions(), empty);
  EXPECT_EQ(ready("UnDeform"), "Load a data set first (LoadData)");
  EXPECT_EQ(ready("Save"), "Undeform the data first");
  EXPECT_FALSE(ready("LoadData").has_value());
  empty.data = core::Specimens(Eigen::MatrixXd::Ones(2, 9));
  EXPECT_EQ(shell::readinessof(symrestore::actions(), empty)("RetroStrain"), "Load the pairs file first (LoadProto)");
}
