#pragma once
// Landmark configurations and their layouts.
//
// A configuration has k landmarks (x_j, y_j), j = 1 ... k. The layouts:
//  - specimen row: 1 x 2k or 1 x (2k + 1), x1 y1 x2 y2 ... xk yk, optionally
//    followed by the size slot (a value that travels with the specimen:
//    a centroid size, a placeholder, 999 in a principal-axis consensus);
//  - data set: n specimen rows, all with the same k;
//  - vertex matrix: 2 x k, row 1 the x, row 2 the y coordinates;
//  - landmark matrix: k x 2, the transpose of the vertex matrix.
// Every function here that takes a specimen row with c entries uses
// floor(c / 2) landmarks, so a trailing size slot is ignored.

#include <Eigen/Core>

namespace core {

// Specimen row (1 x c) to vertex matrix (2 x floor(c / 2)). The entries are
// taken by running index, so any vector shape is accepted.
Eigen::MatrixXd vertxy(const Eigen::MatrixXd& x);

// Landmark matrix (k x 2; further columns ignored) to specimen row
// 1 x (2k + 1) with `cs` in the size slot.
Eigen::RowVectorXd xyfromvert(const Eigen::MatrixXd& data, double cs);

// Centroid position (mean x, mean y) of one specimen row, 1 x 2. The row is
// read by running index with k = floor(length / 2) landmarks.
Eigen::RowVector2d centpos(const Eigen::MatrixXd& x);

// Centroid size of every specimen row of a data set (n x 1): the square
// root of the summed squared distances of the landmarks from their
// centroid, not divided by k. Missing landmarks (NaN) are left out of
// both the centroid and the sum; a row with none present gets NaN.
Eigen::VectorXd centsize(const Eigen::MatrixXd& x);

// The turn counter-clockwise by `angle` radians, acting on landmark
// columns (x, y) of a vertex matrix.
Eigen::Matrix2d rotation(double angle);

// The area-preserving pure strain that multiplies lengths along the
// direction at `angle` radians (counter-clockwise from +x) by `along` and
// lengths across it by 1 / along.
Eigen::Matrix2d purestrain(double angle, double along);

} // namespace core
