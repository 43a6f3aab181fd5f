#include "core/random.h"

#include "core/error.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

constexpr int kDraws = 100000;

TEST(random, RepeatsTheSameSequenceForTheSameSeed) {
  core::setseed(12345);
  const Eigen::MatrixXd first = core::rand01(3, 4);
  const double normal = core::randn();
  const Eigen::VectorXi perm = core::randperm(9);
  core::setseed(12345);
  EXPECT_EQ(core::rand01(3, 4), first);
  EXPECT_EQ(core::randn(), normal);
  EXPECT_EQ(core::randperm(9), perm);
  EXPECT_EQ(core::seed(), 12345u);
  EXPECT_EQ(core::seed(), core::seed());

  core::setseed(12346);
  EXPECT_NE(core::rand01(3, 4), first);
}

TEST(random, RestartsNormalDrawsWhenReseededBetweenAPair) {
  core::setseed(7);
  const double first = core::randn(); // its partner is now pending
  core::setseed(7);
  EXPECT_EQ(core::randn(), first);
}

TEST(random, FillsMatricesInColumnMajorOrder) {
  core::setseed(3);
  const Eigen::MatrixXd u = core::rand01(2, 3), z = core::randn(3, 2);
  core::setseed(3);
  for (Eigen::Index j = 0; j < 3; ++j)
    for (Eigen::Index i = 0; i < 2; ++i) EXPECT_EQ(u(i, j), core::rand01());
  for (Eigen::Index j = 0; j < 2; ++j)
    for (Eigen::Index i = 0; i < 3; ++i) EXPECT_EQ(z(i, j), core::randn());
  EXPECT_THROW(core::rand01(-1, 2), core::Error);
}

TEST(random, DrawsUniformValuesStrictlyInsideTheUnitInterval) {
  EXPECT_EQ(core::rand01_from_bits(0), 0x1p-54);
  EXPECT_EQ(core::rand01_from_bits(~0ull), 1 - 0x1p-53); // would round to 1

  core::setseed(1);
  const Eigen::ArrayXd u = core::rand01(kDraws, 1).array();
  EXPECT_GT(u.minCoeff(), 0);
  EXPECT_LT(u.maxCoeff(), 1);
  const double mean = u.mean(), var = (u - mean).square().sum() / (kDraws - 1);
  EXPECT_NEAR(mean, 0.5, 0.005);       // about 5 standard errors
  EXPECT_NEAR(var, 1.0 / 12, 0.0012);  // about 5 standard errors
  EXPECT_NEAR((u < 0.1).cast<double>().mean(), 0.1, 0.005);
}

TEST(random, DrawsStandardNormalValues) {
  core::setseed(2);
  const Eigen::ArrayXd z = core::randn(kDraws, 1).array();
  const double mean = z.mean(), var = (z - mean).square().sum() / (kDraws - 1);
  EXPECT_NEAR(mean, 0, 0.016);  // about 5 standard errors
  EXPECT_NEAR(var, 1, 0.023);
  // The shape, not just the moments: P(|z| < 1) = 0.6827, P(|z| > 1.96) = 0.05.
  EXPECT_NEAR((z.abs() < 1).cast<double>().mean(), 0.6827, 0.008);
  EXPECT_NEAR((z.abs() > 1.96).cast<double>().mean(), 0.05, 0.004);
}

TEST(random, DrawsIntegersBelowABoundWithoutBias) {
  core::setseed(4);
  int counts[3] = {};
  for (int i = 0; i < 30000; ++i) {
    const std::uint64_t k = core::randbelow(3);
    ASSERT_LT(k, 3u);
    ++counts[k];
  }
  for (int c : counts) EXPECT_NEAR(c, 10000, 420); // about 5 standard errors
  // For n = 3 * 2^62 a plain remainder would give [0, 2^62) half the draws
  // instead of a third.
  int low = 0;
  for (int i = 0; i < 30000; ++i) low += core::randbelow(3ull << 62) < (1ull << 62);
  EXPECT_NEAR(low, 10000, 420);
  EXPECT_EQ(core::randbelow(1), 0u);
  EXPECT_THROW(core::randbelow(0), core::Error);
}

TEST(random, ShufflesEveryPositionUniformly) {
  core::setseed(5);
  constexpr int n = 5, trials = 20000;
  Eigen::MatrixXd counts = Eigen::MatrixXd::Zero(n, n); // position x value
  for (int t = 0; t < trials; ++t) {
    Eigen::VectorXi p = core::randperm(n);
    for (int i = 0; i < n; ++i) counts(i, p[i] - 1) += 1;
    std::sort(p.begin(), p.end());
    ASSERT_EQ(p, Eigen::VectorXi::LinSpaced(n, 1, n));
  }
  const double expected = double(trials) / n;
  const double chi2 = ((counts.array() - expected).square() / expected).sum();
  EXPECT_LT(chi2, 50); // 16 degrees of freedom: exceeded with probability < 1e-5
  EXPECT_EQ(core::randperm(0).size(), 0);
}

// A stream is fixed by its base and number alone, whatever the program's
// generator does meanwhile; neighbouring numbers give unrelated draws.
TEST(random, GivesEachStreamItsOwnSequence) {
  const auto draws = [](std::uint64_t base, std::uint64_t index) {
    core::Stream s(base, index);
    std::vector<std::uint64_t> out;
    for (int i = 0; i < 2000; ++i) out.push_back(s.below(10));
    return out;
  };
  const auto first = draws(42, 7);
  core::setseed(1);
  core::rand01();
  EXPECT_EQ(draws(42, 7), first);
  int same = 0, low = 0;
  const auto next = draws(42, 8);
  for (std::size_t i = 0; i < first.size(); ++i) {
    same += first[i] == next[i];
    low += first[i] < 5;
    ASSERT_LT(first[i], 10u);
  }
  EXPECT_NEAR(same, 200, 60); // one in ten by chance
  EXPECT_NEAR(low, 1000, 120);
  EXPECT_NE(draws(43, 7), first);
}

} // namespace
