#pragma once
// Least-squares regression of y on x with the slope's standard error and
// the correlation coefficient's Fisher transform.

#include <Eigen/Core>

namespace stats {

// A straight-line fit y = a + b x with the slope's standard error and the
// correlation coefficient's Fisher transform.
struct Regression {
  double slope = 0;     // b
  double intercept = 0; // a
  double slope_se = 0;  // sb, the standard error of the slope
  double n = 0;         // the number of pairs
  double r = 0;         // Pearson's correlation
  double z = 0;         // Fisher's z of r
  double z_se = 0;      // sz, the standard error of z
};

// Fits y = a + b x to the n pairs (x_i, y_i), both read in column-major
// order. b = sxy / sxx and a = mean(y) - b mean(x) from the sample covariances
// (divisor n - 1); sb = sqrt((syy - b^2 sxx) / ((n - 2) sxx)), the
// standard error of the slope, which is 0 for points on a line even when
// rounding leaves syy - b^2 sxx slightly below zero; r the Pearson
// correlation; z = 0.5 ln((1 + r) / (1 - r)), Fisher's transform, and
// sz = (n - 3)^(-1/2), its standard error. Degenerate data give the values
// as computed: constant x a NaN slope, error and correlation, |r| = 1 an
// infinite z, n = 2 a NaN sb, n = 3 an infinite sz and n < 3 a NaN one.
// Raises core::Error when x and y hold different numbers of values.
Regression regstuf(const Eigen::MatrixXd& x, const Eigen::MatrixXd& y);

} // namespace stats
