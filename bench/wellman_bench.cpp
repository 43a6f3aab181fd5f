// The Wellman permutation test at the size of a large sample: m pairs,
// each permutation a full construction, conic fit and penalty.

#include "apps/restrain/wellman.h"
#include "core/random.h"

#include <benchmark/benchmark.h>
#include <cmath>
#include <numbers>

namespace {

// Pairs that a strain R = 1.6, theta' = 30 degrees would show, with noise.
Eigen::MatrixXd pairs(Eigen::Index m) {
  core::setseed(7);
  Eigen::MatrixXd tp(m, 2);
  for (Eigen::Index i = 0; i < m; ++i) {
    const double t = 1 + 178 * core::rand01();
    const double p = restrain::predictedp(1.6, std::numbers::pi / 6, t * std::numbers::pi / 180) * 180 / std::numbers::pi;
    tp(i, 0) = t;
    tp(i, 1) = p + 2 * core::randn();
  }
  return tp;
}

void permutationtest(benchmark::State& state) {
  const Eigen::MatrixXd tp = pairs(state.range(0));
  for (auto _ : state) {
    core::setseed(11);
    auto result = restrain::permutationtest(tp, static_cast<int>(state.range(1)), {}, static_cast<unsigned>(state.range(2)));
    benchmark::DoNotOptimize(result);
  }
}

} // namespace

// m pairs, permutations, threads (0: every core).
BENCHMARK(permutationtest)->Args({500, 10000, 0})->Args({500, 10000, 1})->Unit(benchmark::kMillisecond)->UseRealTime();
