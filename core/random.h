#pragma once
// The program's one random-number generator. Every random draw of the suite
// (simulated rotations and noise, permutation tests) comes from here, in a
// fixed order, so a run is reproduced exactly by its seed. The generator is
// seeded once per process from the system's entropy unless a seed is set;
// the seed in force can always be read back and reported.
//
// The draws are defined by this file alone (64-bit Mersenne Twister, and the
// transformations below), not by the standard library's distributions, so
// the same seed gives the same numbers with any compiler.
//
// Not thread-safe: the generator is shared, unlocked, process-wide state,
// drawn from by the program's one event thread.

#include <cstdint>
#include <random>
#include <Eigen/Core>

namespace core {

// Sets the seed and restarts the sequence.
void setseed(std::uint64_t seed);
// The seed in force (drawing one from the system first if none was set).
std::uint64_t seed();

// Uniform on the open interval (0, 1): ((x >> 11) + 0.5) * 2^-53 in double
// arithmetic for the generator output x, except that the one x for which
// that rounds to 1 gives the largest double below 1.
double rand01();
// That map for a given 64-bit output x (never 0 or 1).
double rand01_from_bits(std::uint64_t x);
// Standard normal (Marsaglia's polar method). Deviates come in pairs; the
// second is kept for the next call and discarded by setseed().
double randn();
// An r x c matrix of rand01() / randn() draws, filled in column-major order.
Eigen::MatrixXd rand01(Eigen::Index rows, Eigen::Index cols);
Eigen::MatrixXd randn(Eigen::Index rows, Eigen::Index cols);
// A random permutation of 1 ... n (1-based, as landmark and row numbers are
// in files), uniform over all n! orders.
Eigen::VectorXi randperm(int n);
// Uniform integer in [0, n), n > 0, without modulo bias.
std::uint64_t randbelow(std::uint64_t n);
// One raw 64-bit output of the generator.
std::uint64_t rand64();

// A sequence of its own for one of many pieces of work that run on several
// threads (one resample of a bootstrap): a base drawn once from the
// program's generator and the piece's number fix it, so a piece draws the
// same numbers whichever thread runs it and whenever. The two are mixed
// (SplitMix64's finaliser) into the seed of a 64-bit Mersenne Twister of
// its own; neighbouring numbers give unrelated sequences.
class Stream {
public:
  Stream(std::uint64_t base, std::uint64_t index);
  // Uniform integer in [0, n), n > 0, without modulo bias, as randbelow.
  std::uint64_t below(std::uint64_t n);

private:
  std::mt19937_64 engine_;
};

} // namespace core
