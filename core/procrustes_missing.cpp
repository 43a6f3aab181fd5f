#include "core/procrustes_missing.h"

#include "core/error.h"
#include "core/identities.h"

#include <cmath>
#include <string>

namespace core::detail {

namespace {

// Centres a complete configuration (1 x 2k, or longer: the rest is left
// alone) and scales it to unit centroid size.
void standardisecomplete(Eigen::RowVectorXd& r, Eigen::Index k) {
  double cx = 0, cy = 0;
  for (Eigen::Index j = 0; j < k; ++j) cx += r(2 * j), cy += r(2 * j + 1);
  cx /= static_cast<double>(k), cy /= static_cast<double>(k);
  double ss = 0;
  for (Eigen::Index j = 0; j < k; ++j) {
    r(2 * j) -= cx, r(2 * j + 1) -= cy;
    ss += r(2 * j) * r(2 * j) + r(2 * j + 1) * r(2 * j + 1);
  }
  r.head(2 * k) /= std::sqrt(ss);
}

// Fits row i of x onto the complete reference r (1 x 2k or more), writing
// the fitted coordinates into row i of out (missing ones NaN).
void fitrow(const Eigen::MatrixXd& x, Eigen::Index i, const Eigen::RowVectorXd& r, Eigen::Index k,
            Eigen::MatrixXd& out, const char* fn) {
  double zx = 0, zy = 0, rx = 0, ry = 0;
  Eigen::Index present = 0;
  for (Eigen::Index j = 0; j < k; ++j) {
    if (missing(x, i, j)) continue;
    zx += x(i, 2 * j), zy += x(i, 2 * j + 1);
    rx += r(2 * j), ry += r(2 * j + 1);
    ++present;
  }
  const auto unusable = [&](const std::string& why) {
    return Error(std::string(fn) + ": specimen row " + std::to_string(i + 1) + " " + why +
                 ", so it cannot be fitted; estimate its missing landmarks or leave it out");
  };
  if (present < 2) throw unusable("has fewer than two landmarks present");
  const double m = static_cast<double>(present);
  zx /= m, zy /= m, rx /= m, ry /= m;
  double zz = 0, rr = 0, ct = 0, st = 0;
  for (Eigen::Index j = 0; j < k; ++j) {
    if (missing(x, i, j)) continue;
    const double ax = x(i, 2 * j) - zx, ay = x(i, 2 * j + 1) - zy;
    const double bx = r(2 * j) - rx, by = r(2 * j + 1) - ry;
    if (!std::isfinite(ax) || !std::isfinite(ay))
      throw Error(std::string(fn) + ": specimen row " + std::to_string(i + 1) +
                  " holds a coordinate that is not a finite number");
    zz += ax * ax + ay * ay;
    rr += bx * bx + by * by;
    ct += bx * ax + by * ay;
    st += by * ax - bx * ay;
  }
  if (!(zz > 0)) throw unusable("has all its present landmarks at one point");
  const double h = std::hypot(ct, st);
  const double c = h > 0 ? ct / h : 1, s = h > 0 ? st / h : 0;
  const double scale = std::sqrt(rr / zz);
  for (Eigen::Index j = 0; j < k; ++j) {
    if (missing(x, i, j)) {
      out(i, 2 * j) = out(i, 2 * j + 1) = std::nan("");
      continue;
    }
    const double ax = (x(i, 2 * j) - zx) * scale, ay = (x(i, 2 * j + 1) - zy) * scale;
    out(i, 2 * j) = ax * c - ay * s + rx;
    out(i, 2 * j + 1) = ax * s + ay * c + ry;
  }
}

} // namespace

bool hasmissing(const Eigen::MatrixXd& x) {
  const Eigen::Index k = x.cols() / 2;
  for (Eigen::Index j = 0; j < 2 * k; ++j)
    for (Eigen::Index i = 0; i < x.rows(); ++i)
      if (std::isnan(x(i, j))) return true;
  return false;
}

Superimposition consensusmissing(const Eigen::MatrixXd& x, const char* fn, bool rootmeasure) {
  const Eigen::Index n = x.rows(), k = (x.cols() - 1) / 2;
  Eigen::Index first = -1;
  std::vector<Eigen::Index> count(static_cast<std::size_t>(k), 0);
  for (Eigen::Index i = 0; i < n; ++i) {
    bool whole = true;
    for (Eigen::Index j = 0; j < k; ++j)
      if (missing(x, i, j)) whole = false;
      else ++count[static_cast<std::size_t>(j)];
    if (whole && first < 0) first = i;
  }
  for (Eigen::Index j = 0; j < k; ++j)
    if (count[static_cast<std::size_t>(j)] == 0)
      throw Error(std::string(fn) + ": landmark " + std::to_string(j + 1) +
                  " is missing in every specimen, so it has no consensus position");
  if (first < 0)
    throw Error(std::string(fn) + ": no specimen has every landmark, so there is none to start the consensus from; "
                                  "estimate the missing landmarks first");

  Superimposition out;
  out.xpt.resize(n, x.cols());
  out.xpt.col(2 * k) = x.col(2 * k);
  Eigen::RowVectorXd r = x.row(first);
  standardisecomplete(r, k);
  const double slotmean = x.col(2 * k).mean();
  Eigen::RowVectorXd next(2 * k + 1);
  for (int pass = 1;; ++pass) {
    next.setZero();
    for (Eigen::Index i = 0; i < n; ++i) {
      fitrow(x, i, r, k, out.xpt, fn);
      for (Eigen::Index j = 0; j < k; ++j)
        if (!missing(out.xpt, i, j)) next(2 * j) += out.xpt(i, 2 * j), next(2 * j + 1) += out.xpt(i, 2 * j + 1);
    }
    for (Eigen::Index j = 0; j < k; ++j) {
      const double m = static_cast<double>(count[static_cast<std::size_t>(j)]);
      next(2 * j) /= m, next(2 * j + 1) /= m;
    }
    // Means over different specimens need not be centred: centre them.
    double cx = 0, cy = 0;
    for (Eigen::Index j = 0; j < k; ++j) cx += next(2 * j), cy += next(2 * j + 1);
    cx /= static_cast<double>(k), cy /= static_cast<double>(k);
    for (Eigen::Index j = 0; j < k; ++j) next(2 * j) -= cx, next(2 * j + 1) -= cy;
    next(2 * k) = slotmean;
    next /= next.head(2 * k).norm();
    double change = (next.head(2 * k) - r.head(2 * k)).squaredNorm();
    if (rootmeasure) change = std::sqrt(change);
    r = next;
    if (!(change > consensus_tolerance)) break;
    if (pass == consensus_pass_limit)
      throw Error(std::string(fn) + ": the consensus did not settle within " + std::to_string(consensus_pass_limit) +
                  " passes (last change " + std::to_string(change) + ")");
  }
  // The rows as fitted to the final consensus.
  for (Eigen::Index i = 0; i < n; ++i) fitrow(x, i, r, k, out.xpt, fn);
  out.y = r;
  return out;
}

Eigen::MatrixXd psupmissing(const Eigen::MatrixXd& x, const Eigen::MatrixXd& xref, const char* fn) {
  const Eigen::Index k = (x.cols() - 1) / 2;
  Eigen::RowVectorXd r(2 * k);
  for (Eigen::Index j = 0; j < 2 * k; ++j) r(j) = xref(j);
  if (!r.allFinite()) throw Error(std::string(fn) + ": the reference has a missing or non-finite coordinate");
  standardisecomplete(r, k);
  Eigen::MatrixXd out(x.rows(), x.cols());
  out.col(2 * k) = x.col(2 * k);
  for (Eigen::Index i = 0; i < x.rows(); ++i) fitrow(x, i, r, k, out, fn);
  return out;
}

} // namespace core::detail
