#pragma once
// Data sets for the benchmarks: n noisy copies of one random shape of k
// landmarks at random positions, sizes and orientations, as a simulation
// or a large digitising project produces. Fixed seed; the size slot holds
// each copy's scale.

#include <Eigen/Core>
#include <cmath>
#include <random>

namespace benchdata {

inline Eigen::MatrixXd noisycopies(Eigen::Index n, Eigen::Index k) {
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

} // namespace benchdata
