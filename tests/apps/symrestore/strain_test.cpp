// The strain Symrestore reports after a fix, against the known strain of
// the bundled sample; the question asked when R is typed where the
// stretch e belongs; loading over results and over a pair list.

#include "apps/symrestore/symmetry.h"
#include "apps/symrestore/symsw.h"

#include "core/angles.h"
#include "core/configurations.h"
#include "core/strain.h"
#include "io/row_file.h"
#include "tests/support/fake_host.h"
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

TEST(SymrestoreStrain, AsksBeforeRunningWhenTheStretchLooksLikeR) {
  // Without a fitted strain: only a stretch whose square is beyond any
  // ordinary bed. With one: nearer the fitted R than its stretch.
  struct Rule {
    double e, fitted;
    bool asks;
  };
  for (const Rule& r : {Rule{1.34, 0, false}, {1.9, 0, false}, {3, 0, true}, {40, 0, false}, {1.8, 1.8, true},
                        {1.7, 1.8, true}, {1.34, 1.8, false}, {1.45, 1.8, false}, {1.05, 1.1, false}})
    EXPECT_EQ(symrestore::looksliker(r.e, r.fitted).has_value(), r.asks) << r.e << " against " << r.fitted;

  // Each answer, taken before anything runs: the stretch as typed, its
  // square root (then in the box), or nothing at all.
  struct Answer {
    std::size_t reply;
    const char* box;
    bool undeformed;
  };
  for (const Answer& a : {Answer{0, "3", true}, {1, "1.73205", true}, {2, "3", false}}) {
    testsupport::FakeHost host("Symrestore");
    symrestore::State s;
    host.answers = {sample + "deformed.txt", sample + "pairs.txt"};
    symrestore::symsw(host, s, "LoadData");
    symrestore::symsw(host, s, "LoadProto");
    host.setstring("StrainBox", "3");
    host.replies = {a.reply};
    symrestore::symsw(host, s, "RetroStrain");
    ASSERT_EQ(host.questions.size(), 1u);
    EXPECT_EQ(host.questions[0].text.rfind("The stretch e (= √R) box holds 3, which looks like the axis ratio R", 0),
              0u)
        << host.questions[0].text;
    EXPECT_EQ(host.string("StrainBox"), std::vector<std::string>{a.box});
    EXPECT_EQ(s.undata.empty(), !a.undeformed) << a.reply;
    EXPECT_EQ(host.progresscalls > 0, a.undeformed) << a.reply;
    EXPECT_TRUE(host.boxes.empty());
  }

  // A script is not asked: it takes the stretch it gave, and its output
  // says so.
  Symrestore sym;
  const std::string load = "LoadData " + sample + "deformed.txt\nLoadProto " + sample + "pairs.txt\nUnDeform\n";
  auto [status, out] = sym.run(load + "set StrainBox 1.8\nRetroStrain\nSave r.txt\n");
  ASSERT_EQ(status, 0) << sym.errors();
  EXPECT_NE(out.find("== Stretch e or R? ==\nThe stretch e (= √R) box holds 1.8"), std::string::npos) << out;
  EXPECT_NE(out.find("Which did you mean: e = 1.8, or R = 1.8 (e = 1.342)?\nAnswered without asking: Use e = 1.8 "
                     "(R = 3.24)\n"),
            std::string::npos)
      << out;
  EXPECT_TRUE(std::filesystem::exists(sym.file("r.txt")));
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
  EXPECT_EQ(ready("UnDeform"), "Load a data file first");
  EXPECT_EQ(ready("Save"), "Undeform the data first");
  EXPECT_FALSE(ready("LoadData").has_value());
  empty.data = core::Specimens(Eigen::MatrixXd::Ones(2, 9));
  EXPECT_EQ(shell::readinessof(symrestore::actions(), empty)("RetroStrain"), "Load the pairs file first");
}

TEST(SymrestoreStrain, APairListThatDoesNotFitTheDataTurnsTheFixesOff) {
  testsupport::FakeHost host("Symrestore");
  symrestore::State s;
  const auto ready = shell::readinessof(symrestore::actions(), s);
  host.answers = {sample + "pairs.txt"};
  symrestore::symsw(host, s, "LoadProto");
  struct Load {
    std::string file;
    bool fits;
  };
  const std::string trilobites = testsupport::example("trilomorph_cephala/cephala_tpsdig_all.tps");
  for (const Load& l : {Load{sample + "deformed.txt", true}, {trilobites, false}, {sample + "deformed.tps", true}}) {
    host.printed.clear();
    host.answers = {l.file};
    symrestore::symsw(host, s, "LoadData");
    const std::string why = "The pairs file 'pairs.txt' does not fit the data file '" +
                            std::filesystem::path(l.file).filename().string() + "' (16 landmarks): ";
    for (const char* fix : {"UnDeform", "UndeformUni", "RetroStrain", "BootstrapStrain"})
      EXPECT_EQ(ready(fix).value_or("fits").rfind(l.fits ? "fits" : why, 0), 0u) << fix << " " << l.file;
    // Said as the data load, not first when a fix is clicked.
    EXPECT_EQ(host.printed.find("note: " + why) != std::string::npos, !l.fits) << host.printed;
  }
}
