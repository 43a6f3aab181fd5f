#pragma once
// EstimateMissing as every window that loads landmarks offers it: the
// method typed in EstimateBox, the missing landmarks placed by
// warp::estimatemissing and reported specimen by specimen, the estimates
// marked on the plot, and the list of them kept beside a saved file
// (FILE.estimated). The programs differ only in which data set they
// complete, which pair list mirror gets and what they draw first.

#include "shell/boxes.h"
#include "shell/host.h"

#include "core/data_set.h"
#include "core/identities.h"

#include <Eigen/Core>
#include <string>
#include <string_view>
#include <vector>

namespace shell {

inline constexpr Box EstimateBox{"EstimateBox", "estimate method", Entry::text};

// The method typed in EstimateBox: auto, tps, regression, neighbours or
// mirror in any case. Raises core::Error naming the box and the methods
// for anything else (blend and mean, which auto tries, are not offered).
core::Estimate estimatemethod(Host& host);

// Places the missing landmarks of `x` by `method` (`pairs`: the pair list
// mirror needs, as warp::EstimateOptions holds it), prints each estimate
// and each refused specimen with its reason on the console, notes the
// summary ("Estimated 36 of 39 missing landmarks by auto (blend 33,
// regression 3); 3 left missing in 1 specimen"), and returns
// the landmarks placed, in row then landmark order; `x` then holds them.
// A specimen refused keeps its landmarks missing and the others are
// estimated all the same. A complete `x` is left as it is, with "No
// landmark is missing in the WHAT: nothing to estimate". Raises
// core::Error as warp::estimatemissing does.
std::vector<core::EstimatedLandmark> placemissing(Host& host, core::Specimens& x, core::Estimate method,
                                                  const Eigen::MatrixXd& pairs, std::string_view what);

// The estimated landmarks marked over the current plot as green stars
// named "estimated landmarks", at their places in `x` (the rows the plot
// drew, in its frame). Nothing for an empty list.
void markestimates(Axes& axes, const Eigen::MatrixXd& x, const std::vector<core::EstimatedLandmark>& estimated);

// Adds the landmarks of `more` to `into`, kept in row then landmark order.
void addestimates(std::vector<core::EstimatedLandmark>& into, const std::vector<core::EstimatedLandmark>& more);

// A save of rows (io::writespecimens, with FILE.ids), followed by the
// list of estimated landmarks in FILE.estimated when there are any.
void writewithestimates(const std::string& path, const core::Specimens& data,
                        const std::vector<core::EstimatedLandmark>& estimated);

} // namespace shell
