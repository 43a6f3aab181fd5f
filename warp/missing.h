#pragma once
// Estimating missing landmarks. A fossil with a broken genal spine or an
// eroded margin still has most of its landmarks; these methods put a
// number on the ones it lacks (NaN in both coordinates, see
// core/identities.h):
//
//  - tps: the thin-plate spline that carries the consensus onto the
//    specimen's present landmarks carries the consensus's other landmarks
//    to where the specimen's missing ones would lie: the mean form, bent as
//    little as possible to fit what the specimen shows.
//  - regression: the missing landmarks regressed on the present ones over
//    the other specimens, all fitted on the landmarks present onto the
//    consensus (ridge regression, its parameter chosen by leave-one-out).
//  - neighbours: the 5 specimens most like this one over the landmarks
//    present, each carried onto it by its own thin-plate spline, weighted.
//  - mirror: a bilaterally symmetric specimen's missing member of a pair is
//    the reflection of its partner across the specimen's own axis of
//    symmetry. It uses nothing but the specimen itself, but it is only as
//    good as the specimen's symmetry: tectonic strain breaks it, so on
//    deformed fossils mirror belongs after retrodeformation.
//  - auto: per pattern of missing landmarks, each of mean (the mean shape
//    fitted on the landmarks present), tps, regression, neighbours, blend
//    (the mean of those two) and, with a pair list, mirror is tried on the
//    other specimens by leave-one-out (the same landmarks deleted from
//    each, estimated from the rest, the error measured); the one of least
//    root-mean-square error is used, and its mean error is the expected
//    error reported, in % of centroid size. A landmark on which that
//    method's leave-one-out errors have a long tail (a worst above 5 % of
//    centroid size, and the centre of the training specimens' spread of it
//    does better in root-mean-square plus worst error) is placed at that
//    centre instead: the training specimens hold it in groups far apart
//    that nothing present tells apart.
// warp/missing_methods.h holds the machinery and its tuning.
//
// The specimens learnt from: the complete ones when there are at least
// five; otherwise all of them, each specimen learning from all the others
// with their own estimates (placed first by tps from the consensus of the
// landmarks present, then estimated again in two rounds). A data set
// without any complete specimen is therefore estimated too.
//
// A specimen is refused, its landmarks left missing and the reason said,
// when its geometry cannot support an estimate: fewer than two distinct
// landmarks present (landmarks within 1 % of the consensus's size of each
// other are one), for tps fewer than three or all within 10 % of a line
// (in the specimen or in the mean shape), for auto an expected error above
// the limit. The other specimens are estimated all the same.
//
// Data sets are n x (2k + 1) in the row layout, the last column the size
// slot. Specimens are rows, landmarks numbered from 0 inside and from 1 in
// every text a person reads. Results are the same for any thread count.

#include "core/identities.h"
#include "core/data_set.h"

#include <Eigen/Core>

#include <string>
#include <vector>

namespace warp {

struct EstimateOptions {
  core::Estimate method = core::Estimate::automatic;
  // The pair list as dload reads it (m x 2, landmark numbers from 1): a row
  // "a a" names a landmark on the axis of symmetry, a row "a b" a
  // left/right pair. mirror needs it; auto tries mirror when it is given.
  Eigen::MatrixXd pairs;
  // auto refuses a specimen whose best estimate is expected to miss by
  // more than this, in % of centroid size.
  double limit = 5;
  unsigned threads = 0; // 0: every hardware thread
};

// One missing landmark that mirror could not place, and why in words
// ("a midline landmark has no partner to mirror").
struct UnplacedLandmark {
  Eigen::Index row;
  Eigen::Index landmark;
  std::string reason;
};

// A specimen whose missing landmarks were not estimated, and why
// ("landmarks 1 and 2, the only ones present, coincide").
struct Refusal {
  Eigen::Index row;
  std::vector<Eigen::Index> landmarks;
  std::string reason;
};

struct Completion {
  Eigen::MatrixXd y;                              // the data set with the estimates in place
  std::vector<core::EstimatedLandmark> estimated; // in row order, then landmark order
  std::vector<UnplacedLandmark> unplaced;         // mirror's; still NaN in y; same order
  std::vector<Refusal> refused;                   // still NaN in y; in row order
  std::string basis;                              // what the estimates learnt from, in words
  // The missing landmarks left missing.
  std::size_t left() const;
};

// Estimates the missing landmarks of the data set x (n x (2k + 1), NaN for
// missing). `ids` only names specimens in messages (may be empty).
//
// A specimen with no missing landmark comes back bit for bit as it went
// in. The size slot of a specimen that gained landmarks is recomputed as
// the centroid size of all its landmarks now present when it held the
// centroid size of the landmarks present before (as a TPS read, or a row
// file written after one, gives it: equal to a relative 1e-5, the six
// digits the row files keep); any other slot value (a full-specimen size
// recorded when the landmark was deleted, a placeholder) is kept.
//
// Raises core::Error: for an even column count; for a pair list that is
// not two columns of whole numbers 1 ... k with each landmark at most once
// (mirror without one); when a landmark is missing in every specimen; for
// regression, neighbours or blend when fewer than three specimens are left
// to learn from.
Completion estimatemissing(const Eigen::MatrixXd& x, const EstimateOptions& options, const core::Identities& ids = {});
Completion estimatemissing(const Eigen::MatrixXd& x, core::Estimate method, const Eigen::MatrixXd& pairs = {},
                           const core::Identities& ids = {});
// The same for a data set as the programs hold it.
Completion estimatemissing(const core::Specimens& data, const EstimateOptions& options);

// One line per landmark of the completion, in its order: estimated ones as
// "specimen 12 (ID): landmark 5 estimated by tps", followed, when a
// leave-one-out trial gave one, by " (expected error 0.07 % of centroid
// size)", and by ", chosen by auto" after the method auto chose; unplaced
// ones as "specimen 12 (ID): landmark 5 not estimated (REASON)"; and one
// line per refused specimen: "specimen 4 (ID): landmarks 8, 9 and 14 not
// estimated (REASON)".
std::vector<std::string> estimatereport(const Completion& c, const core::Identities& ids);

// The closing line: "Estimated 36 of 39 missing landmarks by auto (blend
// 33, regression 3); 3 left missing in 1 specimen" (of `missing` missing
// in all; "No landmark is missing: nothing to estimate" when none is).
std::string estimatesummary(const Completion& c, core::Estimate method, std::size_t missing);

// The identities to save with the completed data set as TPS: each specimen
// that gained landmarks gets the key line "COMMENT=estimated landmarks 5,
// 7 (tps)" after its own ("(auto: blend, expected error 2.11 % of
// centroid size)" for auto's). Identities that are empty stay empty when
// nothing was estimated, and otherwise grow to n specimens, those without
// an estimate keeping no keys.
core::Identities markestimated(const core::Identities& ids, Eigen::Index n, const Completion& c);

} // namespace warp
