#include "apps/restrain/retro.h"

#include "core/angles.h"
#include "core/baseline.h"
#include "core/configurations.h"
#include "core/error.h"
#include "core/procrustes.h"
#include "core/text_format.h"

#include <Eigen/LU>
#include <cmath>

namespace restrain {

Eigen::Matrix2d userstrain(double R, double thetadeg) {
  if (!(R > 0) || !std::isfinite(R))
    throw core::Error("The strain ratio R must be a positive number; it is " + core::format("%g", R));
  if (!std::isfinite(thetadeg)) throw core::Error("The bearing theta' must be a number");
  return core::purestrain(core::angle_from_bearing(core::radians(thetadeg)), std::sqrt(R));
}

Eigen::MatrixXd orientandremove(const Eigen::MatrixXd& x, const Eigen::VectorXd& t, int b1, int b2,
                                const Eigen::Matrix2d& rdefmat) {
  if (t.size() != x.rows())
    throw core::Error("The per-specimen angles hold " + std::to_string(t.size()) + " rows but the data set has " +
                      std::to_string(x.rows()) + " specimens; load the angles of these specimens (LoadDataTP)");
  const Eigen::MatrixXd xbc = core::basereg(x, b1, b2);
  const Eigen::Index k = x.cols() / 2;
  Eigen::Matrix2d quarter;
  quarter << 0, -1, 1, 0; // the baseline from +x to +y
  Eigen::MatrixXd y(x.rows(), 2 * k + 1);
  for (Eigen::Index i = 0; i < x.rows(); ++i) {
    const double a = core::radians(t(i));
    // Clockwise by the compass bearing, then the strain taken out.
    const Eigen::Matrix2d m = rdefmat * core::rotation(-a) * quarter;
    y.row(i) = core::xyfromvert((m * core::vertxy(xbc.row(i))).transpose(), 1);
  }
  return y;
}

Eigen::MatrixXd retro_wellman3(const Eigen::MatrixXd& x, const Eigen::VectorXd& t, int b1, int b2,
                               const Eigen::VectorXd& tac, const Eigen::VectorXd& pac) {
  Eigen::MatrixXd alltp(tac.size(), 2);
  alltp << tac, pac;
  const EllipseFit fit = wellman2(vertices(alltp));
  if (!fit.ellipse)
    throw core::Error("The conic fitted to the pooled pairs is not an ellipse, so there is no strain to remove");
  return core::getconsensus(orientandremove(x, t, b1, b2, removal(fit))).xpt;
}

Eigen::MatrixXd retro_wellman4(const Eigen::MatrixXd& x, const Eigen::VectorXd& t, int b1, int b2, double R_in,
                               double Theta_in) {
  const Eigen::Matrix2d rdefmat = userstrain(R_in, Theta_in).inverse();
  return core::getconsensus(orientandremove(x, t, b1, b2, rdefmat)).xpt;
}

Retro5 retro_wellman5(const Eigen::MatrixXd& x, double R_in, double Theta_in) {
  const Eigen::Matrix2d rdefmat = userstrain(R_in, Theta_in).inverse();
  Retro5 out;
  out.yraw.resize(x.rows(), 2 * (x.cols() / 2) + 1);
  for (Eigen::Index i = 0; i < x.rows(); ++i)
    out.yraw.row(i) = core::xyfromvert((rdefmat * core::vertxy(x.row(i))).transpose(), 1);
  out.y = core::getconsensus(out.yraw).xpt;
  return out;
}

} // namespace restrain
