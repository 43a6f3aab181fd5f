#include "stats/distributions.h"

#include "tests/support/test_support.h"

#include <boost/math/special_functions/beta.hpp>

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

// Relative closeness, for tails many decades below 1.
::testing::AssertionResult relnear(double got, double want, double rel) {
  if (std::abs(got - want) <= rel * std::abs(want)) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << got << " is not within " << rel << " (relative) of " << want;
}

TEST(upper, KeepsTheDigitsOfTailsFarBelowOne) {
  // Q(10) of the normal: Abramowitz & Stegun 26.2.
  EXPECT_TRUE(relnear(stats::normupper(10), 7.619853024160527e-24, 1e-12));
  EXPECT_TRUE(relnear(stats::normupper(-1.0, 1, 2), 0.8413447460685429, 1e-15));
  EXPECT_TRUE(relnear(stats::normupper(1.96), 1 - 0.9750021048517795, 1e-12));
  for (double x : {0.02, 3.7, 80.0, 200.0, 1400.0}) {
    EXPECT_TRUE(relnear(stats::chi2upper(x, 4), std::exp(-x / 2) * (1 + x / 2), 1e-12)) << x;
    EXPECT_TRUE(relnear(stats::gamupper(x, 1), std::exp(-x), 1e-12)) << x;
    EXPECT_TRUE(relnear(stats::fupper(x, 2, 7), std::pow(1 + 2 * x / 7, -3.5), 1e-12)) << x;
  }
  for (double x : {0.5, 1e6, 1e20})
    EXPECT_TRUE(relnear(stats::fupper(x, 1, 1), 2 / std::numbers::pi * std::atan(1 / std::sqrt(x)), 1e-12)) << x;
  // Wilks' F of a strong effect: 1 - fcdf has lost every digit, the tail
  // keeps them; against the incomplete beta of the complement directly.
  EXPECT_EQ(1 - stats::fcdf(46.4, 24, 175), 0);
  const double r = 175.0 / 24;
  const double tail = boost::math::ibeta(175.0 / 2, 24.0 / 2, r / (46.4 + r));
  EXPECT_TRUE(relnear(stats::fupper(46.4, 24, 175), tail, 1e-10));
  EXPECT_TRUE(tail > 1e-63 && tail < 1e-62) << tail;
  // Upper and lower tails add to one where both are representable.
  for (double x : {0.1, 1.0, 4.0}) {
    EXPECT_NEAR(stats::fupper(x, 5, 10) + stats::fcdf(x, 5, 10), 1, 1e-15);
    EXPECT_NEAR(stats::gamupper(x, 2.5, 3) + stats::gamcdf(x, 2.5, 3), 1, 1e-15);
  }
}

TEST(upper, TakesTheLimitsAndRefusesWhatTheCdfRefuses) {
  for (double x : {0.3, 1.0, 30.0}) {
    EXPECT_TRUE(relnear(stats::fupper(x, 2, Inf), std::exp(-x), 1e-13));
    EXPECT_TRUE(relnear(stats::fupper(x, Inf, 2), -std::expm1(-1 / x), 1e-13));
  }
  EXPECT_EQ(stats::fupper(2, Inf, Inf) + stats::fupper(0.5, Inf, Inf), 1);
  EXPECT_EQ(stats::fupper(0, 3, 4) + stats::gamupper(-2, 3) + stats::chi2upper(0, 3) + stats::normupper(-Inf), 4);
  EXPECT_EQ(stats::fupper(Inf, 3, 4) + stats::gamupper(Inf, 3) + stats::normupper(Inf), 0);
  for (double bad : {0.0, -1.0, NaN}) {
    EXPECT_TRUE(std::isnan(stats::normupper(0.3, 0, bad)));
    EXPECT_TRUE(std::isnan(stats::fupper(1, bad, 3)));
    EXPECT_TRUE(std::isnan(stats::chi2upper(1, bad)));
    EXPECT_TRUE(std::isnan(stats::gamupper(1, 1, bad)));
  }
  const Eigen::MatrixXd x = Eigen::MatrixXd::Constant(2, 2, 3);
  EXPECT_EQ(testsupport::error_of([&] { stats::fupper(x, s(1), x.transpose().topRows(1)); }),
            "Requires non-scalar arguments to match in size.");
  const Eigen::MatrixXd q = stats::fupper(x, s(2), s(7));
  ASSERT_TRUE(q.rows() == 2 && q.cols() == 2);
  EXPECT_EQ(q(1, 1), stats::fupper(3, 2, 7));
}

} // namespace
