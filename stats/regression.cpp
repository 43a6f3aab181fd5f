#include "stats/regression.h"

#include "core/error.h"
#include "core/numeric.h"

#include <cmath>
#include <limits>
#include <string>

namespace stats {

// Covariances and correlation from core::cov and core::corrcoef on the
// n x 2 matrix [x y]. Raises core::Error for x and y of different lengths.
Regression regstuf(const Eigen::MatrixXd& x, const Eigen::MatrixXd& y) {
  if (x.size() != y.size())
    throw core::Error("regstuf: x has " + std::to_string(x.size()) + " values but y has " + std::to_string(y.size()));
  const Eigen::Index count = x.size();
  Eigen::MatrixXd xy(count, 2);
  xy.col(0) = Eigen::Map<const Eigen::VectorXd>(x.data(), count);
  xy.col(1) = Eigen::Map<const Eigen::VectorXd>(y.data(), count);

  const Eigen::Matrix2d temp = core::cov(xy);
  const double sxy = temp(0, 1), sxx = temp(0, 0), syy = temp(1, 1);
  const double n = static_cast<double>(count);
  const double b = sxy / sxx;
  // syy - sxy^2 / sxx, the residual variance times (n - 1) / (n - 1), is
  // never negative in exact arithmetic (Cauchy-Schwarz). Each covariance is
  // a sum of n products, accurate to within about n eps of the size
  // sqrt(sxx syy) (for syy, of syy), and b^2 sxx <= syy, so the computed
  // difference is off by at most about 4 n eps syy. A negative value no
  // larger than that is rounding on points that lie on a line: it is 0.
  double resid = syy - b * b * sxx;
  if (resid < 0 && resid >= -4 * n * std::numeric_limits<double>::epsilon() * syy) resid = 0;
  const double sb = std::sqrt(resid / ((n - 2) * sxx));
  const double a = xy.col(1).mean() - b * xy.col(0).mean();
  const double r = core::corrcoef(xy)(0, 1);

  return {b, a, sb, n, r, 0.5 * std::log((1 + r) / (1 - r)), std::pow(n - 3, -0.5)};
}

} // namespace stats
