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

#include "core/identities.h"

#include <Eigen/Core>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace restrain {

// Checks a strain given by the user: raises core::Error for R that is not
// a positive number or a bearing that is not a number.
void checkstrain(const core::Strain& strain);

// The midline bearing t of every specimen: column 1 of the per-specimen
// angle file as read (degrees; NaN for a specimen without angles).
std::vector<core::Bearing> midlinebearings(const Eigen::MatrixXd& datatp);

// The midline bearing t of each of the n specimens of a data set whose
// identities are `ids`, from per-specimen angles (`datatp`, degrees, and
// the specimen each line names, number 0 for none) joined to them by
// specimen, so that a specimen without angles never shifts the others:
//  - by ID, when every line of the angle file names a specimen with an
//    ID (as Anglepick writes "% specimen 12 (ID)") and the data set's
//    specimens all have IDs, each a different one;
//  - else by the specimen number each line names;
//  - else line by line, one line per specimen.
// A specimen that no line names, or whose line is NaN NaN (Anglepick's
// line for a specimen that gave no angles), gets NaN. `how` says which
// join was made ("by ID", "by specimen number", "line by line"). Raises
// core::Error naming the line for an ID or number that is not a specimen
// of the data set or is named twice, and, line by line, when the count of
// lines is not n.
struct JoinedBearings {
  std::vector<core::Bearing> t;
  const char* how = "";
};
JoinedBearings joinbearings(const Eigen::MatrixXd& datatp, const std::vector<core::SpecimenLabel>& named,
                            const core::Identities& ids, Eigen::Index n);

// A specimen the retrodeformation leaves out, and why ("lacks baseline
// landmark 1", "has no per-specimen angles").
struct LeftOut {
  Eigen::Index row;
  std::string reason;
};
// The specimens of x that cannot be retrodeformed on the baseline (b1, b2)
// with the bearings t, in row order.
std::vector<LeftOut> unretrodeformable(const Eigen::MatrixXd& x, std::span<const core::Bearing> t, int b1, int b2);

// The per-specimen step: register each row on the baseline (b1, b2), lay
// the baseline along +y, turn it clockwise to its bearing t, apply
// rdefmat. Rows keep 1 in the size slot. A specimen left out (unretrodeformable)
// comes back NaN in every coordinate: missing throughout. Raises
// core::Error when t does not hold one bearing per specimen, and as
// basereg does.
Eigen::MatrixXd orientandremove(const Eigen::MatrixXd& x, std::span<const core::Bearing> t, int b1, int b2,
                                const Eigen::Matrix2d& rdefmat);

// f applied to the rows of y that hold a landmark; a row missing
// throughout (a specimen left out) comes back as it is.
Eigen::MatrixXd onpresent(const Eigen::MatrixXd& y, const std::function<Eigen::MatrixXd(const Eigen::MatrixXd&)>& f);

// Retrodeforms with the strain fitted from the pooled pairs; the specimens
// left out stay missing throughout. Raises core::Error when the fitted
// conic is not an ellipse, or when every specimen is left out.
Eigen::MatrixXd retro_wellman3(const Eigen::MatrixXd& x, std::span<const core::Bearing> t, int b1, int b2,
                               const PairAngles& pooled);

// Retrodeforms with the user's strain (checkstrain), as retro_wellman3.
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
