#include "warp/uniform.h"

#include "core/configurations.h"
#include "tests/support/test_support.h"

#include <cmath>
#include <numbers>

using testsupport::error_of;
using testsupport::near;

namespace {

Eigen::RowVectorXd row(std::initializer_list<double> v) {
  return Eigen::Map<const Eigen::RowVectorXd>(v.begin(), static_cast<Eigen::Index>(v.size()));
}

} // namespace

TEST(formrotate, TurnsCounterClockwiseAndKeepsTheSizeSlot) {
  EXPECT_TRUE(near(warp::formrotate(row({1, 0, 0, 1, 7}), std::numbers::pi / 2), row({0, 1, -1, 0, 7}), 1e-15));
  EXPECT_TRUE(near(warp::formrotate(row({1, 0, 0, 1, 7}), -std::numbers::pi / 2), row({0, -1, 1, 0, 7}), 1e-15));
  EXPECT_TRUE(near(warp::uniparmproc(row({1, 2, 3, 4, 9})), row({10, 20}), 0));
}

TEST(UniArbitrary, BuildsTheStretchAndShearOfAReferenceOnItsAxes) {
  // Already on its principal axes (no cross moment): alpha = 8, gamma = 2.
  Eigen::MatrixXd expected(2, 8);
  expected << 0, -1, 0, 1, -2, 0, 2, 0, /**/ 1, 0, -1, 0, 0, -2, 0, 2;
  EXPECT_TRUE(near(warp::UniArbitrary(row({-2, 0, 2, 0, 0, -1, 0, 1, 5})), expected / std::sqrt(10.0), 1e-12));
  // Equal moments Sxx = Syy leave the reference unturned whatever Sxy.
  expected.resize(2, 6);
  expected << 0, 1, 1, 0, -1, -1, /**/ -1, 0, 0, 1, 1, -1;
  EXPECT_TRUE(near(warp::UniArbitrary(row({1, 0, 0, 1, -1, -1, 5})), expected / 2, 1e-12));
  EXPECT_EQ(error_of([] { warp::UniArbitrary(row({-1, -2, 0, 0, 2, 4, 1})); }),
            "UniArbitrary: all reference landmarks lie on one line through the origin, so the reference has no uniform "
            "directions");
}

TEST(uniformdirections, AreOrthonormalAndFreeOfSimilarityChanges) {
  std::mt19937 rng(5);
  for (Eigen::Index k : {3, 6, 15}) {
    Eigen::RowVectorXd ref = testsupport::randomrow(k, rng, 3.0);
    const Eigen::RowVector2d c = core::centpos(Eigen::MatrixXd(ref));
    ref = testsupport::similar(ref, 1, 0, -c(0), -c(1));
    const Eigen::MatrixXd u = warp::uniformdirections(ref);
    EXPECT_TRUE(near(u * u.transpose(), Eigen::Matrix2d::Identity(), 1e-12)) << k;
    // Translation along x and y, scaling and rotation of the reference.
    Eigen::MatrixXd similarity(2 * k, 4);
    for (Eigen::Index i = 0; i < k; ++i) {
      similarity.row(2 * i) << 1, 0, ref(2 * i), -ref(2 * i + 1);
      similarity.row(2 * i + 1) << 0, 1, ref(2 * i + 1), ref(2 * i);
    }
    EXPECT_TRUE(near(u * similarity, Eigen::MatrixXd::Zero(2, 4), 1e-12)) << k;
    // The rebuilding pair comes from the reference rounded to 4 decimals.
    const Eigen::RowVectorXd rounded = ref.unaryExpr([](double v) { return std::round(1e4 * v) / 1e4; });
    EXPECT_TRUE(near(warp::UniArbitrary(ref), warp::uniformdirections(rounded), 0)) << k;
  }
}
