// The Wellman permutation test at the size of a large sample: m pairs,
// each permutation a full construction, conic fit and penalty; and the
// bootstrap of the fits, each resample an analytic and a numerical refit.

#include "apps/restrain/bootstrap.h"
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
  restrain::PairAngles tp;
  tp.t.resize(m);
  tp.p.resize(m);
  for (Eigen::Index i = 0; i < m; ++i) {
    const core::Bearing t = core::Bearing::degrees(1 + 178 * core::rand01());
    tp.t(i) = t.rad();
    tp.p(i) = restrain::predictedp(strain, t) + core::Angle::degrees(2 * core::randn()).rad();
  }
  return tp;
}

// n specimens of five pairs each, as Anglepick measures them: one t per
// specimen (its midline's bearing, 1 to 359 degrees) shared by its pairs,
// the strain's p with 2 degrees of noise on each.
restrain::PairAngles specimens(Eigen::Index n) {
  core::setseed(7);
  const core::Strain strain{1.8, core::Bearing::degrees(35)};
  restrain::PairAngles tp;
  tp.t.resize(5 * n);
  tp.p.resize(5 * n);
  tp.specimen.resize(5 * n);
  for (Eigen::Index i = 0; i < n; ++i) {
    const core::Bearing t = core::Bearing::degrees(1 + 358 * core::rand01());
    for (Eigen::Index j = 5 * i; j < 5 * i + 5; ++j) {
      tp.t(j) = t.rad();
      tp.p(j) = restrain::predictedp(strain, t) + core::Angle::degrees(2 * core::randn()).rad();
      tp.specimen(j) = static_cast<int>(i);
    }
  }
  return tp;
}

// BootstrapWellman: specimens (five pairs each), resamples, threads (0:
// every core).
void bootstrapwellman(benchmark::State& state) {
  const restrain::PairAngles tp = specimens(state.range(0));
  for (auto _ : state) {
    core::setseed(11);
    auto result = restrain::bootstrapwellman(tp, static_cast<int>(state.range(1)), {}, static_cast<unsigned>(state.range(2)));
    benchmark::DoNotOptimize(result);
  }
}

void permutationtest(benchmark::State& state) {
  const restrain::PairAngles tp = pairs(state.range(0));
  for (auto _ : state) {
    core::setseed(11);
    auto result = restrain::permutationtest(tp, static_cast<int>(state.range(1)), {}, static_cast<unsigned>(state.range(2)));
    benchmark::DoNotOptimize(result);
  }
}

// PermuteWellman on Anglepick's pooled file: specimens of five pairs that
// share their t, permuted as pairs and as whole specimens.
void permutespecimens(benchmark::State& state) {
  const restrain::PairAngles tp = specimens(state.range(0));
  for (auto _ : state) {
    core::setseed(11);
    auto result = restrain::permutationtest(tp, static_cast<int>(state.range(1)), {}, static_cast<unsigned>(state.range(2)));
    benchmark::DoNotOptimize(result);
  }
}

} // namespace

// m pairs, permutations, threads (0: every core).
BENCHMARK(permutationtest)->Args({500, 10000, 0})->Args({500, 10000, 1})->Unit(benchmark::kMillisecond)->UseRealTime();
// 100,000 pairs (20,000 specimens), 1000 permutations of each kind, on both
// cores.
BENCHMARK(permutespecimens)->Args({20000, 1000, 0})->Unit(benchmark::kMillisecond)->UseRealTime();
// The sample's 300 pairs (60 specimens), and 100,000 pairs (20,000
// specimens), 1000 resamples, on both cores and on one.
BENCHMARK(bootstrapwellman)
    ->Args({60, 1000, 0})
    ->Args({20000, 1000, 0})
    ->Args({20000, 1000, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
