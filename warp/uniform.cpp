#include "warp/uniform.h"

#include "core/configurations.h"
#include "core/error.h"

#include <cmath>
#include <numbers>
#include <string>

namespace warp {
namespace {

constexpr double quarter = std::numbers::pi / 4;

// A second moment below this fraction of the sum of both means that all
// landmarks lie on the other principal axis, up to rounding of the turn.
// (It is the square of the fraction of the size below which the spline
// counts landmarks as collinear.)
constexpr double flat_fraction = 1e-18;

// Landmark count of a row that must carry the size slot (2k + 1 entries).
Eigen::Index slotted(const Eigen::MatrixXd& row, const std::string& fn, const char* what) {
  if (row.size() < 3 || row.size() % 2 == 0)
    throw core::Error(fn + ": " + what + " holds " + std::to_string(row.size()) +
                      " values, but a specimen row holds 2k + 1 (k landmarks and the size slot)");
  return (row.size() - 1) / 2;
}

// The turn that lays a reference row (2k + 1 entries) on its principal
// axes: theta = atan(-2 Sxy / (Sxx - Syy)) / 2, which zeroes the cross
// moment of the turned landmarks, folded into (-pi/4, pi/4]. With equal
// moments (Sxx = Syy) the quarter turn pi/2 is taken and folds to 0.
double principalangle(const Eigen::RowVectorXd& ref) {
  const Eigen::Index k = (ref.size() - 1) / 2;
  double sxx = 0, syy = 0, sxy = 0;
  for (Eigen::Index i = 0; i < k; ++i) {
    const double x = ref(2 * i), y = ref(2 * i + 1);
    sxx += x * x;
    syy += y * y;
    sxy += x * y;
  }
  double theta = sxx - syy != 0 ? 0.5 * std::atan(-2 * sxy / (sxx - syy)) : std::numbers::pi / 2;
  while (theta > quarter) theta -= std::numbers::pi / 2;
  while (theta <= -quarter) theta += std::numbers::pi / 2;
  return theta;
}

// The uniform directions of a reference row with its slot, 2 x 2k: each
// pattern is the difference between the reference and the reference moved
// a step of 0.05 along the pattern in the principal-axes frame and turned
// back, scaled to unit length.
Eigen::MatrixXd directions(const Eigen::RowVectorXd& ref, const std::string& fn) {
  const Eigen::Index k = (ref.size() - 1) / 2;
  if (!ref.head(2 * k).allFinite()) throw core::Error(fn + ": the reference holds a coordinate that is not a finite number");
  const double theta = principalangle(ref);
  const Eigen::RowVectorXd turned = formrotate(ref, theta);
  const Eigen::RowVector2d moments = uniparmproc(turned);
  const double alpha = moments(0), gamma = moments(1);
  const double least = flat_fraction * (alpha + gamma);
  if (!(alpha > least && gamma > least))
    throw core::Error(fn + ": all reference landmarks lie on one line through the origin, so the reference has no "
                           "uniform directions");
  const double ag = std::sqrt(alpha / gamma), ga = std::sqrt(gamma / alpha);

  Eigen::MatrixXd xu(2, 2 * k);
  Eigen::RowVectorXd step(2 * k + 1);
  for (int r = 0; r < 2; ++r) {
    for (Eigen::Index i = 0; i < k; ++i) {
      const double x = turned(2 * i), y = turned(2 * i + 1);
      step(2 * i) = x + 0.05 * (r == 0 ? y * ag : -x * ga);
      step(2 * i + 1) = y + 0.05 * (r == 0 ? x * ga : y * ag);
    }
    step(2 * k) = 0;
    xu.row(r) = formrotate(step, -theta).head(2 * k) - ref.head(2 * k);
    xu.row(r) /= xu.row(r).norm();
  }
  return xu;
}

Eigen::RowVectorXd asrow(const Eigen::MatrixXd& x) { return Eigen::Map<const Eigen::RowVectorXd>(x.data(), x.size()); }

} // namespace

Eigen::RowVectorXd formrotate(const Eigen::MatrixXd& x, double theta) {
  if (x.size() == 0) throw core::Error("formrotate: the specimen row is empty");
  const Eigen::MatrixXd vx = (core::rotation(theta) * core::vertxy(x)).transpose();
  return core::xyfromvert(vx, x(x.size() - 1));
}

Eigen::RowVector2d uniparmproc(const Eigen::MatrixXd& yref) {
  double alpha = 0, gamma = 0;
  for (Eigen::Index i = 0; i + 1 < yref.size(); ++i) (i % 2 == 0 ? alpha : gamma) += yref(i) * yref(i);
  return {alpha, gamma};
}

Eigen::MatrixXd uniformdirections(const Eigen::MatrixXd& xref) {
  slotted(xref, "uniformdirections", "the reference");
  return directions(asrow(xref), "uniformdirections");
}

Eigen::MatrixXd UniArbitrary(const Eigen::MatrixXd& xref) {
  slotted(xref, "UniArbitrary", "the reference");
  const Eigen::RowVectorXd rounded = asrow(xref).unaryExpr([](double v) { return std::round(10000 * v) / 10000; });
  return directions(rounded, "UniArbitrary");
}

Eigen::MatrixXd scpcoeff_arbrot(const Eigen::MatrixXd& Lex, const Eigen::MatrixXd& x, const Eigen::MatrixXd& xref) {
  const std::string fn = "scpcoeff_arbrot";
  const Eigen::Index k = slotted(x, fn, "the specimen row");
  if (xref.size() != x.size())
    throw core::Error(fn + ": the specimen row holds " + std::to_string(x.size()) + " values but the reference " +
                      std::to_string(xref.size()));
  if (k < 3) throw core::Error(fn + ": scoring needs at least three landmarks, but the specimen has " + std::to_string(k));
  if (Lex.rows() != k || Lex.cols() != 2 * k)
    throw core::Error(fn + ": the eigen table of a reference of " + std::to_string(k) + " landmarks is " +
                      std::to_string(k) + " x " + std::to_string(2 * k) + ", but this one is " +
                      std::to_string(Lex.rows()) + " x " + std::to_string(Lex.cols()));
  const Eigen::RowVectorXd row = asrow(x), ref = asrow(xref);
  const Eigen::MatrixXd warps = Lex.leftCols(k).transpose() * core::vertxy(row).transpose(); // k x 2
  const Eigen::MatrixXd xu = directions(ref, fn);
  Eigen::MatrixXd yf(k - 2, 2);
  yf.topRows(k - 3) = warps.topRows(k - 3);
  yf.row(k - 3) = (xu * (row.head(2 * k) - ref.head(2 * k)).transpose()).transpose();
  return yf;
}

} // namespace warp
