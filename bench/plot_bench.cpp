// Drawing a large data set: showshape of 100,000 specimens of 20
// landmarks (2,000,000 markers) and the plot's first full drawing, as a
// person waits for it after loading.

#include "shell/qt/plot_axes.h"
#include "shell/shape_plot.h"

#include <QApplication>
#include <benchmark/benchmark.h>
#include <cstdlib>
#include <qcustomplot.h>
#include <random>

namespace {

Eigen::MatrixXd dataset(Eigen::Index n) {
  std::mt19937 rng(3);
  std::normal_distribution<double> e(0, 0.02);
  Eigen::MatrixXd x(n, 41);
  for (Eigen::Index i = 0; i < n; ++i) {
    for (int j = 0; j < 20; ++j) {
      x(i, 2 * j) = std::cos(0.314 * j) + e(rng);
      x(i, 2 * j + 1) = 0.5 * std::sin(0.314 * j) + e(rng);
    }
    x(i, 40) = 1;
  }
  return x;
}

void showshape(benchmark::State& state) {
  const Eigen::MatrixXd x = dataset(state.range(0));
  QCustomPlot plot;
  plot.resize(700, 600);
  shell::PlotAxes axes(&plot);
  for (auto _ : state) {
    axes.cla();
    shell::showshape(axes, x, "bo");
    QPixmap picture = plot.toPixmap(700, 600);
    benchmark::DoNotOptimize(picture.cacheKey());
  }
}

} // namespace

BENCHMARK(showshape)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(3);

int main(int argc, char** argv) {
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
