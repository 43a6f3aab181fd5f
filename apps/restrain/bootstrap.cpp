#include "apps/restrain/bootstrap.h"

#include "core/error.h"
#include "core/random.h"
#include "core/text_format.h"

#include <Eigen/Cholesky>
#include <Eigen/Eigenvalues>
#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <numbers>
#include <vector>

namespace restrain {

namespace {

constexpr double pi = std::numbers::pi;

// Sums over vertices of z z' (11, 22, 33, 12, 13, 23) and z, z = (x^2, y^2,
// x y): the normal equations of the conic a x^2 + b y^2 + c x y = 1.
using ConicSums = std::array<double, 9>;

// The pairs as the refits use them: the units drawn (specimens, or pairs),
// each with its pairs' count, summed p and conic sums, and the distinct t
// (groups) the numerical fit runs over.
struct Units {
  std::vector<int> group;
  std::vector<double> count, psum;
  std::vector<ConicSums> conic;
  std::vector<double> sint, cost; // of each group's t
  Eigen::Index size() const { return static_cast<Eigen::Index>(group.size()); }
};

Units gather(const PairAngles& pairs) {
  const Eigen::Index m = pairs.size();
  const bool specimens = pairs.specimens() > 0;
  const Eigen::Index n = specimens ? pairs.specimens() : m;
  Units u;
  u.group.assign(static_cast<std::size_t>(n), -1);
  u.count.assign(static_cast<std::size_t>(n), 0);
  u.psum.assign(static_cast<std::size_t>(n), 0);
  u.conic.assign(static_cast<std::size_t>(n), ConicSums{});
  const Eigen::MatrixXd v = vertices(pairs);
  std::map<double, int> groups;
  for (Eigen::Index i = 0; i < m; ++i) {
    const auto k = static_cast<std::size_t>(specimens ? pairs.specimen(i) : i);
    const auto [at, added] = groups.try_emplace(pairs.t(i), static_cast<int>(groups.size()));
    if (added) {
      u.sint.push_back(std::sin(pairs.t(i)));
      u.cost.push_back(std::cos(pairs.t(i)));
    }
    // A specimen's pairs share its t; a specimen whose pairs did not (a
    // file joined by hand) keeps the t of its first.
    if (u.group[k] < 0) u.group[k] = at->second;
    u.count[k] += 1;
    u.psum[k] += pairs.p(i);
    const double x = v(i, 0), y = v(i, 1), z1 = x * x, z2 = y * y, z3 = x * y;
    ConicSums& s = u.conic[k];
    s[0] += z1 * z1, s[1] += z2 * z2, s[2] += z3 * z3, s[3] += z1 * z2, s[4] += z1 * z3, s[5] += z2 * z3;
    s[6] += z1, s[7] += z2, s[8] += z3;
  }
  return u;
}

core::Strain nostrain() { return {std::nan(""), core::Bearing::radians(std::nan(""))}; }

// R >= 1 and the bearing in [0, pi): R and 1/R a quarter turn apart are
// one ellipse, and the prediction reads R^2 only.
core::Strain canonical(double R, double theta) {
  R = std::abs(R);
  if (R < 1) R = 1 / R, theta += pi / 2;
  if (!std::isfinite(R) || !std::isfinite(theta)) return nostrain();
  return {R, core::Bearing::radians(theta).axial()};
}

// The strain of the conic whose normal equations the sums hold; R NaN when
// they determine none or it is no ellipse.
core::Strain conicstrain(const ConicSums& s) {
  Eigen::Matrix3d a;
  a << s[0], s[3], s[4], s[3], s[1], s[5], s[4], s[5], s[2];
  const Eigen::Vector3d rhs(s[6], s[7], s[8]);
  // Scaled to a unit diagonal first: far vertices make the sums differ by
  // many orders of magnitude.
  const Eigen::Vector3d d = a.diagonal().cwiseSqrt().cwiseInverse();
  const Eigen::LDLT<Eigen::Matrix3d> ldlt(d.asDiagonal() * a * d.asDiagonal());
  const Eigen::Vector3d aa = d.asDiagonal() * ldlt.solve(d.asDiagonal() * rhs);
  if (ldlt.info() != Eigen::Success || !aa.allFinite()) return nostrain();
  Eigen::Matrix2d aam;
  aam << aa(0), aa(2) / 2, aa(2) / 2, aa(1);
  const Eigen::SelfAdjointEigenSolver<Eigen::Matrix2d> eig(aam);
  const Eigen::Vector2d l = eig.eigenvalues();
  if (!(l(0) > 0)) return nostrain();
  // The long axis belongs to the smaller eigenvalue.
  const Eigen::Vector2d v = eig.eigenvectors().col(0);
  return {std::sqrt(l(1) / l(0)), core::Bearing::of(v(0), v(1)).axial()};
}

// The numerical fit over groups of pairs that share a t: weight[g] pairs of
// mean p pbar[g] in each group g of `active`.
class GroupFit {
public:
  GroupFit(const Units& u, std::span<const int> active, const double* weight, const double* pbar)
      : u_(u), active_(active), weight_(weight), pbar_(pbar) {}

  // Least sum of weight (pbar - predicted p)^2 by Levenberg-Marquardt from
  // `start`; NaN when it finds none.
  core::Strain fit(const core::Strain& start) const {
    double R = start.R, theta = start.longaxis.rad();
    Step at = evaluate(R, theta);
    double lambda = 1e-3;
    for (int it = 0; it < 200 && at.cost > 0 && std::isfinite(at.cost); ++it) {
      // Marquardt's damping, scaled by the curvature of each parameter
      // (theta' has none at R = 1, where every bearing fits alike).
      const double floor = 1e-12 * (at.jtj(0, 0) + at.jtj(1, 1));
      Eigen::Matrix2d a = at.jtj;
      a(0, 0) += lambda * std::max(at.jtj(0, 0), floor);
      a(1, 1) += lambda * std::max(at.jtj(1, 1), floor);
      const Eigen::Vector2d step = -a.ldlt().solve(at.jtr);
      if (!step.allFinite()) break;
      const Step trial = evaluate(R + step(0), theta + step(1));
      if (trial.cost <= at.cost) {
        const bool small = std::abs(step(0)) <= 1e-12 * (1 + std::abs(R)) && std::abs(step(1)) <= 1e-12;
        const bool flat = at.cost - trial.cost <= 1e-15 * at.cost;
        R += step(0), theta += step(1);
        at = trial;
        lambda = std::max(lambda / 10, 1e-12);
        if (small || flat) break;
      } else {
        lambda *= 10;
        if (lambda > 1e16) break;
      }
    }
    return canonical(R, theta);
  }

private:
  struct Step {
    double cost = 0;
    Eigen::Matrix2d jtj = Eigen::Matrix2d::Zero();
    Eigen::Vector2d jtr = Eigen::Vector2d::Zero();
  };

  // The cost and its Gauss-Newton parts at (R, theta). With phi = t -
  // theta, s = sin phi, c = cos phi and D = c^2 + R^2 s^2, the predicted p
  // is pi/2 - atan(gamma), gamma = (1 - R^2) s c / D (wellpenalty's
  // atan2(1, gamma)); d gamma / dR = -2 R s c / D^2 and d gamma / d phi =
  // (1 - R^2)(c^2 - R^2 s^2) / D^2.
  Step evaluate(double R, double theta) const {
    Step out;
    const double st = std::sin(theta), ct = std::cos(theta), r2 = R * R;
    for (const int g : active_) {
      const auto k = static_cast<std::size_t>(g);
      const double s = u_.sint[k] * ct - u_.cost[k] * st, c = u_.cost[k] * ct + u_.sint[k] * st;
      const double d = c * c + r2 * s * s, gamma = (1 - r2) * s * c / d;
      const double r = pbar_[k] - (pi / 2 - std::atan(gamma));
      const double k1 = 1 / (1 + gamma * gamma) / (d * d);
      const double jr = k1 * (-2 * R * s * c), jt = -k1 * (1 - r2) * (c * c - r2 * s * s);
      const double w = weight_[k];
      out.cost += w * r * r;
      out.jtj(0, 0) += w * jr * jr;
      out.jtj(0, 1) += w * jr * jt;
      out.jtj(1, 1) += w * jt * jt;
      out.jtr(0) += w * jr * r;
      out.jtr(1) += w * jt * r;
    }
    out.jtj(1, 0) = out.jtj(0, 1);
    return out;
  }

  const Units& u_;
  std::span<const int> active_;
  const double *weight_, *pbar_;
};

// One resample's sums: the pairs and mean p of each group drawn, and the
// conic sums, from the times each unit was drawn. Groups come in the order
// their first unit is drawn, units in their order: the sums are the same
// whichever thread makes them.
struct Drawn {
  std::vector<double> weight, pbar;
  std::vector<int> active;
  ConicSums conic{};

  explicit Drawn(std::size_t groups) : weight(groups, 0), pbar(groups, 0) {}

  void add(const Units& u, std::span<const int> counts) {
    for (const int g : active) weight[static_cast<std::size_t>(g)] = pbar[static_cast<std::size_t>(g)] = 0;
    active.clear();
    conic.fill(0);
    for (std::size_t k = 0; k < counts.size(); ++k) {
      if (counts[k] == 0) continue;
      const double c = counts[k];
      const auto g = static_cast<std::size_t>(u.group[k]);
      if (weight[g] == 0) active.push_back(u.group[k]);
      weight[g] += c * u.count[k];
      pbar[g] += c * u.psum[k];
      for (std::size_t j = 0; j < conic.size(); ++j) conic[j] += c * u.conic[k][j];
    }
    for (const int g : active) pbar[static_cast<std::size_t>(g)] /= weight[static_cast<std::size_t>(g)];
  }
};

} // namespace

core::Strain leastsquares(const PairAngles& pairs, const core::Strain& start) {
  const Units u = gather(pairs);
  Drawn all(u.sint.size());
  all.add(u, std::vector<int>(u.group.size(), 1));
  return GroupFit(u, all.active, all.weight.data(), all.pbar.data()).fit(start);
}

std::optional<WellmanBootstrap> bootstrapwellman(const PairAngles& pairs, int resamples, const core::Progress& progress,
                                                 unsigned threads) {
  if (resamples < 100 || resamples > maxresamples)
    throw core::Error("A bootstrap needs from 100 to " + std::to_string(maxresamples) + " resamples; " +
                      std::to_string(resamples) + " were asked for");
  WellmanBootstrap out;
  out.resamples = resamples;
  out.specimens = pairs.specimens() > 0;
  const Units u = gather(pairs);
  out.units = u.size();
  if (out.units < 3)
    throw core::Error(std::string("A bootstrap draws the ") + (out.specimens ? "specimens" : "pairs") +
                      " again, and needs at least three of them; the pooled angles hold " + std::to_string(out.units));
  out.tail = stats::expandedtail(out.units);

  // The bed's own fits: the analytic one as DoWellman makes it, the
  // numerical one from the refinement's, taken to the least squares.
  const AnalyticFit a = analyticfit(pairs);
  const core::Bearing start = std::isfinite(a.fit.strain.longaxis.rad()) ? a.fit.strain.longaxis : core::Bearing::radians(0);
  const Refinement r = refine(pairs, start);
  const core::Strain numerical = leastsquares(pairs, canonical(r.strain.R, r.strain.longaxis.rad()));
  const core::Strain analytic =
      a.fit.ellipse ? canonical(a.fit.strain.R, a.fit.strain.longaxis.rad()) : nostrain();

  stats::Resampling how;
  how.resamples = resamples;
  how.base = core::rand64();
  how.threads = threads;
  how.progress = progress;
  std::vector<double> Rn(static_cast<std::size_t>(resamples)), tn(Rn.size()), Ra(Rn.size()), ta(Rn.size());
  std::vector<Drawn> drawn;
  const bool finished = stats::resample(
      u.size(), how, [&](unsigned threads) { drawn.assign(threads, Drawn(u.sint.size())); },
      [&](int b, std::span<const int> counts, unsigned thread) {
        Drawn& d = drawn[thread];
        d.add(u, counts);
        const auto k = static_cast<std::size_t>(b);
        const core::Strain fa = conicstrain(d.conic);
        Ra[k] = fa.R, ta[k] = fa.longaxis.rad();
        const core::Strain fn =
            std::isfinite(numerical.R) ? GroupFit(u, d.active, d.weight.data(), d.pbar.data()).fit(numerical) : numerical;
        Rn[k] = fn.R, tn[k] = fn.longaxis.rad();
      });
  if (!finished) return std::nullopt;
  out.numerical = stats::strainintervals(numerical, Rn, tn, out.tail);
  out.analytic = stats::strainintervals(analytic, Ra, ta, out.tail);
  return out;
}

namespace {

// "; 3 resamples gave no ellipse and are left out", or "".
std::string failures(const stats::StrainInterval& s, const char* what) {
  if (s.failed == 0) return "";
  return core::format("; %i resample%s gave no %s and %s left out", s.failed, s.failed == 1 ? "" : "s", what,
                      s.failed == 1 ? "is" : "are");
}

} // namespace

std::vector<Eigen::MatrixX2d> intervallines(const stats::StrainInterval& s, double shorthalf) {
  const auto along = [](double bearing) { return Eigen::Vector2d(std::sin(bearing), std::cos(bearing)); };
  std::vector<Eigen::MatrixX2d> out;
  const double theta = s.estimate.longaxis.rad();
  for (const double R : {s.R.low, s.R.high})
    if (std::isfinite(R) && R > 0 && std::isfinite(theta))
      out.push_back(ellipsepoints(along(theta), std::max(R, 1.0) * shorthalf, std::min(R, 1.0) * shorthalf));
  // The arcs a little beyond the estimate's ellipse, so that they show.
  const double reach = fanreach * s.estimate.R * shorthalf;
  if (!(std::isfinite(s.theta.low) && std::isfinite(s.theta.high) && std::isfinite(reach))) return out;
  // Each half of the fan: centre, out along one end, round the arc to the
  // other end, back to the centre.
  constexpr int steps = 24;
  for (const double half : {0.0, pi}) {
    Eigen::MatrixX2d fan(steps + 3, 2);
    fan.row(0).setZero();
    for (int k = 0; k <= steps; ++k)
      fan.row(k + 1) = reach * along(half + s.theta.low + (s.theta.high - s.theta.low) * k / steps).transpose();
    fan.row(steps + 2).setZero();
    out.push_back(fan);
  }
  return out;
}

std::vector<std::string> bootstrapreport(const WellmanBootstrap& b) {
  const std::string drawn =
      b.specimens ? core::format("the %i specimens, each with all its pairs", b.units)
                  : core::format("the %i pairs (their specimens are not known, so single pairs were drawn: the "
                                 "intervals are too narrow when the pairs of a specimen share errors)",
                                 b.units);
  return {stats::cistext(b.numerical),
          core::format("NUMERICAL METHOD, bootstrap of %i resamples of %s: expanded percentile intervals (the %.2f "
                       "and %.2f %% points of the refits)%s.",
                       b.resamples, drawn, 100 * b.tail, 100 * (1 - b.tail), failures(b.numerical, "fit")),
          "ANALYTIC METHOD: " + stats::cistext(b.analytic) + failures(b.analytic, "ellipse") + "."};
}

std::vector<std::string> bootstraptable(const WellmanBootstrap& b) {
  return {stats::intervalheader, stats::intervalrow("numerical", b.numerical), stats::intervalrow("analytic", b.analytic)};
}

} // namespace restrain
