#pragma once
// Landmark plots of specimen rows, drawn through the Axes interface only.

#include "shell/host.h"

#include <Eigen/Core>
#include <string_view>

namespace shell {

// Draws every landmark of every row of x (rows with their size slot,
// n = 2k + 1 columns) as markers of style `xform` and 3 points, specimen
// after specimen in one plot, so later specimens lie on top. Leaves hold
// on, so data sets drawn by successive calls overlay, and ends with
// automatic limits and equal scaling. A row of 2k columns loses its last
// landmark, since only floor((n - 1) / 2) are read. Raises core::Error for
// an unknown style. A non-empty `name` names the set in the legend.
// Returns 1.
double showshape(Axes& axes, const Eigen::MatrixXd& x, std::string_view xform = "k.", std::string_view name = {});

} // namespace shell
