// Partial warp scores and PCA undeformation of large data sets: n specimens
// of k = 20 landmarks, noisy copies of one shape at random positions, sizes
// and orientations, as a simulated assemblage produces.

#include "core/procrustes.h"
#include "warp/partial_warps.h"
#include "warp/undeform.h"

#include "bench/bench_data.h"

#include <benchmark/benchmark.h>
#include <cmath>
#include <random>

namespace {

Eigen::MatrixXd dataset(Eigen::Index n, Eigen::Index k) { return benchdata::noisycopies(n, k); }

// Scoring a superimposed data set against its consensus.
void getpw_arbit(benchmark::State& state) {
  const core::Superimposition s = core::getconsensus(dataset(state.range(0), state.range(1)));
  for (auto _ : state) {
    Eigen::MatrixXd pw = warp::getpw_arbit(s.y, s.xpt);
    benchmark::DoNotOptimize(pw.data());
  }
}

// The whole undeformation (consensus, fit, scores, PCA, rebuilding) with
// the first axis removed.
void undeformpca(benchmark::State& state) {
  const Eigen::MatrixXd x = dataset(state.range(0), state.range(1));
  const Eigen::MatrixXd axes = Eigen::MatrixXd::Ones(1, 1);
  for (auto _ : state) {
    Eigen::MatrixXd u = warp::undeformpca(x, axes);
    benchmark::DoNotOptimize(u.data());
  }
}

} // namespace

BENCHMARK(getpw_arbit)->Args({1000, 20})->Args({10000, 20})->Unit(benchmark::kMillisecond);
BENCHMARK(undeformpca)->Args({1000, 20})->Args({10000, 20})->Unit(benchmark::kMillisecond);
