#include "core/configurations.h"

#include "tests/support/test_support.h"

#include <cmath>
#include <numbers>

#include <Eigen/LU>

using testsupport::near;

TEST(configurations, ATrailingSizeSlotChangesNoMeasure) {
  std::mt19937 rng(1);
  const Eigen::RowVectorXd with = testsupport::randomrow(7, rng, 42.0);
  const Eigen::RowVectorXd without = with.head(14);
  EXPECT_TRUE(near(core::vertxy(with), core::vertxy(without), 0));
  EXPECT_TRUE(near(core::centpos(with), core::centpos(without), 0));
  EXPECT_DOUBLE_EQ(core::centsize(with)(0), core::centsize(without)(0));
}

TEST(configurations, XyfromvertAndVertxyAreInverse) {
  Eigen::MatrixXd lm(3, 2);
  lm << 1, 2, 3, 4, 5, 6;
  const Eigen::RowVectorXd row = core::xyfromvert(lm, 7.5);
  Eigen::RowVectorXd expected(7);
  expected << 1, 2, 3, 4, 5, 6, 7.5;
  EXPECT_TRUE(near(row, expected, 0));
  EXPECT_TRUE(near(core::vertxy(row), lm.transpose(), 0));
  // Columns beyond the second are ignored.
  Eigen::MatrixXd wide(3, 3);
  wide << lm, Eigen::Vector3d(9, 9, 9);
  EXPECT_TRUE(near(core::xyfromvert(wide, 7.5), expected, 0));
}

TEST(configurations, UnitSquareHasKnownCentroidAndSize) {
  Eigen::RowVectorXd square(9);
  square << 0, 0, 1, 0, 1, 1, 0, 1, 0;
  EXPECT_TRUE(near(core::centpos(square), Eigen::RowVector2d(0.5, 0.5), 1e-15));
  EXPECT_NEAR(core::centsize(square)(0), std::sqrt(2.0), 1e-15);
}

TEST(configurations, CentsizeGivesOneSizePerRowInOrder) {
  std::mt19937 rng(2);
  Eigen::MatrixXd set(3, 11);
  const Eigen::RowVectorXd base = testsupport::randomrow(5, rng);
  const double s0 = core::centsize(base)(0);
  set.row(0) = base;
  set.row(1) = testsupport::similar(base, 2.0, 0.3, 5, -4);
  set.row(2) = testsupport::similar(base, 0.5, -1.0, 0, 0);
  const Eigen::VectorXd sizes = core::centsize(set);
  ASSERT_EQ(sizes.size(), 3);
  EXPECT_NEAR(sizes(0), s0, 1e-14);
  EXPECT_NEAR(sizes(1), 2 * s0, 1e-13);
  EXPECT_NEAR(sizes(2), 0.5 * s0, 1e-14);
}

TEST(configurations, TranslationMovesCentroidAndKeepsSize) {
  std::mt19937 rng(3);
  const Eigen::RowVectorXd row = testsupport::randomrow(9, rng);
  const Eigen::RowVectorXd moved = testsupport::similar(row, 1.0, 0.0, 3.5, -2.25);
  EXPECT_TRUE(near(core::centpos(moved) - core::centpos(row), Eigen::RowVector2d(3.5, -2.25), 1e-14));
  EXPECT_NEAR(core::centsize(moved)(0), core::centsize(row)(0), 1e-14);
}

TEST(configurations, VertxyReadsAColumnByRunningIndex) {
  Eigen::VectorXd column(4);
  column << 1, 2, 3, 4;
  Eigen::MatrixXd expected(2, 2);
  expected << 1, 3, 2, 4;
  EXPECT_TRUE(near(core::vertxy(column), expected, 0));
}

// The sign conventions of the turn and the strain, from points whose
// images are known.
TEST(rotation, TurnsCounterClockwiseByItsAngleInRadians) {
  const double pi = std::numbers::pi;
  // A quarter turn takes east to north and north to west.
  EXPECT_TRUE(near(core::rotation(pi / 2) * Eigen::Vector2d(1, 0), Eigen::Vector2d(0, 1), 1e-15));
  EXPECT_TRUE(near(core::rotation(pi / 2) * Eigen::Vector2d(0, 1), Eigen::Vector2d(-1, 0), 1e-15));
  // A negative angle turns clockwise; an eighth of a turn lands on the diagonal.
  EXPECT_TRUE(near(core::rotation(-pi / 2) * Eigen::Vector2d(1, 0), Eigen::Vector2d(0, -1), 1e-15));
  EXPECT_TRUE(near(core::rotation(pi / 4) * Eigen::Vector2d(1, 0), Eigen::Vector2d(1, 1) / std::sqrt(2.0), 1e-15));
  // Turns compose by adding angles and keep lengths.
  EXPECT_TRUE(near(core::rotation(0.3) * core::rotation(0.5), core::rotation(0.8), 1e-15));
  EXPECT_NEAR(core::rotation(1.1).determinant(), 1, 1e-15);
}

TEST(purestrain, StretchesAlongItsAngleAndShortensAcross) {
  const double pi = std::numbers::pi;
  // Along +x: x doubled, y halved.
  EXPECT_TRUE(near(core::purestrain(0, 2), Eigen::Matrix2d(Eigen::Vector2d(2, 0.5).asDiagonal()), 1e-15));
  // Along the diagonal at 45 degrees: the diagonal lengthens by 3, the
  // other diagonal shortens by 3, and both keep their directions.
  const Eigen::Matrix2d s = core::purestrain(pi / 4, 3);
  EXPECT_TRUE(near(s * Eigen::Vector2d(1, 1), Eigen::Vector2d(3, 3), 1e-14));
  EXPECT_TRUE(near(s * Eigen::Vector2d(-1, 1), Eigen::Vector2d(-1, 1) / 3, 1e-14));
  // Along +y (a quarter turn from +x): y stretched. The strain is
  // symmetric and keeps areas; along = 1 is no strain.
  EXPECT_TRUE(near(core::purestrain(pi / 2, 2) * Eigen::Vector2d(0, 1), Eigen::Vector2d(0, 2), 1e-15));
  EXPECT_TRUE(near(s, s.transpose(), 1e-15));
  EXPECT_NEAR(s.determinant(), 1, 1e-14);
  EXPECT_TRUE(near(core::purestrain(0.7, 1), Eigen::Matrix2d::Identity(), 1e-15));
}
