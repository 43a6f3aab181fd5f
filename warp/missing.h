#pragma once
// Estimating missing landmarks. A fossil with a broken genal spine or an
// eroded margin still has most of its landmarks; two ways put a number on
// the ones it lacks (NaN in both coordinates, see core/identities.h):
//
//  - tps: the thin-plate spline that carries the consensus of the complete
//    specimens onto the specimen's present landmarks carries the
//    consensus's other landmarks to where the specimen's missing ones
//    would lie. The spline bends the mean form as little as possible to
//    fit what the specimen shows, so the estimate is the mean form's
//    landmark, deformed as the specimen's neighbourhood is.
//  - mirror: a bilaterally symmetric specimen's missing member of a pair
//    is the reflection of its partner across the specimen's own axis of
//    symmetry. It uses nothing but the specimen itself, but it is only as
//    good as the specimen's symmetry: tectonic strain breaks it, so on
//    deformed fossils mirror belongs after retrodeformation.
//
// Data sets are n x (2k + 1) in the row layout, the last column the size
// slot. Specimens are rows, landmarks numbered from 0 inside and from 1 in
// every text a person reads.

#include "core/identities.h"

#include <Eigen/Core>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace warp {

// One missing landmark that the method could not place, and why in words
// ("a midline landmark has no partner to mirror").
struct UnplacedLandmark {
  Eigen::Index row;
  Eigen::Index landmark;
  std::string reason;
};

struct Completion {
  Eigen::MatrixXd y;                              // the data set with the estimates in place
  std::vector<core::EstimatedLandmark> estimated; // in row order, then landmark order
  std::vector<UnplacedLandmark> unplaced;         // still NaN in y; same order
};

// Estimates the missing landmarks of the data set x (n x (2k + 1), NaN for
// missing) by `method`. For mirror, `pairs` is the pair list as dload
// reads it (m x 2, landmark numbers from 1): a row "a a" names a landmark
// on the axis of symmetry (a midline landmark), a row "a b" a left/right
// pair; a landmark the list leaves out is not mirrored. tps ignores pairs.
// `ids` only names specimens in messages (may be empty).
//
// A specimen with no missing landmark comes back bit for bit as it went
// in. The size slot of a specimen that gained landmarks is recomputed as
// the centroid size of all its landmarks now present when it held the
// centroid size of the landmarks present before (as a TPS read, or a row
// file written after one, gives it: equal to a relative 1e-5, the six
// digits the row files keep); any other slot value (a full-specimen size
// recorded when the landmark was deleted, a placeholder) is kept.
//
// Raises core::Error: for an even column count; for mirror, for a pair
// list that is not two columns of whole numbers 1 ... k with each landmark
// at most once; for tps, when fewer than two specimens are complete (no
// consensus), or when a specimen with missing landmarks has fewer than
// three present or all of them on one line (the message names the
// specimen, as ids.label gives it). Mirror leaves a landmark it cannot
// place missing and lists it in `unplaced` instead.
Completion estimatemissing(const Eigen::MatrixXd& x, core::Estimate method, const Eigen::MatrixXd& pairs = {},
                           const core::Identities& ids = {});

// One line per landmark of the completion, in its order, estimated ones
// as "specimen 12 (ID): landmark 5 estimated by tps", unplaced ones as
// "specimen 12 (ID): landmark 5 not estimated (REASON)".
std::vector<std::string> estimatereport(const Completion& c, const core::Identities& ids);

// The identities to save with the completed data set as TPS: each specimen
// that gained landmarks gets the key line "COMMENT=estimated landmarks 5,
// 7 (tps)" after its own. Identities that are empty stay empty when
// nothing was estimated, and otherwise grow to n specimens, those without
// an estimate keeping no keys.
core::Identities markestimated(const core::Identities& ids, Eigen::Index n, const Completion& c);

} // namespace warp
