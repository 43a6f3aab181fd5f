#include "core/angles.h"

#include "core/configurations.h"
#include "tests/support/test_support.h"

#include <cmath>
#include <numbers>

namespace {

constexpr double pi = std::numbers::pi;

TEST(angles, ConvertDegreesAndRadiansBothWays) {
  EXPECT_EQ(core::radians(180), pi);
  EXPECT_EQ(core::radians(0), 0);
  EXPECT_NEAR(core::radians(90), pi / 2, 1e-16);
  EXPECT_NEAR(core::degrees(pi / 2), 90, 1e-13);
  EXPECT_NEAR(core::degrees(core::radians(37.5)), 37.5, 1e-13);
}

// East is a bearing of 90 degrees, north of 0: the bearing runs clockwise
// from +y, the mathematical angle counter-clockwise from +x.
TEST(angles, TurnMathematicalAnglesIntoCompassBearingsAndBack) {
  EXPECT_NEAR(core::bearing_from_angle(0), pi / 2, 1e-14);          // east
  EXPECT_NEAR(core::bearing_from_angle(pi / 2), 0, 1e-14);          // north
  EXPECT_NEAR(core::bearing_from_angle(pi), 3 * pi / 2, 1e-14);     // west
  EXPECT_NEAR(core::bearing_from_angle(-pi / 2), pi, 1e-14);        // south
  EXPECT_NEAR(core::bearing_from_angle(pi / 4), pi / 4, 1e-14);     // north-east
  EXPECT_NEAR(core::bearing_from_angle(2 * pi + 0.3), pi / 2 - 0.3, 1e-14);
  for (const double b : {0.2, 1.0, 2.5, 4.0, 6.0})
    EXPECT_NEAR(core::bearing_from_angle(core::angle_from_bearing(b)), b, 1e-14) << b;

  // The bearing of a direction vector.
  EXPECT_NEAR(core::bearing_of(1, 0), pi / 2, 1e-15);
  EXPECT_NEAR(core::bearing_of(0, 1), 0, 1e-15);
  EXPECT_NEAR(core::bearing_of(1, 1), pi / 4, 1e-15);
  EXPECT_NEAR(core::bearing_of(-1, 0), -pi / 2, 1e-15);
  // A turn by the angle of a bearing takes +x onto that bearing's direction.
  const double b = core::radians(30);
  const Eigen::Vector2d d = core::rotation(core::angle_from_bearing(b)) * Eigen::Vector2d(1, 0);
  EXPECT_NEAR(core::bearing_of(d(0), d(1)), b, 1e-15);
}

} // namespace
