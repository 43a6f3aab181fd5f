#include "core/strain.h"

#include "core/configurations.h"
#include "tests/support/test_support.h"

#include <Eigen/LU>
#include <cmath>
#include <limits>
#include <numbers>
#include <random>
#include <tuple>

namespace {

constexpr double pi = std::numbers::pi;

} // namespace

// Random strains, R from 1 to 4 along any bearing: the deformation keeps
// area and stretches the long axis by sqrt(R); its removal undoes it; it
// is read back from any map that makes it (after any turn or mirror, at
// any size) or undoes it (followed by any turn, at any size).
TEST(Strain, DeformsAlongItsLongAxisAndIsReadBackFromItsMaps) {
  std::mt19937 rng(2311);
  std::uniform_real_distribution<double> ratio(1, 4), turn(-pi, pi), size(0.2, 5);
  for (int i = 0; i < 500; ++i) {
    const core::Strain s{ratio(rng), core::Bearing::radians(turn(rng))};
    const Eigen::Matrix2d m = s.matrix();
    const Eigen::Vector2d u(std::sin(s.longaxis.rad()), std::cos(s.longaxis.rad()));
    EXPECT_NEAR(m.determinant(), 1, 1e-12);
    EXPECT_TRUE(testsupport::near(m * u, s.stretch() * u, 1e-12));
    EXPECT_TRUE(testsupport::near(m * s.removal(), Eigen::Matrix2d::Identity(), 1e-12));
    const core::Strain e = core::Strain::from_stretch(s.stretch(), s.longaxis + core::Angle::radians(pi));
    EXPECT_NEAR(e.R, s.R, 1e-14 * s.R);
    EXPECT_TRUE(testsupport::near(e.matrix(), m, 1e-12));

    const Eigen::Matrix2d mirror = i % 2 ? Eigen::Matrix2d(Eigen::Vector2d(1, -1).asDiagonal()) : Eigen::Matrix2d::Identity();
    for (const core::Strain& back : {core::Strain::of(size(rng) * m * core::rotation(turn(rng)) * mirror),
                                     core::Strain::undone_by(size(rng) * core::rotation(turn(rng)) * s.removal())}) {
      EXPECT_NEAR(back.R, s.R, 1e-9 * s.R);
      EXPECT_TRUE(back.longaxis.rad() >= 0 && back.longaxis.rad() < pi);
      EXPECT_NEAR(core::axialdifference(back.longaxis, s.longaxis).rad(), 0, 1e-8);
    }
  }
  EXPECT_EQ(core::Strain::of(Eigen::Vector2d(1, 0).asDiagonal()).R, std::numeric_limits<double>::infinity());
}

// Tectsim's deformation D S: determinant cos 2a, and the axis ratio of the
// user's guide's table; at angle 0 a plain stretch d along x (east).
TEST(Strain, OfTheSimulatedDeformationGrowsWithItsAngle) {
  for (const auto& [angle, d, R] : {std::tuple{0.0, 1.5, 2.250}, {0.0, 2.0, 4.000}, {15.0, 1.0, 1.732}, {15.0, 2.0, 4.694},
                                   {30.0, 1.5, 5.196}, {60.0, 1.5, 5.196}, {40.0, 1.0, 11.430}, {40.0, 2.0, 24.434}}) {
    const core::Angle a = core::Angle::degrees(angle);
    EXPECT_NEAR(core::Strain::simulated(d, a).R, R, 5e-4) << angle << " " << d;
    EXPECT_NEAR(core::simulateddeformation(d, a).determinant(), std::cos(2 * a.rad()), 1e-12);
  }
  const core::Angle none = core::Angle::radians(0);
  EXPECT_TRUE(testsupport::near(core::Strain::from_stretch(1.5, core::Strain::simulated(1.5, none).longaxis).matrix(),
                                core::simulateddeformation(1.5, none), 1e-14));
}
