#include "stats/regression.h"

#include "core/numeric.h"
#include "tests/support/test_support.h"

#include <cmath>
#include <limits>
#include <random>

namespace {

TEST(regstuf, GivesTheExactLineAndZeroErrorForPointsOnALine) {
  const Eigen::VectorXd x = (Eigen::VectorXd(5) << 9, 9, 10, 11, 11).finished();
  const double inf = std::numeric_limits<double>::infinity();
  const stats::Regression yr = stats::regstuf(x, (2 + 3 * x.array()).matrix());
  EXPECT_EQ(yr.slope, 3);
  EXPECT_EQ(yr.intercept, 2);
  EXPECT_EQ(yr.slope_se, 0);
  EXPECT_EQ(yr.n, 5);
  EXPECT_EQ(yr.r, 1);
  EXPECT_EQ(yr.z, inf);

  // Rounded lines: syy - b^2 sxx often comes out just below zero.
  int negative = 0;
  for (int n = 3; n <= 30; ++n) {
    for (int k = 0; k < 20; ++k) {
      const Eigen::VectorXd x = 0.1 * Eigen::ArrayXd::LinSpaced(n, 0, n - 1) + 0.013 * k;
      const Eigen::VectorXd y = 2 + (0.3 + 0.07 * k) * x.array();
      const core::LineFit line = core::linefit(x, y);
      const double b = line.slope;
      const bool below = line.syy - b * b * line.sxx < 0;
      negative += below;
      const double sb = stats::regstuf(x, y).slope_se;
      ASSERT_GE(sb, 0) << "n = " << n << ", k = " << k; // fails for NaN too
      EXPECT_LE(sb, below ? 0 : 1e-7 * b);
    }
  }
  EXPECT_GT(negative, 0); // the loop did reach the case that needs the guard
}

TEST(regstuf, AgreesWithTextbookSumsAndIsSymmetricInItsCorrelation) {
  std::mt19937 rng(5);
  std::normal_distribution<double> e(0, 1);
  Eigen::VectorXd x(25), y(25);
  for (Eigen::Index i = 0; i < 25; ++i) {
    x(i) = 100 + 10 * e(rng);
    y(i) = -4 + 0.5 * x(i) + 3 * e(rng);
  }
  const Eigen::ArrayXd dx = x.array() - x.mean(), dy = y.array() - y.mean();
  const double b = (dx * dy).sum() / dx.square().sum(), a = y.mean() - b * x.mean();
  const double sb = std::sqrt((y.array() - a - b * x.array()).square().sum() / 23 / dx.square().sum());
  const double r = (dx * dy).sum() / std::sqrt(dx.square().sum() * dy.square().sum());
  const stats::Regression yr = stats::regstuf(x, y);
  EXPECT_NEAR(yr.slope, b, 1e-11);
  EXPECT_NEAR(yr.intercept, a, 1e-11);
  EXPECT_NEAR(yr.slope_se, sb, 1e-11);
  EXPECT_EQ(yr.n, 25);
  EXPECT_NEAR(yr.r, r, 1e-11);
  EXPECT_NEAR(yr.z, std::atanh(r), 1e-11);
  EXPECT_NEAR(yr.z_se, 1 / std::sqrt(22.0), 1e-11);

  const stats::Regression swapped = stats::regstuf(y.transpose(), x.transpose());
  EXPECT_NEAR(swapped.slope * yr.slope, r * r, 1e-14); // b_xy b_yx = r^2
  EXPECT_EQ(swapped.n, yr.n);
  EXPECT_NEAR(swapped.r, yr.r, 1e-14);
  EXPECT_NEAR(swapped.z, yr.z, 1e-14);
  EXPECT_NEAR(swapped.z_se, yr.z_se, 1e-14);
  EXPECT_EQ(stats::regstuf(x.head(4), y.head(4)).z_se, 1);
  EXPECT_EQ(testsupport::error_of([&] { stats::regstuf(x, y.head(3)); }), "regstuf: x has 25 values but y has 3");
}

} // namespace
