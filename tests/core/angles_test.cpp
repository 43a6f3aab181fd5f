#include "core/angles.h"

#include "core/configurations.h"
#include "tests/support/test_support.h"

#include <cmath>
#include <numbers>
#include <random>

namespace {

constexpr double pi = std::numbers::pi;

} // namespace

// Degrees exist only at boxes, files and reports: a number given in
// degrees reads back exactly as given (a report prints what was typed),
// and only its radians reach a computation.
TEST(angles, ConvertDegreesAndRadiansBothWays) {
  EXPECT_EQ(core::Bearing::degrees(180).rad(), pi);
  EXPECT_EQ(core::Angle::degrees(90).rad(), pi / 2);
  EXPECT_EQ(core::Angle::radians(pi).deg(), 180);
  std::mt19937 rng(2301);
  std::uniform_real_distribution<double> anywhere(-720, 720);
  for (int i = 0; i < 1000; ++i) {
    const double d = anywhere(rng);
    const core::Bearing b = core::Bearing::degrees(d), r = core::Bearing::radians(b.rad());
    EXPECT_EQ(b.deg(), d);
    EXPECT_TRUE(r == b && core::Angle::degrees(d).rad() == b.rad());
    EXPECT_NEAR(r.deg(), d, 1e-13 * std::abs(d));
  }
}

// East is a bearing of 90 degrees, north of 0: the bearing runs clockwise
// from +y, the mathematical angle counter-clockwise from +x.
TEST(angles, TurnMathematicalAnglesIntoCompassBearingsAndBack) {
  EXPECT_NEAR(core::Bearing::from_angle(0).rad(), pi / 2, 1e-14);      // east
  EXPECT_NEAR(core::Bearing::from_angle(pi / 2).rad(), 0, 1e-14);      // north
  EXPECT_NEAR(core::Bearing::from_angle(pi).rad(), 3 * pi / 2, 1e-14); // west
  EXPECT_NEAR(core::Bearing::from_angle(-pi / 2).rad(), pi, 1e-14);    // south
  // Reduced from above only: far below zero the bearing exceeds 2 pi.
  EXPECT_GT(core::Bearing::from_angle(-2 * pi).rad(), 2 * pi);
  EXPECT_NEAR(core::Bearing::of(-1, 0).rad(), -pi / 2, 1e-15);
  std::mt19937 rng(2302);
  std::uniform_real_distribution<double> compass(0, 2 * pi);
  for (int i = 0; i < 1000; ++i) {
    const core::Bearing b = core::Bearing::radians(compass(rng));
    EXPECT_NEAR(core::Bearing::from_angle(b.angle()).rad(), b.rad(), 1e-13);
    // A turn by a bearing's angle takes +x onto the bearing's direction.
    const Eigen::Vector2d d = core::rotation(b.angle()) * Eigen::Vector2d(1, 0);
    EXPECT_NEAR(std::remainder(core::Bearing::of(d(0), d(1)).rad() - b.rad(), 2 * pi), 0, 1e-13);
  }
}

// A line has two bearings half a turn apart, and both name one axis.
TEST(angles, TellAxesApartWhicheverOfTheirTwoBearingsIsGiven) {
  EXPECT_NEAR(core::Bearing::degrees(-30).axial().deg(), 150, 1e-12);
  std::mt19937 rng(2303);
  std::uniform_real_distribution<double> anywhere(-4 * pi, 4 * pi), quarter(-pi / 2, pi / 2);
  for (int i = 0; i < 1000; ++i) {
    const core::Bearing b = core::Bearing::radians(anywhere(rng)), a = b.axial();
    EXPECT_TRUE(a.rad() >= 0 && a.rad() < pi);
    EXPECT_NEAR(std::remainder(a.rad() - b.rad(), pi), 0, 1e-13);
    // The turn from one axis to the other, within a quarter turn either side.
    const double d = quarter(rng);
    EXPECT_NEAR(core::axialdifference(b + core::Angle::radians(d + pi), a).rad(), d, 1e-12);
  }
}
