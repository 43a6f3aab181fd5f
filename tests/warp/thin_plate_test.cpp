#include "warp/thin_plate.h"

#include "core/configurations.h"
#include "tests/support/test_support.h"

#include <Eigen/LU>
#include <cmath>

using testsupport::error_of;
using testsupport::near;

namespace {

// The bending energy matrix put back together from an eigen table.
Eigen::MatrixXd energy(const Eigen::MatrixXd& table) {
  const Eigen::Index k = table.rows();
  return table.leftCols(k) * table.rightCols(k) * table.leftCols(k).transpose();
}

} // namespace

TEST(gettpse, GivesTheUnitSquaresBendingEnergy) {
  const Eigen::MatrixXd l = warp::gettspl((Eigen::MatrixXd(2, 4) << 0, 1, 1, 0, /**/ 0, 0, 1, 1).finished());
  Eigen::MatrixXd expected = Eigen::MatrixXd::Zero(7, 7);
  expected(0, 2) = expected(2, 0) = expected(1, 3) = expected(3, 1) = 2 * std::log(2.0);
  expected.block(0, 4, 4, 3) << 1, 0, 0, /**/ 1, 1, 0, /**/ 1, 1, 1, /**/ 1, 0, 1;
  expected.block(4, 0, 3, 4) = expected.block(0, 4, 4, 3).transpose();
  EXPECT_TRUE(near(l, expected, 1e-15));

  const Eigen::MatrixXd table = warp::gettpse(l);
  ASSERT_EQ(table.cols(), 8);
  const Eigen::Vector4d w(1, -1, 1, -1);
  EXPECT_TRUE(near(energy(table), w * w.transpose() / (8 * std::log(2.0)), 1e-12));
  EXPECT_NEAR(std::abs(energy(table)(0, 1)), 0.180337, 1e-6);
  EXPECT_NEAR(table(0, 4), 1 / (2 * std::log(2.0)), 1e-12);
  EXPECT_NEAR(std::abs(table.col(0).dot(w)), 2, 1e-12); // the vector is +-w / 2
  for (int i = 1; i < 4; ++i) EXPECT_TRUE(table(i, 4 + i) >= 0 && table(i, 4 + i) < 1e-12) << i;
}

TEST(gettpse, EigenvaluesAreNonNegativeNonIncreasingAndIgnoreTranslation) {
  std::mt19937 rng(3);
  for (Eigen::Index k : {3, 5, 12, 30}) {
    const Eigen::RowVectorXd row = testsupport::randomrow(k, rng);
    const Eigen::MatrixXd l = warp::gettspl(core::vertxy(row));
    const Eigen::MatrixXd table = warp::gettpse(l);
    const Eigen::MatrixXd moved = warp::gettpse(warp::gettspl(core::vertxy(testsupport::similar(row, 1, 0, 40, -75))));
    EXPECT_TRUE(near(energy(moved), energy(table), 1e-9)) << k;
    const Eigen::VectorXd d = table.rightCols(k).diagonal();
    EXPECT_TRUE(near(table.rightCols(k), Eigen::MatrixXd(d.asDiagonal()), 0)) << k;
    EXPECT_GE(d.minCoeff(), 0) << k;
    for (Eigen::Index i = 1; i < k; ++i) EXPECT_LE(d(i), d(i - 1)) << k;
    const Eigen::MatrixXd v = table.leftCols(k);
    EXPECT_TRUE(near(v.transpose() * v, Eigen::MatrixXd::Identity(k, k), 1e-12)) << k;
    // The table decomposes the block of the inverse (the fold changes it
    // only by rounding); the principal warps are orthogonal to the affine
    // columns 1, x, y. Three landmarks bend nothing.
    const Eigen::MatrixXd block = l.inverse().topLeftCorner(k, k);
    EXPECT_TRUE(near(energy(table), block, 1e-12 + 1e-9 * block.cwiseAbs().maxCoeff())) << k;
    EXPECT_TRUE(near(l.topRightCorner(k, 3).transpose() * v.leftCols(k - 3), Eigen::MatrixXd::Zero(3, k - 3), 1e-10));
  }
}

TEST(gettpse, RefusesCoincidentOrCollinearLandmarks) {
  Eigen::MatrixXd x(2, 4);
  x << 0, 1, 1, 1, /**/ 0, 0, 1, 0;
  EXPECT_EQ(error_of([&] { warp::gettpse(warp::gettspl(x)); }),
            "gettpse: reference landmarks 2 and 4 coincide, so no thin-plate spline passes through the reference (its "
            "matrix is singular)");
  // Five points on a slanted line, off it by the rounding of 0.3.
  Eigen::MatrixXd line(2, 5);
  line << 0, 1, 2, 3, 4, /**/ 1, 1.3, 1.6, 1.9, 2.2;
  EXPECT_PRED_FORMAT2(testing::IsSubstring, "gettpse: all 5 reference landmarks lie on one line",
                      error_of([&] { warp::gettpse(warp::gettspl(line)); }));
  EXPECT_EQ(error_of([&] { warp::checkreference(x.leftCols(2), "getpw_arbit"); }),
            "getpw_arbit: a thin-plate spline needs at least three reference landmarks, but the reference has 2");
}

TEST(eigsort, OrdersByDecreasingEigenvalueKeepingTiesAndSigns) {
  Eigen::Matrix3d v;
  v << 1, 2, 3, 4, 5, 6, 7, 8, 9;
  const warp::SortedEigen s = warp::eigsort(v, Eigen::Vector3d(1, 3, 2).asDiagonal().toDenseMatrix());
  EXPECT_TRUE(near(s.dr, Eigen::Vector3d(3, 2, 1).asDiagonal().toDenseMatrix(), 0));
  EXPECT_TRUE(near(s.vr, (Eigen::Matrix3d() << v.col(1), v.col(2), v.col(0)).finished(), 0));
  EXPECT_TRUE(near(warp::eigsort(v.leftCols(2), Eigen::Matrix2d::Identity() * 2).vr, v.leftCols(2), 0));
  const warp::SortedEigen neg = warp::eigsort(v.leftCols(2), Eigen::Vector2d(-1e-17, 0.5).asDiagonal().toDenseMatrix());
  EXPECT_EQ(neg.dr(1, 1), -1e-17);
  // The key max(D) - D(i, i) cannot tell 0 from 1e-20 beside 5: they tie
  // and keep their order, as near-zero bending energies do.
  const warp::SortedEigen tiny = warp::eigsort(v, Eigen::Vector3d(0, 1e-20, 5).asDiagonal().toDenseMatrix());
  EXPECT_TRUE(near(tiny.dr.diagonal(), Eigen::Vector3d(5, 0, 1e-20), 0));
}
