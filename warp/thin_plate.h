#pragma once
// The thin-plate spline of a reference configuration and its bending
// energy.
//
// For k reference landmarks p_1 ... p_k the spline matrix is
//   L = [P Q; Q' 0],  P(i, j) = U(|p_i - p_j|),  row i of Q = (1, x_i, y_i),
// with the kernel U(r) = r^2 ln(r^2) (not r^2 ln r, which is half as large).
// The upper-left k x k block of L^-1 is the bending energy matrix: the
// energy a thin plate pinned at the landmarks stores when they are moved.
// Its eigenvectors with non-zero eigenvalue are the principal warps; the
// three remaining eigenvalues are zero up to rounding, one for each affine
// direction (1, x, y) that bends nothing.
//
// The spline exists only for a reference of at least three distinct
// landmarks that do not all lie on one line: two coincident landmarks make
// two rows of L equal, and collinear landmarks make the columns of Q
// dependent. Every function here that inverts L raises core::Error for such
// a reference rather than let non-finite values spread.

#include <Eigen/Core>

#include <string_view>

namespace warp {

// The spline kernel U of two points, each given as its two coordinates
// (1 x 2 or 2 x 1): d ln d with d the squared distance, 0 for coincident
// points. Units: squared coordinate units. Raises core::Error if either
// point does not hold exactly two values.
double uspline(const Eigen::MatrixXd& x1, const Eigen::MatrixXd& x2);

// The (k + 3) x (k + 3) spline matrix L of a reference vertex matrix
// (2 x k, row 1 the x, row 2 the y coordinates). Raises core::Error if x
// does not have two rows.
Eigen::MatrixXd gettspl(const Eigen::MatrixXd& x);

// Raises core::Error, its message starting with `caller`, unless the
// reference vertex matrix (2 x k) spans a thin-plate spline: at least three
// landmarks, all coordinates finite, no two landmarks closer than 1e-9 of
// the centroid size, and a width across the best-fitting line of more than
// 1e-9 of the centroid size. Below those limits the spline matrix is
// singular to working precision. The message names the coinciding
// landmarks (1-based) or says that all lie on one line.
void checkreference(const Eigen::MatrixXd& refxy, std::string_view caller);

// The eigen table of the bending energy of a spline matrix L (as gettspl
// builds it, order k + 3): k x 2k, columns 1 ... k the unit eigenvectors,
// columns k + 1 ... 2k the diagonal matrix of their eigenvalues. Negative
// eigenvalues (rounding noise about the three zero ones) are folded to
// positive with their vectors negated, and the pairs are then ordered by
// decreasing eigenvalue with the exchange sort below; the first k - 3
// pairs are the principal warps, largest bending energy first. The
// landmarks are read back from the (1, x, y) block of L and checked as
// checkreference does; raises core::Error for a matrix that is not square
// or of order below 3, or a reference without a spline.
Eigen::MatrixXd gettpse(const Eigen::MatrixXd& L);

// An eigen-decomposition reordered by decreasing eigenvalue: vr holds the
// columns of V and the diagonal of dr the matching eigenvalues, without any
// change of sign. The sort key of eigenvalue i is max(D) - D(i, i), with
// the maximum taken over every entry of D, and the sort is stable, so equal
// eigenvalues keep their order. dr has the shape of D (m x n, m >= n) and
// is zero off the diagonal; V needs at least n columns. Raises core::Error
// for other shapes.
struct SortedEigen {
  Eigen::MatrixXd vr;
  Eigen::MatrixXd dr;
};
SortedEigen eigsort(const Eigen::MatrixXd& V, const Eigen::MatrixXd& D);

} // namespace warp
