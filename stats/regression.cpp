#include "stats/regression.h"

#include "core/error.h"
#include "core/numeric.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

namespace stats {

// The line and its sums about the means from core::linefit; the
// covariances are those sums over n - 1, which cancels in every ratio
// below. Raises core::Error for x and y of different lengths.
Regression regstuf(const Eigen::MatrixXd& x, const Eigen::MatrixXd& y) {
  if (x.size() != y.size())
    throw core::Error("regstuf: x has " + std::to_string(x.size()) + " values but y has " + std::to_string(y.size()));
  const Eigen::Index count = x.size();
  const core::LineFit line =
      core::linefit(Eigen::Map<const Eigen::VectorXd>(x.data(), count), Eigen::Map<const Eigen::VectorXd>(y.data(), count));
  const double sxx = line.sxx, syy = line.syy, b = line.slope;
  const double n = static_cast<double>(count);
  // syy - sxy^2 / sxx, the residual sum of squares, is never negative in
  // exact arithmetic (Cauchy-Schwarz). Each sum is of n products, accurate
  // to within about n eps of the size sqrt(sxx syy) (for syy, of syy), and
  // b^2 sxx <= syy, so the computed difference is off by at most about
  // 4 n eps syy. A negative value no larger than that is rounding on
  // points that lie on a line: it is 0.
  double resid = syy - b * b * sxx;
  if (resid < 0 && resid >= -4 * n * std::numeric_limits<double>::epsilon() * syy) resid = 0;
  const double sb = std::sqrt(resid / ((n - 2) * sxx));
  // Pearson's r, kept within [-1, 1]; without spread in x or y it is not
  // defined.
  const double r = sxx > 0 && syy > 0 ? std::clamp(line.sxy / (std::sqrt(sxx) * std::sqrt(syy)), -1.0, 1.0)
                                      : std::numeric_limits<double>::quiet_NaN();

  return {b, line.intercept, sb, n, r, 0.5 * std::log((1 + r) / (1 - r)), std::pow(n - 3, -0.5)};
}

} // namespace stats
