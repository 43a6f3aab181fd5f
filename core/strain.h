#pragma once
// A homogeneous strain, as this system states a bed's tectonic strain.
//
// A strain of a bed keeps area and lengthens one direction most: by
// sqrt(R) along its long axis and by 1/sqrt(R) across it, R being the axis
// ratio (long over short) of its strain ellipse, the image of the unit
// circle. Two numbers say it: R, and the compass bearing theta' of the
// long axis (core/angles.h). Restrain fits and removes it as (R, theta');
// Symrestore's stretch e is its sqrt(R); Tectsim makes one from its
// elongation and angle.

#include "core/angles.h"

#include <Eigen/Core>
#include <cmath>

namespace core {

struct Strain {
  double R = 1;                           // long axis over short axis of the strain ellipse
  Bearing longaxis = Bearing::radians(0); // bearing of the long axis, as given (see Bearing::axial)

  // The strain that lengthens the bearing `longaxis` by the stretch e and
  // shortens the direction across it by 1/e: R = e^2.
  static Strain from_stretch(double e, Bearing longaxis);

  // The strain of any linear map m, of the shape change it makes: R the
  // ratio of its two singular values, the long axis the longest radius of
  // the ellipse m makes of the unit circle, as a bearing in [0, pi). A
  // turn or a mirror image of the shape before m, and any change of size,
  // change neither. R is infinite for a map that flattens every shape onto
  // a line.
  static Strain of(const Eigen::Matrix2d& m);

  // The strain that the map `undo` takes out: with undo = Q F^-1 for a
  // strain F and any turn and size Q (a retrodeformation, or the fit of a
  // deformed specimen onto its undeformed form), F F' = (undo' undo)^-1,
  // so the long axis is the direction undo shortens most and R the ratio
  // of its two stretches. Bearing in [0, pi).
  static Strain undone_by(const Eigen::Matrix2d& undo);

  // The strain that Tectsim's simulated deformation of elongation defamp
  // and angle defangle makes (simulateddeformation below).
  static Strain simulated(double defamp, Angle defangle);

  double stretch() const { return std::sqrt(R); }

  // The deformation: symmetric, determinant 1, sqrt(R) along the long axis.
  Eigen::Matrix2d matrix() const;
  // Its inverse, which a retrodeformation applies: the long axis shortened
  // by R^-1/2 and the direction across it lengthened by R^1/2.
  Eigen::Matrix2d removal() const;
};

// Tectsim's deformation of a simulated bed: D S, where S = diag(defamp,
// 1 / defamp) stretches along x and shortens along y, and D = [cos a,
// sin a; sin a, cos a] for a = defangle. D is symmetric, not a turn: a
// strain along the 45 degree line itself, of determinant cos 2a, so that
// the angle changes how strong the deformation is, flattens every shape at
// 45 degrees (and each quarter turn on) and mirrors between 45 and 135.
Eigen::Matrix2d simulateddeformation(double defamp, Angle defangle);

} // namespace core
