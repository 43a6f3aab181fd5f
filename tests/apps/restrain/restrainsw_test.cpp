// Restrain driven by scripts through a whole analysis, on a sample with
// known strain.

#include "apps/restrain/restrainsw.h"

#include "core/text_format.h"
#include "io/row_file.h"
#include "io/text_file.h"
#include "io/tps_file.h"
#include "tests/apps/restrain/sample.h"
#include "tests/support/scripted_program.h"

#include <Eigen/Eigenvalues>
#include <Eigen/LU>
#include <regex>

using namespace restraintest;

namespace {

shell::Program restrainprogram() { return testsupport::program("restrain", "Restrain", "restrainsw", restrain::define); }

// The sample's files, written at full precision.
struct Files : testsupport::ScriptedProgram {
  Sample sample = deformed({1.6, core::Bearing::degrees(30)}, 0, 21);
  Files() : ScriptedProgram(restrainprogram()) {
    host().setquiet(true);
    Eigen::MatrixXd datatp(sample.t.size(), 2);
    datatp << sample.t, sample.p;
    io::writerows(file("data.txt").string(), sample.x, "%.17g ", "\n", io::WriteMode::Replace);
    io::writerows(file("datatp.txt").string(), datatp, "%.17g ", "\n", io::WriteMode::Replace);
    io::writerows(file("alltp.txt").string(), sample.alltp, "%.17g ", "\n", io::WriteMode::Replace);
    io::writerows(file("short.txt").string(), datatp.topRows(10), "%.17g ", "\n", io::WriteMode::Replace);
    io::writetpsfile(file("data.tps").string(), core::Specimens(sample.x));
  }
};

} // namespace

TEST(restrainsw, RunsAWholeAnalysisWithoutAWindow) {
  Files restrain;
  const auto [status, out] = restrain.run("Load data.txt\nLoadDataTP datatp.txt\nLoadAllTP alltp.txt\nshow TPBox\n"
                                          "DoWellman\nset PBox 100\nPermuteWellman\nset BaseBox1 1\nset BaseBox2 3\n"
                                          "DoRetro\nSave retro.txt\nClear\nshow FileBox\n");
  ASSERT_EQ(status, 0) << restrain.errors();
  const std::string expected_start =
      "== ==\nFile: datatp.txt \n t and mean p of 40 specimens\n\n"
      "File: alltp.txt \n 120 pairs (specimens not named)\n"
      "== Wellman Ellipse Calculation ==\n"
      "ANALYTIC METHOD: The R value was 1.6000, θ′ was 30.0000, using 120 paired t,p, The R^2 was 1.000000 "
      "Chi^2 was 0.000000\n\nNUMERICAL METHOD: The R value was ";
  EXPECT_EQ(out.substr(0, expected_start.size()), expected_start);
  // One finding per line; a p value at its floor says so with its count.
  const std::regex permutation(
      "== Wellman Ellipse Calculation ==\nAnalytic fit: R = 1.6000, θ′ = 30.0000, from 120 paired t,p\n"
      "Observed: R\\^2 = 1.000000, Chi\\^2 = 0.000000\n"
      "Over the 100 permutations \\(95 % range\\): R\\^2 -?\\d+\\.\\d{6} to -?\\d+\\.\\d{6}, Chi\\^2 "
      "\\d+\\.\\d{6} to \\d+\\.\\d{6}\n"
      "Permutation p value \\(pairs shuffled\\): 0.009901 = 1/101, the least 100 permutations can give \\(none "
      "reached the observed R\\^2\\)\n"
      "The pairs' specimens are not known \\(the angle file does not name them\\), so only the pairs were shuffled, "
      "and the p value above can be too small when the pairs of a specimen share its midline.\n\n");
  EXPECT_TRUE(std::regex_search(out, permutation)) << out;
  EXPECT_NE(out.find("== Wellman Ellipse Calculation ==\nThe R value was 1.6000, θ′ was 30.0000, using 120 paired "
                     "t,p\n\n"),
            std::string::npos);
  // Clear forgets the data, and the box says so.
  EXPECT_EQ(out.substr(out.size() - 15), "No file loaded\n");

  // The saved specimens are the form again, to the six digits written.
  const Eigen::MatrixXd saved = io::dload(restrain.file("retro.txt").string());
  ASSERT_EQ(saved.rows(), 40);
  EXPECT_LT(distances(saved).maxCoeff(), 1e-4);
}

TEST(restrainsw, RetrodeformsWithATypedStrainAndTps) {
  Files restrain;
  const auto [status, out] = restrain.run("Load data.txt\nLoadDataTP datatp.txt\nLoadAllTP alltp.txt\n"
                                          "set BaseBox1 3\nset BaseBox2 1\nset UserR 1.6\nset UserTheta 30\n"
                                          "DoRetroUser\nSaveTPS typed.txt\nLoadTPS data.tps\nUserRetroTPS\n"
                                          "SaveTPS raw.txt raw.tps\n");
  ASSERT_EQ(status, 0) << restrain.errors();
  EXPECT_NE(out.find("== Wellman Ellipse Calculation ==\nThe User-Supplied R value used = 1.6000, θ′ used = "
                     "30.0000 R^2= 1.000000 based on all T,P entered\n\n"),
            std::string::npos);
  EXPECT_LT(distances(io::dload(restrain.file("typed.txt").string())).maxCoeff(), 1e-4);
  // SaveTPS after DoRetroUser writes the row file and says why not the TPS.
  EXPECT_NE(out.find("== ==\nThe TPS file needs TPS data with R, θ′ first"), std::string::npos);
  // After UserRetroTPS both files: the TPS one holds the coordinates before
  // superimposition, the strain taken out in the data's frame.
  const core::Specimens tps = io::readtpsfile(restrain.file("raw.tps").string());
  ASSERT_EQ(tps.n(), 40);
  const Eigen::Matrix2d undo = core::Strain{1.6, core::Bearing::degrees(30)}.removal();
  const Eigen::Vector2d first = undo * Eigen::Vector2d(restrain.sample.x(0, 0), restrain.sample.x(0, 1));
  EXPECT_NEAR(tps.matrix()(0, 0), first(0), 1e-4 * std::abs(first(0)) + 1e-9);
  EXPECT_NEAR(tps.matrix()(0, 1), first(1), 1e-4 * std::abs(first(1)) + 1e-9);
  EXPECT_EQ(io::dload(restrain.file("raw.txt").string()).rows(), 40);

  // Cancelling SaveTPS's first dialog cancels the save: no second dialog
  // (a script with no answer left for one would stop with an error).
  const auto [cstatus, cout] = restrain.run("LoadTPS data.tps\nset UserR 1.6\nset UserTheta 30\nUserRetroTPS\nSaveTPS -\n");
  EXPECT_EQ(cstatus, 0) << restrain.errors();
  EXPECT_EQ(cout.find("The TPS file needs"), std::string::npos);
}

TEST(restrainsw, SaysWhatEachActionNeedsFirst) {
  restrain::State s;
  const shell::Readiness ready = shell::readinessof(restrain::actions(), s);
  EXPECT_EQ(ready("DoWellman").value_or(""), "Load the pooled angle pairs first (Pooled t, p…)");
  EXPECT_EQ(ready("DoRetro").value_or(""), "Load a landmark data set first (Load data file… or Load TPS file…)");
  EXPECT_TRUE(ready("SaveTPS").has_value());
  EXPECT_FALSE(ready("Load").has_value());
  s.data = core::Specimens(Eigen::MatrixXd::Ones(3, 5));
  EXPECT_EQ(ready("DoRetro").value_or(""), "Load the per-specimen angles first (Specimen t, p…)");
  s.datatp = s.alltp = Eigen::MatrixXd::Ones(3, 2);
  EXPECT_FALSE(ready("DoRetro").has_value());
  EXPECT_FALSE(ready("PermuteWellman").has_value());
  s.ydata = s.data;
  EXPECT_FALSE(ready("Save").has_value());
}

TEST(restrainsw, RefusesWhatCannotBeDoneAndSaysWhy) {
  Files restrain;
  const auto expect_error = [&](const std::string& script, const std::string& message) {
    EXPECT_EQ(restrain.run(script).first, 1) << script;
    EXPECT_EQ(restrain.errors().substr(0, message.size()), message) << script;
  };
  expect_error("DoWellman\n", "Load the pooled angle pairs first (Pooled t, p…)");
  expect_error("LoadAllTP alltp.txt\nDoRetro\n", "Load a landmark data set first (Load data file… or Load TPS file…)");
  expect_error("set PBox 39\nPermuteWellman\n",
               "A permutation test needs at least 40 permutations to give a 95 % range; 39 were asked for");
  expect_error("set PBox many\nPermuteWellman\n", "The box PBox (number of permutations) holds 'many', which is not a whole number");
  expect_error("set UserR -2\nDoRetroUser\n", "The strain ratio R must be a positive number; it is -2");
  expect_error("set BaseBox1 0\nset BaseBox2 3\nset UserR 1.5\nLoad data.txt\nLoadDataTP datatp.txt\nDoRetroUser\n",
               "basereg: baseline landmarks 0 and 3 must both lie in 1 ... 9");
  expect_error("Save x.txt\n", "Nothing to save yet: retrodeform the data first");
  // A per-specimen file that does not match is stored, reported, and
  // refused by the retrodeformation.
  const auto [status, out] = restrain.run("Load data.txt\nLoadDataTP short.txt\n");
  EXPECT_EQ(status, 0);
  EXPECT_NE(out.find(" Error loading Data T and P values, mismatch in sample size"), std::string::npos);
  expect_error("set BaseBox1 1\nDoRetro\n",
               "The per-specimen angles hold 10 rows but the data set has 40 specimens, and their lines do not name "
               "their specimens; load the angles of these specimens (Specimen t, p…), with a NaN line for a specimen "
               "without angles");
  const auto [s2, out2] = restrain.run("Restore\n");
  EXPECT_EQ(out2, "== ==\nFell through the case statement\n\n");
}

TEST(restrainsw, SaysInWordsWhenTheFittedConicIsNoEllipse) {
  Files restrain;
  // Pairs whose Wellman vertices lie on the hyperbola x^2 - y^2 = 1: the
  // line from (0, -1) to a vertex has bearing t, the line from (0, 1) to it
  // bearing t + p.
  Eigen::MatrixXd tp(8, 2);
  for (int i = 0; i < 8; ++i) {
    const double u = 0.25 * i - 0.9, x = (i % 2 ? 1 : -1) * std::cosh(u), y = std::sinh(u);
    const core::Bearing t = core::Bearing::of(x, y + 1).axial(), tpp = core::Bearing::of(x, y - 1);
    tp.row(i) << t.deg(), core::Bearing::radians(tpp.rad() - t.rad()).axial().deg();
  }
  io::writerows(restrain.file("hyper.txt").string(), tp, "%.17g ", "\n", io::WriteMode::Replace);
  const auto [status, out] = restrain.run("LoadAllTP hyper.txt\nDoWellman\n");
  ASSERT_EQ(status, 0) << restrain.errors();
  EXPECT_NE(out.find("ANALYTIC METHOD: the conic fitted to the 8 paired t,p is not an ellipse (its eigenvalues are "),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("\n\nNUMERICAL METHOD: The R value was "), std::string::npos);
  EXPECT_EQ(out.find("NaN"), std::string::npos);
  EXPECT_EQ(restrain.run("Load data.txt\nLoadDataTP datatp.txt\nset BaseBox1 1\nset BaseBox2 3\nDoRetro\n").first, 1);
  EXPECT_EQ(restrain.errors().substr(0, 74), "The fitted strain cannot be removed: the conic fitted to the 8 paired t,p ");
}

// Anglepick's pooled file names each pair's specimen: the test also moves
// whole specimens, and the bootstrap draws them, its interval drawn on the
// Wellman plot and tabled in the results window. A pair along its midline
// is left out and named.
TEST(restrainsw, TestsAndBootstrapsTheSpecimensOfAPooledFile) {
  Files restrain;
  std::string text;
  for (Eigen::Index i = 0; i < restrain.sample.alltp.rows(); ++i)
    text += core::format("%.17g\t%.17g\t1\t %% specimen %i\n", restrain.sample.alltp(i, 0),
                         i == 5 ? 0.05 : restrain.sample.alltp(i, 1), i / 3 + 1);
  io::writefile(restrain.file("pooled.txt").string(), text, io::WriteMode::Replace);
  const auto [status, out] =
      restrain.run("LoadAllTP pooled.txt\nset PBox 100\nPermuteWellman\nset BootBox 200\nBootstrapWellman\n");
  ASSERT_EQ(status, 0) << restrain.errors();
  EXPECT_NE(out.find("\nSpecimen-level permutation p value: 0.009901 = 1/101, the least 100 permutations can give "
                     "(none reached the observed R^2); the 40 specimens permuted, each moving"),
            std::string::npos)
      << out;
  EXPECT_TRUE(std::regex_search(out, std::regex("== Wellman Ellipse Calculation ==\nR = 1\\.6\\d \\(95 % CI "
                                                "\\d\\.\\d\\d to \\d\\.\\d\\d\\), theta' = \\d+\\.\\d "
                                                "\\(95 % CI \\d+\\.\\d to \\d+\\.\\d\\)\nNUMERICAL METHOD, "
                                                "bootstrap of 200 resamples of the 40 specimens, each with all its pairs")))
      << out;
  const std::string leftout = "\n\n1 of 120 pairs left out: row 6 (t = ";
  EXPECT_NE(out.find(leftout), out.rfind(leftout)) << out; // after the test's report and the bootstrap's
  EXPECT_NE(out.find("== Results ==\nfit\tR\tR low\tR high\ttheta'\ttheta' low\ttheta' high\tresamples used\n"
                     "numerical\t1.6"),
            std::string::npos);
  const testsupport::FakeAxes& axes = restrain.window().fakeaxes();
  EXPECT_EQ(axes.legend.back().substr(0, 30), "95 % interval (numerical): R 1");
  EXPECT_EQ(std::count(axes.legendstyles.begin(), axes.legendstyles.end(), "c"), 1);
}

TEST(restrainsw, KeepsItsAnglesWhenAnAngleFileIsRefused) {
  Files restrain;
  io::writerows(restrain.file("one.txt").string(), restrain.sample.t, "%.17g ", "\n", io::WriteMode::Replace);
  ASSERT_EQ(restrain.run("Load data.txt\nLoadDataTP datatp.txt\nLoadAllTP alltp.txt\n").first, 0) << restrain.errors();
  EXPECT_EQ(restrain.run("LoadDataTP one.txt\n").first, 1);
  EXPECT_EQ(restrain.errors().substr(0, 66), "The angle file 'one.txt' (specimen t, p), line 1, holds 1 number; ");
  EXPECT_EQ(restrain.run("LoadAllTP data.txt\n").first, 1);
  // Coordinates that all pass for angles still have the layout of landmarks.
  const std::string message = "The angle file 'data.txt' (pooled t, p) holds 19 numbers per line, so it looks like "
                              "landmark data (9 landmarks and a size slot), not angles";
  EXPECT_EQ(restrain.errors().substr(0, message.size()), message);
  // Both refusals left the angles loaded before: the retrodeformation still
  // gives back the form.
  ASSERT_EQ(restrain.run("set BaseBox1 1\nset BaseBox2 3\nDoRetro\nSave retro.txt\n").first, 0) << restrain.errors();
  EXPECT_LT(distances(io::dload(restrain.file("retro.txt").string())).maxCoeff(), 1e-4);
}

TEST(restrainsw, ForgetsTheResultOfDataLoadedBefore) {
  Files restrain;
  const std::string note = "note: the retrodeformed data of the specimens loaded before were cleared";
  const auto [status, out] = restrain.run("Load data.txt\nLoadDataTP datatp.txt\nLoadAllTP alltp.txt\nset BaseBox1 1\n"
                                          "set BaseBox2 3\nDoRetro\nLoadTPS data.tps\nSave kept.txt\n");
  EXPECT_EQ(status, 1);
  EXPECT_EQ(out.find(note), out.rfind(note));
  ASSERT_NE(out.find(note), std::string::npos) << out;
  EXPECT_NE(restrain.errors().find("Nothing to save yet"), std::string::npos) << restrain.errors();
  EXPECT_FALSE(std::filesystem::exists(restrain.file("kept.txt")));
  // A first load, or one before any result, says nothing of the kind.
  const auto [fstatus, fout] = restrain.run("Load data.txt\nLoadTPS data.tps\n");
  EXPECT_EQ(fstatus, 0) << restrain.errors();
  EXPECT_EQ(fout.find(note), std::string::npos);
}

TEST(restrainsw, WarnsOfABaselineAcrossTheMidline) {
  Files restrain;
  const std::string warning = "warning: the baseline";
  // Landmarks 1 and 3 lie on the midline, 4 and 5 are a pair across it.
  const auto [status, out] = restrain.run("LoadTPS data.tps\nLoadDataTP datatp.txt\nLoadAllTP alltp.txt\n"
                                          "set BaseBox1 1\nset BaseBox2 3\nDoRetro\nset BaseBox1 3\nset BaseBox2 1\n"
                                          "DoRetro\n");
  ASSERT_EQ(status, 0) << restrain.errors();
  EXPECT_EQ(out.find(warning), std::string::npos) << out;
  const auto [wstatus, wout] = restrain.run("LoadTPS data.tps\nLoadDataTP datatp.txt\nLoadAllTP alltp.txt\n"
                                            "set BaseBox1 4\nset BaseBox2 5\nDoRetro\n");
  ASSERT_EQ(wstatus, 0) << restrain.errors();
  EXPECT_NE(wout.find("warning: the baseline 4-5 lies"), std::string::npos) << wout;
}

namespace {

const testsupport::FakeAxes::Plot& plotof(const testsupport::FakeAxes& axes, const std::string& style) {
  const auto p = std::find_if(axes.plots.begin(), axes.plots.end(), [&](const auto& q) { return q.style == style; });
  if (p == axes.plots.end()) throw core::Error("no plot of style " + style);
  return *p;
}

// The long and short half-axes of the points' spread about their mean, and
// the long one's bearing (degrees, 0 ... 180): for the points of a closed
// line (the last repeating the first) R and area tell an ellipse, and for
// a specimen's landmarks the ratio tells its shape whatever its turn.
Eigen::Vector3d spreadof(const Eigen::VectorXd& x, const Eigen::VectorXd& y) {
  Eigen::MatrixX2d v(x.size(), 2);
  v << x, y;
  const Eigen::MatrixX2d c = v.rowwise() - v.colwise().mean();
  const Eigen::SelfAdjointEigenSolver<Eigen::Matrix2d> e(c.transpose() * c / static_cast<double>(x.size()));
  const Eigen::Vector2d u = e.eigenvectors().col(1);
  return {std::sqrt(2 * e.eigenvalues()(1)), std::sqrt(2 * e.eigenvalues()(0)),
          std::fmod(core::Bearing::of(u(0), u(1)).deg() + 180, 180)};
}

} // namespace

TEST(restrainsw, TheWellmanPlotKeepsBothFitsInItsLegendWhateverEndsTheAction) {
  // Cancelled or not, a test or a bootstrap leaves the construction with
  // both fits drawn, each named in the legend and no label over the lines.
  const Sample sample = deformed({1.6, core::Bearing::degrees(30)}, 0, 21);
  const std::pair<const char*, int> cases[] = {
      {"DoWellman", -1}, {"PermuteWellman", -1}, {"PermuteWellman", 0}, {"BootstrapWellman", -1}, {"BootstrapWellman", 0}};
  for (const auto& [action, cancelafter] : cases) {
    testsupport::FakeHost host("Restrain");
    host.setstring("PBox", "100");
    host.setstring("BootBox", "200");
    host.cancelafter = cancelafter;
    restrain::State s;
    s.alltp = sample.alltp;
    restrain::restrainsw(host, s, action);
    const testsupport::FakeAxes& axes = host.fakeaxes();
    for (const char* fit : {"analytic fit R = 1.60, theta' = 30.0", "numerical fit R = 1.60, theta' = 30.0"})
      EXPECT_EQ(std::count(axes.legend.begin(), axes.legend.end(), fit), 1) << action << cancelafter << fit;
    EXPECT_TRUE(axes.texts.empty() && !axes.xlabel.empty() && !axes.ylabel.empty()) << action << cancelafter;
  }
}

TEST(restrainsw, NumbersTheLandmarksOfTheDataPlotWhereTheyCoverNoSpecimen) {
  for (const char* load : {"Load data.txt\n", "LoadTPS data.tps\n"}) {
    Files restrain;
    ASSERT_EQ(restrain.run(load).first, 0) << restrain.errors();
    const testsupport::FakeAxes& axes = restrain.window().fakeaxes();
    ASSERT_EQ(axes.texts.size(), 9u) << load;
    EXPECT_FALSE(axes.xlabel.empty() || axes.ylabel.empty()) << load;
    // Each label keeps clear of every specimen's landmarks (which span
    // about 1 unit) and lies nearest its own landmark's.
    const testsupport::FakeAxes::Plot& specimens = plotof(axes, "bo");
    for (std::size_t j = 0; j < 9; ++j) {
      const auto& t = axes.texts[j];
      EXPECT_EQ(t.label, std::to_string(j + 1)) << load;
      Eigen::Index nearest = 0;
      ((specimens.x.array() - t.x).square() + (specimens.y.array() - t.y).square()).minCoeff(&nearest);
      EXPECT_GT(std::hypot(specimens.x(nearest) - t.x, specimens.y(nearest) - t.y), 0.02) << load << t.label;
      EXPECT_EQ(static_cast<std::size_t>(nearest % 9), j) << load << t.label;
    }
  }
}

TEST(restrainsw, DrawsTheStrainEllipseBeforeAndItsCircleAfterRetrodeformation) {
  // The sample's specimens are one form under the strain R 1.6 along 30
  // degrees: with the strain removed they all have the form's shape again,
  // and the strain's ellipse becomes a circle of its area.
  const std::string start = "LoadDataTP datatp.txt\nLoadAllTP alltp.txt\nset BaseBox1 1\nset BaseBox2 3\n"
                            "set UserR 1.6\nset UserTheta 30\n";
  const std::pair<const char*, const char*> cases[] = {
      {"Load data.txt\nDoRetro\n", "gd"}, {"Load data.txt\nDoRetroUser\n", "r+"}, {"LoadTPS data.tps\nUserRetroTPS\n", "r+"}};
  for (const auto& [script, retrostyle] : cases) {
    Files restrain;
    ASSERT_EQ(restrain.run(start + script).first, 0) << restrain.errors();
    const testsupport::FakeAxes& axes = restrain.window().fakeaxes();
    EXPECT_FALSE(axes.xlabel.empty() || axes.ylabel.empty() || axes.titletext.empty()) << script;
    const auto& m = plotof(axes, "m");
    const auto& k = plotof(axes, "k");
    const Eigen::Vector3d ellipse = spreadof(m.x.head(m.x.size() - 1), m.y.head(m.y.size() - 1));
    const Eigen::Vector3d circle = spreadof(k.x.head(k.x.size() - 1), k.y.head(k.y.size() - 1));
    EXPECT_NEAR(ellipse(0) / ellipse(1), 1.6, 1e-9) << script;
    EXPECT_NEAR(ellipse(2), 30, 1e-6) << script;
    EXPECT_NEAR(circle(0) / circle(1), 1, 1e-9) << script;
    EXPECT_NEAR(ellipse(0) * ellipse(1) / (circle(0) * circle(1)), 1, 1e-9) << script;
    // The specimens as found differ in shape, those on the right do not
    // (to the six digits of the TPS file).
    const auto ratios = [](const testsupport::FakeAxes::Plot& p) {
      Eigen::ArrayXd r(p.x.size() / 9);
      for (Eigen::Index i = 0; i < r.size(); ++i) {
        const Eigen::Vector3d s = spreadof(p.x.segment(9 * i, 9), p.y.segment(9 * i, 9));
        r(i) = s(0) / s(1);
      }
      return r.maxCoeff() / r.minCoeff() - 1;
    };
    EXPECT_GT(ratios(plotof(axes, "bo")), 0.1) << script;
    EXPECT_LT(ratios(plotof(axes, retrostyle)), 1e-3) << script;
  }
}
