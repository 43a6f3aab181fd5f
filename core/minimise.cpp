#include "core/minimise.h"

#include "core/error.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <stdexcept>
#include <utility>

namespace core {
namespace {

// Nelder-Mead coefficients (Lagarias et al. 1998).
constexpr double kReflect = 1.0;
constexpr double kExpand = 2.0;
constexpr double kContract = 0.5;
constexpr double kShrink = 0.5;
// Initial simplex: relative step for a non-zero start coordinate, and the
// absolute value a zero coordinate is moved to.
constexpr double kStep = 0.05;
constexpr double kZeroStep = 0.00025;

// Distance from |x| to the next larger double: the resolution of numbers
// the size of x, so that tolerances below it cannot stall the stopping test.
double spacing(double x) {
  x = std::fabs(x);
  return std::nextafter(x, std::numeric_limits<double>::infinity()) - x;
}

// A tolerance never finer than ten times the resolution at `scale`.
double floor_tolerance(double tol, double scale) {
  const double resolution = 10 * spacing(scale);
  return std::isfinite(resolution) ? std::max(tol, resolution) : tol;
}

// Restores ascending order of `order` by fv after some entries changed.
// Insertion sort: stable (a new vertex goes after the vertices it ties with,
// as Lagarias et al. prescribe), allocation-free, and cheap for the nearly
// sorted, small arrays of a simplex.
void sort_vertices(std::vector<int>& order, const Eigen::VectorXd& fv) {
  for (std::size_t i = 1; i < order.size(); ++i) {
    const int v = order[i];
    std::size_t k = i;
    for (; k > 0 && fv[v] < fv[order[k - 1]]; --k) order[k] = order[k - 1];
    order[k] = v;
  }
}

} // namespace

// Minimises f from x0 by Nelder-Mead. A NaN value is stored as +Inf so the
// search steps back out of regions where the objective is undefined (and a
// NaN best vertex is reported as fval = +Inf). The limits are checked
// between iterations, so a last iteration that shrinks can pass MaxFunEvals
// by n + 1. `iterations` counts the steps after the initial simplex.
// Raises core::Error for a negative iteration or evaluation limit.
MinimiseResult fminsearch(const Objective& f, const Eigen::VectorXd& x0, const MinimiseOptions& options,
                          std::span<const Eigen::MatrixXd> extra) {
  if (options.maxiter < 0) throw Error("fminsearch: MaxIter must not be negative, got " + std::to_string(options.maxiter));
  if (options.maxfunevals < 0)
    throw Error("fminsearch: MaxFunEvals must not be negative, got " + std::to_string(options.maxfunevals));

  const int n = static_cast<int>(x0.size());
  const int maxiter = options.maxiter > 0 ? options.maxiter : 200 * n;
  const int maxfunevals = options.maxfunevals > 0 ? options.maxfunevals : 200 * n;

  MinimiseResult result;
  auto evaluate = [&](const Eigen::VectorXd& p) {
    ++result.funcevals;
    const double value = f(p, extra);
    return std::isnan(value) ? std::numeric_limits<double>::infinity() : value;
  };

  if (n == 0) { // nothing to vary: the start is the minimum
    result.x = x0;
    result.fval = evaluate(x0);
    result.converged = true;
    return result;
  }

  // Vertices are the columns of `simplex`; `order` lists them best first.
  // Everything the loop touches is allocated here, once.
  Eigen::MatrixXd simplex(n, n + 1);
  Eigen::VectorXd fv(n + 1);
  std::vector<int> order(n + 1);
  Eigen::VectorXd centroid(n), reflected(n), trial(n);

  simplex.col(0) = x0;
  fv[0] = evaluate(x0);
  for (int i = 0; i < n; ++i) {
    trial = x0;
    trial[i] = trial[i] != 0 ? (1 + kStep) * trial[i] : kZeroStep;
    simplex.col(i + 1) = trial;
    fv[i + 1] = evaluate(trial);
  }
  for (int i = 0; i <= n; ++i) order[i] = i;
  sort_vertices(order, fv);

  for (;;) {
    const int best = order[0], worst = order[n];
    const double fbest = fv[best];
    double fspread = 0, xspread = 0;
    for (int k = 1; k <= n; ++k) {
      fspread = std::max(fspread, std::fabs(fv[order[k]] - fbest));
      xspread = std::max(xspread, (simplex.col(order[k]) - simplex.col(best)).cwiseAbs().maxCoeff());
    }
    if (fspread <= floor_tolerance(options.tolfun, fbest) &&
        xspread <= floor_tolerance(options.tolx, simplex.col(best).cwiseAbs().maxCoeff())) {
      result.converged = true;
      break;
    }
    if (result.iterations >= maxiter || result.funcevals >= maxfunevals) break;
    ++result.iterations;

    centroid.setZero();
    for (int k = 0; k < n; ++k) centroid += simplex.col(order[k]);
    centroid /= n;
    reflected = centroid + kReflect * (centroid - simplex.col(worst));
    const double freflected = evaluate(reflected);
    const double fnext = fv[order[n - 1]];

    // Each branch either stores the accepted point over the worst vertex or
    // shrinks every vertex towards the best.
    auto accept = [&](const Eigen::VectorXd& p, double fp) {
      simplex.col(worst) = p;
      fv[worst] = fp;
    };
    if (freflected < fbest) {
      trial = centroid + kExpand * (reflected - centroid);
      const double fexpanded = evaluate(trial);
      if (fexpanded < freflected) accept(trial, fexpanded);
      else accept(reflected, freflected);
    } else if (freflected < fnext) {
      accept(reflected, freflected);
    } else {
      const bool outside = freflected < fv[worst];
      if (outside) trial = centroid + kContract * (reflected - centroid);
      else trial = centroid - kContract * (centroid - simplex.col(worst));
      const double fcontracted = evaluate(trial);
      if (outside ? fcontracted <= freflected : fcontracted < fv[worst]) {
        accept(trial, fcontracted);
      } else {
        for (int k = 1; k <= n; ++k) {
          const int v = order[k];
          trial = simplex.col(best) + kShrink * (simplex.col(v) - simplex.col(best));
          simplex.col(v) = trial;
          fv[v] = evaluate(trial);
        }
      }
    }
    sort_vertices(order, fv);
  }

  result.x = simplex.col(order[0]);
  result.fval = fv[order[0]];
  return result;
}

} // namespace core
