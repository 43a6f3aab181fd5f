#pragma once
// Cumulative distribution functions that turn test statistics into p
// values: normal, F, chi-square and gamma. Each works element by element:
// the arguments are matrices, a 1 x 1 argument stands for a matrix of the
// common size filled with its value (see distchck), and the result has that
// common size. Out-of-range parameters are no error: the matching elements
// are NaN. Arguments of different sizes (neither of them 1 x 1) raise
// core::Error with the message sizemismatch. The special functions are
// Boost.Math's: erfc, the regularised incomplete beta I_z(a, b) and the
// regularised lower incomplete gamma P(a, x).

#include <Eigen/Core>

#include <string_view>
#include <vector>

namespace stats {

// The message of the core::Error raised when non-scalar arguments differ
// in size.
inline constexpr std::string_view sizemismatch = "Requires non-scalar arguments to match in size.";

// The arguments of a distribution function after checking: errorcode 0 and
// every 1 x 1 argument replaced by a matrix of the common size filled with
// its value, or errorcode 1 when two non-scalar arguments differ in size
// (the arguments then come back as far as they were expanded).
struct CheckedArgs {
  int errorcode = 0;
  std::vector<Eigen::MatrixXd> args;
};

// Checks and expands the arguments of an element-wise function. A single
// argument, or arguments that are all 1 x 1, come back unchanged; otherwise
// the common size is that of the first argument that is not 1 x 1 (an
// empty matrix counts as not 1 x 1). Raises nothing.
CheckedArgs distchck(std::vector<Eigen::MatrixXd> args);

// Normal cumulative distribution 0.5 erfc(-(x - mu) / (sigma sqrt 2)), mu 0
// and sigma 1 when omitted. NaN where sigma <= 0 or any argument is NaN.
// Raises core::Error (sizemismatch) for arguments of different sizes.
Eigen::MatrixXd normcdf(const Eigen::MatrixXd& x, const Eigen::MatrixXd& mu, const Eigen::MatrixXd& sigma);
Eigen::MatrixXd normcdf(const Eigen::MatrixXd& x, const Eigen::MatrixXd& mu);
Eigen::MatrixXd normcdf(const Eigen::MatrixXd& x);
double normcdf(double x, double mu = 0, double sigma = 1);

// F cumulative distribution with v1 numerator and v2 denominator degrees
// of freedom: I_z(v1/2, v2/2) with z = x / (x + v2/v1) for x > 0, 0 for
// x <= 0, 1 for x = +Inf. An infinite v2 gives chi2cdf(v1 x, v1), an
// infinite v1 gives 1 - chi2cdf(v2 / x, v2), both infinite give the step
// at x = 1. NaN where v1 <= 0, v2 <= 0 or any argument is NaN. Raises
// core::Error (sizemismatch) for arguments of different sizes.
Eigen::MatrixXd fcdf(const Eigen::MatrixXd& x, const Eigen::MatrixXd& v1, const Eigen::MatrixXd& v2);
double fcdf(double x, double v1, double v2);

// Chi-square cumulative distribution with v degrees of freedom:
// gamcdf(x, v/2, 2). NaN where v <= 0, v = Inf or any argument is NaN. Raises
// core::Error (sizemismatch) for arguments of different sizes.
Eigen::MatrixXd chi2cdf(const Eigen::MatrixXd& x, const Eigen::MatrixXd& v);
double chi2cdf(double x, double v);

// Gamma cumulative distribution with shape a and scale b (1 when omitted):
// P(a, x/b) for x > 0, 0 for x <= 0, 1 for x = +Inf. NaN where a <= 0,
// a = Inf, b <= 0 or any argument is NaN. Raises core::Error
// (sizemismatch) for arguments of different sizes.
Eigen::MatrixXd gamcdf(const Eigen::MatrixXd& x, const Eigen::MatrixXd& a, const Eigen::MatrixXd& b);
Eigen::MatrixXd gamcdf(const Eigen::MatrixXd& x, const Eigen::MatrixXd& a);
double gamcdf(double x, double a, double b = 1);

// Upper tails, 1 - cdf, computed directly (Boost.Math's complements) so
// that a p value far below the rounding of 1 keeps its digits: 1 - fcdf
// of F = 46.4 on 24 and 175 degrees of freedom is 0 in double arithmetic,
// the upper tail 3.2e-63. The same arguments, sizes, limits and NaNs as
// the cdf of the same name; x <= 0 gives 1 (normal: x = -Inf) and x = +Inf
// gives 0. Raise core::Error (sizemismatch) for arguments of different
// sizes.
Eigen::MatrixXd normupper(const Eigen::MatrixXd& x, const Eigen::MatrixXd& mu, const Eigen::MatrixXd& sigma);
double normupper(double x, double mu = 0, double sigma = 1);
Eigen::MatrixXd fupper(const Eigen::MatrixXd& x, const Eigen::MatrixXd& v1, const Eigen::MatrixXd& v2);
double fupper(double x, double v1, double v2);
Eigen::MatrixXd chi2upper(const Eigen::MatrixXd& x, const Eigen::MatrixXd& v);
double chi2upper(double x, double v);
Eigen::MatrixXd gamupper(const Eigen::MatrixXd& x, const Eigen::MatrixXd& a, const Eigen::MatrixXd& b);
double gamupper(double x, double a, double b = 1);

} // namespace stats
