// Reading landmark files of a large study: 100,000 specimens of 20
// landmarks, in the row format (about 35 MB of text) and as TPS.

#include "io/row_file.h"
#include "io/tps_file.h"

#include <benchmark/benchmark.h>
#include <filesystem>
#include <random>

namespace {

Eigen::MatrixXd dataset(Eigen::Index n) {
  std::mt19937 rng(3);
  std::uniform_real_distribution<double> u(-500, 500);
  Eigen::MatrixXd x(n, 41);
  for (Eigen::Index i = 0; i < x.size(); ++i) x(i) = u(rng);
  return x;
}

const std::string& rowfile() {
  static const std::string path = [] {
    const std::string p = (std::filesystem::temp_directory_path() / "tectomorph-bench-rows.txt").string();
    io::writerows(p, dataset(100000), "%f ", "\n", io::WriteMode::Replace);
    return p;
  }();
  return path;
}

const std::string& tpsfile() {
  static const std::string path = [] {
    const std::string p = (std::filesystem::temp_directory_path() / "tectomorph-bench.tps").string();
    io::writetpsfile(p, core::Specimens(dataset(100000)));
    return p;
  }();
  return path;
}

void dload(benchmark::State& state) {
  const std::string& path = rowfile();
  for (auto _ : state) benchmark::DoNotOptimize(io::dload(path).data());
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(std::filesystem::file_size(path)));
}

void readtpsfile(benchmark::State& state) {
  const std::string& path = tpsfile();
  for (auto _ : state) benchmark::DoNotOptimize(io::readtpsfile(path).matrix().data());
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(std::filesystem::file_size(path)));
}

void writerows(benchmark::State& state) {
  const Eigen::MatrixXd x = dataset(100000);
  const std::string path = (std::filesystem::temp_directory_path() / "tectomorph-bench-out.txt").string();
  for (auto _ : state) io::writerows(path, x, "%g ", " \n", io::WriteMode::Replace);
}

} // namespace

BENCHMARK(dload)->Unit(benchmark::kMillisecond);
BENCHMARK(readtpsfile)->Unit(benchmark::kMillisecond);
BENCHMARK(writerows)->Unit(benchmark::kMillisecond);
