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
#include "core/angles.h"
#include "core/strain.h"

#include <Eigen/Core>
#include <span>
#include <vector>

namespace restrain {

// Checks a strain given by the user: raises core::Error for R that is not
// a positive number or a bearing that is not a number.
void checkstrain(const core::Strain& strain);

// The midline bearing t of every specimen: column 1 of the per-specimen
// angle file as read (degrees).
std::vector<core::Bearing> midlinebearings(const Eigen::MatrixXd& datatp);

// The per-specimen step: register each row on the baseline (b1, b2), lay
// the baseline along +y, turn it clockwise to its bearing t, apply
// rdefmat. Rows keep 1 in the size slot. Raises core::Error when t does
// not hold one bearing per specimen, and as basereg does.
Eigen::MatrixXd orientandremove(const Eigen::MatrixXd& x, std::span<const core::Bearing> t, int b1, int b2,
                                const Eigen::Matrix2d& rdefmat);

// Retrodeforms with the strain fitted from the pooled pairs. Raises
// core::Error when the fitted conic is not an ellipse.
Eigen::MatrixXd retro_wellman3(const Eigen::MatrixXd& x, std::span<const core::Bearing> t, int b1, int b2,
                               const PairAngles& pooled);

// Retrodeforms with the user's strain (checkstrain).
Eigen::MatrixXd retro_wellman4(const Eigen::MatrixXd& x, std::span<const core::Bearing> t, int b1, int b2,
                               const core::Strain& strain);

// Removes the user's strain (checkstrain) in the data's own frame. yraw
// holds the rows before superimposition (size slot 1), y after.
struct Retro5 {
  Eigen::MatrixXd y;
  Eigen::MatrixXd yraw;
};
Retro5 retro_wellman5(const Eigen::MatrixXd& x, const core::Strain& strain);

} // namespace restrain
