#include "core/strain.h"

#include "core/configurations.h"
#include "tests/support/test_support.h"

#include <Eigen/LU>
#include <cmath>
#include <limits>
#include <numbers>
#include <random>

namespace {

constexpr double pi = std::numbers::pi;

// A random strain: R from 1 to 4, the long axis anywhere on the compass.
core::Strain randomstrain(std::mt19937& rng) {
  std::uniform_real_distribution<double> ratio(1, 4), compass(0, 2 * pi);
  return {ratio(rng), core::Bearing::radians(compass(rng))};
}

// The unit vector along a bearing.
Eigen::Vector2d along(core::Bearing b) { return {std::sin(b.rad()), std::cos(b.rad())}; }

} // namespace

TEST(Strain, StretchesItsLongAxisBySqrtRAndKeepsArea) {
  std::mt19937 rng(2311);
  for (int i = 0; i < 500; ++i) {
    const core::Strain s = randomstrain(rng);
    const Eigen::Matrix2d m = s.matrix();
    EXPECT_NEAR(m.determinant(), 1, 1e-12);
    EXPECT_NEAR(m(0, 1), m(1, 0), 1e-14);
    const Eigen::Vector2d u = along(s.longaxis), v(-u(1), u(0));
    EXPECT_TRUE(testsupport::near(m * u, s.stretch() * u, 1e-12));
    EXPECT_TRUE(testsupport::near(m * v, v / s.stretch(), 1e-12));
    // What retrodeformation applies undoes it.
    EXPECT_TRUE(testsupport::near(m * s.removal(), Eigen::Matrix2d::Identity(), 1e-12));
    EXPECT_TRUE(testsupport::near(s.removal() * m, Eigen::Matrix2d::Identity(), 1e-12));
    // The stretch e gives R = e^2, and the same deformation.
    const core::Strain e = core::Strain::from_stretch(s.stretch(), s.longaxis);
    EXPECT_NEAR(e.R, s.R, 1e-14 * s.R);
    EXPECT_TRUE(testsupport::near(e.matrix(), m, 1e-13));
    // Either bearing of the long axis is the same strain.
    const core::Strain opposite{s.R, s.longaxis + core::Angle::radians(pi)};
    EXPECT_TRUE(testsupport::near(opposite.matrix(), m, 1e-12));
  }
}

// The strain of a map is that of the shape change it makes; the strain a
// map undoes is found whatever turn and size the undoing adds after it.
TEST(Strain, IsReadBackFromAnyMapThatMakesOrUndoesIt) {
  std::mt19937 rng(2312);
  std::uniform_real_distribution<double> turn(-pi, pi), size(0.2, 5);
  for (int i = 0; i < 500; ++i) {
    const core::Strain s = randomstrain(rng);
    const Eigen::Matrix2d mirror = Eigen::Vector2d(1, -1).asDiagonal();
    const Eigen::Matrix2d made = size(rng) * s.matrix() * core::rotation(turn(rng)) * (i % 2 ? mirror : Eigen::Matrix2d::Identity());
    const Eigen::Matrix2d undo = size(rng) * core::rotation(turn(rng)) * s.removal();
    for (const core::Strain& back : {core::Strain::of(made), core::Strain::undone_by(undo)}) {
      EXPECT_NEAR(back.R, s.R, 1e-9 * s.R);
      EXPECT_TRUE(back.longaxis.rad() >= 0 && back.longaxis.rad() < pi);
      EXPECT_NEAR(core::axialdifference(back.longaxis, s.longaxis).rad(), 0, 1e-8) << s.R << " " << s.longaxis.rad();
    }
  }
  // A map that flattens every shape has no finite ratio.
  EXPECT_EQ(core::Strain::of(Eigen::Vector2d(1, 0).asDiagonal()).R, std::numeric_limits<double>::infinity());
}

// Tectsim's deformation D S: its determinant is cos 2a, and the axis ratio
// of the strain it makes is that of the user's guide's table.
TEST(Strain, OfTheSimulatedDeformationGrowsWithItsAngle) {
  struct Row {
    double angle, d, R;
  };
  for (const Row& r : {Row{0, 1.0, 1.000}, Row{0, 1.5, 2.250}, Row{0, 2.0, 4.000}, Row{15, 1.0, 1.732}, Row{15, 1.5, 2.747},
                       Row{15, 2.0, 4.694}, Row{30, 1.0, 3.732}, Row{30, 1.5, 5.196}, Row{30, 2.0, 8.381},
                       Row{40, 1.0, 11.430}, Row{40, 1.5, 15.452}, Row{40, 2.0, 24.434}, Row{60, 1.5, 5.196},
                       Row{90, 2.0, 4.000}}) {
    const core::Angle a = core::Angle::degrees(r.angle);
    EXPECT_NEAR(core::Strain::simulated(r.d, a).R, r.R, 5e-4) << r.angle << " " << r.d;
    EXPECT_NEAR(core::simulateddeformation(r.d, a).determinant(), std::cos(2 * a.rad()), 1e-12);
  }
  // At angle 0 the elongation d is a plain stretch along x (east), R = d^2;
  // at 90 degrees D swaps x and y, and the stretch runs north.
  const core::Strain east = core::Strain::simulated(1.5, core::Angle::radians(0));
  EXPECT_NEAR(east.longaxis.rad(), pi / 2, 1e-14);
  EXPECT_TRUE(testsupport::near(core::Strain::from_stretch(1.5, east.longaxis).matrix(),
                                core::simulateddeformation(1.5, core::Angle::radians(0)), 1e-14));
  EXPECT_NEAR(core::Strain::simulated(1.5, core::Angle::degrees(90)).longaxis.rad(), 0, 1e-14);
}
