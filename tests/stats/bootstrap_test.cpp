#include "stats/bootstrap.h"

#include "core/error.h"
#include "tests/support/test_support.h"

#include <cmath>
#include <limits>
#include <numbers>
#include <numeric>
#include <thread>

namespace {

constexpr double inf = std::numeric_limits<double>::infinity();
constexpr double degree = std::numbers::pi / 180;

TEST(expandedtail, WidensThePercentileIntervalForFewUnits) {
  // Phi(-sqrt(n / (n - 1)) t(0.975, n - 1)), with t from tables.
  for (const auto& [n, tail] : {std::pair{15, 0.01320717312684222}, {60, 0.021801793033372818}, {3, 6.834137306066523e-08}})
    EXPECT_NEAR(stats::expandedtail(n), tail, 1e-6 * tail) << n;
  EXPECT_NEAR(stats::expandedtail(1000000), 0.025, 1e-5);
  EXPECT_EQ(testsupport::error_of([] { stats::expandedtail(1); }),
            "A bootstrap interval needs at least two units; there are 1");
}

TEST(quantile, InterpolatesBetweenRanksAndKeepsInfiniteEnds) {
  const std::vector<double> v{1, 2, 4, 8, inf};
  struct Case {
    double q, expected;
  };
  for (const Case& c : {Case{0, 1}, {0.25, 2}, {0.3, 2.4}, {0.625, 6}, {0.75, 8}, {0.8, inf}, {1, inf}})
    EXPECT_EQ(stats::quantile(v, c.q), c.expected) << c.q;
  EXPECT_TRUE(std::isnan(stats::quantile({}, 0.5)));
  const stats::Interval i = stats::percentileinterval({3, std::nan(""), 1, 2}, 0.25);
  EXPECT_EQ(i.used, 3);
  EXPECT_EQ(i.low, 1.5);
  EXPECT_EQ(i.high, 2.5);
}

// Axes about north: 179 and 1 degrees lie 2 degrees apart, not 178.
TEST(axialinterval, TakesTurnsFromTheEstimateAcrossNorth) {
  const std::vector<double> values{179 * degree, 1 * degree, 0.5 * degree, 359.5 * degree, std::nan("")};
  const stats::Interval i = stats::axialinterval(0.2 * degree, values, 0);
  EXPECT_EQ(i.used, 4);
  EXPECT_NEAR(i.low, -1 * degree, 1e-12);
  EXPECT_NEAR(i.high, 1 * degree, 1e-12);
}

TEST(cistext, PrintsBearingsRoundedThenFoldedIntoHalfATurn) {
  struct Case {
    double R, theta, Rlow, Rhigh, low, high; // degrees
    const char* text;
  };
  const Case cases[] = {
      {1.8, 35.012, 1.7612, 1.8449, 33.94, 36.06,
       "R = 1.80 (95 % CI 1.76 to 1.84), theta' = 35.0 (95 % CI 33.9 to 36.1)"},
      {1.3, 179.96, 1.2, 1.41, 178.64, 181.2, "R = 1.30 (95 % CI 1.20 to 1.41), theta' = 0.0 (95 % CI 178.6 to 1.2)"},
      {2, -0.5, 1.9, inf, -2.04, 1.0, "R = 2.00 (95 % CI 1.90 to Inf), theta' = 179.5 (95 % CI 178.0 to 1.0)"},
  };
  for (const Case& c : cases) {
    stats::StrainInterval s;
    s.estimate = {c.R, core::Bearing::degrees(c.theta)};
    s.R = {c.Rlow, c.Rhigh, 100};
    s.theta = {c.low * degree, c.high * degree, 100};
    EXPECT_EQ(stats::cistext(s), c.text);
  }
}

// Each resample's draws depend on its number alone: the same counts, in
// the same places, for any number of threads; a cancel stops the loop.
TEST(resample, DrawsEachResampleFromItsOwnStream) {
  const auto run = [](unsigned threads) {
    std::vector<std::vector<int>> drawn(50);
    stats::Resampling how;
    how.resamples = 50;
    how.base = 17;
    how.threads = threads;
    EXPECT_TRUE(stats::resample(7, how, [](unsigned) {}, [&](int b, std::span<const int> counts, unsigned) {
      drawn[static_cast<std::size_t>(b)].assign(counts.begin(), counts.end());
    }));
    return drawn;
  };
  const auto one = run(1);
  for (const auto& counts : one) EXPECT_EQ(std::accumulate(counts.begin(), counts.end(), 0), 7);
  EXPECT_NE(one[0], one[1]);
  EXPECT_EQ(run(3), one);

  stats::Resampling stopped;
  stopped.resamples = 400;
  stopped.threads = 1;
  int calls = 0, fits = 0;
  stopped.progress = [&](double) { return ++calls < 3; };
  EXPECT_FALSE(stats::resample(5, stopped, [](unsigned) {}, [&](int, std::span<const int>, unsigned) { ++fits; }));
  EXPECT_EQ(fits, 3 * static_cast<int>(stopped.chunk));
}

TEST(strainintervals, CountsTheResamplesThatGaveNoStrain) {
  const std::vector<double> R{1.5, 1.6, std::nan(""), 1.7, 1.8}, theta{0.1, 0.2, 0.3, std::nan(""), 0.4};
  const stats::StrainInterval s = stats::strainintervals({1.6, core::Bearing::radians(0.2)}, R, theta, 0);
  EXPECT_EQ(s.failed, 2);
  EXPECT_EQ(s.R.used, 3);
  EXPECT_EQ(s.R.low, 1.5);
  EXPECT_EQ(s.R.high, 1.8);
  EXPECT_NEAR(s.theta.high, 0.4, 1e-15);
}

} // namespace
