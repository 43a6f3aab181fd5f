#include "core/random.h"

#include "core/error.h"

#include <cmath>
#include <numeric>
#include <random>
#include <string>
#include <utility>

// The generator state is one process-wide object with no locking: the suite
// draws random numbers from its one event thread only, and a lock would not
// make draws from several threads reproducible anyway.

namespace core {
namespace {

struct Generator {
  std::mt19937_64 engine;
  std::uint64_t seed = 0;
  bool seeded = false;
  // randn() makes normal deviates in pairs and keeps the second for the
  // next call; setseed() discards it so that a seed restarts randn() too.
  bool has_spare = false;
  double spare = 0;
};

Generator& state() {
  static Generator g;
  return g;
}

std::mt19937_64& engine() {
  Generator& g = state();
  if (!g.seeded) {
    std::random_device entropy; // 32 bits a call
    setseed((static_cast<std::uint64_t>(entropy()) << 32) | entropy());
  }
  return g.engine;
}

void check_size(Eigen::Index rows, Eigen::Index cols) {
  if (rows < 0 || cols < 0)
    throw Error("random matrix size " + std::to_string(rows) + " x " + std::to_string(cols) + " is negative");
}

} // namespace

// Restarts the sequence from seed s (and forgets a cached normal deviate).
void setseed(std::uint64_t s) {
  Generator& g = state();
  g.engine.seed(s);
  g.seed = s;
  g.seeded = true;
  g.has_spare = false;
}

// The seed in force, seeding from the system's entropy on first use (which
// raises std::system_error only if the system has no entropy source).
std::uint64_t seed() {
  engine();
  return state().seed;
}

// Maps the top 53 bits to the centre of one of 2^53 equal cells of (0, 1).
// Centres above 1/2 need 54 bits and round to even; the top one,
// 1 - 2^-54, would round to 1, so it is returned as the largest double
// below 1 instead and the interval stays open.
double rand01_from_bits(std::uint64_t x) {
  const double u = (static_cast<double>(x >> 11) + 0.5) * 0x1p-53;
  return u < 1 ? u : 1 - 0x1p-53;
}

// Uniform on (0, 1), one generator output per draw.
double rand01() { return rand01_from_bits(engine()()); }

// Standard normal by Marsaglia's polar method: a point uniform in the unit
// disc gives two independent deviates. The draws use std::log and
// std::sqrt; sqrt is exact everywhere, log is within an ulp, so normal
// deviates may differ in the last bit between maths libraries.
double randn() {
  Generator& g = state();
  if (g.has_spare) {
    g.has_spare = false;
    return g.spare;
  }
  double u, v, s;
  do {
    u = 2 * rand01() - 1;
    v = 2 * rand01() - 1;
    s = u * u + v * v;
  } while (s >= 1 || s == 0);
  const double scale = std::sqrt(-2 * std::log(s) / s);
  g.spare = v * scale;
  g.has_spare = true;
  return u * scale;
}

// rows x cols rand01() draws in column-major order; raises core::Error for
// a negative size.
Eigen::MatrixXd rand01(Eigen::Index rows, Eigen::Index cols) {
  check_size(rows, cols);
  Eigen::MatrixXd m(rows, cols);
  for (Eigen::Index i = 0; i < m.size(); ++i) m.data()[i] = rand01();
  return m;
}

// rows x cols randn() draws in column-major order; raises core::Error for
// a negative size.
Eigen::MatrixXd randn(Eigen::Index rows, Eigen::Index cols) {
  check_size(rows, cols);
  Eigen::MatrixXd m(rows, cols);
  for (Eigen::Index i = 0; i < m.size(); ++i) m.data()[i] = randn();
  return m;
}

namespace {

// Uniform in [0, n) from the 64-bit outputs of `draw`. Outputs below
// 2^64 mod n are redrawn, so the ones kept cover a whole number of periods
// of n and the remainder is unbiased. Raises core::Error for n = 0.
template <class Draw>
std::uint64_t below(std::uint64_t n, Draw&& draw) {
  if (n == 0) throw Error("randbelow: the range [0, 0) is empty");
  // Lemire's multiply-and-shift: the high half of x * n is uniform in
  // [0, n) once the few x whose low half falls below 2^64 mod n are
  // rejected; the division that finds that bound is needed only rarely.
  __extension__ using u128 = unsigned __int128;
  u128 product = static_cast<u128>(draw()) * n;
  if (static_cast<std::uint64_t>(product) < n) {
    const std::uint64_t bound = (0 - n) % n;
    while (static_cast<std::uint64_t>(product) < bound) product = static_cast<u128>(draw()) * n;
  }
  return static_cast<std::uint64_t>(product >> 64);
}

// SplitMix64's finaliser: every bit of the result depends on every bit of x.
std::uint64_t mix(std::uint64_t x) {
  x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ull;
  x = (x ^ (x >> 27)) * 0x94d049bb133111ebull;
  return x ^ (x >> 31);
}

} // namespace

std::uint64_t randbelow(std::uint64_t n) {
  return below(n, [] { return engine()(); });
}

std::uint64_t rand64() { return engine()(); }

Stream::Stream(std::uint64_t base, std::uint64_t index) : engine_(mix(base + mix(index + 0x9e3779b97f4a7c15ull))) {}

std::uint64_t Stream::below(std::uint64_t n) {
  return core::below(n, [this] { return engine_(); });
}

// Fisher-Yates shuffle of 1 ... n; raises core::Error for negative n.
Eigen::VectorXi randperm(int n) {
  if (n < 0) throw Error("randperm: the length must not be negative, got " + std::to_string(n));
  Eigen::VectorXi p(n);
  std::iota(p.data(), p.data() + n, 1);
  for (int i = n - 1; i > 0; --i) std::swap(p[i], p[static_cast<Eigen::Index>(randbelow(i + 1))]);
  return p;
}

} // namespace core
