#include "apps/restrain/bootstrap.h"

#include "core/random.h"
#include "tests/apps/restrain/sample.h"
#include "tests/support/test_support.h"

#include <cmath>

using testsupport::error_of;

namespace {

// n specimens at t = 4, 11, 18, ... degrees, each with three pairs whose p
// is what the strain predicts, with their specimens.
restrain::PairAngles exact(const core::Strain& s, int n) {
  Eigen::MatrixXd tp(3 * n, 2);
  Eigen::VectorXi specimen(3 * n);
  for (int i = 0; i < 3 * n; ++i) {
    const double t = 4 + 7 * (i / 3);
    tp.row(i) << t, core::Angle::radians(restrain::predictedp(s, core::Bearing::degrees(t))).deg();
    specimen(i) = i / 3;
  }
  return restrain::PairAngles::forwellman(tp, specimen);
}

double turn(double a, double b) { return core::axialdifference(core::Bearing::radians(a), core::Bearing::radians(b)).rad(); }

} // namespace

// Pairs that fit their strain exactly fit it in every resample: both
// intervals close on the strain, across north too, and read as it.
TEST(bootstrapwellman, ClosesOnTheStrainOfExactPairs) {
  struct Case {
    double R, theta;
    const char* text;
  };
  for (const Case& c : {Case{1.5, 30, "R = 1.50 (95 % CI 1.50 to 1.50), theta' = 30.0 (95 % CI 30.0 to 30.0)"},
                        Case{2, 179.96, "R = 2.00 (95 % CI 2.00 to 2.00), theta' = 0.0 (95 % CI 0.0 to 0.0)"},
                        Case{1.3, 0.4, "R = 1.30 (95 % CI 1.30 to 1.30), theta' = 0.4 (95 % CI 0.4 to 0.4)"},
                        Case{2.5, 90, "R = 2.50 (95 % CI 2.50 to 2.50), theta' = 90.0 (95 % CI 90.0 to 90.0)"}}) {
    SCOPED_TRACE(c.theta);
    const core::Strain truth{c.R, core::Bearing::degrees(c.theta)};
    core::setseed(4);
    const auto b = restrain::bootstrapwellman(exact(truth, 25), 200);
    ASSERT_TRUE(b);
    for (const stats::StrainInterval* s : {&b->numerical, &b->analytic}) {
      EXPECT_EQ(s->failed, 0);
      EXPECT_EQ(s->R.used, 200);
      for (const double R : {s->estimate.R, s->R.low, s->R.high}) EXPECT_NEAR(R, c.R, 1e-6);
      for (const double t : {s->estimate.longaxis.rad(), s->theta.low, s->theta.high})
        EXPECT_NEAR(turn(t, truth.longaxis.rad()), 0, 1e-6);
      EXPECT_EQ(stats::cistext(*s), c.text);
    }
    const std::vector<std::string> report = restrain::bootstrapreport(*b);
    ASSERT_EQ(report.size(), 3u);
    EXPECT_EQ(report[0], c.text);
    EXPECT_EQ(report[2], std::string("ANALYTIC METHOD: ") + c.text + ".");
  }
}

// A noisy bed of 40 specimens: the intervals lie about its estimates, near
// the strain that made it; the specimens are drawn, or the pairs where their
// specimens are unknown; a seed gives the same bits on any number of
// threads.
TEST(bootstrapwellman, DrawsSpecimensSeededAndTheSameOnAnyThreads) {
  const core::Strain truth{1.6, core::Bearing::degrees(30)};
  const restraintest::Sample sample = restraintest::deformed(truth, 0.02, 5);
  Eigen::VectorXi specimen(sample.alltp.rows());
  for (Eigen::Index i = 0; i < specimen.size(); ++i) specimen(i) = static_cast<int>(i / 3);
  const restrain::PairAngles pooled = restrain::PairAngles::forwellman(sample.alltp, specimen);
  const auto run = [&](std::uint64_t seed, unsigned threads, const restrain::PairAngles& pairs) {
    core::setseed(seed);
    return *restrain::bootstrapwellman(pairs, 300, {}, threads);
  };
  const restrain::WellmanBootstrap one = run(9, 1, pooled);
  EXPECT_EQ(one.units, 40);
  // (How often an interval holds the truth is measured by the coverage
  // benchmark, over hundreds of beds.)
  for (const stats::StrainInterval* s : {&one.numerical, &one.analytic}) {
    EXPECT_NEAR(s->estimate.R, 1.6, 0.05);
    EXPECT_NEAR(turn(s->estimate.longaxis.rad(), truth.longaxis.rad()), 0, 0.03);
    EXPECT_LT(s->R.low, s->estimate.R);
    EXPECT_GT(s->R.high, s->estimate.R);
    EXPECT_GT(s->R.high - s->R.low, 0.01);
    EXPECT_LT(s->theta.low, s->estimate.longaxis.rad());
    EXPECT_GT(s->theta.high, s->estimate.longaxis.rad());
  }
  const restrain::WellmanBootstrap two = run(9, 2, pooled), other = run(10, 2, pooled);
  EXPECT_EQ(two.numerical.R.low, one.numerical.R.low);
  EXPECT_EQ(two.analytic.theta.high, one.analytic.theta.high);
  EXPECT_NE(other.numerical.R.low, one.numerical.R.low);
  const restrain::WellmanBootstrap pairs = run(9, 2, sample.pairs());
  EXPECT_FALSE(pairs.specimens);
  EXPECT_EQ(pairs.units, 120);
  EXPECT_NE(restrain::bootstrapreport(pairs)[1].find("of the 120 pairs (their specimens are not known"),
            std::string::npos);

  // Drawn: the ellipses of R's two ends along the estimate's axis, and the
  // fan of theta' out beyond the estimate's long half-axis, both ways.
  const std::vector<Eigen::MatrixX2d> lines = restrain::intervallines(one.numerical, 0.5);
  ASSERT_EQ(lines.size(), 4u);
  const double b = one.numerical.estimate.longaxis.rad(), tl = one.numerical.theta.low;
  EXPECT_NEAR(lines[1].row(0).norm(), 0.5 * one.numerical.R.high, 1e-12);
  EXPECT_NEAR(std::atan2(lines[1](0, 0), lines[1](0, 1)), b, 1e-12);
  EXPECT_NEAR(lines[2].row(1).norm(), restrain::fanreach * 0.5 * one.numerical.estimate.R, 1e-12);
  EXPECT_NEAR(std::atan2(lines[2](1, 0), lines[2](1, 1)), tl, 1e-12);
  EXPECT_NEAR(std::atan2(-lines[3](1, 0), -lines[3](1, 1)), tl, 1e-12);

  // The bed's numerical fit is the least Chi^2 the refinement settles near.
  const restrain::Refinement r = restrain::refine(pooled, one.analytic.estimate.longaxis);
  EXPECT_LE(restrain::wellpenalty(one.numerical.estimate, pooled).chitwo, r.penalty.chitwo + 1e-15);
  EXPECT_NEAR(one.numerical.estimate.R, r.strain.R, 1e-3);

  int calls = 0;
  EXPECT_FALSE(restrain::bootstrapwellman(pooled, 1000, [&](double) { return ++calls < 2; }, 1));
  EXPECT_EQ(error_of([&] { restrain::bootstrapwellman(pooled, 99); }),
            "A bootstrap needs from 100 to 1000000 resamples; 99 were asked for");
  EXPECT_EQ(error_of([&] {
              restrain::PairAngles few = pooled;
              few.specimen.setZero();
              few.specimen(0) = 1;
              restrain::bootstrapwellman(few, 100);
            }),
            "A bootstrap draws the specimens again, and needs at least three of them; the pooled angles hold 2");
}
