#include "stats/distributions.h"

#include "core/error.h"

#include <boost/math/distributions/fisher_f.hpp>
#include <boost/math/distributions/gamma.hpp>
#include <boost/math/distributions/normal.hpp>
#include <boost/math/policies/policy.hpp>
#include <boost/math/special_functions/beta.hpp>
#include <boost/math/special_functions/erf.hpp>
#include <boost/math/special_functions/gamma.hpp>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <limits>
#include <numbers>
#include <string>
#include <utility>

namespace stats {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Boost.Math throws on a domain or overflow error by default; here every
// invalid argument is filtered out beforehand, and anything left over
// should come back as a value (NaN or Inf), never as an exception.
using Quiet = boost::math::policies::policy<
    boost::math::policies::domain_error<boost::math::policies::ignore_error>,
    boost::math::policies::pole_error<boost::math::policies::ignore_error>,
    boost::math::policies::overflow_error<boost::math::policies::ignore_error>,
    boost::math::policies::evaluation_error<boost::math::policies::ignore_error>>;

Eigen::MatrixXd scalar(double v) { return Eigen::MatrixXd::Constant(1, 1, v); }

bool anynan(double a, double b, double c) { return std::isnan(a) || std::isnan(b) || std::isnan(c); }

// P(a, x/b) for one element. An infinite shape is no distribution.
double gammap(double x, double a, double b) {
  if (anynan(x, a, b) || a <= 0 || std::isinf(a) || b <= 0) return kNaN;
  if (x <= 0) return 0;
  if (std::isinf(x)) return 1;
  return std::min(boost::math::gamma_p(a, x / b, Quiet()), 1.0);
}

double chi2p(double x, double v) { return gammap(x, v / 2, 2); }

// The F distribution for one element, with the limits for infinite degrees
// of freedom (chi-square / v1 against 1, or 1 against chi-square / v2).
double fp(double x, double v1, double v2) {
  if (anynan(x, v1, v2) || v1 <= 0 || v2 <= 0) return kNaN;
  if (x <= 0) return 0;
  const bool finite1 = std::isfinite(v1), finite2 = std::isfinite(v2);
  if (finite1 && finite2) {
    if (std::isinf(x)) return 1; // x / (x + v2/v1) would be Inf / Inf
    // Once z = x / (x + r) passes 1/2 its rounding swamps 1 - z, on which
    // the integral then depends; there 1 - z = r / (x + r) is formed
    // directly and I_z(a, b) taken as 1 - I_{1-z}(b, a).
    const double r = v2 / v1;
    if (x <= r) return boost::math::ibeta(v1 / 2, v2 / 2, x / (x + r), Quiet());
    return boost::math::ibetac(v2 / 2, v1 / 2, r / (x + r), Quiet());
  }
  if (finite1) return chi2p(v1 * x, v1);
  if (finite2) return 1 - chi2p(v2 / x, v2);
  return x >= 1 ? 1 : 0;
}

double normalp(double x, double mu, double sigma) {
  if (anynan(x, mu, sigma) || sigma <= 0) return kNaN;
  return std::min(0.5 * boost::math::erfc(-(x - mu) / (sigma * std::numbers::sqrt2), Quiet()), 1.0);
}

// The upper tails, each with the same argument checks and limits as its
// cdf above, and the tail itself from the complement of Boost's
// distribution.
double gammaq(double x, double a, double b) {
  if (anynan(x, a, b) || a <= 0 || std::isinf(a) || b <= 0) return kNaN;
  if (x <= 0) return 1;
  if (std::isinf(x)) return 0;
  return std::min(cdf(complement(boost::math::gamma_distribution<double, Quiet>(a, b), x)), 1.0);
}

double chi2q(double x, double v) { return gammaq(x, v / 2, 2); }

double fq(double x, double v1, double v2) {
  if (anynan(x, v1, v2) || v1 <= 0 || v2 <= 0) return kNaN;
  if (x <= 0) return 1;
  const bool finite1 = std::isfinite(v1), finite2 = std::isfinite(v2);
  if (finite1 && finite2) {
    if (std::isinf(x)) return 0;
    return std::min(cdf(complement(boost::math::fisher_f_distribution<double, Quiet>(v1, v2), x)), 1.0);
  }
  if (finite1) return chi2q(v1 * x, v1);
  if (finite2) return chi2p(v2 / x, v2);
  return x >= 1 ? 0 : 1;
}

double normalq(double x, double mu, double sigma) {
  if (anynan(x, mu, sigma) || sigma <= 0) return kNaN;
  if (std::isinf(x)) return x > 0 ? 0 : 1;
  return std::min(cdf(complement(boost::math::normal_distribution<double, Quiet>(mu, sigma), x)), 1.0);
}

// Applies kernel(a0, a1, ...) to every element of the arguments after
// distchck has expanded them; the result has the size of the first.
template <std::size_t N, class Kernel>
Eigen::MatrixXd elementwise(std::array<const Eigen::MatrixXd*, N> in, Kernel kernel) {
  std::vector<Eigen::MatrixXd> args;
  args.reserve(N);
  for (const Eigen::MatrixXd* m : in) args.push_back(*m);
  const CheckedArgs checked = distchck(std::move(args));
  if (checked.errorcode > 0) throw core::Error(std::string(sizemismatch));
  const std::vector<Eigen::MatrixXd>& a = checked.args;
  Eigen::MatrixXd p(a[0].rows(), a[0].cols());
  for (Eigen::Index i = 0; i < p.size(); ++i) {
    if constexpr (N == 2) p(i) = kernel(a[0](i), a[1](i));
    else p(i) = kernel(a[0](i), a[1](i), a[2](i));
  }
  return p;
}

} // namespace

// Expands 1 x 1 arguments to the size of the first other one; stops at the
// first argument of another size. Raises nothing.
CheckedArgs distchck(std::vector<Eigen::MatrixXd> args) {
  CheckedArgs out{0, std::move(args)};
  if (out.args.size() <= 1) return out;
  const auto isscalar = [](const Eigen::MatrixXd& m) { return m.rows() == 1 && m.cols() == 1; };
  const auto first = std::find_if_not(out.args.begin(), out.args.end(), isscalar);
  if (first == out.args.end()) return out;
  const Eigen::Index rows = first->rows(), cols = first->cols();
  for (Eigen::MatrixXd& m : out.args) {
    if (isscalar(m)) {
      m = Eigen::MatrixXd::Constant(rows, cols, m(0, 0));
    } else if (m.rows() != rows || m.cols() != cols) {
      out.errorcode = 1;
      return out;
    }
  }
  return out;
}

// Element-wise normal cdf; raises core::Error on mismatched sizes.
Eigen::MatrixXd normcdf(const Eigen::MatrixXd& x, const Eigen::MatrixXd& mu, const Eigen::MatrixXd& sigma) {
  return elementwise<3>({&x, &mu, &sigma}, normalp);
}

Eigen::MatrixXd normcdf(const Eigen::MatrixXd& x, const Eigen::MatrixXd& mu) { return normcdf(x, mu, scalar(1)); }

Eigen::MatrixXd normcdf(const Eigen::MatrixXd& x) { return normcdf(x, scalar(0), scalar(1)); }

double normcdf(double x, double mu, double sigma) { return normcdf(scalar(x), scalar(mu), scalar(sigma))(0, 0); }

// Element-wise F cdf; raises core::Error on mismatched sizes.
Eigen::MatrixXd fcdf(const Eigen::MatrixXd& x, const Eigen::MatrixXd& v1, const Eigen::MatrixXd& v2) {
  return elementwise<3>({&x, &v1, &v2}, fp);
}

double fcdf(double x, double v1, double v2) { return fcdf(scalar(x), scalar(v1), scalar(v2))(0, 0); }

// Element-wise chi-square cdf; raises core::Error on mismatched sizes.
Eigen::MatrixXd chi2cdf(const Eigen::MatrixXd& x, const Eigen::MatrixXd& v) {
  return elementwise<2>({&x, &v}, chi2p);
}

double chi2cdf(double x, double v) { return chi2cdf(scalar(x), scalar(v))(0, 0); }

// Element-wise gamma cdf; raises core::Error on mismatched sizes.
Eigen::MatrixXd gamcdf(const Eigen::MatrixXd& x, const Eigen::MatrixXd& a, const Eigen::MatrixXd& b) {
  return elementwise<3>({&x, &a, &b}, gammap);
}

Eigen::MatrixXd gamcdf(const Eigen::MatrixXd& x, const Eigen::MatrixXd& a) { return gamcdf(x, a, scalar(1)); }

double gamcdf(double x, double a, double b) { return gamcdf(scalar(x), scalar(a), scalar(b))(0, 0); }

// Element-wise upper tails; raise core::Error on mismatched sizes.
Eigen::MatrixXd normupper(const Eigen::MatrixXd& x, const Eigen::MatrixXd& mu, const Eigen::MatrixXd& sigma) {
  return elementwise<3>({&x, &mu, &sigma}, normalq);
}

double normupper(double x, double mu, double sigma) { return normupper(scalar(x), scalar(mu), scalar(sigma))(0, 0); }

Eigen::MatrixXd fupper(const Eigen::MatrixXd& x, const Eigen::MatrixXd& v1, const Eigen::MatrixXd& v2) {
  return elementwise<3>({&x, &v1, &v2}, fq);
}

double fupper(double x, double v1, double v2) { return fupper(scalar(x), scalar(v1), scalar(v2))(0, 0); }

Eigen::MatrixXd chi2upper(const Eigen::MatrixXd& x, const Eigen::MatrixXd& v) { return elementwise<2>({&x, &v}, chi2q); }

double chi2upper(double x, double v) { return chi2upper(scalar(x), scalar(v))(0, 0); }

Eigen::MatrixXd gamupper(const Eigen::MatrixXd& x, const Eigen::MatrixXd& a, const Eigen::MatrixXd& b) {
  return elementwise<3>({&x, &a, &b}, gammaq);
}

double gamupper(double x, double a, double b) { return gamupper(scalar(x), scalar(a), scalar(b))(0, 0); }

} // namespace stats
