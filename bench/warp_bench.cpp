// Partial warp scores and PCA undeformation of large data sets: n specimens
// of k = 20 landmarks, noisy copies of one shape at random positions, sizes
// and orientations, as a simulated assemblage produces.

#include "core/procrustes.h"
#include "warp/partial_warps.h"
#include "warp/undeform.h"

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
