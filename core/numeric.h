#pragma once
// The numeric operations the suite relies on that Eigen does not provide
// directly. Rows are observations throughout, as in every data set.

#include <Eigen/Core>
#include <Eigen/Eigenvalues>

namespace core {

// Sample covariance of the columns of x (rows are observations), dividing
// by n - 1 after subtracting the column means. A single row shows no spread
// and gives a matrix of zeros; no rows give a matrix of NaN.
Eigen::MatrixXd cov(const Eigen::MatrixXd& x);

// Correlation coefficients of the columns of x (rows are observations):
// cov(x) scaled to a unit diagonal, with entries kept within [-1, 1]. A
// column without spread (constant, or fewer than two rows) has no defined
// correlation: its row and column, diagonal included, are NaN.
Eigen::MatrixXd corrcoef(const Eigen::MatrixXd& x);

// The least-squares line y = intercept + slope x through the points
// (x_i, y_i), with the sums it rests on: sxx, sxy and syy, the sums of
// squares and products about the means (n - 1 times the sample
// covariances). Taken about the means, they lose no precision for x far
// from zero (dates, map coordinates). Points that determine no line (every
// x the same, fewer than two) give a slope and intercept that are not
// numbers, as computed. Raises core::Error if x and y differ in length.
struct LineFit {
  double slope = 0, intercept = 0;
  double sxx = 0, sxy = 0, syy = 0;
};
LineFit linefit(const Eigen::Ref<const Eigen::VectorXd>& x, const Eigen::Ref<const Eigen::VectorXd>& y);

// Column-wise minimum and maximum with the (0-based) row index of the first
// occurrence; NaN entries are passed over unless a column is all NaN, which
// gives NaN at row 0. Raises core::Error for a matrix with no rows.
struct ColumnExtremes {
  Eigen::RowVectorXd value;
  Eigen::RowVectorXi index;
};
ColumnExtremes colmin(const Eigen::MatrixXd& x);
ColumnExtremes colmax(const Eigen::MatrixXd& x);

// Column-wise ascending sort, stable, with the permutation: sorted.col(j) =
// x.col(j) taken at rows index.col(j) (0-based). NaN sorts last.
struct ColumnSort {
  Eigen::MatrixXd sorted;
  Eigen::MatrixXi index;
};
ColumnSort colsort(const Eigen::MatrixXd& x);

// Symmetric eigen-decomposition with eigenvalues in ascending order and the
// matching unit eigenvectors as columns (each vector's sign as the solver
// leaves it). Only the lower triangle of a is read. Raises core::Error if a
// is not square, holds NaN or Inf, or the decomposition fails.
struct SymmetricEigen {
  Eigen::VectorXd values;
  Eigen::MatrixXd vectors;
};
SymmetricEigen eigsym(const Eigen::MatrixXd& a);

} // namespace core
