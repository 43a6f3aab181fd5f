#include "core/minimise.h"

#include "tests/support/test_support.h"

#include "core/error.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <vector>

namespace {

double rosenbrock(const Eigen::VectorXd& p, std::span<const Eigen::MatrixXd>) {
  return 100 * std::pow(p[1] - p[0] * p[0], 2) + std::pow(1 - p[0], 2);
}

TEST(fminsearch, FindsTheMinimumOfRosenbrocksValley) {
  const core::MinimiseResult r = core::fminsearch(rosenbrock, Eigen::Vector2d(-1.2, 1), {1e-8, 1e-8, 100000, 100000});
  EXPECT_TRUE(r.converged);
  EXPECT_NEAR(r.x[0], 1, 1e-3);
  EXPECT_NEAR(r.x[1], 1, 1e-3);
  EXPECT_LT(r.fval, 1e-10);
  EXPECT_DOUBLE_EQ(r.fval, rosenbrock(r.x, {}));
}

TEST(fminsearch, PassesTheExtraArgumentsThroughUnchanged) {
  const std::vector<Eigen::MatrixXd> extra{Eigen::Vector3d(3, -2, 0.5)};
  const core::Objective quadratic = [&](const Eigen::VectorXd& p, std::span<const Eigen::MatrixXd> args) {
    EXPECT_EQ(args.data(), extra.data()); // the caller's objects, not copies
    return (p - args[0]).squaredNorm();
  };
  const core::MinimiseResult r = core::fminsearch(quadratic, Eigen::Vector3d::Zero(), {1e-9, 1e-12, 5000, 0}, extra);
  EXPECT_TRUE(r.converged);
  EXPECT_LT((r.x - extra[0]).cwiseAbs().maxCoeff(), 1e-6);
}

TEST(fminsearch, ReportsNoConvergenceWhenALimitStopsIt) {
  const Eigen::Vector2d start(-1.2, 1);
  const core::MinimiseResult by_iterations = core::fminsearch(rosenbrock, start, {1e-8, 1e-8, 10, 100000});
  EXPECT_FALSE(by_iterations.converged);
  EXPECT_EQ(by_iterations.iterations, 10);

  const core::MinimiseResult by_evaluations = core::fminsearch(rosenbrock, start, {1e-8, 1e-8, 100000, 30});
  EXPECT_FALSE(by_evaluations.converged);
  EXPECT_GE(by_evaluations.funcevals, 30);
  EXPECT_LE(by_evaluations.funcevals, 30 + 3); // a last shrinking step passes it by n + 1 at most

  // Default limits are 200 per parameter; a slope downhill for ever never
  // converges and takes two evaluations a step.
  const auto slope = [](const Eigen::VectorXd& p, std::span<const Eigen::MatrixXd>) { return -p.sum(); };
  const core::MinimiseResult default_iterations = core::fminsearch(slope, start, {1e-4, 1e-4, 0, 100000});
  EXPECT_FALSE(default_iterations.converged);
  EXPECT_EQ(default_iterations.iterations, 400);
  const core::MinimiseResult default_evaluations = core::fminsearch(slope, start, {1e-4, 1e-4, 100000, 0});
  EXPECT_FALSE(default_evaluations.converged);
  EXPECT_GE(default_evaluations.funcevals, 400);
  EXPECT_LE(default_evaluations.funcevals, 401);
}

// Hand-traced steps in one dimension, where the simplex is two points and
// each step's trial points follow from the coefficients alone.
TEST(fminsearch, TakesTheNelderMeadStepsInOrder) {
  struct Case {
    const char* what;
    std::function<double(double)> f;
    int maxiter;
    std::vector<double> evaluated;
  };
  const std::vector<Case> cases{
      // start, 5 % step; reflect, expand (kept); reflect, expand (kept);
      // reflect, expand (kept); reflect, expand (rejected: keep the
      // reflection); reflect, inside contraction.
      {"x^2", [](double x) { return x * x; }, 5, {1, 1.05, 0.95, 0.9, 0.8, 0.7, 0.5, 0.3, -0.1, -0.5, -0.5, 0.1}},
      // reflect, outside contraction (kept); reflect, inside contraction.
      {"(x-0.99)^2", [](double x) { return (x - 0.99) * (x - 0.99); }, 2, {1, 1.05, 0.95, 0.975, 1.025, 0.9875}},
      // reflect, inside contraction fails, shrink towards the best.
      {"spike at 1", [](double x) { return std::abs(x - 1) < 1e-3 ? 0.0 : 1.0; }, 1, {1, 1.05, 0.95, 1.025, 1.025}},
      // Ties: the start stays first among equals, a reflection no better
      // than the rest is not taken, and neither contraction accepts a tie
      // with the worst, so a flat objective shrinks the simplex.
      {"flat", [](double) { return 0.0; }, 1, {1, 1.05, 0.95, 1.025, 1.025}},
      // An outside contraction that ties with the reflection is accepted.
      {"steps", [](double x) { return x > 1.04 ? 2.0 : x < 0.999 ? 1.0 : 0.0; }, 1, {1, 1.05, 0.95, 0.975}},
      // An expansion that only ties with the reflection is not taken.
      {"terraces", [](double x) { return x < 0.99 ? 0.0 : x < 1.01 ? 1.0 : 2.0; }, 2, {1, 1.05, 0.95, 0.9, 0.9, 0.925}},
      // NaN ranks below every number: the start is worst, and the search
      // moves away from it (reflect, outside contraction kept).
      {"NaN below 1.01", [](double x) { return x < 1.01 ? std::nan("") : x; }, 1, {1, 1.05, 1.1, 1.075}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<double> seen;
    const core::Objective f = [&](const Eigen::VectorXd& p, std::span<const Eigen::MatrixXd>) {
      seen.push_back(p[0]);
      return c.f(p[0]);
    };
    const core::MinimiseResult r = core::fminsearch(f, Eigen::VectorXd::Constant(1, 1.0), {0, 0, c.maxiter, 0});
    ASSERT_EQ(seen.size(), c.evaluated.size());
    for (std::size_t i = 0; i < seen.size(); ++i) EXPECT_NEAR(seen[i], c.evaluated[i], 1e-12) << "evaluation " << i;
    EXPECT_EQ(r.funcevals, static_cast<int>(seen.size()));
    EXPECT_EQ(r.iterations, c.maxiter);
  }
}

TEST(fminsearch, StartsFromFivePercentStepsAndAFixedStepForZeros) {
  std::vector<Eigen::VectorXd> seen;
  const core::Objective f = [&](const Eigen::VectorXd& p, std::span<const Eigen::MatrixXd>) {
    seen.push_back(p);
    return p.squaredNorm();
  };
  core::fminsearch(f, Eigen::Vector3d(2, 0, -4), {1e-4, 1e-4, 1, 0});
  ASSERT_GE(seen.size(), 4u);
  EXPECT_EQ(seen[0], Eigen::Vector3d(2, 0, -4));
  EXPECT_EQ(seen[1], Eigen::Vector3d(2.1, 0, -4));
  EXPECT_EQ(seen[2], Eigen::Vector3d(2, 0.00025, -4));
  EXPECT_EQ(seen[3], Eigen::Vector3d(2, 0, -4.2));
}

} // namespace
