#include "core/strain.h"

#include "core/configurations.h"

#include <Eigen/Eigenvalues>
#include <limits>

namespace core {

namespace {

// The strain read from a symmetric tensor whose eigenvectors are the axes
// of the strain ellipse: R from the ratio of its eigenvalues, the long
// axis the eigenvector in column `longcolumn` of the ascending
// decomposition (1 for m m', whose larger eigenvalue is the long axis
// squared; 0 for undo' undo, its inverse up to size).
Strain fromtensor(const Eigen::Matrix2d& c, Eigen::Index longcolumn) {
  const Eigen::SelfAdjointEigenSolver<Eigen::Matrix2d> eig(c);
  const Eigen::Vector2d l = eig.eigenvalues().cwiseMax(0);
  Strain out;
  out.R = l(0) > 0 ? std::sqrt(l(1) / l(0)) : std::numeric_limits<double>::infinity();
  const Eigen::Vector2d v = eig.eigenvectors().col(longcolumn);
  out.longaxis = Bearing::of(v(0), v(1)).axial();
  return out;
}

} // namespace

Strain Strain::from_stretch(double e, Bearing longaxis) { return {e * e, longaxis}; }

Strain Strain::of(const Eigen::Matrix2d& m) { return fromtensor(m * m.transpose(), 1); }

Strain Strain::undone_by(const Eigen::Matrix2d& undo) { return fromtensor(undo.transpose() * undo, 0); }

Strain Strain::simulated(double defamp, Angle defangle) { return of(simulateddeformation(defamp, defangle)); }

Eigen::Matrix2d Strain::matrix() const { return purestrain(longaxis.angle(), std::sqrt(R)); }

Eigen::Matrix2d Strain::removal() const { return purestrain(longaxis.angle(), std::pow(R, -0.5)); }

Eigen::Matrix2d simulateddeformation(double defamp, Angle defangle) {
  const double a = defangle.rad();
  Eigen::Matrix2d d, s;
  d << std::cos(a), std::sin(a), std::sin(a), std::cos(a);
  s << defamp, 0, 0, 1 / defamp;
  return d * s;
}

} // namespace core
