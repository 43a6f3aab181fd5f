#include "core/baseline.h"

#include "core/error.h"
#include "core/identities.h"

#include <cmath>
#include <string>
#include <vector>

namespace core {

Eigen::MatrixXd basereg(const Eigen::MatrixXd& x, int b1, int b2) {
  const Eigen::Index m = x.cols(), k = m / 2;
  const auto valid = [&](int b) { return b >= 1 && b <= k; };
  if (!valid(b1) || !valid(b2))
    throw Error("basereg: baseline landmarks " + std::to_string(b1) + " and " + std::to_string(b2) +
                " must both lie in 1 ... " + std::to_string(k));
  if (b1 == b2)
    throw Error("basereg: the two baseline landmarks are both " + std::to_string(b1) + "; a baseline needs two");

  // 0-based column of each baseline landmark's x coordinate.
  const Eigen::Index c1 = 2 * (b1 - 1), c2 = 2 * (b2 - 1);
  Eigen::MatrixXd y = x;
  for (Eigen::Index i = 0; i < y.rows(); ++i) {
    // A landmark not placed is named as missing, not as a bad number.
    std::vector<Eigen::Index> lost;
    for (int b : {b1, b2})
      if (missing(x, i, b - 1)) lost.push_back(b - 1);
    if (!lost.empty())
      throw Error("basereg: in specimen row " + std::to_string(i + 1) + " baseline landmark" +
                  (lost.size() == 1 ? " " : "s ") + landmarklist(lost) + (lost.size() == 1 ? " is" : " are") +
                  " missing, so it has no baseline; estimate it first or leave the specimen out");
    auto row = y.row(i);
    // Landmark b1 to the origin; the size slot stays.
    const double tx = row(c1), ty = row(c1 + 1);
    for (Eigen::Index j = 0; j < k; ++j) {
      row(2 * j) -= tx;
      row(2 * j + 1) -= ty;
    }
    // Unit baseline length.
    const double length = std::sqrt(row(c2 + 1) * row(c2 + 1) + row(c2) * row(c2));
    if (!(length > 0) || !std::isfinite(length))
      throw Error("basereg: in specimen row " + std::to_string(i + 1) + " baseline landmarks " + std::to_string(b1) +
                  " and " + std::to_string(b2) +
                  (length == 0 ? " coincide, so the baseline has no length" : " are not finite numbers"));
    row /= length;
    // Turn counter-clockwise by minus the bearing of landmark b2, bringing
    // it onto the positive x axis.
    const double theta = -std::atan2(row(c2 + 1), row(c2));
    const double ct = std::cos(theta), st = std::sin(theta);
    for (Eigen::Index j = 0; j < k; ++j) {
      const double xj = row(2 * j);
      row(2 * j) = xj * ct - st * row(2 * j + 1);
      row(2 * j + 1) = row(2 * j + 1) * ct + st * xj;
    }
    if (m % 2 == 1) row(m - 1) = x(i, m - 1);
  }
  return y;
}

} // namespace core
