#pragma once
// Angle units and the two ways this system measures a direction.
//
// Units: radians inside every computation, degrees in files, boxes and
// reports. Functions that take both say which in their parameter names
// (t_deg, tprime_rad).
//
// Directions: a mathematical angle runs counter-clockwise from +x (east);
// a compass bearing runs clockwise from +y (north). The bearing of the
// angle theta is pi/2 - theta: east is a bearing of pi/2, north an angle
// of pi/2. A specimen's midline t and the long axis theta' of a strain are
// bearings; core::rotation and core::purestrain take angles.

#include <cmath>
#include <numbers>

namespace core {

// Radians in one degree, and degrees in one radian.
inline constexpr double toradians = std::numbers::pi / 180;
inline constexpr double todegrees = 180 / std::numbers::pi;

constexpr double radians(double degrees) { return degrees * toradians; }
constexpr double degrees(double radians) { return radians * todegrees; }

// The compass bearing of the mathematical angle theta (radians), in
// [0, 2 pi) for theta from -3 pi/2 up: 0 (east) gives pi/2, pi/2 (north)
// gives 0, pi (west) 3 pi/2. Values are reduced from above only, so an
// angle below -3 pi/2 gives a bearing above 2 pi.
inline double bearing_from_angle(double theta) {
  constexpr double twopi = 6.283185307179586;
  double phi = 4.71238898038469 + theta;
  while (phi > twopi) phi -= twopi;
  return twopi - phi;
}

// The mathematical angle of the compass bearing (radians), pi/2 - bearing,
// not reduced.
constexpr double angle_from_bearing(double bearing) { return std::numbers::pi / 2 - bearing; }

// The compass bearing of the direction (x, y), in (-pi, pi]: (1, 0) gives
// pi/2, (0, 1) gives 0.
inline double bearing_of(double x, double y) { return std::atan2(x, y); }

} // namespace core
