#pragma once
// Baseline registration (Bookstein coordinates): every specimen is
// translated, scaled and rotated as a whole so that its landmark b1 lies at
// the origin and its landmark b2 at (1, 0).

#include <Eigen/Core>

namespace core {

// Registers every specimen row of `x` (n x m, k = floor(m / 2) landmarks;
// with m odd the last column is the size slot, copied unchanged) on the
// baseline from landmark b1 to landmark b2 (numbers from 1). The direction
// of the baseline follows the order of the arguments. Raises core::Error
// when b1 equals b2, a number lies outside 1 ... k, or a specimen's two
// baseline landmarks coincide or one is missing (naming its row and the
// landmark).
Eigen::MatrixXd basereg(const Eigen::MatrixXd& x, int b1, int b2);

} // namespace core
