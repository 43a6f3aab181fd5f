#include "core/configurations.h"

#include "core/identities.h"

#include <cmath>

namespace core {

Eigen::MatrixXd vertxy(const Eigen::MatrixXd& x) {
  const Eigen::Index k = x.size() / 2;
  Eigen::MatrixXd v(2, k);
  // Running (column-major) index: for a row this is left to right.
  for (Eigen::Index i = 0; i < k; ++i) {
    v(0, i) = x(2 * i);
    v(1, i) = x(2 * i + 1);
  }
  return v;
}

Eigen::RowVectorXd xyfromvert(const Eigen::MatrixXd& data, double cs) {
  const Eigen::Index k = data.rows();
  Eigen::RowVectorXd row(2 * k + 1);
  for (Eigen::Index i = 0; i < k; ++i) {
    row(2 * i) = data(i, 0);
    row(2 * i + 1) = data(i, 1);
  }
  row(2 * k) = cs;
  return row;
}

Eigen::RowVector2d centpos(const Eigen::MatrixXd& x) {
  const Eigen::Index k = x.size() / 2;
  double sx = 0, sy = 0;
  for (Eigen::Index i = 0; i < k; ++i) {
    sx += x(2 * i);
    sy += x(2 * i + 1);
  }
  return {sx / static_cast<double>(k), sy / static_cast<double>(k)};
}

Eigen::VectorXd centsize(const Eigen::MatrixXd& x) {
  const Eigen::Index k = x.cols() / 2;
  Eigen::VectorXd sizes(x.rows());
  for (Eigen::Index i = 0; i < x.rows(); ++i) {
    // Missing landmarks (NaN) are left out: the size is that of the
    // landmarks the specimen has, NaN only when it has none.
    double cx = 0, cy = 0;
    Eigen::Index present = 0;
    for (Eigen::Index j = 0; j < k; ++j) {
      if (missing(x, i, j)) continue;
      cx += x(i, 2 * j);
      cy += x(i, 2 * j + 1);
      ++present;
    }
    cx /= static_cast<double>(present);
    cy /= static_cast<double>(present);
    double s = present > 0 ? 0 : std::nan("");
    for (Eigen::Index j = 0; j < k; ++j) {
      if (missing(x, i, j)) continue;
      const double dx = x(i, 2 * j) - cx;
      const double dy = x(i, 2 * j + 1) - cy;
      s += dx * dx + dy * dy;
    }
    sizes(i) = std::sqrt(s);
  }
  return sizes;
}

Eigen::Matrix2d rotation(double angle) {
  Eigen::Matrix2d r;
  r << std::cos(angle), -std::sin(angle), std::sin(angle), std::cos(angle);
  return r;
}

Eigen::Matrix2d purestrain(double angle, double along) {
  return rotation(angle) * Eigen::Vector2d(along, 1 / along).asDiagonal() * rotation(-angle);
}

} // namespace core
