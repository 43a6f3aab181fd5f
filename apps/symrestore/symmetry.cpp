#include "apps/symrestore/symmetry.h"

#include "core/configurations.h"
#include "core/error.h"
#include "core/baseline.h"
#include "core/minimise.h"
#include "core/procrustes.h"
#include "core/text_format.h"
#include "warp/uniform.h"

#include <Eigen/Eigenvalues>
#include <algorithm>
#include <cmath>
#include <map>
#include <numbers>
#include <string>
#include <vector>

namespace symrestore {

namespace {

// The strain of tectparam2: any area-preserving linear map, written as a
// turn, a stretch by s along x and 1/s along y, and another turn.
Eigen::Matrix2d freestrain(const Eigen::VectorXd& p) {
  return core::rotation(p(0)) * Eigen::Vector2d(p(1), 1 / p(1)).asDiagonal() * core::rotation(p(2));
}

// The strain of tectparam6: shortening by 1/e along the direction at
// angle theta, lengthening by e across it.
Eigen::Matrix2d orientedstrain(double theta, double e) { return core::purestrain(theta, 1 / e); }

// Every point of a set (rows) through a 2 x 2 map.
Eigen::MatrixX2d apply(const Eigen::Matrix2d& m, const Eigen::MatrixXd& set) { return set.leftCols(2) * m.transpose(); }

// Parameters that the mirror misfit cannot see (a turn of both halves
// together, a shift of both) are held near zero by a faint pull, so that
// the simplex closes on them instead of wandering along a flat valley. The
// pull vanishes at zero, where the returned halves are left.
//
// One more direction is invisible to symmetry itself: a stretch along the
// axis of symmetry, or across it, keeps a symmetric form symmetric. A free
// strain that makes a specimen symmetric is therefore one of a family, and
// the same faint pull on log s picks the member that distorts least.
constexpr double pull = 1e-1;

double spread(const Eigen::MatrixXd& D, const Eigen::MatrixXd& E) {
  const Eigen::RowVector2d c = (D.colwise().sum() + E.colwise().sum()) / static_cast<double>(D.rows() + E.rows());
  const double s = ((D.rowwise() - c).squaredNorm() + (E.rowwise() - c).squaredNorm()) / static_cast<double>(D.rows() + E.rows());
  return s > 0 ? s : 1;
}

std::string landmarklist(const std::vector<int>& list) {
  std::string out;
  for (std::size_t i = 0; i < list.size(); ++i) out += (i == 0 ? "" : ", ") + std::to_string(list[i]);
  return out;
}

// The halves of every specimen.
struct Sides {
  std::vector<Eigen::MatrixXd> D, E;
};

Sides sides(const Eigen::MatrixXd& x, const Eigen::MatrixXd& lmlist) {
  Sides s;
  for (Eigen::Index i = 0; i < x.rows(); ++i) {
    Eigen::MatrixXd D(lmlist.rows(), 2), E(lmlist.rows(), 2);
    for (Eigen::Index j = 0; j < lmlist.rows(); ++j) {
      const auto a = static_cast<Eigen::Index>(lmlist(j, 0)) - 1, b = static_cast<Eigen::Index>(lmlist(j, 1)) - 1;
      D.row(j) << x(i, 2 * a), x(i, 2 * a + 1);
      E.row(j) << x(i, 2 * b), x(i, 2 * b + 1);
    }
    s.D.push_back(std::move(D));
    s.E.push_back(std::move(E));
  }
  return s;
}

// The loop shared by the three fixes: fit each specimen's halves and
// assemble the symmetric specimen from them.
template <class Fit>
Restored restore(const Eigen::MatrixXd& x, const Eigen::MatrixXd& lmlist, const Sides& s, Fit fit) {
  const Eigen::Index m = x.rows(), n = x.cols(), ml = lmlist.rows();
  const auto M = static_cast<Eigen::Index>(lmlist.leftCols(2).maxCoeff());
  Restored out;
  out.y = Eigen::MatrixXd::Zero(m, 2 * M + 1);
  out.Lset.resize(m, 2 * ml + 1);
  out.Rset.resize(m, 2 * ml + 1);
  for (Eigen::Index i = 0; i < m; ++i) {
    const Halves h = fit(s.D[static_cast<std::size_t>(i)], s.E[static_cast<std::size_t>(i)]);
    for (Eigen::Index j = 0; j < ml; ++j) {
      const auto a = static_cast<Eigen::Index>(lmlist(j, 0)) - 1, b = static_cast<Eigen::Index>(lmlist(j, 1)) - 1;
      if (a == b) {
        // An axis landmark: the mean of its two fitted copies.
        out.y(i, 2 * a) = 0.5 * (h.L(j, 0) + h.R(j, 0));
        out.y(i, 2 * a + 1) = 0.5 * (h.L(j, 1) + h.R(j, 1));
      } else {
        out.y(i, 2 * a) = h.L(j, 0);
        out.y(i, 2 * a + 1) = h.L(j, 1);
        out.y(i, 2 * b) = h.R(j, 0);
        out.y(i, 2 * b + 1) = h.R(j, 1);
      }
    }
    out.y(i, 2 * M) = x(i, n - 1);
    out.Lset.row(i) = core::xyfromvert(h.L, 1);
    out.Rset.row(i) = core::xyfromvert(h.R, 1);
  }
  return out;
}

} // namespace

double mirrormisfit(const Eigen::MatrixX2d& l, const Eigen::MatrixX2d& r) {
  // With both sets centred, the reflection across the line at angle phi is
  // Q = [cos 2phi, sin 2phi; sin 2phi, -cos 2phi], and the summed squared
  // distance |l - Q r|^2 is least where sum l'Q r = a cos 2phi + b sin 2phi
  // is greatest, at sqrt(a^2 + b^2).
  const Eigen::MatrixX2d lc = l.rowwise() - l.colwise().mean();
  const Eigen::MatrixX2d rc = r.rowwise() - r.colwise().mean();
  const double a = (lc.col(0).cwiseProduct(rc.col(0)) - lc.col(1).cwiseProduct(rc.col(1))).sum();
  const double b = (lc.col(0).cwiseProduct(rc.col(1)) + lc.col(1).cwiseProduct(rc.col(0))).sum();
  const double total = lc.squaredNorm() + rc.squaredNorm();
  return (total - 2 * std::hypot(a, b)) / total;
}

namespace {

// The part of a linear map that changes shape: its stretch tensor
// sqrt(A'A), blind to any turn that follows.
Eigen::Matrix2d stretchtensor(const Eigen::Matrix2d& a) {
  const Eigen::SelfAdjointEigenSolver<Eigen::Matrix2d> eig(a.transpose() * a);
  return eig.eigenvectors() * eig.eigenvalues().cwiseSqrt().asDiagonal() * eig.eigenvectors().transpose();
}

// How far from mirror images the halves are after the free strain p: the
// square root of the mirror misfit (so that it falls in proportion to the
// error of p and the simplex stops where the halves agree to its
// tolerance), and the faint pull. The pull holds the parameters the misfit
// cannot see: the first turn and the shift near the anchor's and zero, and
// the stretch along or across the axis of symmetry (which keeps a
// symmetric form symmetric, so a specimen alone cannot tell it) near the
// anchor's strain.
double score2(const Eigen::VectorXd& p, const Eigen::MatrixXd& D, const Eigen::MatrixXd& E,
              const Eigen::VectorXd& anchor) {
  if (p(1) == 0 || !p.allFinite()) return std::numeric_limits<double>::infinity();
  const Eigen::Matrix2d rai = freestrain(p);
  const Eigen::RowVector2d shift(p(3), p(4));
  const double misfit = mirrormisfit(apply(rai, D).rowwise() - shift, apply(rai, E).rowwise() - shift);
  const double turn1 = p(0) - anchor(0);
  return std::sqrt(std::max(misfit, 0.0)) +
         pull * ((stretchtensor(rai) - stretchtensor(freestrain(anchor))).squaredNorm() + turn1 * turn1 +
                 shift.squaredNorm() / spread(D, E));
}

// The same for the strain of ratio e oriented at p1: the orientation is
// pulled towards the anchor's only when one is given (anchor >= 0).
double score6(const Eigen::VectorXd& p, const Eigen::MatrixXd& D, const Eigen::MatrixXd& E, double e, double anchor) {
  const Eigen::Matrix2d rai = orientedstrain(p(0), e);
  const Eigen::RowVector2d shift(p(1), p(2));
  const double misfit = mirrormisfit(apply(rai, D).rowwise() - shift, apply(rai, E).rowwise() - shift);
  const double off = anchor >= 0 ? std::sin(p(0) - anchor) : 0.0;
  return std::sqrt(std::max(misfit, 0.0)) + pull * (off * off + shift.squaredNorm() / spread(D, E));
}

Eigen::VectorXd identitystrain() {
  Eigen::VectorXd p(5);
  p << 0, 1, 0, 0, 0;
  return p;
}

// The one free strain that makes the specimens of a bed most symmetric
// together, tried from a few starting stretches so that the simplex does
// not settle in a poor valley.
Eigen::VectorXd commonfreestrain(const Sides& s) {
  const auto joint = [&](const Eigen::VectorXd& p, std::span<const Eigen::MatrixXd>) {
    double sum = 0;
    for (std::size_t i = 0; i < s.D.size(); ++i) sum += score2(p, s.D[i], s.E[i], identitystrain());
    return sum / static_cast<double>(s.D.size());
  };
  Eigen::VectorXd best = identitystrain();
  double bestvalue = joint(best, {});
  for (const double theta2 : {0.0, std::numbers::pi / 4, std::numbers::pi / 2, 3 * std::numbers::pi / 4}) {
    Eigen::VectorXd start = identitystrain();
    start(1) = 1.3;
    start(2) = theta2;
    const core::MinimiseResult r = core::fminsearch(joint, start, {1e-9, 1e-9, 4000, 8000});
    if (r.fval < bestvalue) best = r.x, bestvalue = r.fval;
  }
  return best;
}

// The one orientation of a strain of ratio e that makes the specimens of a
// bed most symmetric together: the best of a scan of half a turn, refined.
double commonorientation(const Sides& s, double e) {
  const auto joint = [&](const Eigen::VectorXd& p, std::span<const Eigen::MatrixXd>) {
    double sum = 0;
    for (std::size_t i = 0; i < s.D.size(); ++i) sum += score6(Eigen::Vector3d(p(0), 0, 0), s.D[i], s.E[i], e, -1);
    return sum;
  };
  double best = 0, bestvalue = std::numeric_limits<double>::infinity();
  for (int step = 0; step < 90; ++step) {
    const double theta = step * std::numbers::pi / 90;
    const double v = joint(Eigen::VectorXd::Constant(1, theta), {});
    if (v < bestvalue) best = theta, bestvalue = v;
  }
  return core::fminsearch(joint, Eigen::VectorXd::Constant(1, best), {1e-10, 1e-12, 1000, 2000}).x(0);
}

} // namespace

namespace {

// The halves D and E of an objective's extra arguments: two point sets of
// one size, x and y in their first two columns.
void checkhalves(const char* name, std::span<const Eigen::MatrixXd> extra, std::size_t needed, const char* form) {
  if (extra.size() < needed)
    throw core::Error(std::string(name) + " needs the extra arguments " + form + "; it was given " +
                      std::to_string(extra.size()));
  if (extra[0].cols() < 2 || extra[1].cols() < 2 || extra[0].rows() != extra[1].rows())
    throw core::Error(std::string(name) + " needs two halves D and E of one number of points, x and y in columns; "
                      "they are " + std::to_string(extra[0].rows()) + " x " + std::to_string(extra[0].cols()) +
                      " and " + std::to_string(extra[1].rows()) + " x " + std::to_string(extra[1].cols()));
}

void checkparameters(const char* name, const Eigen::VectorXd& p, Eigen::Index count) {
  if (p.size() != count)
    throw core::Error(std::string(name) + " needs " + std::to_string(count) + " parameters; it was given " +
                      std::to_string(p.size()));
}

} // namespace

double tecterror2(const Eigen::VectorXd& p, std::span<const Eigen::MatrixXd> extra) {
  checkparameters("tecterror2", p, 5);
  checkhalves("tecterror2", extra, 3, "(D, E, n [, anchor])");
  if (extra.size() > 3 && extra[3].size() != 5)
    throw core::Error("tecterror2 needs an anchor strain of 5 parameters; it was given " +
                      std::to_string(extra[3].size()));
  const Eigen::VectorXd anchor =
      extra.size() > 3 ? Eigen::VectorXd(Eigen::Map<const Eigen::VectorXd>(extra[3].data(), 5)) : identitystrain();
  return score2(p, extra[0], extra[1], anchor);
}

double tecterror6(const Eigen::VectorXd& p, std::span<const Eigen::MatrixXd> extra) {
  checkparameters("tecterror6", p, 3);
  checkhalves("tecterror6", extra, 4, "(D, E, n, eststrain [, anchor])");
  if (extra[3].size() == 0 || (extra.size() > 4 && extra[4].size() == 0))
    throw core::Error("tecterror6 needs the strain ratio and the anchor orientation as numbers");
  return score6(p, extra[0], extra[1], extra[3](0, 0), extra.size() > 4 ? extra[4](0, 0) : -1.0);
}

Halves tectparam2(const Eigen::MatrixXd& D, const Eigen::MatrixXd& E, const std::optional<Eigen::VectorXd>& anchor) {
  const double n = static_cast<double>(D.rows());
  std::vector<Eigen::MatrixXd> extra{D, E, Eigen::MatrixXd::Constant(1, 1, n)};
  if (anchor) extra.emplace_back(*anchor);
  Halves h;
  h.pf = core::fminsearch(tecterror2, anchor ? *anchor : identitystrain(), {}, extra).x;
  const Eigen::Matrix2d rai = freestrain(h.pf);
  h.L = apply(rai, D);
  h.R = apply(rai, E);
  return h;
}

Halves tectparam6(const Eigen::MatrixXd& D, const Eigen::MatrixXd& E, double eststrain, std::optional<double> anchor) {
  if (!(eststrain > 0) || !std::isfinite(eststrain))
    throw core::Error("The strain ratio must be a positive number; it is " + core::format("%g", eststrain));
  const double n = static_cast<double>(D.rows());
  std::vector<Eigen::MatrixXd> extra{D, E, Eigen::MatrixXd::Constant(1, 1, n),
                                     Eigen::MatrixXd::Constant(1, 1, eststrain)};
  if (anchor) extra.emplace_back(Eigen::MatrixXd::Constant(1, 1, std::fmod(*anchor + 4 * std::numbers::pi, std::numbers::pi)));
  core::MinimiseOptions options;
  options.tolx = 1e-9;
  options.maxiter = 5000;
  Halves h;
  h.pf = core::fminsearch(tecterror6, Eigen::Vector3d(anchor ? *anchor : std::numbers::pi / 4, 0, 0), options, extra).x;
  const Eigen::Matrix2d rai = orientedstrain(h.pf(0), eststrain);
  h.L = apply(rai, D);
  h.R = apply(rai, E);
  return h;
}

Halves tectuni(const Eigen::MatrixXd& D, const Eigen::MatrixXd& E, int b1, int b2) {
  const Eigen::Index ml = D.rows();
  // The right half mirrored across the vertical axis, so that the two halves
  // are copies of one shape if the specimen is symmetric.
  Eigen::MatrixXd Ef = E;
  Ef.col(0) *= -1;
  Eigen::MatrixXd dtemp(2, 2 * ml + 1);
  dtemp.row(0) = core::xyfromvert(D, 1);
  dtemp.row(1) = core::xyfromvert(Ef, 1);
  const core::Superimposition sup = core::getconsensus(dtemp);
  // Each half loses its own score on the first uniform direction of their
  // consensus; the second component is left in place.
  const Eigen::RowVectorXd xu = warp::uniformdirections(sup.y).row(0);
  Eigen::MatrixXd cr(2, 2 * ml + 1);
  for (int h = 0; h < 2; ++h) {
    const Eigen::RowVectorXd c = sup.xpt.row(h).head(2 * ml);
    cr.row(h).head(2 * ml) = c - c.dot(xu) * xu;
    cr(h, 2 * ml) = 1;
  }
  // Both halves on the baseline through the two axis landmarks, and the
  // mirrored half reflected back (y to -y).
  const Eigen::MatrixXd crb = core::basereg(cr, b1, b2);
  Halves out;
  out.L = crb.row(0);
  out.R = crb.row(1);
  for (Eigen::Index j = 0; j < ml; ++j) out.R(0, 2 * j + 1) = -out.R(0, 2 * j + 1);
  return out;
}

void checkpairs(const Eigen::MatrixXd& lmlist, Eigen::Index k) {
  if (lmlist.cols() < 2)
    throw core::Error("The pair list has " + std::to_string(lmlist.cols()) +
                      " column; each line needs two landmark numbers (the same number twice for a landmark on the axis)");
  // A third number on a line would be ignored without a word: it is more
  // likely another kind of file (an angle file, a data set) than a pairs
  // file with a stray column.
  if (lmlist.cols() > 2)
    throw core::Error("The pair list has " + std::to_string(lmlist.cols()) +
                      " columns; each line holds two landmark numbers, one side's and its counterpart's, and nothing else");
  std::map<int, std::vector<Eigen::Index>> rows;
  for (Eigen::Index j = 0; j < lmlist.rows(); ++j)
    for (int c = 0; c < 2; ++c) {
      const double v = lmlist(j, c);
      if (!(v >= 1 && v <= static_cast<double>(k)) || v != std::floor(v))
        throw core::Error("The pair list, row " + std::to_string(j + 1) + ": landmark number " + core::format("%g", v) +
                          " is not one of the data set's landmarks 1 ... " + std::to_string(k));
      if (c == 1 && lmlist(j, 1) == lmlist(j, 0)) continue; // an axis row lists its landmark once
      rows[static_cast<int>(v)].push_back(j + 1);
    }
  for (const auto& [lm, where] : rows)
    if (where.size() > 1)
      throw core::Error("The pair list names landmark " + std::to_string(lm) + " more than once (rows " +
                        std::to_string(where[0]) + " and " + std::to_string(where[1]) + ")");
  std::vector<int> missing;
  for (int lm = 1; lm <= k; ++lm)
    if (!rows.contains(lm)) missing.push_back(lm);
  if (!missing.empty())
    throw core::Error("The pair list leaves out landmark" + std::string(missing.size() > 1 ? "s " : " ") +
                      landmarklist(missing) + "; every landmark must be in it once, in a pair or on the axis");
  if ((lmlist.col(0).array() == lmlist.col(1).array()).all())
    throw core::Error("The pair list holds only axis rows (a landmark named twice): it pairs no landmarks, so there is "
                      "no symmetry to restore");
}

std::optional<std::pair<int, int>> axisrows(const Eigen::MatrixXd& lmlist) {
  int b1 = 0;
  for (Eigen::Index j = 0; j < lmlist.rows(); ++j) {
    if (lmlist.cols() < 2 || lmlist(j, 0) != lmlist(j, 1)) continue;
    if (b1 == 0) b1 = static_cast<int>(j + 1);
    else return std::pair{b1, static_cast<int>(j + 1)};
  }
  return std::nullopt;
}

Restored tectfix2(const Eigen::MatrixXd& x, const Eigen::MatrixXd& lmlist) {
  checkpairs(lmlist, x.cols() / 2);
  const Sides halves = sides(x, lmlist);
  const Eigen::VectorXd common = commonfreestrain(halves);
  return restore(x, lmlist, halves,
                 [&](const Eigen::MatrixXd& D, const Eigen::MatrixXd& E) { return tectparam2(D, E, common); });
}

std::optional<Restored> tectfix3(const Eigen::MatrixXd& x, const Eigen::MatrixXd& lmlist) {
  checkpairs(lmlist, x.cols() / 2);
  const auto axis = axisrows(lmlist);
  if (!axis) return std::nullopt;
  return restore(x, lmlist, sides(x, lmlist), [&](const Eigen::MatrixXd& D, const Eigen::MatrixXd& E) {
    Halves h = tectuni(D, E, axis->first, axis->second);
    h.L = core::vertxy(h.L).transpose();
    h.R = core::vertxy(h.R).transpose();
    return h;
  });
}

std::optional<Restored> tectfix4(const Eigen::MatrixXd& x, const Eigen::MatrixXd& lmlist, double eststrain) {
  checkpairs(lmlist, x.cols() / 2);
  if (!axisrows(lmlist)) return std::nullopt;
  if (!(eststrain > 0) || !std::isfinite(eststrain))
    throw core::Error("The strain ratio must be a positive number; it is " + core::format("%g", eststrain));
  const Sides halves = sides(x, lmlist);
  const double common = commonorientation(halves, eststrain);
  return restore(x, lmlist, halves,
                 [&](const Eigen::MatrixXd& D, const Eigen::MatrixXd& E) { return tectparam6(D, E, eststrain, common); });
}

Eigen::RowVectorXd rotateshape(const Eigen::RowVectorXd& x, double theta) {
  // The same turn as formrotate of the uniform components.
  return warp::formrotate(x, theta);
}

} // namespace symrestore
