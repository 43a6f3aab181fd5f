#include "core/angles.h"

#include "core/configurations.h"
#include "tests/support/test_support.h"

#include <cmath>
#include <numbers>
#include <random>

namespace {

constexpr double pi = std::numbers::pi;

// A turn between two bearings reduced to [-pi, pi).
double turn(double a, double b) { return std::remainder(a - b, 2 * pi); }

} // namespace

// Degrees exist only at boxes, files and reports: a number given in
// degrees reads back exactly as it was given (a report prints what was
// typed, to the last digit), and only the radians reach a computation.
TEST(angles, ConvertDegreesAndRadiansBothWays) {
  EXPECT_EQ(core::Bearing::degrees(180).rad(), pi);
  EXPECT_EQ(core::Angle::degrees(90).rad(), pi / 2);
  EXPECT_EQ(core::Bearing::degrees(0).rad(), 0);
  EXPECT_EQ(core::Angle::radians(pi).deg(), 180);
  std::mt19937 rng(2301);
  std::uniform_real_distribution<double> anywhere(-720, 720);
  for (int i = 0; i < 2000; ++i) {
    const double d = anywhere(rng);
    const core::Bearing b = core::Bearing::degrees(d);
    EXPECT_EQ(b.deg(), d);
    EXPECT_EQ(core::Angle::degrees(d).rad(), b.rad());
    const core::Bearing r = core::Bearing::radians(b.rad());
    EXPECT_EQ(r.rad(), b.rad());
    EXPECT_NEAR(r.deg(), d, 1e-13 * std::abs(d)) << d;
    EXPECT_TRUE(r == b);
    // What is worked out from it speaks radians: turned by nothing, the
    // bearing is converted back.
    EXPECT_EQ((b + core::Angle::radians(0)).deg(), r.deg());
  }
}

// East is a bearing of 90 degrees, north of 0: the bearing runs clockwise
// from +y, the mathematical angle counter-clockwise from +x.
TEST(angles, TurnMathematicalAnglesIntoCompassBearingsAndBack) {
  EXPECT_NEAR(core::Bearing::from_angle(0).rad(), pi / 2, 1e-14);          // east
  EXPECT_NEAR(core::Bearing::from_angle(pi / 2).rad(), 0, 1e-14);          // north
  EXPECT_NEAR(core::Bearing::from_angle(pi).rad(), 3 * pi / 2, 1e-14);     // west
  EXPECT_NEAR(core::Bearing::from_angle(-pi / 2).rad(), pi, 1e-14);        // south
  EXPECT_NEAR(core::Bearing::from_angle(pi / 4).rad(), pi / 4, 1e-14);     // north-east
  EXPECT_NEAR(core::Bearing::from_angle(2 * pi + 0.3).rad(), pi / 2 - 0.3, 1e-14);
  // Reduced from above only: far below zero the bearing exceeds 2 pi.
  EXPECT_GT(core::Bearing::from_angle(-2 * pi).rad(), 2 * pi);
  EXPECT_NEAR(core::Bearing::of(1, 0).rad(), pi / 2, 1e-15);
  EXPECT_NEAR(core::Bearing::of(-1, 0).rad(), -pi / 2, 1e-15);

  std::mt19937 rng(2302);
  std::uniform_real_distribution<double> compass(0, 2 * pi), angle(-3 * pi / 2, 4 * pi);
  for (int i = 0; i < 2000; ++i) {
    const core::Bearing b = core::Bearing::radians(compass(rng));
    EXPECT_NEAR(core::Bearing::from_angle(b.angle()).rad(), b.rad(), 1e-13) << b.rad();
    // A turn by the angle of a bearing takes +x onto that bearing's
    // direction; the bearing of a direction is that of its angle.
    const Eigen::Vector2d d = core::rotation(b.angle()) * Eigen::Vector2d(1, 0);
    EXPECT_NEAR(turn(core::Bearing::of(d(0), d(1)).rad(), b.rad()), 0, 1e-13) << b.rad();
    const double theta = angle(rng);
    const core::Bearing f = core::Bearing::from_angle(theta);
    EXPECT_TRUE(f.rad() >= 0 && f.rad() < 2 * pi) << theta;
    EXPECT_NEAR(turn(f.rad(), core::Bearing::of(std::cos(theta), std::sin(theta)).rad()), 0, 1e-12) << theta;
    // Turning a bearing clockwise adds to it.
    EXPECT_NEAR((b + core::Angle::radians(0.25)).angle(), b.angle() - 0.25, 1e-13);
  }
}

// A line has two bearings, half a turn apart: both name one axis.
TEST(angles, TellAxesApartWhicheverOfTheirTwoBearingsIsGiven) {
  EXPECT_EQ(core::Bearing::radians(pi).axial().rad(), 0);
  EXPECT_NEAR(core::Bearing::degrees(-30).axial().deg(), 150, 1e-12);
  std::mt19937 rng(2303);
  std::uniform_real_distribution<double> anywhere(-4 * pi, 4 * pi), quarter(-pi / 2, pi / 2);
  for (int i = 0; i < 2000; ++i) {
    const core::Bearing b = core::Bearing::radians(anywhere(rng));
    const core::Bearing a = b.axial(), opposite = (b + core::Angle::radians(pi)).axial();
    EXPECT_TRUE(a.rad() >= 0 && a.rad() < pi) << b.rad();
    EXPECT_NEAR(std::remainder(a.rad() - b.rad(), pi), 0, 1e-13) << b.rad();
    EXPECT_NEAR(core::axialdifference(opposite, a).rad(), 0, 1e-13) << b.rad();
    // The difference is the turn from one axis to the other, within a
    // quarter turn either side.
    const double d = quarter(rng);
    const core::Angle turned = core::axialdifference(b + core::Angle::radians(d + pi), b);
    EXPECT_TRUE(turned.rad() >= -pi / 2 && turned.rad() < pi / 2);
    EXPECT_NEAR(turned.rad(), d, 1e-12) << b.rad() << " " << d;
  }
}
