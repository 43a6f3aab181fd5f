#include "apps/restrain/wellman.h"

#include "core/configurations.h"
#include "core/error.h"
#include "core/minimise.h"
#include "core/parallel.h"
#include "core/random.h"
#include "core/text_format.h"

#include <Eigen/Eigenvalues>
#include <Eigen/QR>
#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

namespace restrain {

namespace {

constexpr double pi = std::numbers::pi;

// A multiple of half a turn, in the degrees of an angle file.
bool halfturns(double degrees) { return std::fmod(degrees, 180.0) == 0; }

// The conic fit with its working storage, reused across the permutations
// of a test so that no fit allocates.
class ConicFitter {
public:
  explicit ConicFitter(Eigen::Index m) : xm_(m, 3), qr_(m, 3), ones_(Eigen::VectorXd::Ones(m)) {}

  EllipseFit fit(const Eigen::Ref<const Eigen::MatrixX2d>& vlist) {
    for (Eigen::Index i = 0; i < vlist.rows(); ++i) {
      const double x = vlist(i, 0), y = vlist(i, 1);
      xm_(i, 0) = x * x;
      xm_(i, 1) = y * y;
      xm_(i, 2) = x * y;
    }
    EllipseFit f;
    // The conic closest to passing through every vertex: least squares by
    // pivoted QR, as a right division solves it.
    qr_.compute(xm_);
    f.aa = qr_.solve(ones_);
    f.rank = static_cast<int>(qr_.rank());
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

private:
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

PairAngles PairAngles::degrees(const Eigen::MatrixXd& alltp) {
  if (alltp.cols() < 2)
    throw core::Error("The pooled angle data need two columns, t and p; they have " + std::to_string(alltp.cols()));
  PairAngles out;
  out.t = alltp.col(0).unaryExpr([](double t) { return core::Bearing::degrees(t).rad(); });
  out.p = alltp.col(1).unaryExpr([](double p) { return core::Angle::degrees(p).rad(); });
  return out;
}

PairAngles PairAngles::forwellman(const Eigen::MatrixXd& alltp) {
  PairAngles out = degrees(alltp);
  if (alltp.rows() < 3)
    throw core::Error("A strain ellipse needs at least three (t, p) pairs; the pooled angle data hold " +
                      std::to_string(alltp.rows()));
  for (Eigen::Index i = 0; i < alltp.rows(); ++i) {
    const double t = alltp(i, 0), p = alltp(i, 1);
    const std::string row = "Pooled angle data, row " + std::to_string(i + 1) + ": t = " + core::format("%g", t) +
                            ", p = " + core::format("%g", p) + " give no Wellman vertex (";
    if (!std::isfinite(t) || !std::isfinite(p)) throw core::Error(row + "an angle is not a number)");
    if (halfturns(t)) throw core::Error(row + "t must not be a multiple of 180 degrees)");
    if (halfturns(p)) throw core::Error(row + "p must not be a multiple of 180 degrees)");
    if (halfturns(t + p)) throw core::Error(row + "t + p must not be a multiple of 180 degrees)");
  }
  return out;
}

Eigen::RowVector2d getvertices2(double ry, core::Bearing t, core::Angle p) {
  // Slopes dy/dx of the lines at bearings t and t + p.
  const double mt = 1 / std::tan(t.rad()), mp = 1 / std::tan((t + p).rad());
  const double xp = 2 * ry / (mt - mp);
  return {xp, mt * xp - ry};
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
                        "rank %i of 3), so the fitted R and theta` mean nothing",
                        m, a.fit.rank);
  if (!(a.penalty.rtwo > 0) || !std::isfinite(a.penalty.rtwo))
    return core::format("the R^2 of the fit is %g: the fitted strain explains none of the variation of p among the %i "
                        "pairs, so the fitted R and theta` mean nothing",
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
  const Eigen::VectorXd& ta = pairs.t;
  const Eigen::VectorXd& pa = pairs.p;
  // Every trigonometric value a permutation needs except one arctangent
  // per pair follows from the tangents of the observed t and p, by the
  // addition formulas: 1 / tan(t + p) = (1 - tan t tan p) / (tan t + tan p)
  // and tan(t - theta') = (tan t - tan theta') / (1 + tan t tan theta').
  Eigen::VectorXd tant(m), tanp(m);
  for (Eigen::Index i = 0; i < m; ++i) {
    tant(i) = std::tan(ta(i));
    tanp(i) = std::tan(pa(i));
  }

  out.prtwo.resize(nperms);
  out.pchitwo.resize(nperms);
  // The permutations are drawn block by block, in order, on this thread
  // (the generator is the program's one sequence), and each block is then
  // scored on every core: the draws are those of drawing them all first,
  // every score depends on its permutation alone, so neither the block size
  // nor the number of threads changes the result, and memory stays a block.
  const int blocksize = block > 0 ? block : defaultblock(m);
  std::vector<int> order(static_cast<std::size_t>(std::min(blocksize, nperms)) * static_cast<std::size_t>(m));
  int blockstart = 0, blockend = 0;
  // Threads take chunks of the block's permutations in turn; each scores
  // its own with its own buffers.
  struct Buffers {
    ConicFitter fitter;
    Eigen::MatrixX2d vlist;
    Eigen::VectorXd pap;
    explicit Buffers(Eigen::Index m) : fitter(m), vlist(m, 2), pap(m) {}
  };
  std::vector<Buffers> buffers;
  const auto prepare = [&](unsigned threads) {
    while (buffers.size() < threads) buffers.emplace_back(m);
  };
  const auto score = [&](const core::Chunk& chunk, unsigned thread) {
    ConicFitter& fitter = buffers[thread].fitter;
    Eigen::MatrixX2d& vlist = buffers[thread].vlist;
    Eigen::VectorXd& pap = buffers[thread].pap;
    { // this chunk's permutations of the block
      const int start = blockstart + static_cast<int>(chunk.begin), end = blockstart + static_cast<int>(chunk.end);
      for (int j = start; j < end; ++j) {
        const int* perm = order.data() + static_cast<std::ptrdiff_t>(j - blockstart) * m;
        for (Eigen::Index i = 0; i < m; ++i) {
          // The Wellman vertex of (t_i, p shuffled in), as getvertices2.
          const Eigen::Index k = perm[i] - 1;
          pap(i) = pa(k);
          const double mt = 1 / tant(i);
          const double mp = (1 - tant(i) * tanp(k)) / (tant(i) + tanp(k));
          const double xp = 2 / (mt - mp);
          vlist(i, 0) = xp;
          vlist(i, 1) = mt * xp - 1;
        }
        const EllipseFit f = fitter.fit(vlist);
        const double R = f.strain.R, thetap = f.strain.longaxis.rad();
        if (!std::isfinite(R) || !std::isfinite(thetap)) {
          // No ellipse, no strain: its scores are not numbers (and the
          // arctangents of non-numbers are slow to find so).
          out.prtwo(j) = out.pchitwo(j) = std::nan("");
          continue;
        }
        // wellpenalty of the fit against the shuffled pairs.
        const double tanth = std::tan(thetap), rs2 = R * R;
        double chi2 = 0, sumy = 0, sumy2 = 0;
        for (Eigen::Index i = 0; i < m; ++i) {
          const double tanphip = (tant(i) - tanth) / (1 + tant(i) * tanth);
          const double gamma = (1 - rs2) * tanphip / (1 + rs2 * tanphip * tanphip);
          const double p = pap(i), diff = p - std::atan2(1, gamma);
          chi2 += diff * diff;
          sumy += p;
          sumy2 += p * p;
        }
        const double sst = sumy2 - sumy * sumy / static_cast<double>(m);
        out.prtwo(j) = sst == 0 ? 1 : 1 - chi2 / sst;
        out.pchitwo(j) = chi2;
      }
    }
  };
  // Only the calling thread reports progress, which lets a window answer
  // its user, and hears a cancel.
  const auto reported = [&](Eigen::Index done) {
    return !progress || progress(static_cast<double>(blockstart + done) / nperms);
  };
  core::Team team(threads);
  for (blockstart = 0; blockstart < nperms; blockstart = blockend) {
    blockend = blockstart + std::min(blocksize, nperms - blockstart);
    for (int j = blockstart; j < blockend; ++j) {
      const Eigen::VectorXi perm = core::randperm(static_cast<int>(m));
      std::copy(perm.data(), perm.data() + m, order.begin() + static_cast<std::ptrdiff_t>(j - blockstart) * m);
    }
    if (!team.parallel_for(blockend - blockstart, {.chunk = 32}, prepare, score, [](const core::Chunk&) {}, reported))
      return std::nullopt;
  }

  // Each list sorted on its own, non-numbers last.
  const auto nanlast = [](double a, double b) { return std::isnan(b) ? !std::isnan(a) : a < b; };
  std::sort(out.prtwo.begin(), out.prtwo.end(), nanlast);
  std::sort(out.pchitwo.begin(), out.pchitwo.end(), nanlast);
  const auto lower = static_cast<Eigen::Index>(std::floor(0.025 * nperms)) - 1;
  const auto upper = static_cast<Eigen::Index>(std::ceil(0.975 * nperms)) - 1;
  out.r2low = out.prtwo(lower);
  out.r2high = out.prtwo(upper);
  out.chilow = out.pchitwo(lower);
  out.chihigh = out.pchitwo(upper);
  return out;
}

double permutationp(const PermutationTest& test) {
  const double observed = test.observed.penalty.rtwo;
  const auto nperms = test.prtwo.size();
  Eigen::Index better = nperms;
  if (!std::isnan(observed)) {
    better = 0;
    for (Eigen::Index j = 0; j < nperms; ++j)
      if (test.prtwo(j) >= observed) ++better;
  }
  return static_cast<double>(1 + better) / static_cast<double>(1 + nperms);
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
