#include "core/procrustes_missing.h"

#include "core/error.h"
#include "core/identities.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace core::detail {

namespace {

// Centres a configuration (1 x 2k, or longer: the rest is left alone) on
// its landmarks present and scales them to unit centroid size; missing
// ones stay NaN.
void standardise(Eigen::RowVectorXd& r, Eigen::Index k) {
  double cx = 0, cy = 0, m = 0;
  for (Eigen::Index j = 0; j < k; ++j)
    if (!missing(r, 0, j)) cx += r(2 * j), cy += r(2 * j + 1), ++m;
  cx /= m, cy /= m;
  double ss = 0;
  for (Eigen::Index j = 0; j < k; ++j) {
    r(2 * j) -= cx, r(2 * j + 1) -= cy;
    if (!missing(r, 0, j)) ss += r(2 * j) * r(2 * j) + r(2 * j + 1) * r(2 * j + 1);
  }
  r.head(2 * k) /= std::sqrt(ss);
}

// Fits row i of x onto the reference r (1 x 2k or more) over the
// landmarks both have, writing every landmark the row has, fitted, into
// row i of out (missing ones NaN). With a whole reference, as from the
// second pass on, that is every landmark of the row. Returns false,
// leaving row i of out untouched, when `lenient` and the row shares fewer
// than two distinct landmarks with the reference; raises core::Error
// otherwise.
bool fitrow(const Eigen::MatrixXd& x, Eigen::Index i, const Eigen::RowVectorXd& r, Eigen::Index k,
            Eigen::MatrixXd& out, const char* fn, bool lenient = false) {
  const auto shared = [&](Eigen::Index j) { return !missing(x, i, j) && !std::isnan(r(2 * j)); };
  double zx = 0, zy = 0, rx = 0, ry = 0;
  Eigen::Index present = 0;
  for (Eigen::Index j = 0; j < k; ++j) {
    if (!shared(j)) continue;
    zx += x(i, 2 * j), zy += x(i, 2 * j + 1);
    rx += r(2 * j), ry += r(2 * j + 1);
    ++present;
  }
  const auto unusable = [&](const std::string& why) {
    return Error(std::string(fn) + ": specimen row " + std::to_string(i + 1) + " " + why +
                 ", so it cannot be fitted; estimate its missing landmarks or leave it out");
  };
  if (present < 2) {
    if (lenient) return false;
    throw unusable("has fewer than two landmarks present");
  }
  const double m = static_cast<double>(present);
  zx /= m, zy /= m, rx /= m, ry /= m;
  double zz = 0, rr = 0, ct = 0, st = 0;
  for (Eigen::Index j = 0; j < k; ++j) {
    if (!shared(j)) continue;
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
  if (lenient && !(zz > 0 && rr > 0)) return false;
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
  return true;
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
  // The start is the most complete specimen (the first complete one when
  // there is any).
  Eigen::Index first = 0, most = -1;
  std::vector<Eigen::Index> count(static_cast<std::size_t>(k), 0);
  for (Eigen::Index i = 0; i < n; ++i) {
    Eigen::Index has = 0;
    for (Eigen::Index j = 0; j < k; ++j)
      if (!missing(x, i, j)) ++count[static_cast<std::size_t>(j)], ++has;
    if (has > most) most = has, first = i;
  }
  for (Eigen::Index j = 0; j < k; ++j)
    if (count[static_cast<std::size_t>(j)] == 0)
      throw Error(std::string(fn) + ": landmark " + std::to_string(j + 1) +
                  " is missing in every specimen, so it has no consensus position");

  Superimposition out;
  out.xpt.resize(n, x.cols());
  out.xpt.col(2 * k) = x.col(2 * k);
  Eigen::RowVectorXd r = x.row(first);
  standardise(r, k);
  const double slotmean = x.col(2 * k).mean();
  Eigen::RowVectorXd next(2 * k + 1);
  std::vector<Eigen::Index> seen(static_cast<std::size_t>(k));
  for (int pass = 1;; ++pass) {
    // A start that lacks landmarks fits each specimen on the landmarks it
    // shares with it; one that shares too few waits for the next pass,
    // whose reference is whole.
    const bool partial = most < k && pass == 1;
    next.setZero();
    std::fill(seen.begin(), seen.end(), 0);
    for (Eigen::Index i = 0; i < n; ++i) {
      if (!fitrow(x, i, r, k, out.xpt, fn, partial)) continue;
      for (Eigen::Index j = 0; j < k; ++j)
        if (!missing(out.xpt, i, j)) {
          next(2 * j) += out.xpt(i, 2 * j), next(2 * j + 1) += out.xpt(i, 2 * j + 1);
          ++seen[static_cast<std::size_t>(j)];
        }
    }
    for (Eigen::Index j = 0; j < k; ++j) {
      if (seen[static_cast<std::size_t>(j)] == 0)
        throw Error(std::string(fn) + ": no specimen that has landmark " + std::to_string(j + 1) +
                    " shares two landmarks with the most complete specimen (row " + std::to_string(first + 1) +
                    "), so the consensus cannot start");
      const double m = static_cast<double>(seen[static_cast<std::size_t>(j)]);
      next(2 * j) /= m, next(2 * j + 1) /= m;
    }
    // Means over different specimens need not be centred: centre them.
    double cx = 0, cy = 0;
    for (Eigen::Index j = 0; j < k; ++j) cx += next(2 * j), cy += next(2 * j + 1);
    cx /= static_cast<double>(k), cy /= static_cast<double>(k);
    for (Eigen::Index j = 0; j < k; ++j) next(2 * j) -= cx, next(2 * j + 1) -= cy;
    next(2 * k) = slotmean;
    next /= next.head(2 * k).norm();
    double change = partial ? INFINITY : (next.head(2 * k) - r.head(2 * k)).squaredNorm();
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
  standardise(r, k);
  Eigen::MatrixXd out(x.rows(), x.cols());
  out.col(2 * k) = x.col(2 * k);
  for (Eigen::Index i = 0; i < x.rows(); ++i) fitrow(x, i, r, k, out, fn);
  return out;
}

} // namespace core::detail
