#include "stats/distributions.h"

#include "tests/support/test_support.h"

#include <cmath>
#include <limits>
#include <numbers>

namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr double Inf = std::numeric_limits<double>::infinity();

Eigen::MatrixXd s(double v) { return Eigen::MatrixXd::Constant(1, 1, v); }

TEST(distributions, MatchTablesAndClosedForms) {
  // Phi(1.96), Phi(1): Abramowitz & Stegun Table 26.1. 95% points of chi-square(10),
  // 18.307, and F(5, 10), 3.326: NIST/SEMATECH e-Handbook tables (F's full digits from mpmath).
  EXPECT_NEAR(stats::normcdf(1.96), 0.9750021048517795, 1e-15);
  EXPECT_NEAR(stats::normcdf(-1.0, 1, 2), 1 - 0.8413447460685429, 1e-15);
  EXPECT_NEAR(stats::chi2cdf(18.307, 10), 0.95, 1e-5);
  EXPECT_NEAR(stats::fcdf(3.325834530413011, 5, 10), 0.95, 1e-13);
  EXPECT_NEAR(stats::gamcdf(1, 1), 1 - std::exp(-1.0), 1e-16);
  for (double x : {0.02, 0.7, 3.7, 12.5, 80.0}) {
    EXPECT_NEAR(stats::chi2cdf(x, 4), 1 - std::exp(-x / 2) * (1 + x / 2), 1e-15);
    EXPECT_NEAR(stats::fcdf(x, 2, 7), 1 - std::pow(1 + 2 * x / 7, -3.5), 1e-14);               // I_z(1, b)
    EXPECT_NEAR(stats::fcdf(x, 1, 1), 2 / std::numbers::pi * std::atan(std::sqrt(x)), 1e-15); // Cauchy t
  }
  EXPECT_EQ(stats::normcdf(-Inf) + stats::normcdf(Inf) + stats::fcdf(Inf, 5, 10) + stats::gamcdf(Inf, 2), 3);
}

TEST(fcdf, TakesTheChiSquareLimitsForInfiniteDegreesOfFreedom) {
  for (double x : {0.3, 1.0, 2.5}) {
    EXPECT_NEAR(stats::fcdf(x, 2, Inf), 1 - std::exp(-x), 1e-15);
    EXPECT_NEAR(stats::fcdf(x, Inf, 2), std::exp(-1 / x), 1e-15);
    // Continuous at the limit, which needs 1 - z kept accurate for large v1.
    EXPECT_NEAR(stats::fcdf(x, 3, 1e9), stats::fcdf(x, 3, Inf), 3e-9);
    EXPECT_NEAR(stats::fcdf(x, 1e9, 4), stats::fcdf(x, Inf, 4), 3e-9);
  }
  EXPECT_EQ(stats::fcdf(2, Inf, Inf) - stats::fcdf(0.5, Inf, Inf), 1);
}

TEST(distributions, GiveZeroBelowTheSupportAndNaNForInvalidParameters) {
  EXPECT_EQ(stats::fcdf(0, 3, 4) + stats::fcdf(-1, 3, 4) + stats::gamcdf(-2, 3) + stats::chi2cdf(0, 3), 0);
  for (double bad : {0.0, -1.0, NaN}) {
    EXPECT_TRUE(std::isnan(stats::normcdf(0.3, 0, bad)));
    EXPECT_TRUE(std::isnan(stats::fcdf(1, bad, 3)));
    EXPECT_TRUE(std::isnan(stats::fcdf(-1, 3, bad)));
    EXPECT_TRUE(std::isnan(stats::chi2cdf(1, bad)));
    EXPECT_TRUE(std::isnan(stats::gamcdf(-1, 1, bad)));
  }
  EXPECT_TRUE(std::isnan(stats::fcdf(NaN, 2, 3)) && std::isnan(stats::gamcdf(NaN, 2)));
}

TEST(distchck, ExpandsScalarsToTheFirstNonScalarSizeOrRefusesMismatches) {
  const Eigen::MatrixXd x = Eigen::MatrixXd::Random(2, 3).cwiseAbs() * 3, v2 = Eigen::MatrixXd::Constant(2, 3, 4);
  const stats::CheckedArgs c = stats::distchck({s(7), x, v2});
  ASSERT_EQ(c.errorcode, 0);
  EXPECT_TRUE(testsupport::near(c.args[0], Eigen::MatrixXd::Constant(2, 3, 7), 0));
  EXPECT_EQ(stats::distchck({x, x.transpose()}).errorcode, 1);
  const Eigen::MatrixXd p = stats::fcdf(x, s(2), v2);
  ASSERT_TRUE(p.rows() == 2 && p.cols() == 3);
  for (Eigen::Index i = 0; i < p.size(); ++i) EXPECT_EQ(p(i), stats::fcdf(x(i), 2, 4));

  const char* message = "Requires non-scalar arguments to match in size.";
  EXPECT_EQ(testsupport::error_of([&] { stats::fcdf(x, s(1), x.transpose()); }), message);
  EXPECT_EQ(testsupport::error_of([&] { stats::normcdf(x, x.transpose()); }), message);
  EXPECT_EQ(testsupport::error_of([&] { stats::gamcdf(x, s(1), x.transpose()); }), message);
  EXPECT_EQ(testsupport::error_of([] { stats::chi2cdf(Eigen::RowVector2d(1, 2), Eigen::Vector2d(1, 2)); }), message);
}

} // namespace
