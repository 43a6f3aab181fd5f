#pragma once
// The Wellman strain-ellipse fit. Every bilateral pair of every specimen
// gives two angles: t, the compass bearing of the specimen's midline, and
// p, the angle of the pair's line against the midline (degrees in files,
// radians inside). Undeformed, every pair line is perpendicular to its
// midline; strain turns pair lines by amounts that depend on t. The
// Wellman construction turns each (t, p) into a vertex that lies on the
// strain ellipse, centred at the origin; a least-squares conic through the
// vertices gives the strain ratio R and the bearing theta' of the long axis.

#include <Eigen/Core>
#include <functional>
#include <optional>
#include <span>
#include <string>

namespace restrain {

// The vertex of one pair: where the line at bearing t through (0, -ry)
// meets the line at bearing t + p through (0, ry). Angles in degrees when
// adegree is true. An undeformed sample puts every vertex on the circle on
// the baseline from (0, -ry) to (0, ry).
Eigen::RowVector2d getvertices2(double ry, double tang, double pang, bool adegree);

// The vertices of every row (t, p in degrees) of pooled angle data.
// Raises core::Error for fewer than three pairs or two columns, and naming
// the row for a pair with no vertex (t a multiple of 180 degrees, or t + p
// one: the two lines are parallel to the baseline or to each other).
Eigen::MatrixXd vertices(const Eigen::MatrixXd& alltp);

// A centred conic a x^2 + b y^2 + c x y = 1 fitted to the vertices by least
// squares, and its axes.
struct EllipseFit {
  double R = 0;             // long axis over short axis (NaN when not an ellipse)
  double thetap = 0;        // bearing of the long axis, radians in [0, pi]
  Eigen::Vector3d aa;       // a, b, c
  Eigen::Vector2d lambda;   // eigenvalues of [a c/2; c/2 b], ascending
  Eigen::Matrix2d V;        // their unit eigenvectors as columns
  bool ellipse = false;     // both eigenvalues positive
  int rank = 0;             // rank of the fit's design (x^2, y^2, xy per vertex): 3 when the vertices determine the conic
  Eigen::Matrix2d di;       // the retrodeformation matrix of the classic construction
};
// The conic fitted to an m x 2 list of vertices (further columns are not
// read). What is drawn or echoed of the fit is the caller's business.
EllipseFit wellman2(const Eigen::MatrixXd& vlist);

// The inverse of the fitted strain: shortens the long axis (at bearing
// theta') by R^-1/2 and lengthens the short axis by R^1/2 (determinant 1).
Eigen::Matrix2d removal(const EllipseFit& fit);

// Goodness of fit of the strain (Rw, tprime_rad) to observed pairs (ta_deg,
// pa_deg, degrees): the p each t should show under that strain against the
// p observed. rtwo = 1 - chi2 / sst (1 when the observed p do not vary),
// chitwo the summed squared differences in radians.
struct Penalty {
  double rtwo = 1;
  double chitwo = 0;
  double sst = 0;
};
Penalty wellpenalty(double Rw, double tprime_rad, const Eigen::Ref<const Eigen::VectorXd>& ta_deg,
                    const Eigen::Ref<const Eigen::VectorXd>& pa_deg);

// The p (radians) that a pair at bearing t_rad shows under strain
// (Rw, tprime_rad): atan2(1, gamma), pi/2 when Rw = 1.
double predictedp(double Rw, double tprime_rad, double t_rad);

// The analytic fit of pooled angle data (t, p degrees in columns 1, 2).
struct AnalyticFit {
  Eigen::MatrixXd vlista; // m x 2 vertices
  EllipseFit fit;
  Penalty penalty;
};
AnalyticFit analyticfit(const Eigen::MatrixXd& alltp);

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
// [1.1, tprime], default settings.
struct Refinement {
  Eigen::Vector2d pf; // R, theta' radians
  double chi = 0;
  Penalty penalty;
};
Refinement refine(const Eigen::MatrixXd& alltp, double tprime);

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
struct PermutationTest {
  AnalyticFit observed;
  Eigen::VectorXd prtwo, pchitwo; // sorted ascending
  double r2low = 0, r2high = 0, chilow = 0, chihigh = 0;
};
// The most permutations a test runs: ten million take minutes on a desktop
// for a few hundred pairs (time grows with permutations times pairs).
inline constexpr int maxpermutations = 10000000;
std::optional<PermutationTest> permutationtest(const Eigen::MatrixXd& alltp, int nperms,
                                               const std::function<bool(double)>& progress = {},
                                               unsigned threads = 0, int block = 0);

// The test's p value by R^2 of the conic fit (higher is better): (1 + the
// permutations whose R^2 is at least the observed) / (1 + permutations).
// A shuffle with no ellipse fits worse than any; an observed fit whose R^2
// is not a number is no better than any shuffle (p = 1).
double permutationp(const PermutationTest& test);

// Points on an ellipse centred at the origin: half-axis `longhalf` along
// the unit direction `longaxis`, `shorthalf` across it; the first point
// repeated at the end, so a line through them closes.
Eigen::MatrixX2d ellipsepoints(const Eigen::Vector2d& longaxis, double longhalf, double shorthalf, int count = 121);

} // namespace restrain
