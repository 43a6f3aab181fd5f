#include "stats/bootstrap.h"

#include "core/error.h"
#include "core/parallel.h"
#include "core/random.h"
#include "core/text_format.h"

#include <boost/math/distributions/normal.hpp>
#include <boost/math/distributions/students_t.hpp>

#include <algorithm>
#include <cmath>

namespace stats {

double expandedtail(Eigen::Index n, double level) {
  if (n < 2) throw core::Error("A bootstrap interval needs at least two units; there are " + std::to_string(n));
  const double nu = static_cast<double>(n - 1);
  const double t = boost::math::quantile(boost::math::students_t(nu), 1 - (1 - level) / 2);
  return boost::math::cdf(boost::math::normal(), -std::sqrt(static_cast<double>(n) / nu) * t);
}

double quantile(std::span<const double> sorted, double q) {
  if (sorted.empty()) return std::nan("");
  const double at = q * static_cast<double>(sorted.size() - 1);
  const auto lo = static_cast<std::size_t>(std::floor(at));
  const std::size_t hi = std::min(lo + 1, sorted.size() - 1);
  const double a = sorted[lo], b = sorted[hi], f = at - static_cast<double>(lo);
  if (f == 0 || a == b) return a;
  if (std::isinf(a) || std::isinf(b)) return b;
  return a + f * (b - a);
}

Interval percentileinterval(std::vector<double> values, double tail) {
  std::erase_if(values, [](double v) { return std::isnan(v); });
  std::sort(values.begin(), values.end());
  Interval out;
  out.used = static_cast<int>(values.size());
  if (values.empty()) return out;
  out.low = quantile(values, tail);
  out.high = quantile(values, 1 - tail);
  return out;
}

Interval axialinterval(double centre, std::span<const double> values, double tail) {
  std::vector<double> turns;
  turns.reserve(values.size());
  for (const double v : values)
    if (!std::isnan(v))
      turns.push_back(core::axialdifference(core::Bearing::radians(v), core::Bearing::radians(centre)).rad());
  Interval out = percentileinterval(std::move(turns), tail);
  out.low += centre;
  out.high += centre;
  return out;
}

std::string cistext(const StrainInterval& s) {
  return core::format("R = %.2f (95 %% CI %.2f to %.2f), theta' = %.1f (95 %% CI %.1f to %.1f)", s.estimate.R, s.R.low,
                      s.R.high, core::axialdegrees(s.estimate.longaxis, 1),
                      core::axialdegrees(core::Bearing::radians(s.theta.low), 1),
                      core::axialdegrees(core::Bearing::radians(s.theta.high), 1));
}

const char* const intervalheader = "fit\tR\tR low\tR high\ttheta'\ttheta' low\ttheta' high\tresamples used";

std::string intervalrow(std::string_view fit, const StrainInterval& s) {
  return core::format("%s\t%.4f\t%.4f\t%.4f\t%.2f\t%.2f\t%.2f\t%i", fit, s.estimate.R, s.R.low, s.R.high,
                      core::axialdegrees(s.estimate.longaxis, 2), core::axialdegrees(core::Bearing::radians(s.theta.low), 2),
                      core::axialdegrees(core::Bearing::radians(s.theta.high), 2), s.R.used);
}

const std::vector<std::string> intervalcolumns{"R", "R low", "R high", "theta'", "theta' low", "theta' high",
                                                "resamples used"};

std::vector<double> intervalvalues(const StrainInterval& s) {
  const auto axial = [](double radians) { return core::Bearing::radians(radians).axial().deg(); };
  return {s.estimate.R, s.R.low, s.R.high, axial(s.estimate.longaxis.rad()), axial(s.theta.low), axial(s.theta.high),
          static_cast<double>(s.R.used)};
}

bool resample(Eigen::Index n, const Resampling& how, const std::function<void(unsigned threads)>& prepare,
              const std::function<void(int b, std::span<const int> counts, unsigned thread)>& fit) {
  std::vector<std::vector<int>> counts;
  core::Team team(how.threads);
  return team.parallel_for(
      how.resamples, {.chunk = how.chunk},
      [&](unsigned threads) {
        counts.assign(threads, std::vector<int>(static_cast<std::size_t>(n)));
        prepare(threads);
      },
      [&](const core::Chunk& chunk, unsigned thread) {
        std::vector<int>& c = counts[thread];
        for (Eigen::Index b = chunk.begin; b < chunk.end; ++b) {
          std::fill(c.begin(), c.end(), 0);
          core::Stream stream(how.base, static_cast<std::uint64_t>(b));
          for (Eigen::Index k = 0; k < n; ++k) ++c[stream.below(static_cast<std::uint64_t>(n))];
          fit(static_cast<int>(b), c, thread);
        }
      },
      [](const core::Chunk&) {},
      [&](Eigen::Index done) {
        return !how.progress || how.progress(static_cast<double>(done) / static_cast<double>(how.resamples));
      });
}

StrainInterval strainintervals(const core::Strain& estimate, std::span<const double> R, std::span<const double> theta,
                               double tail) {
  StrainInterval out;
  out.estimate = estimate;
  std::vector<double> r, th;
  for (std::size_t b = 0; b < R.size(); ++b) {
    // A resample either gives a whole strain or none.
    if (std::isnan(R[b]) || std::isnan(theta[b])) {
      ++out.failed;
      continue;
    }
    r.push_back(R[b]);
    th.push_back(theta[b]);
  }
  out.R = percentileinterval(r, tail);
  out.theta = axialinterval(estimate.longaxis.rad(), th, tail);
  return out;
}

} // namespace stats
