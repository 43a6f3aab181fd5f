#include "core/numeric.h"

#include "core/error.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

Eigen::MatrixXd sample() {
  Eigen::MatrixXd x(3, 2);
  x << 1, 2, 2, 4, 3, 7;
  return x;
}

TEST(cov, MatchesAHandComputedCase) {
  Eigen::Matrix2d expected;
  expected << 1, 2.5, 2.5, 57.0 / 9; // deviations (-1, 0, 1) and (-7, -1, 8) / 3, over n - 1 = 2
  EXPECT_TRUE(core::cov(sample()).isApprox(expected, 1e-15));
  EXPECT_EQ(core::cov(Eigen::RowVector3d(1, 2, 3)), Eigen::Matrix3d::Zero());
  EXPECT_TRUE(core::cov(Eigen::MatrixXd(0, 2)).array().isNaN().all());
}

TEST(cov, IgnoresAShiftAndScalesWithTheColumns) {
  const Eigen::MatrixXd x = sample();
  // A large common offset must not cost precision (as E[x^2] - E[x]^2 would).
  EXPECT_LT((core::cov(x.array() + 1e9) - core::cov(x)).cwiseAbs().maxCoeff(), 1e-6);
  const Eigen::DiagonalMatrix<double, 2> d(-3, 0.5);
  EXPECT_TRUE(core::cov(x * d).isApprox(d * core::cov(x) * d, 1e-14));
}

TEST(corrcoef, MatchesAHandComputedCaseAndIgnoresScale) {
  const Eigen::MatrixXd r = core::corrcoef(sample());
  EXPECT_EQ(r(0, 0), 1);
  EXPECT_EQ(r(1, 1), 1);
  EXPECT_NEAR(r(0, 1), 2.5 / std::sqrt(57.0 / 9), 1e-15);
  EXPECT_EQ(r(0, 1), r(1, 0));
  // Scaling a column by a negative factor flips the sign only.
  const Eigen::MatrixXd flipped = core::corrcoef(sample() * Eigen::DiagonalMatrix<double, 2>(-4, 1e6));
  EXPECT_NEAR(flipped(0, 1), -r(0, 1), 1e-15);

  // Exactly linear columns give +-1, never beyond; a constant column gives NaN.
  Eigen::MatrixXd x(4, 3);
  x << 0.1, -0.3, 5, 0.2, -0.6, 5, 0.7, -2.1, 5, 1.3, -3.9, 5;
  const Eigen::MatrixXd lin = core::corrcoef(x);
  EXPECT_NEAR(lin(0, 1), -1, 1e-15);
  EXPECT_GE(lin(0, 1), -1);
  EXPECT_TRUE(lin.row(2).array().isNaN().all());
  EXPECT_TRUE(lin.col(2).array().isNaN().all());
}

TEST(linefit, RecoversAnExactLine) {
  const Eigen::VectorXd x = Eigen::VectorXd::LinSpaced(5, -2, 6);
  const core::LineFit fit = core::linefit(x, (2.5 * x.array() - 3).matrix());
  EXPECT_EQ(fit.slope, 2.5);
  EXPECT_EQ(fit.intercept, -3);
}

TEST(linefit, StaysAccurateForXFarFromZero) {
  // Exactly representable data: the sums of squares about zero are not, and
  // a fit from them would be far off.
  const Eigen::VectorXd x = 1e8 + 0.25 * Eigen::ArrayXd::LinSpaced(10, 0, 9);
  const core::LineFit fit = core::linefit(x, (3 * x.array() - 2).matrix());
  EXPECT_NEAR(fit.slope, 3, 1e-12);
  EXPECT_NEAR(fit.intercept, -2, 1e-3);

  // Rounded data: the fitted line still passes through the points.
  const Eigen::VectorXd u = 1e8 + 0.1 * Eigen::ArrayXd::LinSpaced(10, 0, 9);
  const Eigen::VectorXd v = -0.5 * u.array() + 7;
  const core::LineFit rounded = core::linefit(u, v);
  EXPECT_NEAR(rounded.slope, -0.5, 1e-6);
  EXPECT_LT((rounded.slope * u.array() + rounded.intercept - v.array()).abs().maxCoeff(), 1e-6);
}

// Points that determine no line give no numbers; x and y of different
// lengths are no points at all.
TEST(linefit, GivesNoNumbersForDataThatDetermineNoLine) {
  EXPECT_THROW(core::linefit(Eigen::Vector3d(1, 2, 3), Eigen::Vector2d(1, 2)), core::Error);
  EXPECT_TRUE(std::isnan(core::linefit(Eigen::VectorXd::Constant(1, 1), Eigen::VectorXd::Constant(1, 1)).slope));
  const core::LineFit flat = core::linefit(Eigen::Vector3d(0.5, 0.5, 0.5), Eigen::Vector3d(1, 2, 3));
  EXPECT_EQ(flat.sxx, 0);
  EXPECT_EQ(flat.syy, 2);
  EXPECT_TRUE(std::isnan(flat.slope) && std::isnan(flat.intercept));
}

TEST(colminmax, ReportTheFirstExtremeAndSkipNaN) {
  Eigen::MatrixXd x(4, 3);
  x << 3, NaN, NaN,  //
      1, 5, NaN,     //
      4, NaN, NaN,   //
      1, 5, NaN;
  const core::ColumnExtremes lo = core::colmin(x), hi = core::colmax(x);
  EXPECT_EQ(lo.value.head(2), Eigen::RowVector2d(1, 5));
  EXPECT_EQ(lo.index, Eigen::RowVector3i(1, 1, 0));
  EXPECT_EQ(hi.value.head(2), Eigen::RowVector2d(4, 5));
  EXPECT_EQ(hi.index, Eigen::RowVector3i(2, 1, 0));
  EXPECT_TRUE(std::isnan(lo.value[2]) && std::isnan(hi.value[2]));
  EXPECT_THROW(core::colmin(Eigen::MatrixXd(0, 2)), core::Error);
}

TEST(colsort, SortsStablyWithNaNLast) {
  Eigen::MatrixXd x(6, 2);
  x << 3, 2,  //
      NaN, 2, //
      1, 1,   //
      3, -0.0,//
      NaN, 0, //
      1, 2;
  const core::ColumnSort s = core::colsort(x);
  EXPECT_EQ(s.index.col(0), (Eigen::VectorXi(6) << 2, 5, 0, 3, 1, 4).finished());
  EXPECT_EQ(s.index.col(1), (Eigen::VectorXi(6) << 3, 4, 2, 0, 1, 5).finished());
  for (Eigen::Index j = 0; j < 2; ++j)
    for (Eigen::Index i = 0; i < 6; ++i) {
      const double original = x(s.index(i, j), j);
      EXPECT_TRUE(s.sorted(i, j) == original || (std::isnan(s.sorted(i, j)) && std::isnan(original)));
    }

  // Long columns of many ties, where an unstable sort would reorder equals.
  Eigen::MatrixXd ties(200, 1);
  for (int i = 0; i < 200; ++i) ties(i) = (i * 7) % 3;
  const core::ColumnSort t = core::colsort(ties);
  for (int i = 1; i < 200; ++i) {
    ASSERT_LE(t.sorted(i - 1), t.sorted(i));
    if (t.sorted(i - 1) == t.sorted(i)) {
      ASSERT_LT(t.index(i - 1), t.index(i)) << "at " << i;
    }
  }
}

TEST(eigsym, ReconstructsTheMatrixFromAscendingEigenpairs) {
  Eigen::Matrix2d a;
  a << 2, 1, 1, 2;
  EXPECT_TRUE(core::eigsym(a).values.isApprox(Eigen::Vector2d(1, 3), 1e-15));

  Eigen::MatrixXd b(4, 4);
  b << 4, 1, -2, 0.5, 1, 3, 0, 1, -2, 0, 5, 2, 0.5, 1, 2, -1;
  const core::SymmetricEigen e = core::eigsym(b);
  for (Eigen::Index i = 1; i < 4; ++i) EXPECT_LE(e.values[i - 1], e.values[i]);
  EXPECT_TRUE((e.vectors.transpose() * e.vectors).isIdentity(1e-13));
  EXPECT_TRUE((e.vectors * e.values.asDiagonal() * e.vectors.transpose()).isApprox(b, 1e-13));

  EXPECT_THROW(core::eigsym(Eigen::MatrixXd::Zero(2, 3)), core::Error);
  b(1, 0) = NaN;
  EXPECT_THROW(core::eigsym(b), core::Error);
}

} // namespace
