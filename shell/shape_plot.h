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

// Numbers the landmarks of `at` 1 ... k (a row of 2k or 2k + 1 numbers:
// the mean or first specimen of x), in small labels beside them that cover
// none of the points of x (specimen rows of the same landmarks): each label
// lies a little beyond the farthest of its landmark's points, on the side
// where the other landmarks' points and the labels placed before are
// farthest, outwards from the shape's centre where nothing tells the sides
// apart. A landmark missing in `at` gets no number.
void numberlandmarks(Axes& axes, const Eigen::MatrixXd& x, const Eigen::RowVectorXd& at);

} // namespace shell
