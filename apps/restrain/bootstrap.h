#pragma once
// Confidence intervals for the strain of the Wellman fits, by the
// bootstrap (stats/bootstrap.h): the bed's specimens are drawn with
// replacement, each bringing all its pairs (all share its midline, so its
// t and the error of that midline are common to them), the strain is
// fitted again to every resample, analytically and numerically, and the
// spread of the refits gives expanded percentile intervals for R and
// theta'. Where the pairs' specimens are not known (a two-column angle
// file) the pairs themselves are drawn; the intervals are then too narrow
// when the pairs of a specimen share errors.
//
// The refits are worked from sums kept per specimen, so that a resample
// costs time in proportion to its specimens, not to its pairs:
//
//  * analytic: the least-squares conic through the vertices from its
//    normal equations, whose sums over a specimen's vertices (of z z' and
//    z, z = (x^2, y^2, x y)) add over the specimens drawn;
//  * numerical: the least Chi^2 of the p predicted for each t. Over the
//    pairs that share one t, Chi^2 is their count times the squared
//    difference between their mean p and the prediction, plus a part no
//    strain changes, so the fit runs over the distinct t with their pair
//    counts and mean p, by Levenberg-Marquardt from the bed's own fit.
//
// R and 1/R with theta' turned a quarter turn are one ellipse: each refit
// is given with R >= 1 and theta' in [0, pi).

#include "apps/restrain/wellman.h"
#include "core/progress.h"
#include "stats/bootstrap.h"

#include <optional>
#include <string>
#include <vector>

namespace restrain {

struct WellmanBootstrap {
  int resamples = 0;
  Eigen::Index units = 0;  // the specimens drawn from, or the pairs
  bool specimens = false;  // whether the units are specimens
  double tail = 0;         // the interval's a' (stats::expandedtail)
  // The estimates are the bed's own fits: the numerical one by least
  // squares as the refits make it, the analytic one as analyticfit.
  stats::StrainInterval numerical, analytic;
};

// The most resamples a bootstrap runs.
inline constexpr int maxresamples = 1000000;

// The bootstrap of `resamples` resamples (at least 100: fewer say little of
// a 95 % interval's ends). One number drawn from the program's generator
// seeds them all (stats::Resampling), so a seed repeats the intervals, on
// any number of threads. `progress` hears the share done and may cancel:
// the result is then empty. Raises core::Error for too few or too many
// resamples and for fewer than three specimens (or pairs) to draw.
std::optional<WellmanBootstrap> bootstrapwellman(const PairAngles& pairs, int resamples,
                                                 const core::Progress& progress = {}, unsigned threads = 0);

// The report of a bootstrap, line by line: the numerical fit's estimates
// and intervals on a line of their own (stats::cistext), what was drawn and
// how the intervals were read, then the analytic fit's.
std::vector<std::string> bootstrapreport(const WellmanBootstrap& b);

// The same as a table (tab-separated, a header row first): one row per fit,
// R and its interval's ends, theta' and its interval's ends (degrees,
// folded into [0, 180)), the resamples that gave a strain.
std::vector<std::string> bootstraptable(const WellmanBootstrap& b);

// The interval drawn on the Wellman plot, in the construction's frame, as
// lines: the ellipses of the interval's two ends of R, along the
// estimate's long axis, and the fan of theta' about the estimate's long
// axis, through the centre both ways, its two edges the interval's ends
// and its arcs fanreach times the estimate's long half-axis. Every ellipse
// has the short half-axis `shorthalf`, as the numerical fit's on the plot.
// Ends that are not numbers are not drawn.
inline constexpr double fanreach = 1.15;
std::vector<Eigen::MatrixX2d> intervallines(const stats::StrainInterval& s, double shorthalf);

// The numerical fit of the whole bed as the refits make it: least Chi^2 by
// Levenberg-Marquardt from `start`, R >= 1 and theta' in [0, pi); R is NaN
// when it finds none.
core::Strain leastsquares(const PairAngles& pairs, const core::Strain& start);

} // namespace restrain
