#pragma once
// Undeformation by symmetry. A bilaterally symmetric fossil deformed by a
// homogeneous strain loses its symmetry; finding the area-preserving
// strain that makes its two halves mirror images again, and applying it,
// restores the form up to a similarity.
//
// A pair list names, row by row, a landmark of one side and its
// counterpart on the other; a row with the same number twice marks a
// landmark on the axis of symmetry.

#include "core/angles.h"
#include "core/progress.h"
#include "core/strain.h"
#include "stats/bootstrap.h"

#include <Eigen/Core>
#include <exception>
#include <vector>
#include <functional>
#include <optional>
#include <span>
#include <string>

namespace symrestore {

// The fitted halves of one specimen: L and R (ml x 2, row j belonging to
// pair-list row j) and the fitted parameters.
struct Halves {
  Eigen::MatrixXd L, R;
  Eigen::VectorXd pf;
};

// The departure of two point sets from mirror symmetry: the least summed
// squared distance between the points of l and the mirror images of their
// partners in r, over every mirror line, relative to the sets' summed
// squares about their centroids. 0 for exact mirror images; unchanged when
// both sets are moved, turned or scaled together.
double mirrormisfit(const Eigen::MatrixX2d& l, const Eigen::MatrixX2d& r);

// The objectives that tectparam2 and tectparam6 minimise, also offered by
// name by the program. tecterror2(p, D, E, n [, anchor]): the halves D and
// E (m x 2 or wider, x and y first) through the free strain of the five
// parameters p (shift p4, p5 subtracted from both), scored by their
// mirror misfit plus a faint pull towards the anchor strain (five
// parameters; the identity unless given). tecterror6(p, D, E, n, eststrain
// [, anchor]): the same for the strain of ratio eststrain oriented at p1
// radians, with the shift p2, p3, pulled towards the anchor orientation
// when one is given. n is not read. Each raises core::Error, naming
// itself, when p or the extra arguments are too few or of the wrong size.
double tecterror2(const Eigen::VectorXd& p, std::span<const Eigen::MatrixXd> extra);
double tecterror6(const Eigen::VectorXd& p, std::span<const Eigen::MatrixXd> extra);

// A free area-preserving strain R(p1) diag(p2, 1/p2) R(p3), fitted by
// Nelder-Mead, applied to both halves. One specimen's symmetry cannot tell
// a stretch along its axis of symmetry (a symmetric form stays
// symmetric), so among the strains that make it symmetric the one nearest
// the anchor is taken: the identity, or the strain the whole bed shares.
Halves tectparam2(const Eigen::MatrixXd& D, const Eigen::MatrixXd& E,
                  const std::optional<Eigen::VectorXd>& anchor = std::nullopt);

// A strain of the given ratio whose orientation is fitted: shortening by
// 1/eststrain along the direction at angle p1 and lengthening by eststrain
// across it (axis ratio eststrain^2). A specimen alone is made symmetric
// by two orientations; the search starts at pi/4, or at the anchor
// orientation (radians) and is held near it.
Halves tectparam6(const Eigen::MatrixXd& D, const Eigen::MatrixXd& E, double eststrain,
                  std::optional<double> anchor = std::nullopt);

// The first uniform component between the left half and the mirrored
// right half removed, both registered on the axis landmarks at pair-list
// positions b1 and b2 (1-based). L and R are specimen rows of ml points.
Halves tectuni(const Eigen::MatrixXd& D, const Eigen::MatrixXd& E, int b1, int b2);

// Checks a pair list against k landmarks. Raises core::Error, naming the
// landmarks, for other than two columns, numbers outside 1 ... k or not
// whole, a landmark listed twice, a landmark left out, or a list of axis
// rows only (nothing paired).
void checkpairs(const Eigen::MatrixXd& lmlist, Eigen::Index k);

// The positions (1-based) of the first two axis rows of a pair list, or
// nothing when it has fewer than two.
std::optional<std::pair<int, int>> axisrows(const Eigen::MatrixXd& lmlist);

// The message shown when the list has fewer than two axis rows.
inline constexpr const char* oneaxispoint =
    "Only one point was found on the axis of symmetry.  Cannot flip the specimen";

// Every specimen made symmetric again: y (landmarks 1 ... M, the largest
// number in the list, and the size slot), Lset and Rset (the fitted halves
// as specimen rows). The fossils of one bed share one strain: tectfix2 and
// tectfix4 first find the strain (or orientation) that makes all the
// specimens most symmetric together, then fit each specimen on its own,
// held near it, which settles the choices one specimen cannot make.
//
// The fits of tectfix2 and tectfix4 run on `threads` threads (0: one per
// core). Every specimen's fit is its own and the bed's scores are summed
// in specimen order, so the result is the same to the last bit for any
// number of threads. `progress` hears the fraction done, on the calling
// thread only; when it answers false the fix stops and raises Cancelled.
//
// A specimen that lacks landmarks is fitted on the rows of the pair list
// whose landmarks it has (a pair with a missing member and a missing axis
// landmark are left out of its fit), and the fitted strain moves the
// landmarks it has: the missing ones stay NaN in y, Lset and Rset. One
// left with fewer than minpairs complete pairs or minrows usable rows in
// all cannot be fitted: it takes the bed's strain (listed in unfitted,
// 0-based rows). A bed where no specimen can be fitted raises core::Error.
// tectfix3 raises core::Error for any incomplete specimen.
inline constexpr Eigen::Index minpairs = 2, minrows = 3;
struct Restored {
  Eigen::MatrixXd y, Lset, Rset;
  std::vector<Eigen::Index> unfitted;
  // The map (deformed to undeformed coordinates) fitted to the whole bed
  // by tectfix2 and tectfix4; tectfix3 fits none.
  std::optional<Eigen::Matrix2d> bed;
};
struct Work {
  unsigned threads = 0;
  std::function<bool(double)> progress;
  // Specimens handed to a thread at a time: of the bed's scores, large,
  // since one score is a few dozen operations and a chunk is handed out
  // per trial strain; of the specimens' own fits, small, since one fit is
  // a few hundred evaluations and a busy core should hold back no more
  // than a chunk. A bed of one chunk runs on the calling thread. Neither
  // changes a result.
  Eigen::Index bedchunk = 1024, fitchunk = 16;
};
// A cancel, as the suite's readers raise it; what() is "the fit was
// cancelled".
struct Cancelled : core::Cancelled {
  Cancelled();
};
Restored tectfix2(const Eigen::MatrixXd& x, const Eigen::MatrixXd& lmlist, const Work& work = {});
// Nothing when the list has fewer than two axis rows.
std::optional<Restored> tectfix3(const Eigen::MatrixXd& x, const Eigen::MatrixXd& lmlist);
std::optional<Restored> tectfix4(const Eigen::MatrixXd& x, const Eigen::MatrixXd& lmlist, double eststrain,
                                 const Work& work = {});

// The linear part of the least-squares affine map taking the landmarks of
// the specimen row `from` onto those of `to` (k landmarks each, x y
// pairs), over the landmarks both have; nothing when fewer than three
// remain or they lie on a line.
std::optional<Eigen::Matrix2d> linearpart(const Eigen::RowVectorXd& from, const Eigen::RowVectorXd& to, Eigen::Index k);

// What a fix found of the strain of the bed (each strain the one its map
// undoes, core::Strain::undone_by): the joint strain (the bed's fit when
// there is one, else the mean of the specimens' strain tensors scaled to
// unit area), and the spread of the specimens' own fits: the median and
// the 5 and 95 % quantiles (linear interpolation) of their R, and the 5
// and 95 % quantiles of their theta' (taken as turns of the joint axis,
// within a quarter turn either side of it). Specimens given the bed's
// strain for want of landmarks are left out of the spread.
struct StrainSummary {
  core::Strain joint;
  bool bedfit = false;
  double Rmedian = 1, Rlow = 1, Rhigh = 1;
  core::Bearing thetalow = core::Bearing::radians(0), thetahigh = core::Bearing::radians(0);
  int count = 0;
  // Each specimen's own strain, one per row of the data: R NaN for one
  // that gave none (left unfitted, or its fix not a strain).
  std::vector<core::Strain> specimens;
};
// x the specimens as fixed (rows of k landmarks and the size slot).
StrainSummary strainsummary(const Eigen::MatrixXd& x, const Restored& fixed);

// The one line that reports it: "UnDeform: strain R = 1.79, theta' = 35.2
// deg, fitted to the whole bed (per-specimen fits of 60 specimens: R
// median 1.78, 5-95 % 1.55 to 2.02; theta' 5-95 % 30.1 to 40.2 deg)".
std::string strainline(const char* action, const StrainSummary& summary);

// Confidence intervals for the bed's strain that tectfix2 fits (UnDeform),
// by the bootstrap (stats/bootstrap.h): the specimens that can be fitted
// are drawn with replacement, and the one free strain that makes a
// resample's specimens most symmetric together is fitted again (each
// specimen's score counted as many times as it was drawn), by the simplex
// from the bed's own strain. The spread of the refits' R and theta' (the
// strain each undoes) gives expanded percentile intervals about the bed's.
// One number drawn from the program's generator seeds every resample, so a
// seed repeats the intervals on any number of threads; the resamples run
// on work.threads, and work.progress hears the share done (false raises
// Cancelled). Raises core::Error for too few or too many resamples, fewer
// than three specimens to draw, and as tectfix2 does.
struct StrainBootstrap {
  int resamples = 0;
  Eigen::Index units = 0; // the specimens drawn from
  double tail = 0;        // the interval's a' (stats::expandedtail)
  stats::StrainInterval strain;
};
inline constexpr int maxresamples = 100000;
StrainBootstrap bootstrapstrain(const Eigen::MatrixXd& x, const Eigen::MatrixXd& lmlist, int resamples,
                                const Work& work = {});

// Its report line: "BootstrapStrain: strain R = 1.80 (95 % CI 1.76 to
// 1.84), theta' = 35.0 (95 % CI 33.9 to 36.1), fitted to the whole bed;
// 1000 resamples of the 60 specimens, expanded percentile intervals (the
// 2.18 and 97.82 % points of the refits)".
std::string bootstrapline(const StrainBootstrap& b);

// A specimen row turned by theta radians about the origin; the size slot
// is kept.
Eigen::RowVectorXd rotateshape(const Eigen::RowVectorXd& x, double theta);

} // namespace symrestore
