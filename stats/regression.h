#pragma once
// Least-squares regression of y on x with the slope's standard error and
// the correlation coefficient's Fisher transform.

#include <Eigen/Core>

namespace stats {

// Fits y = a + b x to the n pairs (x_i, y_i), both read in column-major
// order, and returns the 1 x 7 row
//   [b, a, sb, n, r, z, sz]
// b = sxy / sxx and a = mean(y) - b mean(x) from the sample covariances
// (divisor n - 1); sb = sqrt((syy - b^2 sxx) / ((n - 2) sxx)), the
// standard error of the slope, which is 0 for points on a line even when
// rounding leaves syy - b^2 sxx slightly below zero; r the Pearson
// correlation; z = 0.5 ln((1 + r) / (1 - r)), Fisher's transform, and
// sz = (n - 3)^(-1/2), its standard error. Degenerate data give the values
// as computed: constant x a NaN slope, error and correlation, |r| = 1 an
// infinite z, n = 2 a NaN sb, n = 3 an infinite sz and n < 3 a NaN one.
// Raises core::Error when x and y hold different numbers of values.
Eigen::RowVectorXd regstuf(const Eigen::MatrixXd& x, const Eigen::MatrixXd& y);

} // namespace stats
