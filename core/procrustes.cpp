#include "core/procrustes.h"

#include "core/error.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <string>

namespace core {

namespace {

// Rows are handled in blocks small enough that a block of every coordinate
// column stays in cache between the two sweeps of a pass; data sets are
// column-major, so within a block each column is one contiguous run.
constexpr Eigen::Index block_rows = 256;

using Segment = Eigen::VectorXd::SegmentReturnType;

void checkshape(const Eigen::MatrixXd& x, const char* fn, Eigen::Index minrows) {
  if (x.cols() < 3 || x.cols() % 2 == 0)
    throw Error(std::string(fn) + ": the data set has " + std::to_string(x.cols()) +
                " columns, but a specimen row holds 2k + 1 (k landmarks and the size slot)");
  if (x.rows() < minrows)
    throw Error(std::string(fn) + ": a consensus needs at least two specimens, but the data set has " +
                std::to_string(x.rows()));
}

// Centres every row on its centroid and scales its coordinates to unit
// centroid size; the size slot is copied. A row that cannot be scaled
// (all landmarks at one point, or a value that is not finite) is named.
Eigen::MatrixXd standardise(const Eigen::MatrixXd& x, const char* fn) {
  const Eigen::Index n = x.rows(), k = (x.cols() - 1) / 2;
  Eigen::MatrixXd z(n, x.cols());
  double mx[block_rows], my[block_rows], size[block_rows];
  for (Eigen::Index i0 = 0; i0 < n; i0 += block_rows) {
    const Eigen::Index nb = std::min(block_rows, n - i0);
    std::fill_n(mx, nb, 0.0);
    std::fill_n(my, nb, 0.0);
    std::fill_n(size, nb, 0.0);
    for (Eigen::Index j = 0; j < k; ++j) {
      const double* xs = &x(i0, 2 * j);
      const double* ys = &x(i0, 2 * j + 1);
      for (Eigen::Index b = 0; b < nb; ++b) {
        mx[b] += xs[b];
        my[b] += ys[b];
      }
    }
    for (Eigen::Index b = 0; b < nb; ++b) {
      mx[b] /= static_cast<double>(k);
      my[b] /= static_cast<double>(k);
    }
    for (Eigen::Index j = 0; j < k; ++j) {
      const double* xs = &x(i0, 2 * j);
      const double* ys = &x(i0, 2 * j + 1);
      for (Eigen::Index b = 0; b < nb; ++b) {
        const double dx = xs[b] - mx[b], dy = ys[b] - my[b];
        size[b] += dx * dx + dy * dy;
      }
    }
    for (Eigen::Index b = 0; b < nb; ++b) {
      size[b] = std::sqrt(size[b]);
      if (std::isfinite(size[b]) && size[b] > 0) continue;
      const std::string row = std::to_string(i0 + b + 1);
      if (size[b] == 0)
        throw Error(std::string(fn) + ": the landmarks of specimen row " + row +
                    " all lie at one point (centroid size 0), so it cannot be scaled");
      throw Error(std::string(fn) + ": specimen row " + row + " holds a coordinate that is not a finite number");
    }
    // One division per row rather than per coordinate: the scaled values
    // agree with a division to the last bit or one unit of it.
    for (Eigen::Index b = 0; b < nb; ++b) size[b] = 1.0 / size[b];
    for (Eigen::Index j = 0; j < k; ++j) {
      const double* xs = &x(i0, 2 * j);
      const double* ys = &x(i0, 2 * j + 1);
      double* __restrict__ xd = &z(i0, 2 * j);
      double* __restrict__ yd = &z(i0, 2 * j + 1);
      for (Eigen::Index b = 0; b < nb; ++b) {
        xd[b] = (xs[b] - mx[b]) * size[b];
        yd[b] = (ys[b] - my[b]) * size[b];
      }
    }
  }
  z.col(2 * k) = x.col(2 * k);
  return z;
}

// The rotation that brings each standardised row onto the reference r, as
// its cosine and sine. With ct = sum(rx x + ry y) and st = sum(x ry - y rx)
// the best angle is atan2(st, ct); its cosine and sine are ct / h and
// st / h with h = hypot(ct, st), which saves the trigonometry. A row
// orthogonal to r (h = 0) is left unturned, as atan2(0, 0) = 0 would.
//
// When `sums` is given it also accumulates the column sums of the rotated
// coordinates (x into sums.col(0), y into sums.col(1)), so that one sweep
// over the data serves both the rotation and the next mean.
void rotations(const Eigen::MatrixXd& z, const Eigen::RowVectorXd& r, Eigen::VectorXd& c, Eigen::VectorXd& s,
               Eigen::MatrixX2d* sums) {
  const Eigen::Index n = z.rows(), k = (z.cols() - 1) / 2;
  c.resize(n);
  s.resize(n);
  if (sums != nullptr) sums->setZero(k, 2);
  Eigen::ArrayXd ct(block_rows), st(block_rows), h(block_rows);
  for (Eigen::Index i0 = 0; i0 < n; i0 += block_rows) {
    const Eigen::Index nb = std::min(block_rows, n - i0);
    auto a = ct.head(nb), b = st.head(nb), hb = h.head(nb);
    a.setZero();
    b.setZero();
    for (Eigen::Index j = 0; j < k; ++j) {
      const auto xj = z.col(2 * j).segment(i0, nb).array();
      const auto yj = z.col(2 * j + 1).segment(i0, nb).array();
      const double rx = r(2 * j), ry = r(2 * j + 1);
      a += rx * xj + ry * yj;
      b += ry * xj - rx * yj;
    }
    hb = (a.square() + b.square()).sqrt();
    auto cb = c.segment(i0, nb).array();
    auto sb = s.segment(i0, nb).array();
    cb = (hb > 0).select(a / hb, 1.0);
    sb = (hb > 0).select(b / hb, 0.0);
    if (sums == nullptr) continue;
    for (Eigen::Index j = 0; j < k; ++j) {
      const auto xj = z.col(2 * j).segment(i0, nb);
      const auto yj = z.col(2 * j + 1).segment(i0, nb);
      const auto cv = c.segment(i0, nb), sv = s.segment(i0, nb);
      (*sums)(j, 0) += cv.dot(xj) - sv.dot(yj);
      (*sums)(j, 1) += sv.dot(xj) + cv.dot(yj);
    }
  }
}

// Turns every row i by the angle whose cosine and sine are c(i), s(i):
// x' = x c - y s, y' = x s + y c, both from the old values. Blocked like
// the passes so that c and s stay in cache across the columns.
void turnrows(Eigen::MatrixXd& z, const Eigen::VectorXd& c, const Eigen::VectorXd& s) {
  const Eigen::Index n = z.rows(), k = (z.cols() - 1) / 2;
  for (Eigen::Index i0 = 0; i0 < n; i0 += block_rows) {
    const Eigen::Index nb = std::min(block_rows, n - i0);
    const double* cb = c.data() + i0;
    const double* sb = s.data() + i0;
    for (Eigen::Index j = 0; j < k; ++j) {
      double* xs = &z(i0, 2 * j);
      double* ys = &z(i0, 2 * j + 1);
      for (Eigen::Index b = 0; b < nb; ++b) {
        const double xo = xs[b], yo = ys[b];
        xs[b] = xo * cb[b] - yo * sb[b];
        ys[b] = xo * sb[b] + yo * cb[b];
      }
    }
  }
}

// The iteration shared by both consensus functions. `rootmeasure` selects
// the square root of the summed squared change as the stopping measure.
Superimposition iterate(const Eigen::MatrixXd& x, const char* fn, bool rootmeasure, Eigen::VectorXd& c,
                        Eigen::VectorXd& s) {
  checkshape(x, fn, 2);
  Superimposition out;
  out.xpt = standardise(x, fn);
  const Eigen::Index n = x.rows(), k = (x.cols() - 1) / 2;
  const double slotmean = out.xpt.col(2 * k).mean();
  Eigen::RowVectorXd r = out.xpt.row(0);
  Eigen::RowVectorXd next(2 * k + 1);
  Eigen::MatrixX2d sums(k, 2);
  for (int pass = 1;; ++pass) {
    rotations(out.xpt, r, c, s, &sums);
    for (Eigen::Index j = 0; j < k; ++j) {
      next(2 * j) = sums(j, 0) / static_cast<double>(n);
      next(2 * j + 1) = sums(j, 1) / static_cast<double>(n);
    }
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
  out.y = r;
  return out;
}

} // namespace

Superimposition getconsensus(const Eigen::MatrixXd& x) {
  Eigen::VectorXd c, s;
  Superimposition out = iterate(x, "getconsensus", false, c, s);
  turnrows(out.xpt, c, s);
  return out;
}

Eigen::MatrixXd getpsup(const Eigen::MatrixXd& x, const Eigen::MatrixXd& xref) {
  checkshape(x, "getpsup", 0);
  if (xref.size() < x.cols() - 1)
    throw Error("getpsup: the reference holds " + std::to_string(xref.size()) + " values, but the data set has " +
                std::to_string(x.cols() - 1) + " coordinates per specimen");
  Eigen::MatrixXd z = standardise(x, "getpsup");
  Eigen::RowVectorXd r(x.cols());
  for (Eigen::Index j = 0; j < x.cols() - 1; ++j) r(j) = xref(j);
  r(x.cols() - 1) = 0;
  Eigen::VectorXd c, s;
  rotations(z, r, c, s, nullptr);
  turnrows(z, c, s);
  return z;
}

Superimposition getconsensuspca(const Eigen::MatrixXd& x) {
  Eigen::VectorXd c, s;
  Superimposition out = iterate(x, "getconsensuspca", true, c, s);
  const Eigen::Index k = (x.cols() - 1) / 2;
  Eigen::RowVectorXd& r = out.y;

  // The principal axis of the consensus within 45 degrees of the x axis
  // makes the angle phi with tan(2 phi) = 2 Sxy / (Sxx - Syy); turning by
  // -phi lays it on the x axis and a further quarter turn clockwise stands
  // it upright.
  double sxy = 0, sxx = 0, syy = 0;
  for (Eigen::Index j = 0; j < k; ++j) {
    sxy += r(2 * j) * r(2 * j + 1);
    sxx += r(2 * j) * r(2 * j);
    syy += r(2 * j + 1) * r(2 * j + 1);
  }
  double theta = 0.5 * std::atan(-2 * sxy / (sxx - syy));
  // Equal second moments and no product moment: every direction is a
  // principal axis, so keep the x axis rather than turn by a non-number.
  if (std::isnan(theta)) theta = 0;
  theta -= std::numbers::pi / 2;
  const double ct = std::cos(theta), st = std::sin(theta);

  for (Eigen::Index j = 0; j < k; ++j) {
    const double xj = r(2 * j), yj = r(2 * j + 1);
    r(2 * j) = xj * ct - yj * st;
    r(2 * j + 1) = xj * st + yj * ct;
  }
  r(2 * k) = 999;
  // Each row's own rotation onto the consensus and the common turn by theta
  // compose into one rotation, applied in a single sweep.
  const Eigen::VectorXd c2 = c * ct - s * st;
  const Eigen::VectorXd s2 = s * ct + c * st;
  turnrows(out.xpt, c2, s2);
  return out;
}

Eigen::MatrixXd pdistbc(const Eigen::MatrixXd& xref, const Eigen::MatrixXd& x) {
  const Eigen::Index m = x.rows(), n = x.cols();
  if (m > 0 && n < 1) throw Error("pdistbc: the data set has no columns");
  if (m > 0 && xref.size() < n - 1)
    throw Error("pdistbc: the reference holds " + std::to_string(xref.size()) + " values, but the data set has " +
                std::to_string(n - 1) + " coordinates per specimen");
  Eigen::MatrixXd p(m, 2);
  for (Eigen::Index i = 0; i < m; ++i) {
    double d = 0;
    for (Eigen::Index j = 0; j < n - 1; ++j) {
      const double e = x(i, j) - xref(j);
      d += e * e;
    }
    p(i, 0) = std::sqrt(d);
    p(i, 1) = x(i, n - 1);
  }
  return p;
}

} // namespace core
