#pragma once
// Bootstrap confidence intervals for a bed's strain.
//
// The units that are exchangeable (the specimens of a bed; the pairs, when
// their specimens are not known) are drawn with replacement as many times
// as there are units, the estimate is made again from each such resample,
// and the spread of the resamples' estimates gives the interval.
//
// The interval is the expanded percentile interval (Hesterberg 2015): the
// quantiles of the resamples' estimates at the levels a' and 1 - a', where
// a' = Phi(-sqrt(n / (n - 1)) t(1 - a/2, n - 1)) for n units and the
// two-sided level 1 - a. The plain percentile interval (a' = a/2) is too
// narrow for few units: the resamples spread as the estimate would with a
// variance too small by (n - 1) / n, and their quantiles are those of a
// normal where a Student's t belongs. At 95 % a' is 1.32 % for 15 units and
// 2.18 % for 60, and tends to 2.5 % as n grows.
//
// A bearing of an axis (theta', period pi) is taken as the turn of each
// resample's axis from the estimate's, in [-pi/2, pi/2), so that an
// interval about north does not tear at 0 and 180 degrees.

#include "core/angles.h"
#include "core/progress.h"
#include "core/strain.h"

#include <Eigen/Core>
#include <cmath>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace stats {

// a' for n units (n >= 2) at the two-sided level `level`.
double expandedtail(Eigen::Index n, double level = 0.95);

// The q-quantile of ascending values (none of them NaN), interpolated
// linearly between ranks: at q (N - 1) counted from 0. An infinite end
// stays infinite.
double quantile(std::span<const double> sorted, double q);

// An interval and the resamples it was read from: `used` of them gave an
// estimate (NaN estimates are left out).
struct Interval {
  double low = std::nan(""), high = std::nan("");
  int used = 0;
};

// The quantiles at `tail` and 1 - tail of the values that are not NaN.
Interval percentileinterval(std::vector<double> values, double tail);

// The same for bearings of an axis (radians) about the estimate `centre`:
// the quantiles of the turns from centre, added back to it. The ends are
// not folded: low <= high, both within half a turn of centre.
Interval axialinterval(double centre, std::span<const double> values, double tail);

// A strain with its interval.
struct StrainInterval {
  core::Strain estimate;
  Interval R;
  Interval theta; // bearings, radians, as axialinterval gives them
  int failed = 0; // resamples that gave no strain
};

// "R = 1.80 (95 % CI 1.76 to 1.84), theta' = 35.0 (95 % CI 33.9 to 36.1)":
// R to two decimals, theta' to one, each rounded and then folded into
// [0, 180). An interval of theta' that passes through north reads from its
// lower end across 180 to its upper ("178.6 to 1.2").
std::string cistext(const StrainInterval& s);

// A results table of strains with their intervals, tab-separated: the
// header, and one row per fit (its name, R and its interval's ends, theta'
// and its interval's ends in degrees folded into [0, 180), the resamples
// that gave a strain).
extern const char* const intervalheader;
std::string intervalrow(std::string_view fit, const StrainInterval& s);
// The same numbers unrounded, for a table that keeps every digit: the
// names of the columns after the fit's, and one fit's values.
extern const std::vector<std::string> intervalcolumns;
std::vector<double> intervalvalues(const StrainInterval& s);

// How many resamples and where their draws come from.
struct Resampling {
  int resamples = 1000;
  std::uint64_t base = 0;   // resample b draws from core::Stream(base, b)
  unsigned threads = 0;     // 0: one per core
  core::Progress progress;  // share of the resamples done; false cancels
  Eigen::Index chunk = 4;   // resamples handed to a thread at a time
};

// Runs every resample of n units: resample b draws n units with
// replacement from its own stream into counts (counts[u] the times unit u
// was drawn, summing to n) and calls fit(b, counts, thread), which keeps
// its result in b's own place. prepare(threads) comes first, once, so that
// each thread can keep scratch. Every resample's draws and result depend on
// b alone, so the results are the same to the last bit for any number of
// threads. False when progress cancelled.
bool resample(Eigen::Index n, const Resampling& how, const std::function<void(unsigned threads)>& prepare,
              const std::function<void(int b, std::span<const int> counts, unsigned thread)>& fit);

// The resamples' strains (R, and the long axis's bearing in radians; NaN
// where a resample gave none) read as a StrainInterval about the estimate.
StrainInterval strainintervals(const core::Strain& estimate, std::span<const double> R, std::span<const double> theta,
                               double tail);

} // namespace stats
