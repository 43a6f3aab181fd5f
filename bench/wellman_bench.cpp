// The Wellman permutation test at the size of a large sample: m pairs,
// each permutation a full construction, conic fit and penalty.

#include "apps/restrain/wellman.h"
#include "core/angles.h"
#include "core/random.h"
#include "core/strain.h"

#include <benchmark/benchmark.h>
#include <cmath>

namespace {

// Pairs that a strain R = 1.6, theta' = 30 degrees would show, t from 1 to
// 179 degrees, with 2 degrees of noise on p.
restrain::PairAngles pairs(Eigen::Index m) {
  core::setseed(7);
  const core::Strain strain{1.6, core::Bearing::degrees(30)};
  restrain::PairAngles tp{Eigen::VectorXd(m), Eigen::VectorXd(m)};
  for (Eigen::Index i = 0; i < m; ++i) {
    const core::Bearing t = core::Bearing::degrees(1 + 178 * core::rand01());
    tp.t(i) = t.rad();
    tp.p(i) = restrain::predictedp(strain, t) + core::Angle::degrees(2 * core::randn()).rad();
  }
  return tp;
}

void permutationtest(benchmark::State& state) {
  const restrain::PairAngles tp = pairs(state.range(0));
  for (auto _ : state) {
    core::setseed(11);
    auto result = restrain::permutationtest(tp, static_cast<int>(state.range(1)), {}, static_cast<unsigned>(state.range(2)));
    benchmark::DoNotOptimize(result);
  }
}

} // namespace

// m pairs, permutations, threads (0: every core).
BENCHMARK(permutationtest)->Args({500, 10000, 0})->Args({500, 10000, 1})->Unit(benchmark::kMillisecond)->UseRealTime();
