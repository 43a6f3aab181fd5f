#pragma once
// Removal of principal axes of shape variation (PCA-based undeformation).
//
// Tectonic strain of a bed of fossils adds one dominant direction of shape
// change shared by every specimen. Principal component analysis of the
// shape variables (partial warp and uniform scores against the data set's
// own consensus) finds it as a leading axis; rebuilding every specimen with
// that axis taken out of its shape variables undeforms the data set.

#include <Eigen/Core>

namespace warp {

// The data set `data` (m x (2k + 1) specimen rows with their size slot,
// m >= 2, k >= 3) with the principal axes listed in `naxislist` removed,
// m x (2k + 1).
//
// The reference is the partial Procrustes consensus rounded to four
// decimals (size slot included); the specimens are superimposed on it and
// scored (getpw_arbit). The principal axes are the eigenvectors of the
// sample covariance (divisor m - 1) of the 2k - 4 shape variables, axis 1
// the one of largest variance. The scores are projected on the axes
// without centring, the listed axes' projections are set to zero, and
// every specimen is rebuilt on the reference from what remains
// (reversepwarb), so every size slot of the result is the reference's.
//
// naxislist holds the axis numbers, any shape, read by running index; each
// must be a whole number in 1 ... 2k - 4, and an axis listed twice is
// removed once. An empty list rebuilds the superimposed specimens
// unchanged in shape.
//
// Raises core::Error, naming the axis, for an axis outside 1 ... 2k - 4 or
// not a whole number, and for a data set of fewer than three landmarks
// (which has no axes); also for what getconsensus, getpsup and getpw_arbit
// refuse (fewer than two specimens, an even column count, a specimen that
// cannot be scaled, a consensus through which no thin-plate spline passes).
Eigen::MatrixXd undeformpca(const Eigen::MatrixXd& data, const Eigen::MatrixXd& naxislist);

} // namespace warp
