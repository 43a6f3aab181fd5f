#include "apps/restrain/retro.h"

#include "core/baseline.h"
#include "core/configurations.h"
#include "core/error.h"
#include "core/procrustes.h"
#include "core/text_format.h"

#include <cmath>

namespace restrain {

void checkstrain(const core::Strain& strain) {
  if (!(strain.R > 0) || !std::isfinite(strain.R))
    throw core::Error("The strain ratio R must be a positive number; it is " + core::format("%g", strain.R));
  if (!std::isfinite(strain.longaxis.rad())) throw core::Error("The bearing theta' must be a number");
}

std::vector<core::Bearing> midlinebearings(const Eigen::MatrixXd& datatp) {
  std::vector<core::Bearing> t;
  t.reserve(static_cast<std::size_t>(datatp.rows()));
  for (Eigen::Index i = 0; i < datatp.rows(); ++i) t.push_back(core::Bearing::degrees(datatp(i, 0)));
  return t;
}

Eigen::MatrixXd orientandremove(const Eigen::MatrixXd& x, std::span<const core::Bearing> t, int b1, int b2,
                                const Eigen::Matrix2d& rdefmat) {
  if (static_cast<Eigen::Index>(t.size()) != x.rows())
    throw core::Error("The per-specimen angles hold " + std::to_string(t.size()) + " rows but the data set has " +
                      std::to_string(x.rows()) + " specimens; load the angles of these specimens (LoadDataTP)");
  const Eigen::MatrixXd xbc = core::basereg(x, b1, b2);
  const Eigen::Index k = x.cols() / 2;
  Eigen::Matrix2d quarter;
  quarter << 0, -1, 1, 0; // the baseline from +x to +y
  Eigen::MatrixXd y(x.rows(), 2 * k + 1);
  for (Eigen::Index i = 0; i < x.rows(); ++i) {
    // Clockwise by the compass bearing, then the strain taken out.
    const Eigen::Matrix2d m = rdefmat * core::rotation(-t[static_cast<std::size_t>(i)].rad()) * quarter;
    y.row(i) = core::xyfromvert((m * core::vertxy(xbc.row(i))).transpose(), 1);
  }
  return y;
}

Eigen::MatrixXd retro_wellman3(const Eigen::MatrixXd& x, std::span<const core::Bearing> t, int b1, int b2,
                               const PairAngles& pooled) {
  const EllipseFit fit = wellman2(vertices(pooled));
  if (!fit.ellipse)
    throw core::Error("The conic fitted to the pooled pairs is not an ellipse, so there is no strain to remove");
  return core::getconsensus(orientandremove(x, t, b1, b2, fit.strain.removal())).xpt;
}

Eigen::MatrixXd retro_wellman4(const Eigen::MatrixXd& x, std::span<const core::Bearing> t, int b1, int b2,
                               const core::Strain& strain) {
  checkstrain(strain);
  return core::getconsensus(orientandremove(x, t, b1, b2, strain.removal())).xpt;
}

Retro5 retro_wellman5(const Eigen::MatrixXd& x, const core::Strain& strain) {
  checkstrain(strain);
  const Eigen::Matrix2d rdefmat = strain.removal();
  Retro5 out;
  out.yraw.resize(x.rows(), 2 * (x.cols() / 2) + 1);
  for (Eigen::Index i = 0; i < x.rows(); ++i)
    out.yraw.row(i) = core::xyfromvert((rdefmat * core::vertxy(x.row(i))).transpose(), 1);
  out.y = core::getconsensus(out.yraw).xpt;
  return out;
}

} // namespace restrain
