#include "warp/thin_plate.h"

#include "core/error.h"
#include "core/numeric.h"

#include <Eigen/LU>
#include <Eigen/SVD>

#include <cmath>
#include <limits>
#include <string>
#include <utility>

namespace warp {
namespace {

// Fraction of the centroid size below which two landmarks count as one
// point and a configuration's width counts as a line. Digitised landmarks
// at unit size lie some 1e-4 apart at the very least, far above it, while
// exactly coincident or collinear landmarks, turned and scaled, come out
// within about 1e-16 of it.
constexpr double degenerate_fraction = 1e-9;

// The kernel from the squared distance d: d ln d, and 0 at d = 0 where the
// limit is 0.
double kernel(double d) { return d != 0 ? d * std::log(d) : 0.0; }

} // namespace

double uspline(const Eigen::MatrixXd& x1, const Eigen::MatrixXd& x2) {
  if (x1.size() != 2 || x2.size() != 2)
    throw core::Error("uspline: a point holds two coordinates, but the points hold " + std::to_string(x1.size()) +
                      " and " + std::to_string(x2.size()) + " values");
  const double dx = x2(0) - x1(0), dy = x2(1) - x1(1);
  return kernel(dx * dx + dy * dy);
}

Eigen::MatrixXd gettspl(const Eigen::MatrixXd& x) {
  if (x.rows() != 2)
    throw core::Error("gettspl: a vertex matrix has two rows (x and y), but this one has " + std::to_string(x.rows()));
  const Eigen::Index k = x.cols();
  Eigen::MatrixXd l = Eigen::MatrixXd::Zero(k + 3, k + 3);
  for (Eigen::Index i = 0; i + 1 < k; ++i)
    for (Eigen::Index j = i + 1; j < k; ++j) l(i, j) = l(j, i) = kernel((x.col(i) - x.col(j)).squaredNorm());
  l.block(0, k, k, 1).setOnes();
  l.block(0, k + 1, k, 2) = x.transpose();
  l.block(k, 0, 3, k) = l.block(0, k, k, 3).transpose();
  return l;
}

void checkreference(const Eigen::MatrixXd& refxy, std::string_view caller) {
  const std::string fn(caller);
  const Eigen::Index k = refxy.cols();
  if (refxy.rows() != 2)
    throw core::Error(fn + ": a vertex matrix has two rows (x and y), but this one has " + std::to_string(refxy.rows()));
  if (k < 3)
    throw core::Error(fn + ": a thin-plate spline needs at least three reference landmarks, but the reference has " +
                      std::to_string(k));
  if (!refxy.allFinite()) throw core::Error(fn + ": the reference holds a coordinate that is not a finite number");
  const Eigen::MatrixXd centred = refxy.colwise() - refxy.rowwise().mean();
  const double tol = degenerate_fraction * centred.norm(); // the centroid size
  for (Eigen::Index i = 0; i + 1 < k; ++i)
    for (Eigen::Index j = i + 1; j < k; ++j)
      if ((refxy.col(i) - refxy.col(j)).norm() <= tol)
        throw core::Error(fn + ": reference landmarks " + std::to_string(i + 1) + " and " + std::to_string(j + 1) +
                          " coincide, so no thin-plate spline passes through the reference (its matrix is singular)");
  // The smaller singular value of the centred landmarks is the root summed
  // squared distance from the best-fitting line. The SVD resolves it to
  // rounding of the larger one, where the eigenvalues of the 2 x 2 moment
  // matrix would lose half the digits.
  const Eigen::JacobiSVD<Eigen::MatrixXd> svd(centred.transpose());
  if (svd.singularValues()(1) <= tol)
    throw core::Error(fn + ": all " + std::to_string(k) +
                      " reference landmarks lie on one line, so no thin-plate spline passes through the reference "
                      "(its matrix is singular)");
}

// The inverse is taken whole with partial pivoting: L is symmetric but
// indefinite (its zero 3 x 3 block rules out Cholesky), and its order is
// the landmark count, so the cost is negligible beside any data set.
Eigen::MatrixXd gettpse(const Eigen::MatrixXd& L) {
  if (L.rows() != L.cols() || L.rows() < 3)
    throw core::Error("gettpse: a spline matrix is square of order k + 3, but this one is " + std::to_string(L.rows()) +
                      " x " + std::to_string(L.cols()));
  const Eigen::Index k = L.rows() - 3;
  checkreference(L.block(0, k + 1, k, 2).transpose(), "gettpse");
  const Eigen::MatrixXd lkm1 = L.partialPivLu().inverse().topLeftCorner(k, k);
  if (!lkm1.allFinite()) throw core::Error("gettpse: the spline matrix is singular");
  core::SymmetricEigen e = core::eigsym(lkm1);
  Eigen::VectorXd& d = e.values;
  Eigen::MatrixXd& v = e.vectors;

  // The bending energy is positive semi-definite, so a negative eigenvalue
  // is rounding about zero: fold it, and its vector with it.
  for (Eigen::Index i = 0; i < k; ++i)
    if (d(i) < 0) {
      d(i) = -d(i);
      v.col(i) = -v.col(i);
    }
  // The exchange sort, swap for swap: the placement of equal eigenvalues
  // (and so the order of their vectors) is that of this exact sequence.
  for (Eigen::Index i = 0; i + 1 < k; ++i)
    for (Eigen::Index j = i + 1; j < k; ++j)
      if (d(j) > d(i)) {
        std::swap(d(i), d(j));
        v.col(i).swap(v.col(j));
      }

  Eigen::MatrixXd table = Eigen::MatrixXd::Zero(k, 2 * k);
  table.leftCols(k) = v;
  table.rightCols(k).diagonal() = d;
  return table;
}

SortedEigen eigsort(const Eigen::MatrixXd& V, const Eigen::MatrixXd& D) {
  const Eigen::Index m = D.rows(), n = D.cols();
  if (m < n || V.cols() < n)
    throw core::Error("eigsort: the eigenvalue matrix is " + std::to_string(m) + " x " + std::to_string(n) +
                      " and the eigenvector matrix has " + std::to_string(V.cols()) +
                      " columns; the diagonal needs as many rows and vectors as columns");
  double big = -std::numeric_limits<double>::infinity();
  for (Eigen::Index j = 0; j < n; ++j)
    for (Eigen::Index i = 0; i < m; ++i)
      if (D(i, j) > big) big = D(i, j);
  Eigen::VectorXd key(n);
  for (Eigen::Index i = 0; i < n; ++i) key(i) = big - D(i, i);
  const Eigen::VectorXi order = core::colsort(key).index.col(0);
  SortedEigen s{Eigen::MatrixXd(V.rows(), n), Eigen::MatrixXd::Zero(m, n)};
  for (Eigen::Index i = 0; i < n; ++i) {
    s.vr.col(i) = V.col(order(i));
    s.dr(i, i) = D(order(i), order(i));
  }
  return s;
}

} // namespace warp
