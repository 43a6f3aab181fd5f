#pragma once
// Partial Procrustes superimposition of specimens with missing landmarks
// (NaN). The complete-data path in procrustes.cpp hands a data set over
// here when it meets a NaN; the public functions are those of
// core/procrustes.h.
//
// A specimen is fitted on the landmarks it has. With P its present
// landmarks and r the reference (centred, unit size): the specimen's
// landmarks in P are centred on their own centroid, scaled to the centroid
// size that r gives the landmarks in P, turned by the rotation that best
// fits them to r's landmarks in P (about r's centroid of P), and placed on
// that centroid. With every landmark present this is the complete fit:
// r's centroid is the origin and its size 1. Missing landmarks stay NaN.
// The consensus of each landmark averages the specimens that have it, and
// is then centred and scaled to unit size again.
//
// The iteration starts from the most complete specimen. When even that one
// lacks landmarks, the first pass fits every specimen on the landmarks it
// shares with it (standardised on its own landmarks present); the
// consensus of that pass has every landmark, and the passes go on from it
// as from a whole reference. So a data set in which no specimen is
// complete is superimposed too.

#include "core/procrustes.h"

namespace core::detail {

// True when some landmark of some row is missing (either coordinate NaN).
bool hasmissing(const Eigen::MatrixXd& x);

// The consensus iteration on data with missing landmarks; `rootmeasure`
// stops on the root of the summed squared change (getconsensuspca). The
// start is the most complete specimen (the first complete one when there
// is any). Raises core::Error naming `fn` when a landmark is missing in
// every specimen, or a specimen has fewer than two distinct landmarks
// present.
Superimposition consensusmissing(const Eigen::MatrixXd& x, const char* fn, bool rootmeasure);

// Every row fitted on the reference `xref` (its first 2k entries,
// standardised first, so that its position and size do not matter).
Eigen::MatrixXd psupmissing(const Eigen::MatrixXd& x, const Eigen::MatrixXd& xref, const char* fn);

} // namespace core::detail
