#include "apps/restrain/wellman.h"

#include "core/configurations.h"
#include "core/error.h"
#include "core/minimise.h"
#include "core/parallel.h"
#include "core/random.h"
#include "core/text_format.h"

#include <Eigen/Cholesky>
#include <Eigen/Eigenvalues>
#include <Eigen/QR>
#include <algorithm>
#include <bit>
#include <cmath>
#include <future>
#include <numbers>
#include <numeric>
#include <unordered_map>
#include <vector>

namespace restrain {

namespace {

constexpr double pi = std::numbers::pi;

// The vertex in its sine form, (0, -ry) + 2 ry sin(t + p) / sin p (sin t,
// cos t): finite wherever p is not a multiple of half a turn.
Eigen::RowVector2d sineform(double ry, double t, double p) {
  const double s = 2 * ry * std::sin(t + p) / std::sin(p);
  return {s * std::sin(t), s * std::cos(t) - ry};
}

// The conic fit with its working storage, reused across the permutations
// of a test so that no fit allocates.
class ConicFitter {
public:
  explicit ConicFitter(Eigen::Index m) : xm_(m, 3), qr_(m, 3), ones_(Eigen::VectorXd::Ones(m)) {}

  EllipseFit fit(const Eigen::Ref<const Eigen::MatrixX2d>& vlist) {
    design(vlist);
    // The conic closest to passing through every vertex: least squares by
    // pivoted QR, as a right division solves it.
    qr_.compute(xm_);
    return fromconic(qr_.solve(ones_), static_cast<int>(qr_.rank()));
  }

  // The same least squares by its normal equations, for the permutation
  // test's thousands of fits: one pass over the vertices where a Householder
  // QR of the tall design makes a dozen, which on 100,000 vertices is the
  // difference between reading memory and computing. The equations are
  // scaled to a unit diagonal; squaring the design squares its condition,
  // so where they would keep fewer than half the digits (reciprocal
  // condition below 1e-8) the QR decides. The rank is not found here.
  EllipseFit quickfit(const Eigen::Ref<const Eigen::MatrixX2d>& vlist) {
    Eigen::Matrix3d gram = Eigen::Matrix3d::Zero();
    Eigen::Vector3d rhs = Eigen::Vector3d::Zero();
    for (Eigen::Index i = 0; i < vlist.rows(); ++i) {
      const double x = vlist(i, 0), y = vlist(i, 1);
      const Eigen::Vector3d d(x * x, y * y, x * y);
      gram.noalias() += d * d.transpose();
      rhs += d;
    }
    const Eigen::Vector3d scale = gram.diagonal().cwiseSqrt().cwiseInverse();
    if (scale.allFinite()) {
      const Eigen::LDLT<Eigen::Matrix3d> ldlt(scale.asDiagonal() * gram * scale.asDiagonal());
      if (ldlt.info() == Eigen::Success && ldlt.isPositive() && ldlt.rcond() >= 1e-8)
        return fromconic(scale.asDiagonal() * ldlt.solve(scale.asDiagonal() * rhs), 3);
    }
    return fit(vlist);
  }

private:
  // The design: x^2, y^2 and xy of each vertex.
  void design(const Eigen::Ref<const Eigen::MatrixX2d>& vlist) {
    for (Eigen::Index i = 0; i < vlist.rows(); ++i) {
      const double x = vlist(i, 0), y = vlist(i, 1);
      xm_(i, 0) = x * x;
      xm_(i, 1) = y * y;
      xm_(i, 2) = x * y;
    }
  }

  // The strain of the conic a x^2 + b y^2 + c xy = 1.
  static EllipseFit fromconic(const Eigen::Vector3d& aa, int rank) {
    EllipseFit f;
    f.aa = aa;
    f.rank = rank;
    Eigen::Matrix2d aam;
    aam << f.aa(0), f.aa(2) / 2, f.aa(2) / 2, f.aa(1);
    if (!aam.allFinite()) {
      f.strain = {std::nan(""), core::Bearing::radians(std::nan(""))};
      f.lambda.setConstant(std::nan(""));
      f.V.setConstant(std::nan(""));
      f.di.setConstant(std::nan(""));
      return f;
    }
    const Eigen::SelfAdjointEigenSolver<Eigen::Matrix2d> eig(aam);
    f.lambda = eig.eigenvalues();
    f.V = eig.eigenvectors();
    f.ellipse = f.lambda(0) > 0 && f.lambda(1) > 0;
    // The long axis belongs to the smaller eigenvalue.
    const double R = std::pow(f.lambda(0), -0.5) / std::pow(f.lambda(1), -0.5);
    // Its bearing, measured like t from +y towards +x, whatever the sign
    // of the eigenvector.
    double thetap = core::Bearing::of(f.V(0, 0), f.V(1, 0)).rad();
    if (thetap < 0) thetap += pi;
    if (thetap > pi) thetap -= pi;
    f.strain = {R, core::Bearing::radians(thetap)};

    // The classic construction's matrix: the long axis's angle from +x,
    // taken in [-pi/2, pi/2], mirrored across x, and lengths along that
    // mirrored direction shortened by R^-1/2.
    double phiboy = std::atan2(f.V(1, 0), f.V(0, 0));
    if (phiboy < -pi / 2) phiboy += pi;
    if (phiboy > pi / 2) phiboy -= pi;
    f.di = core::purestrain(-phiboy, std::pow(R, -0.5));
    return f;
  }

  Eigen::MatrixXd xm_;
  Eigen::ColPivHouseholderQR<Eigen::MatrixXd> qr_;
  Eigen::VectorXd ones_;
};

// Permutations per block: about a million pair indices (4 MB), at least
// one permutation and at most 4096.
int defaultblock(Eigen::Index m) {
  return static_cast<int>(std::clamp<Eigen::Index>((Eigen::Index{1} << 20) / std::max<Eigen::Index>(m, 1), 1, 4096));
}

} // namespace

const double vertexless = 2 * std::atan(1e-3) * 180 / pi;

PairAngles PairAngles::degrees(const Eigen::MatrixXd& alltp, const Eigen::VectorXi& specimen) {
  if (alltp.cols() < 2)
    throw core::Error("The pooled angle data need two columns, t and p; they have " + std::to_string(alltp.cols()));
  PairAngles out;
  out.t = alltp.col(0).unaryExpr([](double t) { return core::Bearing::degrees(t).rad(); });
  out.p = alltp.col(1).unaryExpr([](double p) { return core::Angle::degrees(p).rad(); });
  if (specimen.size() == alltp.rows()) out.specimen = specimen;
  return out;
}

PairAngles PairAngles::forwellman(const Eigen::MatrixXd& alltp, const Eigen::VectorXi& specimen) {
  const PairAngles all = degrees(alltp, specimen);
  std::vector<Eigen::Index> kept;
  PairAngles out;
  for (Eigen::Index i = 0; i < alltp.rows(); ++i) {
    const double t = alltp(i, 0), p = alltp(i, 1);
    // The angles as the file gives them, in degrees, where 180 is exact.
    const double half = std::isfinite(p) ? std::abs(std::fmod(p, 180.0)) : 0;
    if (std::isfinite(t) && half >= vertexless && half <= 180 - vertexless) kept.push_back(i);
    else out.leftout.push_back(i);
  }
  if (kept.size() < 3)
    throw core::Error("A strain ellipse needs at least three (t, p) pairs; the pooled angle data hold " +
                      std::to_string(kept.size()) +
                      (out.leftout.empty() ? std::string()
                                           : core::format(" with a Wellman vertex (of %i)", alltp.rows())));
  out.t = all.t(kept);
  out.p = all.p(kept);
  if (all.specimen.size() > 0) {
    // Numbered again over the pairs kept, in order of first appearance.
    std::vector<int> number(static_cast<std::size_t>(all.specimen.maxCoeff() + 1), -1);
    int next = 0;
    out.specimen.resize(static_cast<Eigen::Index>(kept.size()));
    for (std::size_t k = 0; k < kept.size(); ++k) {
      int& n = number[static_cast<std::size_t>(all.specimen(kept[k]))];
      if (n < 0) n = next++;
      out.specimen(static_cast<Eigen::Index>(k)) = n;
    }
  }
  return out;
}

std::string leftoutline(const PairAngles& pairs, const Eigen::MatrixXd& alltp) {
  const std::size_t n = pairs.leftout.size();
  if (n == 0) return "";
  std::string line = core::format("%i of %i pairs left out: ", n, alltp.rows());
  constexpr std::size_t shown = 5;
  for (std::size_t k = 0; k < std::min(n, shown); ++k) {
    const Eigen::Index i = pairs.leftout[k];
    line += core::format("%srow %i (t = %g, p = %g)", k == 0 ? "" : ", ", i + 1, alltp(i, 0), alltp(i, 1));
  }
  if (n > shown) line += core::format(" and %i more", n - shown);
  return line + core::format(" (p within %.3f degrees of 0 or 180, or an angle that is no number: the pair's line "
                             "runs along its midline, as no strain up to R = 1000 turns it, and has no Wellman vertex)",
                             vertexless);
}

Eigen::RowVector2d getvertices2(double ry, core::Bearing t, core::Angle p) {
  // Slopes dy/dx of the lines at bearings t and t + p.
  const double mt = 1 / std::tan(t.rad()), mp = 1 / std::tan((t + p).rad());
  const double xp = 2 * ry / (mt - mp);
  const Eigen::RowVector2d v(xp, mt * xp - ry);
  return v.allFinite() ? v : sineform(ry, t.rad(), p.rad());
}

Eigen::MatrixXd vertices(const PairAngles& pairs) {
  Eigen::MatrixXd v(pairs.size(), 2);
  for (Eigen::Index i = 0; i < pairs.size(); ++i)
    v.row(i) = getvertices2(1, core::Bearing::radians(pairs.t(i)), core::Angle::radians(pairs.p(i)));
  return v;
}

EllipseFit wellman2(const Eigen::MatrixXd& vlist) {
  ConicFitter fitter(vlist.rows());
  return fitter.fit(vlist.leftCols(2));
}

double predictedp(const core::Strain& strain, core::Bearing t) {
  const double tanphip = std::tan(t.rad() - strain.longaxis.rad());
  const double rs2 = strain.R * strain.R;
  const double gamma = (1 - rs2) * tanphip / (1 + rs2 * tanphip * tanphip);
  return std::atan2(1, gamma);
}

Penalty wellpenalty(const core::Strain& strain, const PairAngles& pairs) {
  const Eigen::Index n = pairs.size();
  double chi2 = 0, sumy = 0, sumy2 = 0;
  for (Eigen::Index i = 0; i < n; ++i) {
    const double p = pairs.p(i);
    const double diff = p - predictedp(strain, core::Bearing::radians(pairs.t(i)));
    chi2 += diff * diff;
    sumy += p;
    sumy2 += p * p;
  }
  Penalty out;
  out.sst = sumy2 - sumy * sumy / static_cast<double>(n);
  out.rtwo = out.sst == 0 ? 1 : 1 - chi2 / out.sst;
  out.chitwo = chi2;
  return out;
}

AnalyticFit analyticfit(const PairAngles& pairs) {
  AnalyticFit a;
  a.vlista = vertices(pairs);
  a.fit = wellman2(a.vlista);
  a.penalty = wellpenalty(a.fit.strain, pairs);
  return a;
}

std::string fitproblem(const AnalyticFit& a) {
  const Eigen::Index m = a.vlista.rows();
  if (a.fit.rank < 3)
    return core::format("the %i vertices lie on too few distinct points to determine a conic (the fit's design has "
                        "rank %i of 3), so the fitted R and θ′ mean nothing",
                        m, a.fit.rank);
  if (!(a.penalty.rtwo > 0) || !std::isfinite(a.penalty.rtwo))
    return core::format("the R^2 of the fit is %g: the fitted strain explains none of the variation of p among the %i "
                        "pairs, so the fitted R and θ′ mean nothing",
                        a.penalty.rtwo, m);
  return "";
}

double wellpenalty2(const Eigen::VectorXd& p, std::span<const Eigen::MatrixXd> extra) {
  if (p.size() != 2)
    throw core::Error("wellpenalty2 needs the parameters [R, theta'] (2 numbers); it was given " +
                      std::to_string(p.size()));
  if (extra.empty() || extra[0].cols() < 2) throw core::Error("wellpenalty2 needs the angle data (t, p in radians)");
  const Eigen::MatrixXd& tp = extra[0];
  double chi2 = 0;
  for (Eigen::Index i = 0; i < tp.rows(); ++i) {
    const double diff = tp(i, 1) - predictedp({p(0), core::Bearing::radians(p(1))}, core::Bearing::radians(tp(i, 0)));
    chi2 += diff * diff;
  }
  return chi2;
}

Refinement refine(const PairAngles& pairs, core::Bearing start) {
  Eigen::MatrixXd tp(pairs.size(), 2);
  tp << pairs.t, pairs.p;
  const std::vector<Eigen::MatrixXd> extra{tp};
  const core::MinimiseResult r = core::fminsearch(wellpenalty2, Eigen::Vector2d(1.1, start.rad()), {}, extra);
  Refinement out;
  out.strain = {r.x(0), core::Bearing::radians(r.x(1))};
  out.chi = r.fval;
  out.penalty = wellpenalty(out.strain, pairs);
  return out;
}

namespace {

// The R^2 and Chi^2 of the analytic fit to many pairings of the observed t
// and p, each pairing one permutation: pair i of a pairing takes the t of
// row trow[i] and the p of row prow[i]. Every trigonometric value a pairing
// needs except one arctangent per pair follows from the tangents of the
// observed t and p, by the addition formulas: 1 / tan(t + p) = (1 - tan t
// tan p) / (tan t + tan p) and tan(t - theta') = (tan t - tan theta') /
// (1 + tan t tan theta').
class PairingScorer {
public:
  explicit PairingScorer(const PairAngles& pairs)
      : pairs_(pairs), tant_(2, pairs.size()), ptanp_(2, pairs.size()),
        tgroup_(static_cast<std::size_t>(pairs.size())) {
    // Side by side, as a pairing reads them: a row's tan t with its slope
    // 1 / tan t, and a row's p with its tan p (the p rows come in the
    // permutation's random order, one cache line each).
    for (Eigen::Index i = 0; i < pairs.size(); ++i) {
      tant_(0, i) = std::tan(pairs.t(i));
      tant_(1, i) = 1 / tant_(0, i);
      ptanp_(0, i) = pairs.p(i);
      ptanp_(1, i) = std::tan(pairs.p(i));
    }
    // The pairs of one specimen share its midline's t, so a pairing holds
    // far fewer distinct t than pairs: each row's t is numbered by its
    // value, and the fit's predicted p is found once per value.
    // (Numbered by their bits, so that equal means the same tangent.)
    std::unordered_map<std::uint64_t, int> number;
    for (Eigen::Index i = 0; i < pairs.size(); ++i) {
      const auto [at, added] =
          number.try_emplace(std::bit_cast<std::uint64_t>(pairs.t(i)), static_cast<int>(number.size()));
      tgroup_[static_cast<std::size_t>(i)] = at->second;
      if (added) grouptant_.push_back(tant_(0, i));
    }
  }

  // Distinct values of t among the pairs.
  Eigen::Index tvalues() const { return static_cast<Eigen::Index>(grouptant_.size()); }

  // Working storage of one thread.
  struct Buffers {
    ConicFitter fitter;
    Eigen::MatrixX2d vlist;
    Eigen::VectorXd pap;
    std::vector<int> trow, prow;
    std::vector<double> predicted; // the fit's p at each distinct t
    Buffers(Eigen::Index m, Eigen::Index tvalues)
        : fitter(m), vlist(m, 2), pap(m), trow(static_cast<std::size_t>(m)), prow(static_cast<std::size_t>(m)),
          predicted(static_cast<std::size_t>(tvalues)) {}
  };

  // R^2 and Chi^2 of the pairing in b.trow, b.prow.
  std::pair<double, double> score(Buffers& b) const {
    const Eigen::Index m = pairs_.size();
    for (Eigen::Index i = 0; i < m; ++i) {
      // The Wellman vertex of (t_i, p_k), as getvertices2.
      const auto u = static_cast<Eigen::Index>(b.trow[static_cast<std::size_t>(i)]);
      const auto k = static_cast<Eigen::Index>(b.prow[static_cast<std::size_t>(i)]);
      const double tt = tant_(0, u), mt = tant_(1, u), p = ptanp_(0, k), tp = ptanp_(1, k);
      b.pap(i) = p;
      const double mp = (1 - tt * tp) / (tt + tp);
      const double xp = 2 / (mt - mp);
      b.vlist(i, 0) = xp;
      b.vlist(i, 1) = mt * xp - 1;
      if (!std::isfinite(b.vlist(i, 1)) || !std::isfinite(xp))
        b.vlist.row(i) = sineform(1, pairs_.t(u), p); // t along the baseline
    }
    const EllipseFit f = b.fitter.quickfit(b.vlist);
    const double R = f.strain.R, thetap = f.strain.longaxis.rad();
    // No ellipse, no strain: its scores are not numbers (and the
    // arctangents of non-numbers are slow to find so).
    if (!std::isfinite(R) || !std::isfinite(thetap)) return {std::nan(""), std::nan("")};
    // wellpenalty of the fit against the pairing.
    const double tanth = std::tan(thetap), rs2 = R * R;
    for (std::size_t g = 0; g < grouptant_.size(); ++g) {
      const double tt = grouptant_[g];
      const double tanphip = (tt - tanth) / (1 + tt * tanth);
      const double gamma = (1 - rs2) * tanphip / (1 + rs2 * tanphip * tanphip);
      b.predicted[g] = std::atan2(1, gamma);
    }
    double chi2 = 0, sumy = 0, sumy2 = 0;
    for (Eigen::Index i = 0; i < m; ++i) {
      const double predicted = b.predicted[static_cast<std::size_t>(tgroup_[static_cast<std::size_t>(b.trow[static_cast<std::size_t>(i)])])];
      const double p = b.pap(i), diff = p - predicted;
      chi2 += diff * diff;
      sumy += p;
      sumy2 += p * p;
    }
    const double sst = sumy2 - sumy * sumy / static_cast<double>(m);
    return {sst == 0 ? 1 : 1 - chi2 / sst, chi2};
  }

private:
  const PairAngles& pairs_;
  Eigen::Matrix2Xd tant_, ptanp_;  // (tan t, 1 / tan t) and (p, tan p) of each row
  std::vector<int> tgroup_;        // each row's number among the distinct t
  std::vector<double> grouptant_;  // tan t of each distinct t
};

// How one family of permutations is drawn and turned into pairings.
struct Family {
  int width;                                   // numbers drawn per permutation
  std::function<void(int* drawn)> draw;        // on the calling thread, in order
  std::function<void(const int* drawn, PairingScorer::Buffers& b)> pair; // fills b.trow, b.prow
};

// nperms permutations of one family, drawn block by block in order (the
// generator is the program's one sequence) and each block then scored on
// every core: the draws are those of drawing them all first, every score
// depends on its permutation alone, so neither the block size nor the
// number of threads changes the result, and memory stays two blocks. The
// scores go to r2 and chi (each nperms long); false when cancelled.
// `done` permutations of `total` have run before these.
bool scorefamily(const PairingScorer& scorer, Eigen::Index m, int nperms, const Family& family, int blocksize,
                 core::Team& team, std::vector<PairingScorer::Buffers>& buffers, Eigen::VectorXd& r2,
                 Eigen::VectorXd* chi, const std::function<bool(double)>& progress, int done, int total) {
  const auto width = static_cast<std::size_t>(family.width);
  std::vector<int> order(static_cast<std::size_t>(std::min(blocksize, nperms)) * width);
  int blockstart = 0, blockend = 0;
  const auto prepare = [&](unsigned threads) {
    while (buffers.size() < threads) buffers.emplace_back(m, scorer.tvalues());
  };
  // Threads take chunks of the block's permutations in turn; each scores
  // its own with its own buffers.
  const auto run = [&](const core::Chunk& chunk, unsigned thread) {
    PairingScorer::Buffers& b = buffers[thread];
    for (Eigen::Index j = blockstart + chunk.begin; j < blockstart + chunk.end; ++j) {
      family.pair(order.data() + static_cast<std::size_t>(j - blockstart) * width, b);
      const auto [rtwo, chitwo] = scorer.score(b);
      r2(j) = rtwo;
      if (chi) (*chi)(j) = chitwo;
    }
  };
  // Only the calling thread reports progress, which lets a window answer
  // its user, and hears a cancel.
  const auto reported = [&](Eigen::Index finished) {
    return !progress || progress(static_cast<double>(done + blockstart + finished) / total);
  };
  // Drawing is the one thing done in order, so with more than one thread
  // the next block is drawn beside the scoring of this one (on a thread of
  // its own: nothing else draws meanwhile, so the sequence is the same).
  std::vector<int> next(order.size());
  const auto drawblock = [&](std::vector<int>& into, int from, int to) {
    for (int j = from; j < to; ++j) family.draw(into.data() + static_cast<std::size_t>(j - from) * width);
  };
  blockend = std::min(blocksize, nperms);
  drawblock(order, 0, blockend);
  for (blockstart = 0; blockstart < nperms; blockstart = blockend) {
    blockend = blockstart + std::min(blocksize, nperms - blockstart);
    const int nextend = blockend + std::min(blocksize, nperms - blockend);
    std::future<void> drawing;
    if (blockend < nperms) {
      if (team.size() > 1) drawing = std::async(std::launch::async, drawblock, std::ref(next), blockend, nextend);
      else drawblock(next, blockend, nextend);
    }
    const bool scored =
        team.parallel_for(blockend - blockstart, {.chunk = 32}, prepare, run, [](const core::Chunk&) {}, reported);
    if (drawing.valid()) drawing.get();
    if (!scored) return false;
    std::swap(order, next);
  }
  return true;
}

// Sorted ascending, non-numbers last.
void sortnanlast(Eigen::VectorXd& v) {
  std::sort(v.begin(), v.end(), [](double a, double b) { return std::isnan(b) ? !std::isnan(a) : a < b; });
}

// (1 + the values at least the observed) / (1 + their count); 1 for an
// observed value that is no number.
double rankp(const Eigen::VectorXd& values, double observed) {
  const auto n = values.size();
  Eigen::Index better = n;
  if (!std::isnan(observed)) {
    better = 0;
    for (Eigen::Index j = 0; j < n; ++j)
      if (values(j) >= observed) ++better;
  }
  return static_cast<double>(1 + better) / static_cast<double>(1 + n);
}

} // namespace

std::optional<PermutationTest> permutationtest(const PairAngles& pairs, int nperms,
                                               const std::function<bool(double)>& progress, unsigned threads,
                                               int block) {
  if (nperms < 40)
    throw core::Error("A permutation test needs at least 40 permutations to give a 95 % range; " +
                      std::to_string(nperms) + " were asked for");
  if (nperms > maxpermutations)
    throw core::Error("A permutation test of " + std::to_string(nperms) + " permutations would not finish in a working " +
                      "session; at most " + std::to_string(maxpermutations) + " can be asked for");
  PermutationTest out;
  out.observed = analyticfit(pairs);
  const Eigen::Index m = pairs.size();
  const PairingScorer scorer(pairs);
  const int blocksize = block > 0 ? block : defaultblock(m);
  core::Team team(threads);
  std::vector<PairingScorer::Buffers> buffers;
  const Eigen::Index specimens = pairs.specimens();
  const int total = specimens > 0 ? 2 * nperms : nperms;

  // The p column shuffled among the t: pair i takes the p of row perm(i).
  const Family shuffles{static_cast<int>(m),
                        [m](int* drawn) {
                          const Eigen::VectorXi perm = core::randperm(static_cast<int>(m));
                          std::copy(perm.data(), perm.data() + m, drawn);
                        },
                        [m](const int* drawn, PairingScorer::Buffers& b) {
                          for (Eigen::Index i = 0; i < m; ++i) {
                            b.trow[static_cast<std::size_t>(i)] = static_cast<int>(i);
                            b.prow[static_cast<std::size_t>(i)] = drawn[i] - 1;
                          }
                        }};
  out.prtwo.resize(nperms);
  out.pchitwo.resize(nperms);
  if (!scorefamily(scorer, m, nperms, shuffles, blocksize, team, buffers, out.prtwo, &out.pchitwo, progress, 0, total))
    return std::nullopt;

  if (specimens > 0) {
    // Whole specimens: specimen j's t (that of its first pair) goes to
    // every p of specimen perm(j), whatever the two specimens' numbers of
    // pairs, so the pairing still holds m pairs.
    // Specimen j's pairs are rows members[first[j]] to members[first[j + 1] - 1].
    std::vector<int> first(static_cast<std::size_t>(specimens) + 1, 0), members(static_cast<std::size_t>(m));
    for (Eigen::Index i = 0; i < m; ++i) ++first[static_cast<std::size_t>(pairs.specimen(i)) + 1];
    std::partial_sum(first.begin(), first.end(), first.begin());
    std::vector<int> filled(first.begin(), first.end() - 1);
    for (Eigen::Index i = 0; i < m; ++i)
      members[static_cast<std::size_t>(filled[static_cast<std::size_t>(pairs.specimen(i))]++)] = static_cast<int>(i);
    const Family wholes{static_cast<int>(specimens),
                        [specimens](int* drawn) {
                          const Eigen::VectorXi perm = core::randperm(static_cast<int>(specimens));
                          std::copy(perm.data(), perm.data() + specimens, drawn);
                        },
                        [&members, &first, specimens](const int* drawn, PairingScorer::Buffers& b) {
                          std::size_t i = 0;
                          for (std::size_t j = 0; j < static_cast<std::size_t>(specimens); ++j) {
                            const int t = members[static_cast<std::size_t>(first[j])];
                            const auto from = static_cast<std::size_t>(drawn[j] - 1);
                            for (int r = first[from]; r < first[from + 1]; ++r) {
                              b.trow[i] = t;
                              b.prow[i++] = members[static_cast<std::size_t>(r)];
                            }
                          }
                        }};
    out.specimenrtwo.resize(nperms);
    const int specimenblock = block > 0 ? block : defaultblock(specimens);
    if (!scorefamily(scorer, m, nperms, wholes, specimenblock, team, buffers, out.specimenrtwo, nullptr, progress,
                     nperms, total))
      return std::nullopt;
    sortnanlast(out.specimenrtwo);
  }

  // Each list sorted on its own, non-numbers last.
  sortnanlast(out.prtwo);
  sortnanlast(out.pchitwo);
  const auto lower = static_cast<Eigen::Index>(std::floor(0.025 * nperms)) - 1;
  const auto upper = static_cast<Eigen::Index>(std::ceil(0.975 * nperms)) - 1;
  out.r2low = out.prtwo(lower);
  out.r2high = out.prtwo(upper);
  out.chilow = out.pchitwo(lower);
  out.chihigh = out.pchitwo(upper);
  return out;
}

double permutationp(const PermutationTest& test) { return rankp(test.prtwo, test.observed.penalty.rtwo); }

double specimenp(const PermutationTest& test) {
  return test.specimenrtwo.size() == 0 ? std::nan("") : rankp(test.specimenrtwo, test.observed.penalty.rtwo);
}

std::string ptext(double p, int nperms) {
  const long reached = std::lround(p * (nperms + 1.0)) - 1;
  if (reached <= 0)
    return core::format("%.4g = 1/%i, the least %i permutations can give (none reached the observed R^2)", p,
                        nperms + 1, nperms);
  return core::format("%.4g (%i of the %i permutations reached the observed R^2)", p, reached, nperms);
}

Eigen::MatrixX2d ellipsepoints(const Eigen::Vector2d& longaxis, double longhalf, double shorthalf, int count) {
  const Eigen::Vector2d u = longaxis.normalized(), v(-u(1), u(0));
  Eigen::MatrixX2d xy(count, 2);
  for (int i = 0; i < count; ++i) {
    const double a = 2 * pi * (i % (count - 1)) / (count - 1);
    xy.row(i) = (longhalf * std::cos(a) * u + shorthalf * std::sin(a) * v).transpose();
  }
  return xy;
}

} // namespace restrain
