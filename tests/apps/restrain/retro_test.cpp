// Ground truth for retrodeformation: a bilaterally symmetric form, copies
// of it at random bearings, scales and places, all deformed by one known
// strain in the frame of the rock; the angles measured on them as
// Anglepick measures them; the strain fitted and taken out again.

#include "apps/restrain/retro.h"

#include "tests/apps/restrain/sample.h"
#include "core/procrustes.h"
#include "core/random.h"
#include "tests/support/test_support.h"

#include <cmath>
#include <numbers>

using testsupport::error_of;

using namespace restraintest;

namespace {

core::Strain strain(double R, double thetadeg) { return {R, core::Bearing::degrees(thetadeg)}; }

} // namespace

TEST(retrodeformation, RestoresEveryDeformedSpecimenExactly) {
  for (const core::Strain truth : {strain(1.6, 30), strain(2.0, 120)}) {
    const Sample s = deformed(truth, 0, 5);
    EXPECT_GT(distances(s.x).mean(), 0.05); // the strain shows

    const restrain::AnalyticFit fit = restrain::analyticfit(s.pairs());
    EXPECT_NEAR(fit.fit.strain.R, truth.R, 1e-9);
    EXPECT_NEAR(fit.fit.strain.longaxis.rad(), truth.longaxis.rad(), core::Angle::degrees(1e-7).rad());

    const Eigen::MatrixXd fitted = restrain::retro_wellman3(s.x, s.midlines(), 1, 3, s.pairs());
    EXPECT_LT(distances(fitted).maxCoeff(), 1e-6) << truth.R;
    const Eigen::MatrixXd typed = restrain::retro_wellman4(s.x, s.midlines(), 1, 3, truth);
    EXPECT_LT(distances(typed).maxCoeff(), 1e-6) << truth.R;
    // The baseline's direction along the midline does not matter.
    const Eigen::MatrixXd reversed = restrain::retro_wellman4(s.x, s.midlines(), 3, 1, truth);
    EXPECT_LT(distances(reversed).maxCoeff(), 1e-6) << truth.R;
  }
}

TEST(retrodeformation, BringsNoisySpecimensCloserToTheirForm) {
  const Sample s = deformed(strain(1.8, 75), 0.01, 9);
  const restrain::AnalyticFit fit = restrain::analyticfit(s.pairs());
  EXPECT_NEAR(fit.fit.strain.R, 1.8, 0.1);
  const Eigen::MatrixXd y = restrain::retro_wellman3(s.x, s.midlines(), 1, 3, s.pairs());
  EXPECT_LT(distances(y).mean(), 0.5 * distances(s.x).mean());
}

TEST(retro_wellman5, RemovesTheStrainInTheDataFrame) {
  std::mt19937 rng(4);
  Eigen::MatrixXd x(5, 13);
  for (int i = 0; i < 5; ++i) x.row(i) = testsupport::randomrow(6, rng, 42);
  // R = 1 changes nothing before superimposition.
  const restrain::Retro5 same = restrain::retro_wellman5(x, strain(1, 37));
  EXPECT_TRUE(testsupport::near(same.yraw.leftCols(12), x.leftCols(12), 1e-14));
  EXPECT_TRUE((same.yraw.col(12).array() == 1).all());
  // theta' = 0: the long axis is +y, so y shrinks by sqrt(R) and x grows.
  const restrain::Retro5 r = restrain::retro_wellman5(x, strain(4, 0));
  for (int j = 0; j < 6; ++j) {
    EXPECT_NEAR(r.yraw(2, 2 * j), 2 * x(2, 2 * j), 1e-13);
    EXPECT_NEAR(r.yraw(2, 2 * j + 1), x(2, 2 * j + 1) / 2, 1e-13);
  }
  EXPECT_EQ(error_of([&] { restrain::retro_wellman5(x, strain(-1, 0)); }), "The strain ratio R must be a positive number; it is -1");
  EXPECT_EQ(error_of([&] { restrain::retro_wellman5(x, strain(2, NAN)); }), "The bearing theta' must be a number");
}

TEST(orientandremove, PutsTheBaselineOnItsBearing) {
  const Eigen::MatrixXd form = templaterow();
  std::vector<core::Bearing> t{core::Bearing::radians(0)};
  const Eigen::MatrixXd y = restrain::orientandremove(form, t, 1, 3, Eigen::Matrix2d::Identity());
  // Bearing 0: landmark 1 at the origin, landmark 3 at (0, 1).
  EXPECT_NEAR(y(0, 0), 0, 1e-15);
  EXPECT_NEAR(y(0, 4), 0, 1e-15);
  EXPECT_NEAR(y(0, 5), 1, 1e-15);
  t[0] = core::Bearing::radians(pi / 2); // east
  const Eigen::MatrixXd e = restrain::orientandremove(form, t, 1, 3, Eigen::Matrix2d::Identity());
  EXPECT_NEAR(e(0, 4), 1, 1e-15);
  EXPECT_NEAR(e(0, 5), 0, 1e-15);
  t.push_back(t[0]);
  EXPECT_EQ(error_of([&] { restrain::orientandremove(form, t, 1, 3, Eigen::Matrix2d::Identity()); }),
            "The per-specimen angles hold 2 rows but the data set has 1 specimens; load the angles of these specimens "
            "(Specimen t, p…)");
}

// Per-specimen angles joined to the data set by specimen: a line's ID,
// else its number, else its place; a specimen without angles gets NaN and
// shifts no other. t of specimen i is 10 i degrees.
TEST(joinbearings, JoinsBySpecimenSoThatAGapShiftsNoOther) {
  core::Identities ids;
  ids.keys = {{"ID=a"}, {"ID=b"}, {"ID=c"}};
  const auto label = [](long number, const std::string& id) { return core::SpecimenLabel{number, id}; };
  const double nan = std::nan("");
  struct Case {
    const char* what;
    Eigen::MatrixXd tp;
    std::vector<core::SpecimenLabel> named;
    core::Identities ids;
    std::vector<double> t; // degrees, NaN for none
    std::string how;       // or, for a refusal, the start of its message
  };
  const std::vector<Case> cases = {
      {"by ID, in another order", Eigen::MatrixXd{{30, 0}, {10, 0}}, {label(3, "c"), label(9, "a")}, ids,
       {10, nan, 30}, "by ID"},
      {"by number without IDs", Eigen::MatrixXd{{10, 0}, {30, 0}}, {label(1, ""), label(3, "")}, ids, {10, nan, 30},
       "by specimen number"},
      {"by number when the data have no IDs", Eigen::MatrixXd{{20, 0}}, {label(2, "b")}, {}, {nan, 20, nan},
       "by specimen number"},
      {"line by line, a NaN line for the gap", Eigen::MatrixXd{{10, 0}, {nan, nan}, {30, 0}}, {{}, {}, {}}, ids,
       {10, nan, 30}, "line by line"},
      {"line by line, a line short", Eigen::MatrixXd{{10, 0}, {30, 0}}, {{}, {}}, ids, {},
       "The per-specimen angles hold 2 rows but the data set has 3 specimens, and their lines do not name"},
      {"an ID the data lack", Eigen::MatrixXd{{10, 0}}, {label(1, "z")}, ids, {},
       "The line 1 of the per-specimen angles names specimen ID z, which the data set does not have"},
      {"a number past the data", Eigen::MatrixXd{{10, 0}}, {label(4, "")}, ids, {},
       "The line 1 of the per-specimen angles names specimen 4, but the data set has 3 specimens"},
      {"one specimen twice", Eigen::MatrixXd{{10, 0}, {11, 0}}, {label(1, "a"), label(2, "a")}, ids, {},
       "Lines 1 and 2 of the per-specimen angles both name specimen 1 (a)"},
  };
  for (const Case& c : cases) {
    if (c.t.empty()) {
      const std::string error = error_of([&] { restrain::joinbearings(c.tp, c.named, c.ids, 3); });
      EXPECT_EQ(error.substr(0, c.how.size()), c.how) << c.what << ": " << error;
      continue;
    }
    const restrain::JoinedBearings j = restrain::joinbearings(c.tp, c.named, c.ids, 3);
    EXPECT_EQ(std::string(j.how), c.how) << c.what;
    ASSERT_EQ(j.t.size(), 3U) << c.what;
    for (std::size_t i = 0; i < 3; ++i) {
      if (std::isnan(c.t[i])) EXPECT_TRUE(std::isnan(j.t[i].rad())) << c.what << " " << i;
      else EXPECT_NEAR(j.t[i].deg(), c.t[i], 1e-12) << c.what << " " << i;
    }
  }
}
