// A whole simulated experiment: BuildModels followed by DoStats, k = 20
// landmarks.

#include "apps/tectsim/simulation.h"
#include "core/angles.h"
#include "core/random.h"

#include <benchmark/benchmark.h>
#include <cmath>

namespace {

Eigen::MatrixXd shape(double bend) {
  Eigen::MatrixXd row(1, 41);
  for (int j = 0; j < 20; ++j) {
    const double a = 6.283185307179586 * j / 20;
    row(0, 2 * j) = std::cos(a) * (1 + bend * std::sin(2 * a));
    row(0, 2 * j + 1) = 0.6 * std::sin(a);
  }
  row(0, 40) = 1;
  return row;
}

void experiment(benchmark::State& state) {
  tectsim::Parameters p;
  p.nsamp = static_cast<int>(state.range(0));
  p.noiseamp = 0.01;
  p.defamp = 1.5;
  p.defangle = core::Angle::degrees(30);
  p.npca = Eigen::MatrixXd::Constant(1, 1, 1);
  const Eigen::MatrixXd start = shape(0), end = shape(0.3);
  for (auto _ : state) {
    core::setseed(5);
    const std::string report = tectsim::dostats(tectsim::buildmodels(start, end, p));
    benchmark::DoNotOptimize(report.data());
  }
}

} // namespace

BENCHMARK(experiment)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);
