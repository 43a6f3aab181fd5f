// Superimposition of large data sets: getconsensus on n specimens of k = 20
// landmarks (noisy copies of one shape at random positions, sizes and
// orientations, as a simulation or a large digitising project produces).

#include "core/procrustes.h"

#include <benchmark/benchmark.h>
#include <cmath>
#include <random>

namespace {

Eigen::MatrixXd dataset(Eigen::Index n, Eigen::Index k) {
  std::mt19937 rng(1);
  std::uniform_real_distribution<double> u(0, 1);
  std::normal_distribution<double> e(0, 0.05);
  Eigen::VectorXd base(2 * k);
  for (Eigen::Index j = 0; j < 2 * k; ++j) base(j) = 2 * u(rng) - 1;
  Eigen::MatrixXd x(n, 2 * k + 1);
  for (Eigen::Index i = 0; i < n; ++i) {
    const double s = 0.5 + u(rng), a = 6.283185307179586 * u(rng), c = std::cos(a), t = std::sin(a);
    const double dx = 100 * u(rng), dy = 100 * u(rng);
    for (Eigen::Index j = 0; j < k; ++j) {
      const double px = base(2 * j) + e(rng), py = base(2 * j + 1) + e(rng);
      x(i, 2 * j) = s * (c * px - t * py) + dx;
      x(i, 2 * j + 1) = s * (t * px + c * py) + dy;
    }
    x(i, 2 * k) = s;
  }
  return x;
}

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
