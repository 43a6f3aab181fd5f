#include "warp/undeform.h"

#include "core/configurations.h"
#include "core/error.h"
#include "core/numeric.h"
#include "core/procrustes.h"
#include "warp/partial_warps.h"
#include "warp/thin_plate.h"

#include <charconv>
#include <cmath>
#include <string>

namespace warp {
namespace {

// The shortest text that reads back as v.
std::string number_text(double v) {
  char buf[32];
  return {buf, std::to_chars(buf, buf + sizeof buf, v).ptr};
}

// Which principal axes stay, as weights over the columns of the ascending
// eigenvector matrix: axis a (1 = largest variance) is column numpca - a
// (0-based). Axis numbers are checked and turned 0-based here only.
Eigen::VectorXd keptaxes(const Eigen::MatrixXd& naxislist, Eigen::Index k) {
  const Eigen::Index numpca = 2 * k - 4;
  if (numpca < 1) {
    std::string msg = "undeformpca: a specimen of " + std::to_string(k) + " landmarks has no principal axes of shape";
    if (naxislist.size() > 0) msg += ", so axis " + number_text(naxislist(0)) + " cannot be removed";
    throw core::Error(msg + "; at least three landmarks are needed");
  }
  Eigen::VectorXd keep = Eigen::VectorXd::Ones(numpca);
  for (Eigen::Index i = 0; i < naxislist.size(); ++i) {
    const double a = naxislist(i);
    if (!(a >= 1 && a <= static_cast<double>(numpca) && a == std::floor(a)))
      throw core::Error("undeformpca: axis " + number_text(a) + " is not one of the principal axes 1 ... " +
                        std::to_string(numpca) + " of a data set of " + std::to_string(k) + " landmarks");
    keep(numpca - static_cast<Eigen::Index>(a)) = 0;
  }
  return keep;
}

} // namespace

Eigen::MatrixXd undeformpca(const Eigen::MatrixXd& data, const Eigen::MatrixXd& naxislist) {
  const Eigen::Index n = data.cols();
  if (n < 3 || n % 2 == 0)
    throw core::Error("undeformpca: the data set has " + std::to_string(n) +
                      " columns, but a specimen row holds 2k + 1 (k landmarks and the size slot)");
  const Eigen::Index k = (n - 1) / 2, numpca = n - 5;
  const Eigen::VectorXd keep = keptaxes(naxislist, k);

  const Eigen::RowVectorXd reference =
      core::getconsensus(data).y.unaryExpr([](double v) { return std::round(10000 * v) / 10000; });
  checkreference(core::vertxy(reference), "undeformpca");
  const Eigen::MatrixXd sup = core::getpsup(data, reference);
  const Eigen::MatrixXd scores = getpw_arbit(reference, sup);
  const auto shape = scores.leftCols(numpca);

  // The axes are the covariance's eigenvectors, but the raw (uncentred)
  // shape variables are projected on them, so the mean shape change of the
  // data set along a removed axis goes too.
  const Eigen::MatrixXd axes = core::eigsym(core::cov(shape)).vectors;
  const Eigen::MatrixXd pca = shape * axes;
  Eigen::MatrixXd kept(data.rows(), numpca + 1);
  kept.leftCols(numpca).noalias() = pca * keep.asDiagonal() * axes.transpose();
  kept.col(numpca) = sup.col(n - 1);
  return reversepwarb(reference, kept);
}

} // namespace warp
