#include "core/numeric.h"

#include "core/error.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <string>
#include <vector>

namespace core {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

std::string size_text(const Eigen::MatrixXd& x) { return std::to_string(x.rows()) + " x " + std::to_string(x.cols()); }

// Value and first row of the extreme of each column under `better`, NaN
// skipped; an all-NaN column reports NaN at row 0.
template <class Better> ColumnExtremes column_extremes(const Eigen::MatrixXd& x, const char* name, Better better) {
  if (x.rows() == 0) throw Error(std::string(name) + ": the " + size_text(x) + " matrix has no rows");
  ColumnExtremes e{Eigen::RowVectorXd::Constant(x.cols(), kNaN), Eigen::RowVectorXi::Zero(x.cols())};
  for (Eigen::Index j = 0; j < x.cols(); ++j) {
    for (Eigen::Index i = 0; i < x.rows(); ++i) {
      const double v = x(i, j);
      if (!std::isnan(v) && (std::isnan(e.value[j]) || better(v, e.value[j]))) {
        e.value[j] = v;
        e.index[j] = static_cast<int>(i);
      }
    }
  }
  return e;
}

} // namespace

// Two-pass sample covariance (means first), which keeps data with a large
// common offset accurate. Raises nothing.
Eigen::MatrixXd cov(const Eigen::MatrixXd& x) {
  const Eigen::Index n = x.rows(), p = x.cols();
  if (n == 0) return Eigen::MatrixXd::Constant(p, p, kNaN);
  if (n == 1) return Eigen::MatrixXd::Zero(p, p);
  const Eigen::MatrixXd centred = x.rowwise() - x.colwise().mean();
  Eigen::MatrixXd c = centred.transpose() * centred / static_cast<double>(n - 1);
  return c.selfadjointView<Eigen::Lower>(); // exactly symmetric
}

// Correlations from cov(x); see the header for columns without spread.
// Raises nothing.
Eigen::MatrixXd corrcoef(const Eigen::MatrixXd& x) {
  Eigen::MatrixXd r = cov(x);
  const Eigen::VectorXd sd = r.diagonal().cwiseSqrt();
  for (Eigen::Index j = 0; j < r.cols(); ++j) {
    for (Eigen::Index i = 0; i < r.rows(); ++i) {
      if (sd[i] > 0 && sd[j] > 0) r(i, j) = i == j ? 1.0 : std::clamp(r(i, j) / (sd[i] * sd[j]), -1.0, 1.0);
      else r(i, j) = kNaN;
    }
  }
  return r;
}

// Least squares about the means: slope = sum(dx dy) / sum(dx^2).
LineFit linefit(const Eigen::Ref<const Eigen::VectorXd>& x, const Eigen::Ref<const Eigen::VectorXd>& y) {
  if (x.size() != y.size())
    throw Error("linefit: x has " + std::to_string(x.size()) + " values but y has " + std::to_string(y.size()));
  const double mx = x.mean(), my = y.mean();
  const Eigen::ArrayXd dx = x.array() - mx, dy = y.array() - my;
  LineFit f;
  f.sxx = dx.square().sum();
  f.sxy = (dx * dy).sum();
  f.syy = dy.square().sum();
  f.slope = f.sxy / f.sxx;
  f.intercept = my - f.slope * mx;
  return f;
}

// Column minima; raises core::Error for a matrix with no rows.
ColumnExtremes colmin(const Eigen::MatrixXd& x) {
  return column_extremes(x, "colmin", [](double a, double b) { return a < b; });
}

// Column maxima; raises core::Error for a matrix with no rows.
ColumnExtremes colmax(const Eigen::MatrixXd& x) {
  return column_extremes(x, "colmax", [](double a, double b) { return a > b; });
}

// Stable ascending sort of each column, NaN last in their original order.
// Raises nothing.
ColumnSort colsort(const Eigen::MatrixXd& x) {
  ColumnSort s{Eigen::MatrixXd(x.rows(), x.cols()), Eigen::MatrixXi(x.rows(), x.cols())};
  std::vector<int> rows(static_cast<std::size_t>(x.rows()));
  for (Eigen::Index j = 0; j < x.cols(); ++j) {
    const auto col = x.col(j);
    std::iota(rows.begin(), rows.end(), 0);
    // NaN compares equal to NaN and greater than any number: a strict weak
    // order, as std::stable_sort requires.
    std::stable_sort(rows.begin(), rows.end(), [&](int a, int b) {
      return !std::isnan(col[a]) && (std::isnan(col[b]) || col[a] < col[b]);
    });
    for (Eigen::Index i = 0; i < x.rows(); ++i) {
      s.index(i, j) = rows[static_cast<std::size_t>(i)];
      s.sorted(i, j) = col[rows[static_cast<std::size_t>(i)]];
    }
  }
  return s;
}

// Eigen's self-adjoint solver already returns ascending eigenvalues and
// normalised eigenvectors. Raises core::Error if a is not square or the
// solver fails.
SymmetricEigen eigsym(const Eigen::MatrixXd& a) {
  if (a.rows() != a.cols()) throw Error("eigsym: the " + size_text(a) + " matrix is not square");
  if (!a.allFinite()) throw Error("eigsym: the " + size_text(a) + " matrix has NaN or Inf entries");
  const Eigen::SelfAdjointEigenSolver<Eigen::MatrixXd> solver(a);
  if (solver.info() != Eigen::Success) throw Error("eigsym: the eigen-decomposition of the " + size_text(a) + " matrix failed");
  return {solver.eigenvalues(), solver.eigenvectors()};
}

} // namespace core
