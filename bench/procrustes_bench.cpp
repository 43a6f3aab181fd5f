// Superimposition of large data sets: getconsensus on n specimens of k = 20
// landmarks (noisy copies of one shape at random positions, sizes and
// orientations, as a simulation or a large digitising project produces).

#include "core/procrustes.h"

#include "bench/bench_data.h"

#include <benchmark/benchmark.h>
#include <chrono>
#include <cmath>
#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

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

// A data set for the one-call cases: when PROCRUSTES_PEER_DATA names a
// folder, the file X_n{n}_k{k}.bin that the numpy peers' gen_data.py wrote
// there (raw float64, per specimen the k x values then the k y values; the
// size slot set to 1), so that both sides time the same data; otherwise
// the noisy copies above.
Eigen::MatrixXd onecalldata(Eigen::Index n, Eigen::Index k) {
  const char* folder = std::getenv("PROCRUSTES_PEER_DATA");
  if (folder == nullptr || *folder == 0) return dataset(n, k);
  const std::string name = std::string(folder) + "/X_n" + std::to_string(n) + "_k" + std::to_string(k) + ".bin";
  std::ifstream in(name, std::ios::binary);
  std::vector<double> raw(static_cast<std::size_t>(n * 2 * k));
  in.read(reinterpret_cast<char*>(raw.data()), static_cast<std::streamsize>(raw.size() * sizeof(double)));
  if (!in) throw std::runtime_error("procrustes_bench: cannot read " + name);
  Eigen::MatrixXd x(n, 2 * k + 1);
  for (Eigen::Index i = 0; i < n; ++i) {
    for (Eigen::Index j = 0; j < k; ++j) {
      x(i, 2 * j) = raw[static_cast<std::size_t>(i * 2 * k + j)];
      x(i, 2 * j + 1) = raw[static_cast<std::size_t>(i * 2 * k + k + j)];
    }
    x(i, 2 * k) = 1;
  }
  return x;
}

// getconsensus called once on data just loaded, the way a program calls
// it: every iteration takes the next of several copies of the data set,
// together larger than any cache, so the data come from memory, and the
// result is a fresh matrix whose pages have never been touched. Only the
// call is timed, not the release of its result.
void getconsensus_onecall(benchmark::State& state) {
  const Eigen::MatrixXd x = onecalldata(state.range(0), state.range(1));
  const auto bytes = static_cast<Eigen::Index>(x.size() * sizeof(double));
  const Eigen::Index copies = std::max<Eigen::Index>(2, (Eigen::Index{128} << 20) / bytes + 1);
  const std::vector<Eigen::MatrixXd> data(static_cast<std::size_t>(copies), x);
  std::size_t next = 0;
  for (auto _ : state) {
    const Eigen::MatrixXd& d = data[next++ % data.size()];
    const auto start = std::chrono::steady_clock::now();
    core::Superimposition s = core::getconsensus(d);
    const auto stop = std::chrono::steady_clock::now();
    benchmark::DoNotOptimize(s.xpt.data());
    state.SetIterationTime(std::chrono::duration<double>(stop - start).count());
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
BENCHMARK(getconsensus_onecall)
    ->Args({1000, 20})
    ->Args({10000, 20})
    ->Args({100000, 20})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(readonce)->Args({100000, 20})->Unit(benchmark::kMillisecond);
