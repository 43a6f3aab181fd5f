#pragma once
// The Wellman strain-ellipse fit. Every bilateral pair of every specimen
// gives two angles: t, the compass bearing of the specimen's midline, and
// p, the angle of the pair's line against the midline (degrees in files,
// radians from the moment they are read). Undeformed, every pair line is perpendicular to its
// midline; strain turns pair lines by amounts that depend on t. The
// Wellman construction turns each (t, p) into a vertex that lies on the
// strain ellipse, centred at the origin; a least-squares conic through the
// vertices gives the strain ratio R and the bearing theta' of the long axis.

#include "core/angles.h"
#include "core/strain.h"

#include <Eigen/Core>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace restrain {

// Pooled angle data, radians: pair i lies on a specimen whose midline has
// the bearing t(i), and its line makes the angle p(i) with that midline
// (the line's bearing is t + p).
struct PairAngles {
  Eigen::VectorXd t, p;
  // The specimen of each pair, numbered 0, 1, ... in the order they first
  // appear; empty when the angle data do not say (a two-column file).
  Eigen::VectorXi specimen;
  // The rows (from 0) of the angle data that forwellman left out.
  std::vector<Eigen::Index> leftout;

  // The angles of an angle file as read: t and p in degrees in columns 1
  // and 2 (further columns are not read), and each row's specimen as the
  // file gives it (io::PooledAngles; empty for none). Raises core::Error
  // for fewer than two columns.
  static PairAngles degrees(const Eigen::MatrixXd& alltp, const Eigen::VectorXi& specimen = {});
  // The same, for the Wellman construction: a pair that has no vertex is
  // left out (leftout lists its row) and the specimens are numbered again
  // over the pairs kept. A pair has no vertex when its line runs along its
  // midline: p within vertexless (about 0.115 degrees) of 0 or 180, where
  // the vertex runs off to infinity, or an angle that is not a number. No
  // strain up to R = 1000 turns a pair line that close to its midline (a
  // strain of ratio R brings two perpendicular lines no closer than 2
  // atan(1 / R)). Raises core::Error when fewer than three pairs are left.
  static PairAngles forwellman(const Eigen::MatrixXd& alltp, const Eigen::VectorXi& specimen = {});

  Eigen::Index size() const { return t.size(); }
  // The number of specimens, 0 when they are not known.
  Eigen::Index specimens() const { return specimen.size() == 0 ? 0 : specimen.maxCoeff() + 1; }
};

// How close to 0 or 180 degrees a pair's p may come before the pair is
// left out: 2 atan(1 / 1000), in degrees.
extern const double vertexless;

// The sentence that names the pairs forwellman left out ("" when none),
// rows counted from 1 with their angles as alltp holds them, and says why:
// "2 of 300 pairs left out: row 63 (t = 90.03, p = 0.05), ... (p within
// ...)".
std::string leftoutline(const PairAngles& pairs, const Eigen::MatrixXd& alltp);

// The vertex of one pair: where the line at bearing t through (0, -ry)
// meets the line at bearing t + p through (0, ry). An undeformed sample
// puts every vertex on the circle on the baseline from (0, -ry) to (0, ry).
// The lines' slopes give it, except where one of them runs along the
// baseline (t or t + p a multiple of 180 degrees) and a slope is infinite:
// there the vertex is the baseline's end the other line passes through,
// (0, ry) for t, (0, -ry) for t + p, as the sine form (0, -ry) + 2 ry
// sin(t + p) / sin p (sin t, cos t) gives it everywhere. Only p a multiple
// of 180 degrees leaves it undefined.
Eigen::RowVector2d getvertices2(double ry, core::Bearing t, core::Angle p);

// The vertices of every pair (ry = 1), m x 2.
Eigen::MatrixXd vertices(const PairAngles& pairs);

// A centred conic a x^2 + b y^2 + c x y = 1 fitted to the vertices by least
// squares, and its axes.
struct EllipseFit {
  // R: long axis over short axis (NaN when not an ellipse); the long
  // axis's bearing in [0, pi].
  core::Strain strain;
  Eigen::Vector3d aa;       // a, b, c
  Eigen::Vector2d lambda;   // eigenvalues of [a c/2; c/2 b], ascending
  Eigen::Matrix2d V;        // their unit eigenvectors as columns
  bool ellipse = false;     // both eigenvalues positive
  int rank = 0;             // rank of the fit's design (x^2, y^2, xy per vertex): 3 when the vertices determine the conic
  Eigen::Matrix2d di;       // the retrodeformation matrix of the classic construction
};
// The conic fitted to an m x 2 list of vertices (further columns are not
// read). What is drawn or echoed of the fit is the caller's business. The
// strain it removes is fit.strain.removal().
EllipseFit wellman2(const Eigen::MatrixXd& vlist);

// Goodness of fit of a strain to observed pairs: the p each t should show
// under that strain against the p observed. rtwo = 1 - chi2 / sst (1 when
// the observed p do not vary), chitwo the summed squared differences in
// radians.
struct Penalty {
  double rtwo = 1;
  double chitwo = 0;
  double sst = 0;
};
Penalty wellpenalty(const core::Strain& strain, const PairAngles& pairs);

// The p (radians) that a pair at bearing t shows under the strain:
// atan2(1, gamma), pi/2 when R = 1.
double predictedp(const core::Strain& strain, core::Bearing t);

// The analytic fit of pooled angle data.
struct AnalyticFit {
  Eigen::MatrixXd vlista; // m x 2 vertices
  EllipseFit fit;
  Penalty penalty;
};
AnalyticFit analyticfit(const PairAngles& pairs);

// What makes an analytic fit unfit to drive a retrodeformation, in words
// ("" when nothing does): vertices too few or too alike to determine a
// conic (design rank below 3), or an R^2 that is not a positive number (the
// strain explains none of the variation of p, as when every pair holds the
// same angles). A conic that is not an ellipse is said elsewhere.
std::string fitproblem(const AnalyticFit& a);

// The minimiser's objective of the numerical refinement: the Chi^2 of
// wellpenalty for the parameters p = [R, theta' radians] against the angle
// data extra[0] (m x 2, t and p in radians). The program also offers it by
// name ("wellpenalty2", two inputs). Raises core::Error naming it when p
// does not hold two numbers or the angle data are missing or have fewer
// than two columns.
double wellpenalty2(const Eigen::VectorXd& p, std::span<const Eigen::MatrixXd> extra);

// The numerical refinement: Nelder-Mead on wellpenalty2 from
// [1.1, start], default settings. The strain is the minimiser's [R,
// theta'] as it returns them (R may come out below 1, the bearing outside
// [0, pi]).
struct Refinement {
  core::Strain strain;
  double chi = 0;
  Penalty penalty;
};
Refinement refine(const PairAngles& pairs, core::Bearing start);

// The permutation test: the p column shuffled among the t values nperms
// times, each shuffle fitted and scored, and the 95 % ranges of R^2 and
// Chi^2 over the shuffles (each list sorted on its own; non-numbers last).
// The permutations are drawn in order from the program's generator, `block`
// at a time (0: a block of about 4 MB of pair indices), and each block is
// scored on every core before the next is drawn; the result depends neither
// on the block size nor on the number of threads, and the memory held is
// one block plus two numbers per permutation. `progress` (fraction done)
// is asked now and then and may return false to cancel: the result is then
// empty. Raises core::Error for fewer than 40 permutations or more than
// maxpermutations.
//
// Where the pairs' specimens are known, nperms permutations of whole
// specimens follow, drawn after all the shuffles of pairs (so that those,
// and the ranges, are the same for a seed whether the specimens are known
// or not): each permutation gives the t of specimen j to every p of
// specimen pi(j). The pairs of one specimen share its midline, so its t and
// the error of its midline are common to them all; with no strain the
// specimens, each with its set of p, are exchangeable, and the pairs are
// not.
struct PermutationTest {
  AnalyticFit observed;
  Eigen::VectorXd prtwo, pchitwo; // sorted ascending
  double r2low = 0, r2high = 0, chilow = 0, chihigh = 0;
  Eigen::VectorXd specimenrtwo;   // R^2 of the permutations of specimens, sorted; empty when not known
};
// The most permutations a test runs: ten million take minutes on a desktop
// for a few hundred pairs (time grows with permutations times pairs).
inline constexpr int maxpermutations = 10000000;
std::optional<PermutationTest> permutationtest(const PairAngles& pairs, int nperms,
                                               const std::function<bool(double)>& progress = {},
                                               unsigned threads = 0, int block = 0);

// The test's p value by R^2 of the conic fit (higher is better): (1 + the
// permutations whose R^2 is at least the observed) / (1 + permutations).
// A shuffle with no ellipse fits worse than any; an observed fit whose R^2
// is not a number is no better than any shuffle (p = 1). permutationp
// counts the shuffles of pairs, specimenp the permutations of specimens
// (NaN when there were none).
double permutationp(const PermutationTest& test);
double specimenp(const PermutationTest& test);

// A permutation p value (1 + b) / (1 + n) as a report gives it, never as
// 0, with the count it rests on: "0.0297 (2 of the 100 permutations
// reached the observed R^2)", or at its floor "0.0099 = 1/101, the least
// 100 permutations can give (none reached the observed R^2)".
std::string ptext(double p, int nperms);

// Points on an ellipse centred at the origin: half-axis `longhalf` along
// the unit direction `longaxis`, `shorthalf` across it; the first point
// repeated at the end, so a line through them closes.
Eigen::MatrixX2d ellipsepoints(const Eigen::Vector2d& longaxis, double longhalf, double shorthalf, int count = 121);

} // namespace restrain
