#pragma once
// Wilks' lambda test of whether p dependent variables depend linearly on
// one independent variable, with Rao's F approximation and Bartlett's
// chi-square.

#include <Eigen/Core>

namespace stats {

// Regresses each of the columns 1 to n - 1 of xdata (mx x n, one row per
// specimen; column n is not read) on ivar (mx values, read in column-major
// order) and compares the residual with the total sums of squares and
// products: Lambda = det(W) / det(T). Returns Lambda with Rao's F = ((1 - Lambda) / Lambda) (mx - p - 1) / p on df1 = p and
// df2 = mx - p - 1 (p = n - 1; exact for one regressor) and Bartlett's
// chi2 = -(mx - 1 - (p + 2) / 2) ln Lambda on p degrees of freedom.
// Lambda = 0 (a variable that is an exact linear function of ivar) gives
// an infinite F and chi2.
//
// The values are returned as computed even when T is singular (fewer
// specimens than p + 1, a constant variable, or variables that are linear
// combinations of one another): Lambda is then 0/0, x/0, or a ratio of
// rounding errors, and F and chi2 follow it. wilkssingular(xdata) tells
// whether that is the case, so that a report can say so instead of
// presenting the numbers as a result.
//
// Raises core::Error when ivar is not a vector of mx values, and (for
// p >= 1) when fewer than two specimens are given or every ivar is the
// same, since no line is then determined.
struct WilksLambda {
  double lambda = 0;
  double f = 0;      // Rao's F
  double df1 = 0;    // its degrees of freedom
  double df2 = 0;
  double chi2 = 0;   // Bartlett's chi-square
  double dfchi2 = 0; // its degrees of freedom
};
WilksLambda getWilkslambda(const Eigen::MatrixXd& xdata, const Eigen::MatrixXd& ivar);

// True when the total matrix T of getWilkslambda(xdata, ...) is singular
// to working precision, so that its Lambda, F and chi-square do not
// measure anything: fewer than p + 1 specimens, an entry of columns 1 to
// n - 1 that is NaN or Inf, a column that is constant (its spread about
// the mean at most mx * eps times its size), or columns that are
// linearly dependent (after scaling each centred column to unit length,
// the smallest singular value is at most max(mx, p) * eps times the
// largest). False for p = 0. Raises nothing.
bool wilkssingular(const Eigen::MatrixXd& xdata);

} // namespace stats
