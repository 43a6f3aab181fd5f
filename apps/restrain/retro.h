#pragma once
// Retrodeformation: removing a known strain from a landmark data set.
//
// Each specimen was deformed in the frame of the rock, where it lay at its
// own bearing. To take the strain out, every specimen is registered on its
// baseline (two landmarks on its midline), set back to the bearing t that
// Anglepick measured for its midline, and the inverse strain is applied in
// the rock frame. The results are superimposed by the Procrustes consensus.
// For TPS data already in the rock frame the inverse strain is applied
// directly.

#include "apps/restrain/wellman.h"

#include <Eigen/Core>

namespace restrain {

// The strain of ratio R (long over short axis) whose long axis has the
// bearing thetap (degrees): stretches by sqrt(R) along that axis and
// shortens by 1/sqrt(R) across it (determinant 1). Raises core::Error for
// R that is not a positive number.
Eigen::Matrix2d userstrain(double R, double thetadeg);

// The per-specimen step: register each row on the baseline (b1, b2), lay
// the baseline along +y, turn it clockwise to its bearing t (degrees: a
// compass bearing is clockwise from +y), apply rdefmat. Rows keep 1 in the
// size slot. Raises core::Error when t does not hold one bearing per
// specimen, and as basereg does.
Eigen::MatrixXd orientandremove(const Eigen::MatrixXd& x, const Eigen::VectorXd& t, int b1, int b2,
                                const Eigen::Matrix2d& rdefmat);

// Retrodeforms with the strain fitted from the pooled pairs (tac, pac
// degrees). Raises core::Error when the fitted conic is not an ellipse.
Eigen::MatrixXd retro_wellman3(const Eigen::MatrixXd& x, const Eigen::VectorXd& t, int b1, int b2,
                               const Eigen::VectorXd& tac, const Eigen::VectorXd& pac);

// Retrodeforms with the user's strain (R, theta' degrees).
Eigen::MatrixXd retro_wellman4(const Eigen::MatrixXd& x, const Eigen::VectorXd& t, int b1, int b2, double R_in,
                               double Theta_in);

// Removes the user's strain in the data's own frame. yraw holds the rows
// before superimposition (size slot 1), y after.
struct Retro5 {
  Eigen::MatrixXd y;
  Eigen::MatrixXd yraw;
};
Retro5 retro_wellman5(const Eigen::MatrixXd& x, double R_in, double Theta_in);

} // namespace restrain
