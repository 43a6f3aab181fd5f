#pragma once
// Partial warp scores and the configurations rebuilt from them.
//
// Against a reference of k landmarks a specimen has 2k - 4 shape variables:
// the scores of its x and y coordinates on each of the k - 3 principal warps
// (non-affine), then its two uniform scores (affine). Two translations, the
// rotation and the scale carry no variable. A warp score row is
//   w1x w1y w2x w2y ... w(k-3)x w(k-3)y u1 u2 s      (1 x (2k - 3))
// with warp 1 the one of largest bending energy and s the specimen's size
// slot copied unchanged.
//
// The matching shape direction matrix has one unit displacement pattern per
// variable, mutually orthogonal: eigenvector i of the bending energy on the
// x coordinates, then on the y coordinates, for each warp; then the two
// uniform directions. Rebuilding adds the score-weighted patterns to the
// reference, so for a centred reference it returns a specimen less its
// translation, rotation and scale relative to the reference.
//
// Everything that depends only on the reference (the spline, its bending
// energy and eigenvectors, the uniform directions) is computed once per
// call, and the specimens are then handled together by matrix products:
// O(k^3 + n k^2) for n specimens.

#include <Eigen/Core>

namespace warp {

// The warp score rows (m x (2k - 3)) of the specimen rows of a data set x
// (m x (2k + 1)) against a reference row xref (1 x (2k + 1)), in input
// order. Equal, to rounding, to scpcoeff_arbrot with the eigen table
// gettpse(gettspl(reference landmarks)) row by row, the size slot
// appended. Raises core::Error if x and xref differ in length or are not
// specimen rows with the size slot, or if the reference has no thin-plate
// spline (checkreference).
Eigen::MatrixXd getpw_arbit(const Eigen::MatrixXd& xref, const Eigen::MatrixXd& x);

// Configurations rebuilt from warp score rows pw (m x (2k - 3), one row per
// configuration; the last column is not read) on a reference row
// (1 x (2k + 1)): row i is reference + sum_v pw(i, v) * pattern v, with the
// warp patterns from the bending energy ordered by eigsort and the uniform
// ones from UniArbitrary (the reference rounded to four decimals). m x
// (2k + 1); every size slot is the reference's, as the patterns carry none.
// Raises core::Error if pw does not have 2k - 3 columns or if the
// reference is not a specimen row with the size slot or has no thin-plate
// spline.
Eigen::MatrixXd reversepwarb(const Eigen::MatrixXd& reference, const Eigen::MatrixXd& pw);

} // namespace warp
