// Symrestore's undeformation by symmetry at the size of a large bed: the
// strain shared by all the specimens, then each specimen's own fit, on one
// thread and on every core.

#include "apps/symrestore/symmetry.h"
#include "core/random.h"
#include "core/strain.h"

#include <benchmark/benchmark.h>
#include <cmath>
#include <numbers>

namespace {

// A slab like the bundled sample's, of m specimens: a trilobite-like
// cephalon (four midline landmarks, five pairs) at random bearings, sizes
// and places, the slab strained by R = 1.8 with its long axis at a bearing
// of 35 degrees, digitised in pixels of 0.0125 mm with a pixel of noise.
Eigen::MatrixXd bed(Eigen::Index m) {
  const double midline[4][2] = {{0, 10}, {0, 5.5}, {0, -1}, {0, -9}};
  const double pairs[5][2] = {{3.5, 8.5}, {7, 4.5}, {9, -0.5}, {5.5, -5.5}, {2.5, -8}};
  Eigen::Matrix<double, 14, 2> form;
  for (int j = 0; j < 4; ++j) form.row(j) << midline[j][0], midline[j][1];
  for (int k = 0; k < 5; ++k) {
    form.row(4 + 2 * k) << pairs[k][0], pairs[k][1];
    form.row(5 + 2 * k) << -pairs[k][0], pairs[k][1];
  }
  const double scale = 0.0125;
  const Eigen::Matrix2d strain = core::Strain{1.8, core::Bearing::degrees(35)}.matrix();
  core::setseed(5);
  Eigen::MatrixXd x(m, 29);
  for (Eigen::Index i = 0; i < m; ++i) {
    const double bearing = 2 * std::numbers::pi * core::rand01(), size = 0.8 + 0.45 * core::rand01();
    const Eigen::Vector2d place(40 + 160 * core::rand01(), 30 + 90 * core::rand01());
    Eigen::Matrix2d turn;
    turn << std::cos(bearing), -std::sin(bearing), std::sin(bearing), std::cos(bearing);
    for (int j = 0; j < 14; ++j) {
      const Eigen::Vector2d v = strain * (size * turn * form.row(j).transpose() + place) / scale;
      x(i, 2 * j) = v(0) + core::randn();
      x(i, 2 * j + 1) = v(1) + core::randn();
    }
    x(i, 28) = 1;
  }
  return x;
}

Eigen::MatrixXd pairs() {
  Eigen::MatrixXd p(9, 2);
  p << 1, 1, 2, 2, 3, 3, 4, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14;
  return p;
}

// tectfix2, as "UnDeform" calls it: specimens, threads (0: every core).
void tectfix2(benchmark::State& state) {
  const Eigen::MatrixXd x = bed(state.range(0)), p = pairs();
  for (auto _ : state) {
    auto fixed = symrestore::tectfix2(x, p, {static_cast<unsigned>(state.range(1)), {}});
    benchmark::DoNotOptimize(fixed);
  }
}

// tectfix4, as "RetroStrain" calls it.
void tectfix4(benchmark::State& state) {
  const Eigen::MatrixXd x = bed(state.range(0)), p = pairs();
  for (auto _ : state) {
    auto fixed = symrestore::tectfix4(x, p, std::sqrt(1.8), {static_cast<unsigned>(state.range(1)), {}});
    benchmark::DoNotOptimize(fixed);
  }
}

// BootstrapStrain on the sample's size: specimens, resamples, threads.
void bootstrapstrain(benchmark::State& state) {
  const Eigen::MatrixXd x = bed(state.range(0)), p = pairs();
  for (auto _ : state) {
    core::setseed(3);
    auto result = symrestore::bootstrapstrain(x, p, static_cast<int>(state.range(1)),
                                              {static_cast<unsigned>(state.range(2)), {}});
    benchmark::DoNotOptimize(result);
  }
}

} // namespace

BENCHMARK(bootstrapstrain)->Args({60, 1000, 0})->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(3);
BENCHMARK(tectfix2)->Args({10000, 0})->Args({10000, 1})->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(3);
BENCHMARK(tectfix4)->Args({10000, 0})->Args({10000, 1})->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(3);
