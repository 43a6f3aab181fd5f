#include "stats/wilks.h"

#include "core/error.h"
#include "core/numeric.h"
#include "core/text_format.h"

#include <Eigen/LU>
#include <Eigen/SVD>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

namespace stats {
namespace {

// sign * exp(log) is the determinant; a zero pivot gives log = -Inf.
struct LogDet {
  double sign;
  double log;
};

// The determinant as a sign and a logarithm, from the LU factors, so that
// the ratio of two determinants of many small variances neither underflows
// nor overflows. The empty matrix has determinant 1.
LogDet logdet(const Eigen::MatrixXd& a) {
  if (a.size() == 0) return {1, 0};
  const Eigen::PartialPivLU<Eigen::MatrixXd> lu(a);
  LogDet d{static_cast<double>(lu.permutationP().determinant()), 0};
  for (Eigen::Index i = 0; i < a.rows(); ++i) {
    const double u = lu.matrixLU()(i, i);
    if (u < 0) d.sign = -d.sign;
    d.log += std::log(std::abs(u));
  }
  return d;
}

} // namespace

// Lambda from the LU determinants of W and T, then Rao's F and Bartlett's
// chi-square with k = 2 (one regressor and the constant); the residuals
// are those of each variable's least-squares line on ivar. Raises
// core::Error for an ivar of the wrong shape, no columns in xdata, or an
// ivar that determines no line.
WilksLambda getWilkslambda(const Eigen::MatrixXd& xdata, const Eigen::MatrixXd& ivar) {
  const Eigen::Index mx = xdata.rows(), n = xdata.cols();
  if (n == 0) throw core::Error("getWilkslambda: xdata has no columns");
  if (std::min(ivar.rows(), ivar.cols()) > 1 || ivar.size() != mx)
    throw core::Error("getWilkslambda: ivar must be a vector of " + std::to_string(mx) +
                      " values, one per row of xdata, not a " + std::to_string(ivar.rows()) + " x " +
                      std::to_string(ivar.cols()) + " matrix");
  const Eigen::Index p = n - 1;
  const Eigen::Map<const Eigen::VectorXd> iv(ivar.data(), mx);
  const Eigen::MatrixXd x = xdata.leftCols(p);

  if (p > 0 && mx < 2)
    throw core::Error("getWilkslambda: a line needs at least 2 specimens, got " + std::to_string(mx));
  if (p > 0 && (iv.array() == iv(0)).all())
    throw core::Error("getWilkslambda: every ivar is " + core::format("%g", iv(0)) + ", so no line is determined");
  Eigen::MatrixXd res(mx, p);
  for (Eigen::Index i = 0; i < p; ++i) {
    const core::LineFit fit = core::linefit(iv, x.col(i));
    res.col(i) = x.col(i).array() - fit.slope * iv.array() - fit.intercept;
  }
  const double scale = static_cast<double>(mx - 1);
  const LogDet w = logdet(scale * core::cov(res));
  const LogDet t = logdet(scale * core::cov(x));
  const double lambda = w.sign * t.sign * std::exp(w.log - t.log);

  constexpr double k = 2, q = k - 1;
  const double capn = static_cast<double>(mx), pd = static_cast<double>(p);
  const double m = (capn - 1) - (pd + k) / 2;
  const double d = pd * pd + q * q - 5;
  const double s = d > 0 ? std::sqrt((pd * pd * q * q - 4) / d) : 1;
  const double tl = std::pow(lambda, 1 / s);
  const double df1 = pd * q;
  const double df2 = m * s - pd * q / 2 + 1;
  const double f = ((1 - tl) / tl) * df2 / df1;
  const double chi2 = -((capn - 1) - 0.5 * (pd + k)) * std::log(lambda);

  return {lambda, f, df1, df2, chi2, pd * q};
}

// Numerical rank of the centred columns, each scaled to unit length first
// so that variables of very different sizes are judged alike. Raises
// nothing.
bool wilkssingular(const Eigen::MatrixXd& xdata) {
  const Eigen::Index mx = xdata.rows(), p = std::max<Eigen::Index>(xdata.cols() - 1, 0);
  if (p == 0) return false;
  const Eigen::MatrixXd x = xdata.leftCols(p);
  if (!x.allFinite() || mx < p + 1) return true;
  constexpr double eps = std::numeric_limits<double>::epsilon();
  Eigen::MatrixXd c = x.rowwise() - x.colwise().mean();
  for (Eigen::Index j = 0; j < p; ++j) {
    const double spread = c.col(j).stableNorm();
    if (spread <= static_cast<double>(mx) * eps * x.col(j).stableNorm()) return true;
    c.col(j) /= spread;
  }
  const Eigen::VectorXd sv = Eigen::JacobiSVD<Eigen::MatrixXd>(c).singularValues();
  return sv.minCoeff() <= static_cast<double>(std::max(mx, p)) * eps * sv.maxCoeff();
}

} // namespace stats
