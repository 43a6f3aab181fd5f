#pragma once
// Angles, their units, and the two ways this system measures a direction.
//
// Units: radians inside every computation, degrees only where a person
// reads or types an angle: boxes, files and reports. The two types below
// hold radians; they are made from a number, and give one back, only
// through functions that name the unit (Bearing::degrees(35).rad(),
// Angle::radians(x).deg()), so a degree cannot enter a computation
// unconverted. Matrices of angles (the columns of angle data) hold radians
// once they leave the file they were read from.
//
// Directions: a compass bearing runs clockwise from north (+y), as a
// geologist measures on the slab: north is 0, east pi/2, south pi, west
// 3 pi/2 (with y pointing up). A mathematical angle runs counter-clockwise
// from east (+x). The bearing of the angle theta is pi/2 - theta: east is
// a bearing of pi/2, north an angle of pi/2. A specimen's midline t and the
// long axis theta' of a strain are bearings; core::rotation and
// core::purestrain take mathematical angles in radians.
//
// A line has two bearings half a turn apart (b and b + pi name one axis):
// the long axis of a strain, or a midline read without its sense. Axial
// bearings are compared with axialdifference.

#include <cmath>
#include <numbers>

namespace core {

// What every angle type shares: radians inside, degrees by name only. An
// angle given in degrees keeps the number it was given, so that a box's or
// a file's number reads back in a report exactly as it was typed; every
// computation sees only the radians.
template <class Self>
class Radians {
public:
  static constexpr Self radians(double r) { return Self(Radians(r)); }
  static constexpr Self degrees(double d) { return Self(Radians(d * radiansperdegree, d)); }
  constexpr double rad() const { return rad_; }
  constexpr double deg() const { return given_ ? deg_ : rad_ * degreesperradian; }
  friend constexpr bool operator==(Radians a, Radians b) { return a.rad_ == b.rad_; }

protected:
  constexpr explicit Radians(double r) : rad_(r) {}

private:
  constexpr Radians(double r, double d) : rad_(r), deg_(d), given_(true) {}
  // Radians in one degree, and degrees in one radian: the one conversion.
  static constexpr double radiansperdegree = std::numbers::pi / 180;
  static constexpr double degreesperradian = 180 / std::numbers::pi;
  double rad_;
  double deg_ = 0;
  bool given_ = false;
};

// An angle that is no direction of its own: a turn, the angle between two
// lines (a pair's line against its midline), a parameter of a map.
class Angle : public Radians<Angle> {
  friend class Radians<Angle>;
  constexpr explicit Angle(Radians r) : Radians(r) {}
};

// A compass bearing: clockwise from north.
class Bearing : public Radians<Bearing> {
public:
  // The bearing of the direction (x, y), in (-pi, pi]: (1, 0) gives pi/2,
  // (0, 1) gives 0.
  static Bearing of(double x, double y) { return Bearing(std::atan2(x, y)); }

  // The bearing of the mathematical angle theta (radians), in [0, 2 pi)
  // for theta from -3 pi/2 up: 0 (east) gives pi/2, pi/2 (north) gives 0,
  // pi (west) 3 pi/2. Values are reduced from above only, so an angle below
  // -3 pi/2 gives a bearing above 2 pi.
  static Bearing from_angle(double theta) {
    constexpr double twopi = 2 * std::numbers::pi;
    double phi = 3 * std::numbers::pi / 2 + theta;
    while (phi > twopi) phi -= twopi;
    return Bearing(twopi - phi);
  }

  // The mathematical angle of the bearing (radians), pi/2 - bearing, not
  // reduced.
  constexpr double angle() const { return std::numbers::pi / 2 - rad(); }

  // The bearing turned clockwise by a.
  constexpr Bearing operator+(Angle a) const { return Bearing(rad() + a.rad()); }

  // The bearing of the same axis in [0, pi).
  Bearing axial() const {
    constexpr double pi = std::numbers::pi;
    double b = std::fmod(rad(), pi);
    if (b < 0) b += pi;
    if (b >= pi) b -= pi;
    return Bearing(b);
  }

private:
  friend class Radians<Bearing>;
  constexpr explicit Bearing(Radians r) : Radians(r) {}
  constexpr explicit Bearing(double r) : Radians(r) {}
};

// The turn that takes the axis of b onto the axis of a, in [-pi/2, pi/2):
// 0 for one axis whichever of its two bearings each names.
inline Angle axialdifference(Bearing a, Bearing b) {
  constexpr double pi = std::numbers::pi;
  double d = std::fmod(a.rad() - b.rad(), pi);
  if (d < -pi / 2) d += pi;
  if (d >= pi / 2) d -= pi;
  return Angle::radians(d);
}

// The degrees of the axis of b as a report prints them with `decimals`
// decimals: rounded first and then folded into [0, 180), so that a bearing
// just below 180 reads 0.0 and not 180.0.
inline double axialdegrees(Bearing b, int decimals) {
  const double scale = std::pow(10.0, decimals);
  double d = std::round(b.axial().deg() * scale) / scale;
  if (d >= 180) d -= 180;
  return d;
}

} // namespace core
