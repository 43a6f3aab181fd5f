// Superimposition of large data sets: getconsensus on n specimens of k = 20
// landmarks (noisy copies of one shape at random positions, sizes and
// orientations, as a simulation or a large digitising project produces).

#include "core/procrustes.h"

#include "bench/bench_data.h"

#include <benchmark/benchmark.h>
#include <cmath>
#include <random>

namespace {

Eigen::MatrixXd dataset(Eigen::Index n, Eigen::Index k) { return benchdata::noisycopies(n, k); }

void getconsensus(benchmark::State& state) {
  const Eigen::MatrixXd x = dataset(state.range(0), state.range(1));
  for (auto _ : state) {
    core::Superimposition s = core::getconsensus(x);
    benchmark::DoNotOptimize(s.xpt.data());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(x.size() * sizeof(double)));
}

void getconsensuspca(benchmark::State& state) {
  const Eigen::MatrixXd x = dataset(state.range(0), state.range(1));
  for (auto _ : state) {
    core::Superimposition s = core::getconsensuspca(x);
    benchmark::DoNotOptimize(s.xpt.data());
  }
}

void getpsup(benchmark::State& state) {
  const Eigen::MatrixXd x = dataset(state.range(0), state.range(1));
  const Eigen::RowVectorXd ref = core::getconsensus(x).y;
  for (auto _ : state) {
    Eigen::MatrixXd y = core::getpsup(x, ref);
    benchmark::DoNotOptimize(y.data());
  }
}

// A single read of the data: the floor against which a pass is measured.
void readonce(benchmark::State& state) {
  const Eigen::MatrixXd x = dataset(state.range(0), state.range(1));
  for (auto _ : state) benchmark::DoNotOptimize(x.sum());
}

} // namespace

BENCHMARK(getconsensus)->Args({1000, 20})->Args({10000, 20})->Args({100000, 20})->Unit(benchmark::kMillisecond);
BENCHMARK(getconsensuspca)->Args({10000, 20})->Args({100000, 20})->Unit(benchmark::kMillisecond);
BENCHMARK(getpsup)->Args({100000, 20})->Unit(benchmark::kMillisecond);
BENCHMARK(readonce)->Args({100000, 20})->Unit(benchmark::kMillisecond);
