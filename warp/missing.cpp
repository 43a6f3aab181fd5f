#include "warp/missing.h"

#include "core/configurations.h"
#include "core/error.h"
#include "core/procrustes.h"
#include "warp/thin_plate.h"

#include <Eigen/Eigenvalues>
#include <Eigen/LU>

#include <cctype>
#include <cmath>
#include <map>
#include <string>

namespace warp {
namespace {

// The slot counts as the centroid size of the landmarks present when it
// agrees with it to this share: a row file keeps six significant digits.
constexpr double slot_agreement = 1e-5;

Eigen::Index landmarkcount(const Eigen::MatrixXd& x) {
  if (x.cols() % 2 == 0)
    throw core::Error("estimatemissing: a data set has 2k + 1 columns (k landmarks and the size slot), but this one has " +
                      std::to_string(x.cols()));
  return x.cols() / 2;
}

std::vector<Eigen::Index> absent(const Eigen::MatrixXd& x, Eigen::Index i, Eigen::Index k) {
  std::vector<Eigen::Index> out;
  for (Eigen::Index j = 0; j < k; ++j)
    if (core::missing(x, i, j)) out.push_back(j);
  return out;
}

Eigen::Vector2d point(const Eigen::MatrixXd& x, Eigen::Index i, Eigen::Index j) {
  return {x(i, 2 * j), x(i, 2 * j + 1)};
}

// The landmarks of one specimen named by `which` as a vertex matrix
// (2 x m).
Eigen::MatrixXd vertices(const Eigen::MatrixXd& x, Eigen::Index i, const std::vector<Eigen::Index>& which) {
  Eigen::MatrixXd v(2, static_cast<Eigen::Index>(which.size()));
  for (std::size_t c = 0; c < which.size(); ++c) v.col(static_cast<Eigen::Index>(c)) = point(x, i, which[c]);
  return v;
}

// ---- tps ---------------------------------------------------------------

// The thin-plate spline through the source landmarks src (2 x m) onto the
// targets dst (2 x m), evaluated at the points at (2 x q). The spline
// f(p) = a0 + a1 px + a2 py + sum_i w_i U(|p - src_i|) solves
// L [w; a] = [dst'; 0], where the three zero rows ask the bending weights
// w to carry no affine part, so the affine part of the map is a alone.
Eigen::MatrixXd splinemap(const Eigen::MatrixXd& src, const Eigen::MatrixXd& dst, const Eigen::MatrixXd& at) {
  const Eigen::Index m = src.cols();
  Eigen::MatrixXd rhs = Eigen::MatrixXd::Zero(m + 3, 2);
  rhs.topRows(m) = dst.transpose();
  const Eigen::MatrixXd coef = gettspl(src).partialPivLu().solve(rhs);
  Eigen::MatrixXd out(2, at.cols());
  for (Eigen::Index q = 0; q < at.cols(); ++q) {
    Eigen::Vector2d f = coef.row(m).transpose() + coef.row(m + 1).transpose() * at(0, q) +
                        coef.row(m + 2).transpose() * at(1, q);
    for (Eigen::Index i = 0; i < m; ++i) f += coef.row(i).transpose() * uspline(at.col(q), src.col(i));
    out.col(q) = f;
  }
  return out;
}

void placebytps(const Eigen::MatrixXd& x, Eigen::Index k, const core::Identities& ids, Completion& c) {
  const std::vector<Eigen::Index> whole = core::completerows(x, k);
  bool anymissing = whole.size() < static_cast<std::size_t>(x.rows());
  if (!anymissing) return;
  if (whole.size() < 2)
    throw core::Error("estimatemissing: the thin-plate spline maps the consensus of the complete specimens, but " +
                      std::string(whole.empty() ? "no specimen is" : "only one specimen is") +
                      " complete; at least two are needed");
  Eigen::MatrixXd complete(static_cast<Eigen::Index>(whole.size()), x.cols());
  for (std::size_t r = 0; r < whole.size(); ++r) complete.row(static_cast<Eigen::Index>(r)) = x.row(whole[r]);
  const Eigen::MatrixXd consensus = core::getconsensus(complete).y;

  for (Eigen::Index i = 0; i < x.rows(); ++i) {
    const std::vector<Eigen::Index> lacks = absent(x, i, k);
    if (lacks.empty()) continue;
    std::vector<Eigen::Index> has;
    for (Eigen::Index j = 0, l = 0; j < k; ++j) {
      if (l < static_cast<Eigen::Index>(lacks.size()) && lacks[static_cast<std::size_t>(l)] == j) ++l;
      else has.push_back(j);
    }
    const std::string name = "Specimen " + ids.label(static_cast<std::size_t>(i));
    if (has.size() < 3)
      throw core::Error(name + " has " + std::to_string(has.size()) + " landmark" + (has.size() == 1 ? "" : "s") +
                        " present; a thin-plate spline needs at least three, not all on one line, to place its "
                        "missing ones");
    const Eigen::MatrixXd dst = vertices(x, i, has);
    try {
      checkreference(dst, "estimatemissing");
    } catch (const core::Error&) {
      throw core::Error(name + ": its " + std::to_string(has.size()) +
                        " landmarks present lie on one line (or coincide), so no thin-plate spline can place its "
                        "missing ones");
    }
    const Eigen::MatrixXd src = vertices(consensus, 0, has);
    checkreference(src, "estimatemissing: the consensus of the complete specimens");
    const Eigen::MatrixXd placed = splinemap(src, dst, vertices(consensus, 0, lacks));
    for (std::size_t l = 0; l < lacks.size(); ++l) {
      c.y(i, 2 * lacks[l]) = placed(0, static_cast<Eigen::Index>(l));
      c.y(i, 2 * lacks[l] + 1) = placed(1, static_cast<Eigen::Index>(l));
      c.estimated.push_back({i, lacks[l], core::Estimate::tps});
    }
  }
}

// ---- mirror ------------------------------------------------------------

// The pair list as partner per landmark: partner[j] = j for a midline
// landmark, the other member for a paired one, -1 for one the list leaves
// out.
std::vector<Eigen::Index> partners(const Eigen::MatrixXd& pairs, Eigen::Index k) {
  if (pairs.size() == 0) throw core::Error("estimatemissing: mirror needs the pair list, and none was given");
  if (pairs.cols() != 2)
    throw core::Error("estimatemissing: the pair list has " + std::to_string(pairs.cols()) +
                      " columns; each line holds two landmark numbers (the same number twice for a midline landmark)");
  std::vector<Eigen::Index> partner(static_cast<std::size_t>(k), -1);
  for (Eigen::Index r = 0; r < pairs.rows(); ++r) {
    for (int c = 0; c < 2; ++c) {
      const double v = pairs(r, c);
      if (!(v >= 1 && v <= static_cast<double>(k)) || v != std::floor(v))
        throw core::Error("estimatemissing: the pair list, row " + std::to_string(r + 1) +
                          ": a landmark number is not one of the data set's landmarks 1 ... " + std::to_string(k));
    }
    const auto a = static_cast<Eigen::Index>(pairs(r, 0)) - 1, b = static_cast<Eigen::Index>(pairs(r, 1)) - 1;
    for (Eigen::Index j : {a, b})
      if (partner[static_cast<std::size_t>(j)] != -1)
        throw core::Error("estimatemissing: the pair list names landmark " + std::to_string(j + 1) +
                          " more than once (again in row " + std::to_string(r + 1) + ")");
    partner[static_cast<std::size_t>(a)] = b;
    partner[static_cast<std::size_t>(b)] = a;
  }
  return partner;
}

// The mirror line of one specimen, a point c on it and its unit normal n:
// the reflection of p is p - 2 n (n . (p - c)).
struct MirrorLine {
  Eigen::Vector2d c, n;
  Eigen::Vector2d reflect(const Eigen::Vector2d& p) const { return p - 2 * n * n.dot(p - c); }
};

// The least-squares mirror line of a specimen: the line whose reflection
// brings each complete pair's members onto each other and each midline
// landmark onto itself with the least summed squared misfit.
//
// For a pair (l, r) with midpoint h and vector d = l - r, and u the unit
// direction of the line, |l - reflect(r)|^2 = 4 (n . (h - c))^2 + (u . d)^2:
// the midpoint should lie on the line, the pair's vector across it. A
// midline landmark m adds |m - reflect(m)|^2 = 4 (n . (m - c))^2. So the
// misfit over 4 is
//   sum over the axis points p (midline landmarks and pair midpoints) of
//   (n . (p - c))^2  +  1/4 sum over the pairs of (u . d)^2,
// least for c at the mean of the axis points, and with S their scatter
// matrix and V = sum d d' the pairs' it is n' S n + (trace V - n' V n) / 4:
// n is the eigenvector of S - V / 4 of the smaller eigenvalue. The points
// on the axis set its direction, the pair vectors stand across it, and
// either alone suffices: two midline landmarks and no complete pair, or a
// single complete pair. Nothing when the specimen has too little of either
// to tell a direction (the two eigenvalues equal).
std::optional<MirrorLine> mirrorline(const std::vector<Eigen::Vector2d>& axis,
                                     const std::vector<Eigen::Vector2d>& across) {
  if (axis.empty()) return std::nullopt;
  Eigen::Vector2d c = Eigen::Vector2d::Zero();
  for (const Eigen::Vector2d& p : axis) c += p;
  c /= static_cast<double>(axis.size());
  Eigen::Matrix2d s = Eigen::Matrix2d::Zero(), v = Eigen::Matrix2d::Zero();
  for (const Eigen::Vector2d& p : axis) s += (p - c) * (p - c).transpose();
  for (const Eigen::Vector2d& d : across) v += d * d.transpose();
  const Eigen::SelfAdjointEigenSolver<Eigen::Matrix2d> e(s - v / 4);
  const double spread = s.trace() + v.trace() / 4;
  if (!(e.eigenvalues()(1) - e.eigenvalues()(0) > 1e-12 * spread)) return std::nullopt;
  return MirrorLine{c, e.eigenvectors().col(0)};
}

void placebymirror(const Eigen::MatrixXd& x, Eigen::Index k, const Eigen::MatrixXd& pairs, Completion& c) {
  const std::vector<Eigen::Index> partner = partners(pairs, k);
  for (Eigen::Index i = 0; i < x.rows(); ++i) {
    const std::vector<Eigen::Index> lacks = absent(x, i, k);
    if (lacks.empty()) continue;
    std::vector<Eigen::Vector2d> axis, across;
    for (Eigen::Index j = 0; j < k; ++j) {
      const Eigen::Index p = partner[static_cast<std::size_t>(j)];
      if (p < j || core::missing(x, i, j) || core::missing(x, i, p)) continue; // each pair once, complete only
      if (p == j) axis.push_back(point(x, i, j));
      else {
        axis.push_back((point(x, i, j) + point(x, i, p)) / 2);
        across.push_back(point(x, i, j) - point(x, i, p));
      }
    }
    const std::optional<MirrorLine> line = mirrorline(axis, across);
    for (Eigen::Index j : lacks) {
      const Eigen::Index p = partner[static_cast<std::size_t>(j)];
      std::string why;
      if (p < 0) why = "the pair list leaves it out";
      else if (p == j) why = "a midline landmark has no partner to mirror";
      else if (core::missing(x, i, p)) why = "its partner " + std::to_string(p + 1) + " is missing too";
      else if (!line) why = "too few midline landmarks and complete pairs to place the axis of symmetry";
      if (!why.empty()) {
        c.unplaced.push_back({i, j, why});
        continue;
      }
      const Eigen::Vector2d m = line->reflect(point(x, i, p));
      c.y(i, 2 * j) = m(0);
      c.y(i, 2 * j + 1) = m(1);
      c.estimated.push_back({i, j, core::Estimate::mirror});
    }
  }
}

std::string landmarklist(const std::vector<Eigen::Index>& landmarks) {
  std::string out;
  for (std::size_t l = 0; l < landmarks.size(); ++l) out += (l ? ", " : "") + std::to_string(landmarks[l] + 1);
  return out;
}

} // namespace

Completion estimatemissing(const Eigen::MatrixXd& x, core::Estimate method, const Eigen::MatrixXd& pairs,
                           const core::Identities& ids) {
  const Eigen::Index k = landmarkcount(x);
  Completion c{x, {}, {}};
  if (method == core::Estimate::tps) placebytps(x, k, ids, c);
  else placebymirror(x, k, pairs, c);

  // The size slot follows the landmarks when it was their centroid size.
  Eigen::Index last = -1;
  for (const core::EstimatedLandmark& e : c.estimated) {
    if (e.row == last) continue;
    last = e.row;
    const double before = core::centsize(x.row(e.row).leftCols(2 * k))(0);
    const double slot = x(e.row, 2 * k);
    if (std::abs(slot - before) <= slot_agreement * std::abs(before))
      c.y(e.row, 2 * k) = core::centsize(c.y.row(e.row).leftCols(2 * k))(0);
  }
  return c;
}

std::vector<std::string> estimatereport(const Completion& c, const core::Identities& ids) {
  // Both lists run in row order, then landmark order; merged, each
  // specimen's landmarks read together.
  std::vector<std::string> lines;
  std::size_t a = 0, b = 0;
  while (a < c.estimated.size() || b < c.unplaced.size()) {
    const bool takeestimate =
        b == c.unplaced.size() ||
        (a < c.estimated.size() && std::pair(c.estimated[a].row, c.estimated[a].landmark) <
                                       std::pair(c.unplaced[b].row, c.unplaced[b].landmark));
    if (takeestimate) {
      const core::EstimatedLandmark& e = c.estimated[a++];
      lines.push_back("specimen " + ids.label(static_cast<std::size_t>(e.row)) + ": landmark " +
                      std::to_string(e.landmark + 1) + " estimated by " + core::methodname(e.method));
    } else {
      const UnplacedLandmark& u = c.unplaced[b++];
      lines.push_back("specimen " + ids.label(static_cast<std::size_t>(u.row)) + ": landmark " +
                      std::to_string(u.landmark + 1) + " not estimated (" + u.reason + ")");
    }
  }
  return lines;
}

core::Identities markestimated(const core::Identities& ids, Eigen::Index n, const Completion& c) {
  if (c.estimated.empty()) return ids;
  core::Identities out = ids;
  out.keys.resize(static_cast<std::size_t>(n));
  // Per specimen its landmarks and their method (one call uses one, but
  // the line names it per specimen so that merged files stay readable).
  std::map<Eigen::Index, std::vector<Eigen::Index>> byrow;
  std::map<Eigen::Index, core::Estimate> how;
  for (const core::EstimatedLandmark& e : c.estimated) {
    byrow[e.row].push_back(e.landmark);
    how[e.row] = e.method;
  }
  for (const auto& [row, landmarks] : byrow)
    out.keys.at(static_cast<std::size_t>(row))
        .push_back("COMMENT=estimated landmark" + std::string(landmarks.size() == 1 ? " " : "s ") +
                   landmarklist(landmarks) + " (" + core::methodname(how[row]) + ")");
  return out;
}

} // namespace warp
