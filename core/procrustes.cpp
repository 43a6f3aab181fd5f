#include "core/procrustes.h"

#include "core/error.h"
#include "core/procrustes_missing.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <numbers>
#include <string>
#include <sys/mman.h>
#include <vector>

namespace core {

namespace {

// Rows are handled in blocks small enough that a block of every coordinate
// column stays in cache between the sweeps over it; data sets are
// column-major, so within a block each column is one contiguous run.
constexpr Eigen::Index block_rows = 256;

// Data sets of at most this many values (1 MB) keep their standardised rows
// between sweeps; larger ones form them afresh from the raw data each
// sweep, which reads no more memory than reading stored ones would and
// saves storing them.
// What each superimposition is called in its messages: the words a user
// knows it by.
constexpr const char* consensusname = "Superimposition";
constexpr const char* pcaname = "Superimposition on the principal axes";
constexpr const char* fitname = "Fit onto the consensus";

constexpr Eigen::Index stored_values = Eigen::Index{1} << 17;

void checkshape(const Eigen::MatrixXd& x, const char* fn, Eigen::Index minrows) {
  if (x.cols() < 3 || x.cols() % 2 == 0)
    throw Error(std::string(fn) + ": the data set has " + std::to_string(x.cols()) +
                " columns, but a specimen row holds 2k + 1 (k landmarks and the size slot)");
  if (x.rows() < minrows)
    throw Error(std::string(fn) + ": a consensus needs at least two specimens, but the data set has " +
                std::to_string(x.rows()));
}

std::string unscalable(const char* fn, Eigen::Index row, bool pointlike) {
  const std::string name = std::to_string(row + 1);
  if (pointlike)
    return std::string(fn) + ": the landmarks of specimen row " + name +
           " all lie at one point (centroid size 0), so it cannot be scaled";
  return std::string(fn) + ": specimen row " + name + " holds a coordinate that is not a finite number";
}

// A result matrix of the data set's shape whose pages are not yet touched.
// Large ones are offered to the kernel as huge pages, so that filling them
// costs a few faults instead of one per 4 kB page.
Eigen::MatrixXd freshresult(Eigen::Index n, Eigen::Index cols) {
  Eigen::MatrixXd out(n, cols);
  constexpr std::uintptr_t huge = std::uintptr_t{1} << 21;
  const auto begin = reinterpret_cast<std::uintptr_t>(out.data());
  const std::uintptr_t end = begin + static_cast<std::uintptr_t>(out.size()) * sizeof(double);
  const std::uintptr_t first = (begin + huge - 1) & ~(huge - 1), last = end & ~(huge - 1);
  // Advice only: a kernel without transparent huge pages refuses it, and
  // the pages then come one by one as before.
  if (last > first) madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
  return out;
}

// What one sweep over the rows does. Every sweep reads the raw data and
// forms each standardised coordinate afresh as (x - centroid) / size, with
// the same two operations each time, so the standardised data set is never
// stored yet every sweep sees it to the last bit.
struct Sweep {
  bool standardise = false; // find each row's centroid and scale first
  bool rotate = false;      // find each row's rotation onto the reference
  bool sums = false;        // sum the rotated coordinates per column
  bool write = false;       // store the rotated rows in the result
  bool compose = false;     // turn every row further by (ct, st)
  double ct = 1, st = 0;
};

// Completes a block's sum of nb products in the order of Eigen's vectorised
// dot product on two-double registers, so that a data set of one chunk
// gives the same column sums, to the last bit, as per-block dot products:
// `part` holds the sums of the products of rows 0, 1, 2, 3 mod 4 over the
// whole rounds of four, `tail` the products of the rows after them.
double dotfinish(const double part[4], const double tail[3], Eigen::Index nb) {
  if (nb >= 4) {
    double r0 = part[0] + part[2], r1 = part[1] + part[3];
    if (nb % 4 >= 2) {
      r0 += tail[0];
      r1 += tail[1];
    }
    double t = r0 + r1;
    if (nb % 2 == 1) t += tail[nb % 4 - 1];
    return t;
  }
  double t = tail[0];
  for (Eigen::Index b = 1; b < nb; ++b) t += tail[b];
  return t;
}

// The state shared by the threads of one call. The rows are cut into the
// chunks of the split, whatever the thread count: every column sum is
// first summed within a chunk and the chunks' sums are then added in chunk
// order, so the arithmetic, and with it every bit of the result, does not
// depend on which thread handled which chunk.
struct Superimposer {
  const char* fn;
  const double* x;
  Eigen::Index n, k, nchunks;
  double* out = nullptr;              // n x (2k + 1), column-major
  // Whether the first sweep stores the standardised rows in the result,
  // for the later sweeps to read them there: for data sets that stay in
  // cache, where forming them afresh would cost more than reading them.
  // Either way every sweep sees the same values, so the bits of the
  // result do not depend on it.
  bool stored = false;
  std::unique_ptr<double[]> rowstate; // per row: centroid x, y, 1 / size, cos, sin
  double *mx, *my, *inv, *c, *s;
  std::vector<double> chunksums;      // per chunk: 2k column sums
  Eigen::MatrixX2d sums;              // the last sweep's column sums (x, y per landmark)
  std::vector<Eigen::Index> badrow;   // per chunk: first unscalable row, or -1
  std::vector<char> badpoint;         // per chunk: whether that row is point-like
  Eigen::RowVectorXd r;               // the reference, 1 x (2k + 1)
  Sweep sweep;

  Superimposer(const Eigen::MatrixXd& data, const char* name, Eigen::Index chunkrows)
      : fn(name), x(data.data()), n(data.rows()), k((data.cols() - 1) / 2),
        nchunks(chunkcount(data.rows(), chunkrows)), rowstate(std::make_unique_for_overwrite<double[]>(5 * static_cast<std::size_t>(n))),
        mx(rowstate.get()), my(mx + n), inv(my + n), c(inv + n), s(c + n),
        chunksums(static_cast<std::size_t>(nchunks * 2 * k)), sums(k, 2),
        badrow(static_cast<std::size_t>(nchunks), -1), badpoint(static_cast<std::size_t>(nchunks), 0) {}

  // The first unscalable row's message, or empty.
  std::string badmessage() const {
    for (Eigen::Index q = 0; q < nchunks; ++q)
      if (badrow[q] >= 0) return unscalable(fn, badrow[q], badpoint[q] != 0);
    return {};
  }

  // Adds chunk q's column sums to the sweep's; called in chunk order.
  void addsums(Eigen::Index q) {
    for (Eigen::Index j = 0; j < k; ++j) {
      sums(j, 0) += chunksums[q * 2 * k + 2 * j];
      sums(j, 1) += chunksums[q * 2 * k + 2 * j + 1];
    }
  }

  void standardiseblock(Eigen::Index chunk, Eigen::Index i0, Eigen::Index nb) {
    double* bx = mx + i0;
    double* by = my + i0;
    double* bs = inv + i0;
    std::fill_n(bx, nb, 0.0);
    std::fill_n(by, nb, 0.0);
    std::fill_n(bs, nb, 0.0);
    for (Eigen::Index j = 0; j < k; ++j) {
      const double* xs = x + 2 * j * n + i0;
      const double* ys = xs + n;
      for (Eigen::Index b = 0; b < nb; ++b) {
        bx[b] += xs[b];
        by[b] += ys[b];
      }
    }
    for (Eigen::Index b = 0; b < nb; ++b) {
      bx[b] /= static_cast<double>(k);
      by[b] /= static_cast<double>(k);
    }
    for (Eigen::Index j = 0; j < k; ++j) {
      const double* xs = x + 2 * j * n + i0;
      const double* ys = xs + n;
      for (Eigen::Index b = 0; b < nb; ++b) {
        const double dx = xs[b] - bx[b], dy = ys[b] - by[b];
        bs[b] += dx * dx + dy * dy;
      }
    }
    for (Eigen::Index b = 0; b < nb; ++b) {
      const double size = std::sqrt(bs[b]);
      // One division per row rather than per coordinate: the scaled values
      // agree with a division to the last bit or one unit of it.
      bs[b] = 1.0 / size;
      if ((std::isfinite(size) && size > 0) || badrow[chunk] >= 0) continue;
      badrow[chunk] = i0 + b;
      badpoint[chunk] = size == 0;
    }
    if (!stored) return;
    for (Eigen::Index j = 0; j < k; ++j) {
      const double* xs = x + 2 * j * n + i0;
      const double* ys = xs + n;
      double* __restrict__ xd = out + 2 * j * n + i0;
      double* __restrict__ yd = xd + n;
      for (Eigen::Index b = 0; b < nb; ++b) {
        xd[b] = (xs[b] - bx[b]) * bs[b];
        yd[b] = (ys[b] - by[b]) * bs[b];
      }
    }
    std::copy_n(x + 2 * k * n + i0, nb, out + 2 * k * n + i0);
  }

  // The rotation that brings each standardised row onto the reference r,
  // as its cosine and sine. With ct = sum(rx x + ry y) and
  // st = sum(x ry - y rx) the best angle is atan2(st, ct); its cosine and
  // sine are ct / h and st / h with h = hypot(ct, st), which saves the
  // trigonometry. A row orthogonal to r (h = 0) is left unturned, as
  // atan2(0, 0) = 0 would.
  template <bool Stored>
  void rotateblock(Eigen::Index i0, Eigen::Index nb) {
    double a[block_rows], e[block_rows];
    const double* bx = mx + i0;
    const double* by = my + i0;
    const double* bs = inv + i0;
    std::fill_n(a, nb, 0.0);
    std::fill_n(e, nb, 0.0);
    for (Eigen::Index j = 0; j < k; ++j) {
      const double* xs = x + 2 * j * n + i0;
      const double* ys = xs + n;
      const double rx = r(2 * j), ry = r(2 * j + 1);
      if constexpr (Stored) {
        xs = out + 2 * j * n + i0;
        ys = xs + n;
      }
      for (Eigen::Index b = 0; b < nb; ++b) {
        const double zx = Stored ? xs[b] : (xs[b] - bx[b]) * bs[b], zy = Stored ? ys[b] : (ys[b] - by[b]) * bs[b];
        a[b] += rx * zx + ry * zy;
        e[b] += ry * zx - rx * zy;
      }
    }
    double* bc = c + i0;
    double* bn = s + i0;
    for (Eigen::Index b = 0; b < nb; ++b) {
      const double h = std::sqrt(a[b] * a[b] + e[b] * e[b]);
      bc[b] = h > 0 ? a[b] / h : 1.0;
      bn[b] = h > 0 ? e[b] / h : 0.0;
    }
  }

  // Turns every row of the block by its rotation, x' = x c - y s and
  // y' = x s + y c, storing the turned rows and/or adding the block's
  // column sums of them, as sum(c x) - sum(s y) and sum(s x) + sum(c y),
  // into the chunk's sums.
  template <bool Stored, bool Sums, bool Write>
  void turnblock(double* partial, Eigen::Index i0, Eigen::Index nb, const double* __restrict__ bc,
                 const double* __restrict__ bn) {
    const double* bx = mx + i0;
    const double* by = my + i0;
    const double* bs = inv + i0;
    const Eigen::Index full = nb - nb % 4;
    for (Eigen::Index j = 0; j < k; ++j) {
      // Stored rows are read from the result and turned where they lie.
      const double* xs = (Stored ? out : x) + 2 * j * n + i0;
      const double* ys = xs + n;
      double* xd = Write ? out + 2 * j * n + i0 : nullptr;
      double* yd = Write ? xd + n : nullptr;
      // Four sums (c x, s y, s x, c y) in four interleaved parts each.
      double cx[4] = {}, sy[4] = {}, sx[4] = {}, cy[4] = {};
      double tail[4][3];
      for (Eigen::Index b0 = 0; b0 < full; b0 += 4)
        for (int l = 0; l < 4; ++l) {
          const Eigen::Index b = b0 + l;
          const double zx = Stored ? xs[b] : (xs[b] - bx[b]) * bs[b], zy = Stored ? ys[b] : (ys[b] - by[b]) * bs[b];
          if constexpr (Write) {
            xd[b] = zx * bc[b] - zy * bn[b];
            yd[b] = zx * bn[b] + zy * bc[b];
          }
          if constexpr (Sums) {
            cx[l] += bc[b] * zx;
            sy[l] += bn[b] * zy;
            sx[l] += bn[b] * zx;
            cy[l] += bc[b] * zy;
          }
        }
      for (Eigen::Index b = full; b < nb; ++b) {
        const Eigen::Index t = b - full;
        const double zx = Stored ? xs[b] : (xs[b] - bx[b]) * bs[b], zy = Stored ? ys[b] : (ys[b] - by[b]) * bs[b];
        if constexpr (Write) {
          xd[b] = zx * bc[b] - zy * bn[b];
          yd[b] = zx * bn[b] + zy * bc[b];
        }
        tail[0][t] = bc[b] * zx;
        tail[1][t] = bn[b] * zy;
        tail[2][t] = bn[b] * zx;
        tail[3][t] = bc[b] * zy;
      }
      if constexpr (Sums) {
        const double dcx = dotfinish(cx, tail[0], nb), dsy = dotfinish(sy, tail[1], nb);
        const double dsx = dotfinish(sx, tail[2], nb), dcy = dotfinish(cy, tail[3], nb);
        partial[2 * j] += dcx - dsy;
        partial[2 * j + 1] += dsx + dcy;
      }
    }
    if constexpr (Write && !Stored) std::copy_n(x + 2 * k * n + i0, nb, out + 2 * k * n + i0);
  }

  // One sweep's work on one chunk of rows.
  void chunk(const Chunk& rows) {
    const Eigen::Index q = rows.index, first = rows.begin, last = rows.end;
    double* partial = chunksums.data() + q * 2 * k;
    if (sweep.sums) std::fill_n(partial, 2 * k, 0.0);
    double cc[block_rows], ss[block_rows];
    for (Eigen::Index i0 = first; i0 < last; i0 += block_rows) {
      const Eigen::Index nb = std::min(block_rows, last - i0);
      if (sweep.standardise) standardiseblock(q, i0, nb);
      if (sweep.rotate) {
        if (stored)
          rotateblock<true>(i0, nb);
        else
          rotateblock<false>(i0, nb);
      }
      const double* bc = c + i0;
      const double* bn = s + i0;
      if (sweep.compose) {
        // Each row's own rotation and the common turn compose into one.
        for (Eigen::Index b = 0; b < nb; ++b) {
          cc[b] = bc[b] * sweep.ct - bn[b] * sweep.st;
          ss[b] = bn[b] * sweep.ct + bc[b] * sweep.st;
        }
        bc = cc;
        bn = ss;
      }
      if (stored && sweep.sums)
        turnblock<true, true, false>(partial, i0, nb, bc, bn);
      else if (stored && sweep.write)
        turnblock<true, false, true>(partial, i0, nb, bc, bn);
      else if (sweep.sums && sweep.write)
        turnblock<false, true, true>(partial, i0, nb, bc, bn);
      else if (sweep.sums)
        turnblock<false, true, false>(partial, i0, nb, bc, bn);
      else if (sweep.write)
        turnblock<false, false, true>(partial, i0, nb, bc, bn);
    }
  }
};

// Runs sweeps until `settle` says to stop: every chunk of a sweep is run
// by whichever thread of the team takes it, the chunks' column sums are
// added in chunk order, and then `settle`, on the calling thread, reads
// them and sets up the next sweep (returning false when there is none).
template <class Settle>
void runsweeps(Superimposer& w, unsigned threads, const Split& split, Settle settle) {
  Team team(threads);
  do {
    if (w.sweep.sums) w.sums.setZero();
    team.parallel_for(
        w.n, split, [](unsigned) {}, [&](const Chunk& c, unsigned) { w.chunk(c); },
        [&](const Chunk& c) {
          if (w.sweep.sums) w.addsums(c.index);
        });
  } while (settle());
}

// The first row standardised, with its size slot: the starting reference.
Eigen::RowVectorXd firstrow(const Eigen::MatrixXd& x) {
  const Eigen::Index k = (x.cols() - 1) / 2;
  double mx = 0, my = 0, size = 0;
  for (Eigen::Index j = 0; j < k; ++j) {
    mx += x(0, 2 * j);
    my += x(0, 2 * j + 1);
  }
  mx /= static_cast<double>(k);
  my /= static_cast<double>(k);
  for (Eigen::Index j = 0; j < k; ++j) {
    const double dx = x(0, 2 * j) - mx, dy = x(0, 2 * j + 1) - my;
    size += dx * dx + dy * dy;
  }
  const double inv = 1.0 / std::sqrt(size);
  Eigen::RowVectorXd r(x.cols());
  for (Eigen::Index j = 0; j < k; ++j) {
    r(2 * j) = (x(0, 2 * j) - mx) * inv;
    r(2 * j + 1) = (x(0, 2 * j + 1) - my) * inv;
  }
  r(2 * k) = x(0, 2 * k);
  return r;
}

// Turns the converged consensus so that its principal axis within 45
// degrees of the x axis stands upright, and returns that turn as cosine
// and sine for the rows to share.
std::pair<double, double> uprightturn(Eigen::RowVectorXd& r) {
  const Eigen::Index k = (r.size() - 1) / 2;
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
  return {ct, st};
}

// The iteration shared by both consensus functions. The first sweep
// standardises and makes the first rotation in one read of the data; each
// later sweep rotates onto the new reference. The rows are written once:
// by the last rotating sweep when the change has been shrinking fast
// enough to predict that it is the last, or else by one more sweep after
// convergence. `upright` selects getconsensuspca's stopping measure (the
// square root of the summed squared change) and its final common turn.
Superimposition iterate(const Eigen::MatrixXd& x, const char* fn, bool upright, unsigned threads, const Split& split) {
  checkshape(x, fn, 2);
  const Eigen::Index n = x.rows(), k = (x.cols() - 1) / 2;
  Superimposer w(x, fn, split.chunk);
  Superimposition result;
  result.xpt = freshresult(n, x.cols());
  w.out = result.xpt.data();
  w.stored = x.size() <= stored_values;
  const double slotmean = x.col(2 * k).mean();
  w.r = firstrow(x);
  w.sweep = {.standardise = true, .rotate = true, .sums = true};
  Eigen::RowVectorXd next(2 * k + 1);
  double previous = 0;
  int pass = 0;
  bool finished = false;
  auto settle = [&] {
    if (finished) return false;
    ++pass;
    if (pass == 1) {
      const std::string bad = w.badmessage();
      if (!bad.empty()) throw Error(bad);
    }
    const bool wrote = w.sweep.write;
    const Eigen::MatrixX2d& sums = w.sums;
    for (Eigen::Index j = 0; j < k; ++j) {
      next(2 * j) = sums(j, 0) / static_cast<double>(n);
      next(2 * j + 1) = sums(j, 1) / static_cast<double>(n);
    }
    next(2 * k) = slotmean;
    next /= next.head(2 * k).norm();
    double change = (next.head(2 * k) - w.r.head(2 * k)).squaredNorm();
    if (upright) change = std::sqrt(change);
    w.r = next;
    if (!(change > consensus_tolerance)) {
      finished = true;
      w.sweep = {.write = true};
      if (upright) {
        const auto [ct, st] = uprightturn(w.r);
        w.sweep = {.write = true, .compose = true, .ct = ct, .st = st};
      }
      return !wrote || upright;
    }
    if (pass == consensus_pass_limit)
      throw Error(std::string(fn) + ": the consensus did not settle within " + std::to_string(consensus_pass_limit) +
                  " passes (last change " + std::to_string(change) + ")");
    // The change shrinks by a roughly constant factor per pass; when that
    // factor says the next pass will settle, it writes the rows as it
    // turns them, saving a sweep. A wrong guess costs only the writing.
    const bool lastlikely = !upright && !w.stored && pass >= 2 && change * change <= consensus_tolerance * previous;
    previous = change;
    w.sweep = {.rotate = true, .sums = true, .write = lastlikely};
    return true;
  };
  runsweeps(w, threads, split, settle);
  result.y = w.r;
  return result;
}

Eigen::MatrixXd psupcomplete(const Eigen::MatrixXd& x, const Eigen::MatrixXd& xref, unsigned threads,
                             const Split& split);

// Runs the complete-data path; a data set it refuses because some
// landmark is missing (NaN) goes to the missing-landmark path instead, so
// complete data pay nothing for the check.
template <class Complete, class Missing>
auto completeormissing(const Eigen::MatrixXd& x, Complete complete, Missing missing) {
  try {
    return complete();
  } catch (const Error&) {
    if (!detail::hasmissing(x)) throw;
  }
  return missing();
}

} // namespace

Superimposition getconsensus(const Eigen::MatrixXd& x, unsigned threads, const Split& split) {
  return completeormissing(
      x, [&] { return iterate(x, consensusname, false, threads, split); },
      [&] { return detail::consensusmissing(x, consensusname, false); });
}

Eigen::MatrixXd getpsup(const Eigen::MatrixXd& x, const Eigen::MatrixXd& xref, unsigned threads, const Split& split) {
  checkshape(x, fitname, 0);
  if (xref.size() < x.cols() - 1)
    throw Error(std::string(fitname) + ": the reference holds " + std::to_string(xref.size()) + " values, but the data set has " +
                std::to_string(x.cols() - 1) + " coordinates per specimen");
  return completeormissing(
      x, [&] { return psupcomplete(x, xref, threads, split); }, [&] { return detail::psupmissing(x, xref, fitname); });
}

Superimposition getconsensuspca(const Eigen::MatrixXd& x, unsigned threads, const Split& split) {
  return completeormissing(
      x, [&] { return iterate(x, pcaname, true, threads, split); },
      [&] {
        Superimposition s = detail::consensusmissing(x, pcaname, true);
        const auto [ct, st] = uprightturn(s.y);
        const Eigen::Index k = (x.cols() - 1) / 2;
        for (Eigen::Index i = 0; i < s.xpt.rows(); ++i)
          for (Eigen::Index j = 0; j < k; ++j) {
            const double xo = s.xpt(i, 2 * j), yo = s.xpt(i, 2 * j + 1);
            s.xpt(i, 2 * j) = xo * ct - yo * st;
            s.xpt(i, 2 * j + 1) = xo * st + yo * ct;
          }
        return s;
      });
}

namespace {

Eigen::MatrixXd psupcomplete(const Eigen::MatrixXd& x, const Eigen::MatrixXd& xref, unsigned threads,
                             const Split& split) {
  Eigen::MatrixXd z = freshresult(x.rows(), x.cols());
  if (x.rows() == 0) return z;
  Superimposer w(x, fitname, split.chunk);
  w.out = z.data();
  w.r.resize(x.cols());
  for (Eigen::Index j = 0; j < x.cols() - 1; ++j) w.r(j) = xref(j);
  w.r(x.cols() - 1) = 0;
  // One sweep: standardise, rotate and write each block while it is in
  // cache.
  w.sweep = {.standardise = true, .rotate = true, .write = true};
  runsweeps(w, threads, split, [&] {
    const std::string bad = w.badmessage();
    if (!bad.empty()) throw Error(bad);
    return false;
  });
  return z;
}

} // namespace
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
