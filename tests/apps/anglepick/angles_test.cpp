#include "apps/anglepick/angles.h"

#include "tests/support/test_support.h"

#include <cmath>
#include <numbers>

using testsupport::error_of;

namespace {

constexpr double pi = std::numbers::pi;

// The difference of two angles reduced to (-period/2, period/2].
double angdiff(double a, double b, double period) {
  double d = std::fmod(a - b, period);
  if (d > period / 2) d -= period;
  if (d <= -period / 2) d += period;
  return d;
}

// A specimen whose midline runs at angle `heading` (counter-clockwise from
// +x, from landmark 1 towards landmark 2) with three midline landmarks, and
// two pairs whose direction (from the second landmark of the pair to the
// first) makes the angles gamma1, gamma2 with the midline. Their midpoints
// lie on the midline.
Eigen::RowVectorXd specimen(double heading, double gamma1, double gamma2) {
  const double c = std::cos(heading), s = std::sin(heading);
  const auto along = [&](double u) { return Eigen::Vector2d(10 + u * c, -4 + u * s); };
  Eigen::RowVectorXd row(15);
  for (int j = 0; j < 3; ++j) row.segment(2 * j, 2) = along(2.0 * j).transpose();
  const auto pair = [&](int first, double u, double gamma, double half) {
    const Eigen::Vector2d m = along(u), d(half * std::cos(heading + gamma), half * std::sin(heading + gamma));
    row.segment(2 * first, 2) = (m + d).transpose();
    row.segment(2 * first + 2, 2) = (m - d).transpose();
  };
  pair(3, 1.0, gamma1, 1.5); // landmarks 4 and 5
  pair(5, 3.0, gamma2, 0.7); // landmarks 6 and 7 (row has no size slot)
  row(14) = 7.5;             // size slot
  return row;
}

Eigen::MatrixXd protocol() {
  Eigen::MatrixXd p(5, 2);
  p << 1, 0, 2, 0, 3, 0, 4, 5, 6, 7;
  return p;
}

} // namespace

TEST(get_tp, RecoversKnownBearingsAndPairAnglesAllRoundTheCompass) {
  for (int step = 0; step < 72; ++step) {
    const double heading = -pi + step * (2 * pi / 72) + 0.001; // steep ones included
    const double g1 = 1.2, g2 = -0.4;
    const anglepick::TpAngles a = anglepick::get_tp(specimen(heading, g1, g2), protocol());
    EXPECT_NEAR(angdiff(a.tp.rad(), core::Bearing::from_angle(heading).rad(), 2 * pi), 0, 1e-9) << heading;
    ASSERT_EQ(a.pcount, 2);
    // A pair at angle gamma to the midline reads p = pi - gamma, modulo pi.
    EXPECT_NEAR(angdiff(a.plist(0), pi - g1, pi), 0, 1e-9) << heading;
    EXPECT_NEAR(angdiff(a.plist(1), pi - g2, pi), 0, 1e-9) << heading;
    for (int j = 0; j < 2; ++j) {
      EXPECT_GE(a.plist(j), 0);
      EXPECT_LE(a.plist(j), pi);
    }
  }
}

TEST(get_tp, ReadsAPerpendicularPairAsARightAngle) {
  const anglepick::TpAngles a = anglepick::get_tp(specimen(0.3, pi / 2, -pi / 2), protocol());
  EXPECT_NEAR(a.plist(0), pi / 2, 1e-12);
  EXPECT_NEAR(a.plist(1), pi / 2, 1e-12);
}

TEST(get_tp, SwappedPairsAndReversedMidlinesBehaveAsAngles) {
  const Eigen::RowVectorXd row = specimen(2.0, 0.9, 2.2);
  const anglepick::TpAngles a = anglepick::get_tp(row, protocol());
  Eigen::MatrixXd swapped = protocol();
  swapped.row(3) << 5, 4;
  const anglepick::TpAngles b = anglepick::get_tp(row, swapped);
  EXPECT_NEAR(angdiff(b.plist(0), a.plist(0), pi), 0, 1e-12);
  EXPECT_NEAR(b.tp.rad(), a.tp.rad(), 1e-12);

  Eigen::MatrixXd reversed = protocol();
  reversed.row(0) << 2, 0;
  reversed.row(1) << 1, 0;
  const anglepick::TpAngles c = anglepick::get_tp(row, reversed);
  EXPECT_NEAR(std::abs(angdiff(c.tp.rad(), a.tp.rad(), 2 * pi)), pi, 1e-9);
}

TEST(get_tp, FoldsEveryPairAngleIntoHalfATurn) {
  // Without the full fold this pair would read 263.7 degrees.
  Eigen::RowVectorXd row(8);
  row << 0, 0, -2, 0.2, -1, 1.1, -0.98, -0.9;
  Eigen::MatrixXd proto(3, 2);
  proto << 1, 0, 2, 0, 4, 3;
  const anglepick::TpAngles a = anglepick::get_tp(row, proto);
  EXPECT_NEAR(a.plist(0), core::Angle::degrees(263.7 - 180).rad(), core::Angle::degrees(0.05).rad());
}

TEST(get_tp, MeasuresTWithoutPairs) {
  Eigen::MatrixXd proto(3, 2);
  proto << 1, 0, 2, 0, 3, 0;
  const anglepick::TpAngles a = anglepick::get_tp(specimen(1.0, 0, 0), proto);
  EXPECT_EQ(a.pcount, 0);
  EXPECT_EQ(a.plist.size(), 0);
  EXPECT_NEAR(a.tp.rad(), core::Bearing::from_angle(1.0).rad(), 1e-12);
}

TEST(get_tp, NamesTheProtocolRowAtFault) {
  const Eigen::RowVectorXd row = specimen(0.5, 1, 1);
  Eigen::MatrixXd one(1, 2);
  one << 1, 0;
  EXPECT_EQ(error_of([&] { anglepick::get_tp(row, one); }),
            "The protocol has 1 row; at least two rows are needed to give the midline a direction");
  EXPECT_EQ(error_of([&] { anglepick::get_tp(row, Eigen::MatrixXd::Ones(3, 1)); }),
            "The protocol has 1 column; each row needs two landmark numbers (the second 0 for a midline landmark)");
  Eigen::MatrixXd beyond = protocol();
  beyond(4, 1) = 8;
  EXPECT_EQ(error_of([&] { anglepick::get_tp(row, beyond); }), "protocol row 5: landmark number 8 is outside 1 ... 7");
  Eigen::MatrixXd zero = protocol();
  zero(2, 0) = 0;
  EXPECT_EQ(error_of([&] { anglepick::get_tp(row, zero); }), "protocol row 3: landmark number 0 is outside 1 ... 7");
  Eigen::MatrixXd half = protocol();
  half(1, 0) = 1.5;
  EXPECT_EQ(error_of([&] { anglepick::get_tp(row, half); }), "protocol row 2: landmark number 1.5 is not a whole number");
}

TEST(get_tp, RefusesProtocolsAndSpecimensThatGiveTheMidlineNoDirection) {
  const Eigen::RowVectorXd row = specimen(0.5, 1, 1);
  // One point named twice as rows 1 and 2, directly or as one pair both
  // ways round: no direction to read the midline in.
  Eigen::MatrixXd twice = protocol();
  twice.row(1) << 1, 0;
  EXPECT_EQ(error_of([&] { anglepick::get_tp(row, twice); }),
            "protocol rows 1 and 2 name the same point (1 0); the midline runs from the first row's point towards "
            "the second's, so they must be two different points");
  Eigen::MatrixXd swapped(3, 2);
  swapped << 4, 5, 5, 4, 1, 0;
  EXPECT_EQ(error_of([&] { anglepick::get_tp(row, swapped); }),
            "protocol rows 1 and 2 name the same point (5 4); the midline runs from the first row's point towards "
            "the second's, so they must be two different points");
  // The same point further down only weighs it twice.
  Eigen::MatrixXd later = protocol();
  later.row(2) << 1, 0;
  EXPECT_NO_THROW(anglepick::get_tp(row, later));
  Eigen::MatrixXd self = protocol();
  self.row(3) << 6, 6;
  EXPECT_EQ(error_of([&] { anglepick::get_tp(row, self); }),
            "protocol row 4: the pair 6 6 names one landmark twice; a pair needs two different landmarks (a midline "
            "landmark is '6 0')");

  // A shallow midline (along x) whose first two points share their x, and
  // a steep one whose first two share their y: level across the line.
  Eigen::RowVectorXd shallow(12), steep(12);
  shallow << 0, 1, 0, -1, 5, 0, -5, 0, 1, 2, 1, -2;
  steep << 1, 0, -1, 0, 0, 5, 0, -5, 2, 1, -2, 1;
  Eigen::MatrixXd four(5, 2);
  four << 1, 0, 2, 0, 3, 0, 4, 0, 5, 6;
  for (const Eigen::RowVectorXd& r : {shallow, steep})
    EXPECT_EQ(error_of([&] { anglepick::get_tp(r, four); }),
              "the points of protocol rows 1 and 2 lie level across the midline, so they give it no direction");
  // Read the other way round the first two points are well apart.
  Eigen::MatrixXd along(5, 2);
  along << 3, 0, 4, 0, 1, 0, 2, 0, 5, 6;
  EXPECT_NEAR(anglepick::get_tp(shallow, along).tp.rad(), 3 * pi / 2, 1e-12); // from +x towards -x: due west
  Eigen::RowVectorXd holed = row;
  holed(3) = std::nan("");
  EXPECT_EQ(error_of([&] { anglepick::get_tp(holed, protocol()); }),
            "the specimen holds a coordinate that is not a finite number");
}

// Bearings that cancel have no mean direction: said, not printed as a
// number; "mean p" is the mean of the specimens' means.
TEST(summaryline, SaysUndefinedWhenTheBearingsCancel) {
  const double d = pi / 180;
  struct Case {
    std::vector<double> t, meanp; // radians
    const char* text;
  };
  const Case cases[] = {
      {{10 * d, 190 * d}, {80 * d, 100 * d},
       "2 specimens measured: circular mean t undefined, circular standard deviation of t undefined (t a directed "
       "bearing, 0 to 360, and the bearings cancel: their mean resultant length is "},
      {{350 * d, 10 * d}, {80 * d, 90 * d},
       "2 specimens measured: circular mean t 0.00 degrees, circular standard deviation of t 10.03 degrees (t a "
       "directed bearing, 0 to 360), mean p 85.00 degrees (the mean over the specimens of each one's mean p)"},
      {{0.0, 120 * d, 240 * d}, {90 * d, 90 * d, 90 * d}, "3 specimens measured: circular mean t undefined"},
  };
  for (const Case& c : cases) {
    const std::string line = anglepick::summaryline(c.t, c.meanp);
    EXPECT_EQ(line.substr(0, std::string(c.text).size()), c.text) << line;
  }
  EXPECT_NE(anglepick::summaryline(cases[0].t, cases[0].meanp)
                .find("), mean p 90.00 degrees (the mean over the specimens of each one's mean p)"),
            std::string::npos);
}
