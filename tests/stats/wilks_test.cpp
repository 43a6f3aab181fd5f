#include "stats/wilks.h"

#include "tests/support/test_support.h"

#include <Eigen/QR>

#include <cmath>
#include <limits>
#include <random>

namespace {

// The fields in the order the statistics are usually tabled: Lambda, F,
// df1, df2, chi2 and its degrees of freedom.
Eigen::RowVectorXd row(const stats::WilksLambda& w) {
  return (Eigen::RowVectorXd(6) << w.lambda, w.f, w.df1, w.df2, w.chi2, w.dfchi2).finished();
}

// Column 0 is ivar; columns 1 to p + 1 follow it with random slopes plus
// unit noise (the last of them is the column getWilkslambda does not read).
Eigen::MatrixXd sample(Eigen::Index mx, Eigen::Index p, unsigned seed) {
  std::mt19937 rng(seed);
  std::normal_distribution<double> e(0, 1);
  Eigen::MatrixXd s = Eigen::MatrixXd::NullaryExpr(mx, p + 2, [&] { return e(rng); });
  s.col(0) *= 5;
  for (Eigen::Index j = 1; j <= p + 1; ++j) s.col(j) += e(rng) * s.col(0);
  return s;
}

TEST(getWilkslambda, GivesLambdaOneForVariablesThatDoNotFollowIvarAndZeroForAnExactLine) {
  // Columns 1 and 2 are even about the middle of ivar (slopes exactly 0);
  // column 3 is 2 ivar + 1 (residuals exactly 0, so W is singular).
  Eigen::MatrixXd x(6, 4);
  x << 1, 1, 1, 9, -1, 0, 3, 9, 0, -1, 5, 9, 0, -1, 7, 9, -1, 0, 9, 9, 1, 1, 11, 9;
  const Eigen::VectorXd ivar = (Eigen::VectorXd(6) << 0, 1, 2, 3, 4, 5).finished();
  EXPECT_EQ(row(stats::getWilkslambda(x.leftCols(3), ivar)), (Eigen::RowVectorXd(6) << 1, 0, 2, 3, 0, 2).finished());
  const double inf = std::numeric_limits<double>::infinity();
  for (Eigen::Index cols : {2, 3}) { // p = 1, then p = 2
    const stats::WilksLambda y = stats::getWilkslambda(x.rightCols(cols), ivar);
    EXPECT_TRUE(y.lambda == 0 && y.f == inf && y.chi2 == inf) << row(y);
  }
}

TEST(getWilkslambda, MatchesOneMinusRSquaredAndTheExactFForOneRegressor) {
  // With one regressor Lambda = 1 - R^2 of ivar on the p variables, here from
  // a least-squares QR fit instead of determinants.
  for (Eigen::Index p : {1, 2, 3, 5}) {
    Eigen::MatrixXd s = sample(14, p, 10 + static_cast<unsigned>(p));
    const Eigen::VectorXd ivar = s.col(0);
    s.col(0).setOnes();
    const Eigen::VectorXd residual = ivar - s.leftCols(p + 1) * s.leftCols(p + 1).colPivHouseholderQr().solve(ivar);
    const double lambda = residual.squaredNorm() / (ivar.array() - ivar.mean()).square().sum(), df2 = 13.0 - p;
    const Eigen::RowVectorXd expected = (Eigen::RowVectorXd(6) << lambda, (1 - lambda) / lambda * df2 / p, p, df2,
                                         -(13 - (p + 2) / 2.0) * std::log(lambda), p).finished();
    EXPECT_TRUE(testsupport::near(row(stats::getWilkslambda(s.rightCols(p + 1), ivar)), expected, 1e-11)) << "p = " << p;
  }
}

TEST(getWilkslambda, IgnoresTheLastColumnAndTheScaleOfTheVariables) {
  const Eigen::MatrixXd s = sample(30, 12, 3), x = s.rightCols(13);
  const Eigen::RowVectorXd y = row(stats::getWilkslambda(x, s.col(0)));
  Eigen::MatrixXd changed = x;
  changed.col(12).setConstant(-1e6);
  EXPECT_EQ(row(stats::getWilkslambda(changed, s.col(0))), y);
  // Tiny variances: det(T) alone would be about 1e-700, below the smallest double.
  changed = (x * 1e-30).array() + 4e-29;
  EXPECT_TRUE(testsupport::near(row(stats::getWilkslambda(changed, s.col(0))), y, 1e-10 * y.cwiseAbs().maxCoeff()));
  EXPECT_EQ(testsupport::error_of([&] { stats::getWilkslambda(x, Eigen::VectorXd::Ones(4)); }),
            "getWilkslambda: ivar must be a vector of 30 values, one per row of xdata, not a 4 x 1 matrix");
  // An ivar that determines no line.
  EXPECT_EQ(testsupport::error_of([&] { stats::getWilkslambda(x, Eigen::VectorXd::Constant(30, 0.5)); }),
            "getWilkslambda: every ivar is 0.5, so no line is determined");
  EXPECT_EQ(testsupport::error_of([&] { stats::getWilkslambda(x.topRows(1), s.col(0).head(1)); }),
            "getWilkslambda: a line needs at least 2 specimens, got 1");
}

TEST(wilkssingular, FlagsATotalMatrixThatCannotBeInverted) {
  const Eigen::MatrixXd good = sample(8, 3, 2).rightCols(4);
  Eigen::MatrixXd x = good;
  x.col(3).setConstant(0.1); // the unused last column does not count
  EXPECT_FALSE(stats::wilkssingular(x));
  EXPECT_TRUE(stats::wilkssingular(good.topRows(3))); // 3 specimens, 3 variables
  x.col(1).setConstant(0.1);
  EXPECT_TRUE(stats::wilkssingular(x));
  x = good;
  x.col(2) = 0.3 * x.col(0) - 7 * x.col(1);
  EXPECT_TRUE(stats::wilkssingular(x));
  x(0, 2) += 1e-3 * x.col(2).norm(); // nearly dependent still gives a result
  EXPECT_FALSE(stats::wilkssingular(x));
  x(4, 0) = std::numeric_limits<double>::quiet_NaN();
  EXPECT_TRUE(stats::wilkssingular(x));
}

} // namespace
