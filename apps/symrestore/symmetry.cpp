#include "apps/symrestore/symmetry.h"

#include "core/configurations.h"
#include "core/error.h"
#include "core/baseline.h"
#include "core/minimise.h"
#include "core/parallel.h"
#include "core/procrustes.h"
#include "core/random.h"
#include "core/identities.h"
#include "core/text_format.h"
#include "warp/uniform.h"

#include <Eigen/Eigenvalues>
#include <algorithm>
#include <cmath>
#include <functional>
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

// The halves of every specimen, with their spread (which the pull on the
// shift is measured against, and which no trial strain changes).
//
// A specimen that lacks landmarks is fitted on the rows of the pair list
// whose landmarks it has: a pair with a missing member, or a missing axis
// landmark, says nothing about its symmetry. D and E then hold only those
// rows, and whole keeps every row (NaN where missing) for the strain to be
// applied to, so that what was missing stays missing. A specimen left with
// too little to fit (fewer than minpairs complete pairs, or fewer than
// minrows rows in all) has no fit of its own: usable is false.
struct Sides {
  std::vector<Eigen::MatrixXd> D, E;
  std::vector<double> spread;
  std::vector<Eigen::MatrixXd> wholeD, wholeE; // empty for a complete specimen
  std::vector<char> usable;
  std::vector<Eigen::Index> unfitted;
  const Eigen::MatrixXd& allD(std::size_t i) const { return wholeD[i].size() > 0 ? wholeD[i] : D[i]; }
  const Eigen::MatrixXd& allE(std::size_t i) const { return wholeE[i].size() > 0 ? wholeE[i] : E[i]; }
  double usablecount() const { return static_cast<double>(D.size() - unfitted.size()); }
};

Sides sides(const Eigen::MatrixXd& x, const Eigen::MatrixXd& lmlist) {
  Sides s;
  for (Eigen::Index i = 0; i < x.rows(); ++i) {
    Eigen::MatrixXd D(lmlist.rows(), 2), E(lmlist.rows(), 2);
    std::vector<Eigen::Index> present;
    Eigen::Index pairs = 0;
    for (Eigen::Index j = 0; j < lmlist.rows(); ++j) {
      const auto a = static_cast<Eigen::Index>(lmlist(j, 0)) - 1, b = static_cast<Eigen::Index>(lmlist(j, 1)) - 1;
      D.row(j) << x(i, 2 * a), x(i, 2 * a + 1);
      E.row(j) << x(i, 2 * b), x(i, 2 * b + 1);
      if (!core::missing(x, i, a) && !core::missing(x, i, b)) {
        present.push_back(j);
        pairs += a != b;
      }
    }
    Eigen::MatrixXd wholeD, wholeE;
    bool usable = true;
    if (static_cast<Eigen::Index>(present.size()) < lmlist.rows()) {
      usable = pairs >= minpairs && static_cast<Eigen::Index>(present.size()) >= minrows;
      wholeD = std::move(D);
      wholeE = std::move(E);
      D = wholeD(present, Eigen::all);
      E = wholeE(present, Eigen::all);
      if (!usable) s.unfitted.push_back(i);
    }
    s.spread.push_back(usable ? spread(D, E) : 1.0);
    s.D.push_back(std::move(D));
    s.E.push_back(std::move(E));
    s.wholeD.push_back(std::move(wholeD));
    s.wholeE.push_back(std::move(wholeE));
    s.usable.push_back(usable);
  }
  if (x.rows() > 0 && s.unfitted.size() == static_cast<std::size_t>(x.rows()))
    throw core::Error("No specimen has enough landmarks for a symmetry fit: each needs " + std::to_string(minpairs) +
                      " complete pairs and " + std::to_string(minrows) +
                      " rows of the pair list in all (pairs or axis landmarks) with every landmark present");
  return s;
}

// The share of a fix done, told to the caller's report as a fraction of
// the part [from, to] of the whole that this stage stands for; a report
// that answers false (the user cancelled) ends the fix with Cancelled.
struct Stage {
  const std::function<bool(double)>& report;
  double from, to;
  bool operator()(double fraction) const { return !report || report(from + (to - from) * fraction); }
};

// The loop shared by the three fixes: fit each specimen's halves, on every
// thread of the team, and assemble the symmetric specimen from them in its
// own row. fit(i, thread) gives the halves of specimen i. Specimens are
// handed out `chunk` at a time.
template <class Fit>
Restored restore(const Eigen::MatrixXd& x, const Eigen::MatrixXd& lmlist, core::Team& team, Eigen::Index chunk,
                 const Stage& stage, Fit fit, std::vector<Eigen::Index> unfitted = {}) {
  const Eigen::Index m = x.rows(), n = x.cols(), ml = lmlist.rows();
  const auto M = static_cast<Eigen::Index>(lmlist.leftCols(2).maxCoeff());
  Restored out;
  out.y = Eigen::MatrixXd::Zero(m, 2 * M + 1);
  out.Lset.resize(m, 2 * ml + 1);
  out.Rset.resize(m, 2 * ml + 1);
  const auto one = [&](Eigen::Index i, unsigned thread) {
    const Halves h = fit(i, thread);
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
  };
  const bool finished = team.parallel_for(
      m, {.chunk = chunk}, [](unsigned) {},
      [&](const core::Chunk& c, unsigned thread) {
        for (Eigen::Index i = c.begin; i < c.end; ++i) one(i, thread);
      },
      [](const core::Chunk&) {}, [&](Eigen::Index done) { return stage(static_cast<double>(done) / static_cast<double>(m)); });
  if (!finished) throw Cancelled();
  out.unfitted = std::move(unfitted);
  return out;
}

// The halves of a specimen with too little for a fit of its own: the
// bed's strain, which it shares with the specimens that could be fitted.
Halves given(const Eigen::Matrix2d& rai, const Eigen::VectorXd& pf, const Eigen::MatrixXd& allD,
             const Eigen::MatrixXd& allE) {
  Halves h;
  h.pf = pf;
  h.L = apply(rai, allD);
  h.R = apply(rai, allE);
  return h;
}

// Room for the strained halves of one specimen and their centred copies,
// kept by each thread, so that scoring a trial strain allocates nothing.
struct Scratch {
  Eigen::MatrixX2d l, r, lc, rc;
};

// mirrormisfit of l and r, centring them in lc and rc.
double misfit(const Eigen::MatrixX2d& l, const Eigen::MatrixX2d& r, Eigen::MatrixX2d& lc, Eigen::MatrixX2d& rc) {
  // With both sets centred, the reflection across the line at angle phi is
  // Q = [cos 2phi, sin 2phi; sin 2phi, -cos 2phi], and the summed squared
  // distance |l - Q r|^2 is least where sum l'Q r = a cos 2phi + b sin 2phi
  // is greatest, at sqrt(a^2 + b^2).
  lc = l.rowwise() - l.colwise().mean();
  rc = r.rowwise() - r.colwise().mean();
  const double a = (lc.col(0).cwiseProduct(rc.col(0)) - lc.col(1).cwiseProduct(rc.col(1))).sum();
  const double b = (lc.col(0).cwiseProduct(rc.col(1)) + lc.col(1).cwiseProduct(rc.col(0))).sum();
  const double total = lc.squaredNorm() + rc.squaredNorm();
  return (total - 2 * std::hypot(a, b)) / total;
}

// The misfit of D and E after the map rai and the shift.
double strainedmisfit(const Eigen::Matrix2d& rai, const Eigen::RowVector2d& shift, const Eigen::MatrixXd& D,
                      const Eigen::MatrixXd& E, Scratch& s) {
  s.l.noalias() = D.leftCols(2) * rai.transpose();
  s.l.rowwise() -= shift;
  s.r.noalias() = E.leftCols(2) * rai.transpose();
  s.r.rowwise() -= shift;
  return misfit(s.l, s.r, s.lc, s.rc);
}

} // namespace

double mirrormisfit(const Eigen::MatrixX2d& l, const Eigen::MatrixX2d& r) {
  Eigen::MatrixX2d lc, rc;
  return misfit(l, r, lc, rc);
}

namespace {

// The part of a linear map that changes shape: its stretch tensor
// sqrt(A'A), blind to any turn that follows.
Eigen::Matrix2d stretchtensor(const Eigen::Matrix2d& a) {
  const Eigen::SelfAdjointEigenSolver<Eigen::Matrix2d> eig(a.transpose() * a);
  return eig.eigenvectors() * eig.eigenvalues().cwiseSqrt().asDiagonal() * eig.eigenvectors().transpose();
}

Eigen::VectorXd identitystrain() {
  Eigen::VectorXd p(5);
  p << 0, 1, 0, 0, 0;
  return p;
}

// The anchor of the free strain, with its stretch tensor worked out once.
struct Anchor {
  Eigen::VectorXd p;
  Eigen::Matrix2d stretch;
  explicit Anchor(const Eigen::VectorXd& anchor) : p(anchor), stretch(stretchtensor(freestrain(anchor))) {}
};

// What the score of a trial free strain p shares among the specimens it is
// tried on: the map, the shift, and the pull on the strain and the first
// turn (the pull on the shift depends on each specimen's spread).
struct FreeTrial {
  bool valid;
  Eigen::Matrix2d rai;
  Eigen::RowVector2d shift;
  double strainpull;
};

FreeTrial freetrial(const Eigen::VectorXd& p, const Anchor& anchor) {
  FreeTrial t{};
  t.valid = !(p(1) == 0 || !p.allFinite());
  if (!t.valid) return t;
  t.rai = freestrain(p);
  t.shift << p(3), p(4);
  const double turn1 = p(0) - anchor.p(0);
  t.strainpull = (stretchtensor(t.rai) - anchor.stretch).squaredNorm() + turn1 * turn1;
  return t;
}

// How far from mirror images the halves are after the free strain p: the
// square root of the mirror misfit (so that it falls in proportion to the
// error of p and the simplex stops where the halves agree to its
// tolerance), and the faint pull. The pull holds the parameters the misfit
// cannot see: the first turn and the shift near the anchor's and zero, and
// the stretch along or across the axis of symmetry (which keeps a
// symmetric form symmetric, so a specimen alone cannot tell it) near the
// anchor's strain.
double score2(const FreeTrial& t, const Eigen::MatrixXd& D, const Eigen::MatrixXd& E, double spread, Scratch& s) {
  if (!t.valid) return std::numeric_limits<double>::infinity();
  const double misfit = strainedmisfit(t.rai, t.shift, D, E, s);
  return std::sqrt(std::max(misfit, 0.0)) + pull * (t.strainpull + t.shift.squaredNorm() / spread);
}

// The same for the strain of ratio e oriented at p1: the orientation is
// pulled towards the anchor's only when one is given (anchor >= 0).
struct OrientedTrial {
  Eigen::Matrix2d rai;
  Eigen::RowVector2d shift;
  double turnpull;
};

OrientedTrial orientedtrial(const Eigen::VectorXd& p, double e, double anchor) {
  OrientedTrial t;
  t.rai = orientedstrain(p(0), e);
  t.shift << p(1), p(2);
  const double off = anchor >= 0 ? std::sin(p(0) - anchor) : 0.0;
  t.turnpull = off * off;
  return t;
}

double score6(const OrientedTrial& t, const Eigen::MatrixXd& D, const Eigen::MatrixXd& E, double spread, Scratch& s) {
  const double misfit = strainedmisfit(t.rai, t.shift, D, E, s);
  return std::sqrt(std::max(misfit, 0.0)) + pull * (t.turnpull + t.shift.squaredNorm() / spread);
}

// The scores of one trial for every specimen, on every thread of the team,
// summed in specimen order on the calling thread: the same sum, to the
// last bit, whatever the number of threads.
template <class Score>
double jointsum(core::Team& team, Eigen::Index chunk, std::vector<Scratch>& scratch, std::vector<double>& scores,
                Score score) {
  double sum = 0;
  team.parallel_for(
      static_cast<Eigen::Index>(scores.size()), {.chunk = chunk}, [](unsigned) {},
      [&](const core::Chunk& c, unsigned thread) {
        for (Eigen::Index i = c.begin; i < c.end; ++i)
          scores[static_cast<std::size_t>(i)] = score(static_cast<std::size_t>(i), scratch[thread]);
      },
      [&](const core::Chunk& c) {
        for (Eigen::Index i = c.begin; i < c.end; ++i) sum += scores[static_cast<std::size_t>(i)];
      });
  return sum;
}

// The one free strain that makes the specimens of a bed most symmetric
// together, tried from a few starting stretches so that the simplex does
// not settle in a poor valley.
Eigen::VectorXd commonfreestrain(const Sides& s, core::Team& team, Eigen::Index chunk, const Stage& stage) {
  const Anchor identity(identitystrain());
  std::vector<Scratch> scratch(team.size());
  std::vector<double> scores(s.D.size());
  const auto joint = [&](const Eigen::VectorXd& p, std::span<const Eigen::MatrixXd>) {
    const FreeTrial t = freetrial(p, identity);
    if (!t.valid) return std::numeric_limits<double>::infinity();
    const double sum = jointsum(team, chunk, scratch, scores, [&](std::size_t i, Scratch& room) {
      return s.usable[i] ? score2(t, s.D[i], s.E[i], s.spread[i], room) : 0.0;
    });
    return sum / s.usablecount();
  };
  Eigen::VectorXd best = identitystrain();
  double bestvalue = joint(best, {});
  const double starts[] = {0.0, std::numbers::pi / 4, std::numbers::pi / 2, 3 * std::numbers::pi / 4};
  for (std::size_t k = 0; k < std::size(starts); ++k) {
    if (!stage(static_cast<double>(k) / std::size(starts))) throw Cancelled();
    Eigen::VectorXd start = identitystrain();
    start(1) = 1.3;
    start(2) = starts[k];
    const core::MinimiseResult r = core::fminsearch(joint, start, {1e-9, 1e-9, 4000, 8000});
    if (r.fval < bestvalue) best = r.x, bestvalue = r.fval;
  }
  return best;
}

// The one orientation of a strain of ratio e that makes the specimens of a
// bed most symmetric together: the best of a scan of half a turn, refined.
double commonorientation(const Sides& s, double e, core::Team& team, Eigen::Index chunk, const Stage& stage) {
  std::vector<Scratch> scratch(team.size());
  std::vector<double> scores(s.D.size());
  const auto joint = [&](const Eigen::VectorXd& p, std::span<const Eigen::MatrixXd>) {
    const OrientedTrial t = orientedtrial(Eigen::Vector3d(p(0), 0, 0), e, -1);
    return jointsum(team, chunk, scratch, scores, [&](std::size_t i, Scratch& room) {
      return s.usable[i] ? score6(t, s.D[i], s.E[i], s.spread[i], room) : 0.0;
    });
  };
  double best = 0, bestvalue = std::numeric_limits<double>::infinity();
  for (int step = 0; step < 90; ++step) {
    const double theta = step * std::numbers::pi / 90;
    const double v = joint(Eigen::VectorXd::Constant(1, theta), {});
    if (v < bestvalue) best = theta, bestvalue = v;
  }
  if (!stage(0.5)) throw Cancelled();
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

namespace {

// One specimen's free strain fitted from the anchor and held near it, on
// the halves D and E, and applied to allD and allE (the same halves, or
// every row of the pair list when D and E leave out what is missing).
Halves fitfree(const Eigen::MatrixXd& D, const Eigen::MatrixXd& E, double spread, const Anchor& anchor, Scratch& s,
               const Eigen::MatrixXd& allD, const Eigen::MatrixXd& allE) {
  const auto score = [&](const Eigen::VectorXd& p, std::span<const Eigen::MatrixXd>) {
    return score2(freetrial(p, anchor), D, E, spread, s);
  };
  // Tolerances far below the default 1e-4: where the bed's strain lies
  // along the axes (theta' 0 or 90) its turns start near 0, where the
  // first simplex moves a turn by a few hundred-thousandths of a radian. A
  // degree's turn there changes the score by less than 1e-4, so with the
  // default tolerances the simplex stops before it has turned at all and
  // every specimen keeps the bed's theta'.
  Halves h;
  h.pf = core::fminsearch(score, anchor.p, {1e-9, 1e-9, 5000, 5000}).x;
  const Eigen::Matrix2d rai = freestrain(h.pf);
  h.L = apply(rai, allD);
  h.R = apply(rai, allE);
  return h;
}

// One specimen's orientation of the strain of ratio e fitted, from pi/4 or
// from the anchor orientation and held near it.
Halves fitoriented(const Eigen::MatrixXd& D, const Eigen::MatrixXd& E, double spread, double e,
                   std::optional<double> anchor, Scratch& s, const Eigen::MatrixXd& allD, const Eigen::MatrixXd& allE) {
  // The pull compares orientations modulo half a turn.
  const double held = anchor ? std::fmod(*anchor + 4 * std::numbers::pi, std::numbers::pi) : -1.0;
  const auto score = [&](const Eigen::VectorXd& p, std::span<const Eigen::MatrixXd>) {
    return score6(orientedtrial(p, e, held), D, E, spread, s);
  };
  core::MinimiseOptions options;
  options.tolx = 1e-9;
  options.maxiter = 5000;
  Halves h;
  h.pf = core::fminsearch(score, Eigen::Vector3d(anchor ? *anchor : std::numbers::pi / 4, 0, 0), options).x;
  const Eigen::Matrix2d rai = orientedstrain(h.pf(0), e);
  h.L = apply(rai, allD);
  h.R = apply(rai, allE);
  return h;
}

void checkratio(double eststrain) {
  if (!(eststrain > 0) || !std::isfinite(eststrain))
    throw core::Error("The strain ratio must be a positive number; it is " + core::format("%g", eststrain));
}

} // namespace

Cancelled::Cancelled() : core::Cancelled("the fit was cancelled") {}

double tecterror2(const Eigen::VectorXd& p, std::span<const Eigen::MatrixXd> extra) {
  checkparameters("tecterror2", p, 5);
  checkhalves("tecterror2", extra, 3, "(D, E, n [, anchor])");
  if (extra.size() > 3 && extra[3].size() != 5)
    throw core::Error("tecterror2 needs an anchor strain of 5 parameters; it was given " +
                      std::to_string(extra[3].size()));
  const Anchor anchor(extra.size() > 3 ? Eigen::VectorXd(Eigen::Map<const Eigen::VectorXd>(extra[3].data(), 5))
                                       : identitystrain());
  Scratch s;
  return score2(freetrial(p, anchor), extra[0], extra[1], spread(extra[0], extra[1]), s);
}

double tecterror6(const Eigen::VectorXd& p, std::span<const Eigen::MatrixXd> extra) {
  checkparameters("tecterror6", p, 3);
  checkhalves("tecterror6", extra, 4, "(D, E, n, eststrain [, anchor])");
  if (extra[3].size() == 0 || (extra.size() > 4 && extra[4].size() == 0))
    throw core::Error("tecterror6 needs the strain ratio and the anchor orientation as numbers");
  Scratch s;
  return score6(orientedtrial(p, extra[3](0, 0), extra.size() > 4 ? extra[4](0, 0) : -1.0), extra[0], extra[1],
                spread(extra[0], extra[1]), s);
}

Halves tectparam2(const Eigen::MatrixXd& D, const Eigen::MatrixXd& E, const std::optional<Eigen::VectorXd>& anchor) {
  Scratch s;
  return fitfree(D, E, spread(D, E), Anchor(anchor ? *anchor : identitystrain()), s, D, E);
}

Halves tectparam6(const Eigen::MatrixXd& D, const Eigen::MatrixXd& E, double eststrain, std::optional<double> anchor) {
  checkratio(eststrain);
  Scratch s;
  return fitoriented(D, E, spread(D, E), eststrain, anchor, s, D, E);
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

Restored tectfix2(const Eigen::MatrixXd& x, const Eigen::MatrixXd& lmlist, const Work& work) {
  checkpairs(lmlist, x.cols() / 2);
  const Sides halves = sides(x, lmlist);
  core::Team team(work.threads);
  // The bed's strain takes most of the time: each of its trials scores
  // every specimen, where a specimen's own fit scores only itself.
  const Anchor common(commonfreestrain(halves, team, work.bedchunk, {work.progress, 0, 0.8}));
  std::vector<Scratch> scratch(team.size());
  Restored out = restore(x, lmlist, team, work.fitchunk, {work.progress, 0.8, 1}, [&](Eigen::Index i, unsigned thread) {
    const auto k = static_cast<std::size_t>(i);
    if (!halves.usable[k]) return given(freestrain(common.p), common.p, halves.allD(k), halves.allE(k));
    return fitfree(halves.D[k], halves.E[k], halves.spread[k], common, scratch[thread], halves.allD(k),
                   halves.allE(k));
  }, halves.unfitted);
  out.bed = freestrain(common.p);
  return out;
}

std::optional<Restored> tectfix3(const Eigen::MatrixXd& x, const Eigen::MatrixXd& lmlist) {
  checkpairs(lmlist, x.cols() / 2);
  // The uniform components are those of the two whole halves: a half
  // missing a landmark has none to remove.
  const core::MissingLandmarks missing = core::findmissing(x, x.cols() / 2);
  if (!missing.none())
    throw core::Error("The uniform components cannot be removed from incomplete specimens: " +
                      std::to_string(missing.specimens.size()) + " of the " + std::to_string(x.rows()) +
                      " specimens lack landmarks");
  const auto axis = axisrows(lmlist);
  if (!axis) return std::nullopt;
  const Sides halves = sides(x, lmlist);
  // Quick enough on one thread: a superimposition of two halves per
  // specimen, no search.
  core::Team team(1);
  const std::function<bool(double)> silent;
  return restore(x, lmlist, team, 1, {silent, 0, 1}, [&](Eigen::Index i, unsigned) {
    const auto k = static_cast<std::size_t>(i);
    Halves h = tectuni(halves.D[k], halves.E[k], axis->first, axis->second);
    h.L = core::vertxy(h.L).transpose();
    h.R = core::vertxy(h.R).transpose();
    return h;
  });
}

std::optional<Restored> tectfix4(const Eigen::MatrixXd& x, const Eigen::MatrixXd& lmlist, double eststrain,
                                 const Work& work) {
  checkpairs(lmlist, x.cols() / 2);
  if (!axisrows(lmlist)) return std::nullopt;
  checkratio(eststrain);
  const Sides halves = sides(x, lmlist);
  core::Team team(work.threads);
  const double common = commonorientation(halves, eststrain, team, work.bedchunk, {work.progress, 0, 0.5});
  std::vector<Scratch> scratch(team.size());
  Restored out = restore(x, lmlist, team, work.fitchunk, {work.progress, 0.5, 1}, [&](Eigen::Index i, unsigned thread) {
    const auto k = static_cast<std::size_t>(i);
    if (!halves.usable[k])
      return given(orientedstrain(common, eststrain), Eigen::Vector3d(common, 0, 0), halves.allD(k), halves.allE(k));
    return fitoriented(halves.D[k], halves.E[k], halves.spread[k], eststrain, common, scratch[thread], halves.allD(k),
                       halves.allE(k));
  }, halves.unfitted);
  out.bed = orientedstrain(common, eststrain);
  return out;
}

std::optional<Eigen::Matrix2d> linearpart(const Eigen::RowVectorXd& from, const Eigen::RowVectorXd& to, Eigen::Index k) {
  std::vector<Eigen::Index> both;
  for (Eigen::Index j = 0; j < k; ++j)
    if (from.segment(2 * j, 2).allFinite() && to.segment(2 * j, 2).allFinite()) both.push_back(j);
  const auto n = static_cast<Eigen::Index>(both.size());
  if (n < 3) return std::nullopt;
  Eigen::MatrixX2d a(n, 2), b(n, 2);
  for (Eigen::Index i = 0; i < n; ++i) {
    a.row(i) = from.segment(2 * both[static_cast<std::size_t>(i)], 2);
    b.row(i) = to.segment(2 * both[static_cast<std::size_t>(i)], 2);
  }
  // Centred, the shift drops out and b = a M' in least squares.
  a.rowwise() -= a.colwise().mean();
  b.rowwise() -= b.colwise().mean();
  const Eigen::Matrix2d ata = a.transpose() * a;
  if (!(std::abs(ata.determinant()) > 1e-12 * ata.squaredNorm())) return std::nullopt;
  return Eigen::Matrix2d((ata.ldlt().solve(a.transpose() * b)).transpose());
}

namespace {

// The p-quantile of sorted values, interpolated linearly between ranks.
double quantile(const std::vector<double>& sorted, double p) {
  const double at = p * static_cast<double>(sorted.size() - 1);
  const auto lo = static_cast<std::size_t>(std::floor(at));
  const std::size_t hi = std::min(lo + 1, sorted.size() - 1);
  return sorted[lo] + (at - static_cast<double>(lo)) * (sorted[hi] - sorted[lo]);
}

} // namespace

StrainSummary strainsummary(const Eigen::MatrixXd& x, const Restored& fixed) {
  const Eigen::Index k = std::min((x.cols() - 1) / 2, (fixed.y.cols() - 1) / 2);
  std::vector<core::Strain> own;
  std::vector<core::Strain> specimens(static_cast<std::size_t>(x.rows()),
                                      core::Strain{std::nan(""), core::Bearing::radians(std::nan(""))});
  // The mean strain tensor: undo' undo scaled to unit determinant, whose
  // inverse is the specimen's F F' at unit area, whatever turn and scale
  // its superimposition added.
  Eigen::Matrix2d mean = Eigen::Matrix2d::Zero();
  for (Eigen::Index i = 0; i < x.rows(); ++i) {
    if (std::find(fixed.unfitted.begin(), fixed.unfitted.end(), i) != fixed.unfitted.end()) continue;
    const auto undo = linearpart(x.row(i), fixed.y.row(i), k);
    if (!undo) continue;
    const Eigen::Matrix2d c = undo->transpose() * *undo;
    const double det = c.determinant();
    if (!(det > 0) || !std::isfinite(det)) continue;
    mean += c / std::sqrt(det);
    own.push_back(core::Strain::undone_by(*undo));
    specimens[static_cast<std::size_t>(i)] = own.back();
  }
  StrainSummary out;
  out.specimens = std::move(specimens);
  out.bedfit = fixed.bed.has_value();
  out.count = static_cast<int>(own.size());
  if (fixed.bed) out.joint = core::Strain::undone_by(*fixed.bed);
  else if (!own.empty()) {
    const Eigen::SelfAdjointEigenSolver<Eigen::Matrix2d> eig(mean);
    // A symmetric square root of the mean tensor stands for the mean undo.
    out.joint = core::Strain::undone_by(eig.eigenvectors() * eig.eigenvalues().cwiseMax(0).cwiseSqrt().asDiagonal() *
                                        eig.eigenvectors().transpose());
  }
  if (own.empty()) return out;
  std::vector<double> r, off;
  for (const core::Strain& s : own) {
    r.push_back(s.R);
    off.push_back(core::axialdifference(s.longaxis, out.joint.longaxis).rad());
  }
  std::sort(r.begin(), r.end());
  std::sort(off.begin(), off.end());
  out.Rmedian = quantile(r, 0.5);
  out.Rlow = quantile(r, 0.05);
  out.Rhigh = quantile(r, 0.95);
  out.thetalow = out.joint.longaxis + core::Angle::radians(quantile(off, 0.05));
  out.thetahigh = out.joint.longaxis + core::Angle::radians(quantile(off, 0.95));
  return out;
}

std::string strainline(const char* action, const StrainSummary& s) {
  // Bearings of axes, each printed in [0, 180): a spread that passes
  // through north reads from its lower end across 180 ("178.8 to 1.0").
  std::string line = core::format("%s: strain R = %.2f, theta' = %.1f deg, ", action, s.joint.R,
                                  core::axialdegrees(s.joint.longaxis, 1));
  line += s.bedfit ? "fitted to the whole bed" : "the mean of the specimens' strains";
  if (s.count == 0) return line + " (no specimen's own fit)";
  return line + core::format(" (per-specimen fits of %d specimens: R median %.2f, 5-95 %% %.2f to %.2f; theta' 5-95 %% "
                             "%.1f to %.1f deg)",
                             s.count, s.Rmedian, s.Rlow, s.Rhigh, core::axialdegrees(s.thetalow, 1),
                             core::axialdegrees(s.thetahigh, 1));
}

StrainBootstrap bootstrapstrain(const Eigen::MatrixXd& x, const Eigen::MatrixXd& lmlist, int resamples,
                                const Work& work) {
  if (resamples < 100 || resamples > maxresamples)
    throw core::Error("A bootstrap needs from 100 to " + std::to_string(maxresamples) + " resamples; " +
                      std::to_string(resamples) + " were asked for");
  checkpairs(lmlist, x.cols() / 2);
  const Sides halves = sides(x, lmlist);
  std::vector<std::size_t> units;
  for (std::size_t i = 0; i < halves.usable.size(); ++i)
    if (halves.usable[i]) units.push_back(i);
  StrainBootstrap out;
  out.resamples = resamples;
  out.units = static_cast<Eigen::Index>(units.size());
  if (out.units < 3)
    throw core::Error("A bootstrap draws the specimens again, and needs at least three that can be fitted; there are " +
                      std::to_string(out.units));
  out.tail = stats::expandedtail(out.units);
  // The bed's strain, as UnDeform fits it.
  const Eigen::VectorXd bed = [&] {
    core::Team team(work.threads);
    return commonfreestrain(halves, team, work.bedchunk, {work.progress, 0, 0.1});
  }();

  const Anchor identity(identitystrain());
  std::vector<Scratch> scratch;
  std::vector<double> R(static_cast<std::size_t>(resamples)), theta(R.size());
  stats::Resampling how;
  how.resamples = resamples;
  how.base = core::rand64();
  how.threads = work.threads;
  how.chunk = 1;
  const Stage stage{work.progress, 0.1, 1};
  how.progress = [&](double fraction) { return stage(fraction); };
  const bool finished = stats::resample(
      out.units, how, [&](unsigned threads) { scratch.resize(threads); },
      [&](int b, std::span<const int> counts, unsigned thread) {
        // The bed's joint score with each specimen counted as often as it
        // was drawn, in specimen order.
        const auto joint = [&](const Eigen::VectorXd& p, std::span<const Eigen::MatrixXd>) {
          const FreeTrial t = freetrial(p, identity);
          if (!t.valid) return std::numeric_limits<double>::infinity();
          double sum = 0;
          for (std::size_t k = 0; k < units.size(); ++k)
            if (counts[k] > 0)
              sum += counts[k] * score2(t, halves.D[units[k]], halves.E[units[k]], halves.spread[units[k]], scratch[thread]);
          return sum / static_cast<double>(units.size());
        };
        const Eigen::VectorXd p = core::fminsearch(joint, bed, {1e-9, 1e-9, 4000, 8000}).x;
        const core::Strain refit = core::Strain::undone_by(freestrain(p));
        R[static_cast<std::size_t>(b)] = refit.R;
        theta[static_cast<std::size_t>(b)] = refit.longaxis.rad();
      });
  if (!finished) throw Cancelled();
  out.strain = stats::strainintervals(core::Strain::undone_by(freestrain(bed)), R, theta, out.tail);
  return out;
}

std::string bootstrapline(const StrainBootstrap& b) {
  std::string line = "BootstrapStrain: strain " + stats::cistext(b.strain) +
                     core::format(", fitted to the whole bed; %i resamples of the %i specimens, expanded percentile "
                                  "intervals (the %.2f and %.2f %% points of the refits)",
                                  b.resamples, b.units, 100 * b.tail, 100 * (1 - b.tail));
  if (b.strain.failed > 0) line += core::format("; %i resamples gave no strain and are left out", b.strain.failed);
  return line;
}

Eigen::RowVectorXd rotateshape(const Eigen::RowVectorXd& x, double theta) {
  // The same turn as formrotate of the uniform components.
  return warp::formrotate(x, theta);
}

} // namespace symrestore
