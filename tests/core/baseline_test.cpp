#include "core/baseline.h"

#include "core/error.h"
#include "tests/support/test_support.h"

using testsupport::error_of;
using testsupport::near;

namespace {

Eigen::MatrixXd sample(unsigned seed) {
  std::mt19937 rng(seed);
  Eigen::MatrixXd x(6, 11);
  for (Eigen::Index i = 0; i < 6; ++i) x.row(i) = testsupport::randomrow(5, rng, 10.0 + static_cast<double>(i));
  return x;
}


} // namespace

TEST(basereg, PutsTheBaselineFromOriginToUnitX) {
  const Eigen::MatrixXd x = sample(71);
  for (const auto& [b1, b2] : {std::pair{1, 2}, std::pair{4, 2}, std::pair{2, 1}}) {
    const Eigen::MatrixXd y = core::basereg(x, b1, b2);
    for (Eigen::Index i = 0; i < y.rows(); ++i) {
      EXPECT_NEAR(y(i, 2 * b1 - 2), 0, 1e-14);
      EXPECT_NEAR(y(i, 2 * b1 - 1), 0, 1e-14);
      EXPECT_NEAR(y(i, 2 * b2 - 2), 1, 1e-14);
      EXPECT_NEAR(y(i, 2 * b2 - 1), 0, 1e-14);
    }
    EXPECT_TRUE(near(y.col(10), x.col(10), 0));
  }
}

TEST(basereg, IgnoresPositionSizeAndOrientation) {
  const Eigen::MatrixXd x = sample(72);
  Eigen::MatrixXd moved = x;
  for (Eigen::Index i = 0; i < x.rows(); ++i)
    moved.row(i) = testsupport::similar(x.row(i), 0.3 + static_cast<double>(i), 1.1 * static_cast<double>(i), 5, -8);
  const Eigen::MatrixXd y = core::basereg(x, 3, 5);
  EXPECT_TRUE(near(core::basereg(moved, 3, 5), y, 1e-12));
  // Registering registered data changes nothing.
  EXPECT_TRUE(near(core::basereg(y, 3, 5), y, 1e-14));
}

TEST(basereg, TreatsAnEvenColumnCountAsCoordinatesOnly) {
  Eigen::MatrixXd x(1, 6);
  x << 2, 2, 4, 2, 3, 5;
  Eigen::MatrixXd expected(1, 6);
  expected << 0, 0, 1, 0, 0.5, 1.5;
  EXPECT_TRUE(near(core::basereg(x, 1, 2), expected, 1e-15));
}

TEST(basereg, RejectsBaselinesThatDoNotExist) {
  const Eigen::MatrixXd x = sample(73);
  EXPECT_EQ(error_of([&] { core::basereg(x, 2, 2); }), "basereg: the two baseline landmarks are both 2; a baseline needs two");
  EXPECT_EQ(error_of([&] { core::basereg(x, 0, 2); }), "basereg: baseline landmarks 0 and 2 must both lie in 1 ... 5");
  EXPECT_EQ(error_of([&] { core::basereg(x, 1, 6); }), "basereg: baseline landmarks 1 and 6 must both lie in 1 ... 5");
  Eigen::MatrixXd same = x;
  same(3, 2) = same(3, 0);
  same(3, 3) = same(3, 1);
  EXPECT_EQ(error_of([&] { core::basereg(same, 1, 2); }),
            "basereg: in specimen row 4 baseline landmarks 1 and 2 coincide, so the baseline has no length");
  Eigen::MatrixXd lost = x;
  lost(1, 2) = lost(1, 3) = std::nan("");
  EXPECT_EQ(error_of([&] { core::basereg(lost, 1, 2); }),
            "basereg: in specimen row 2 baseline landmark 2 is missing, so it has no baseline; estimate it first or "
            "leave the specimen out");
}
