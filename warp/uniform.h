#pragma once
// Uniform (affine) components of shape change for a reference in any
// orientation.
//
// A uniform change moves every landmark by the same linear map. Of the four
// dimensions of linear maps, scaling and rotation are similarity changes;
// the two others, a stretch along one principal axis of the reference
// against the other and a shear, are the uniform components. They are built
// in the frame of the reference's principal axes, where with
// alpha = sum X^2 and gamma = sum Y^2 (uncentred) the two patterns per
// landmark are
//   pattern 1: ( Y sqrt(alpha/gamma),  X sqrt(gamma/alpha))
//   pattern 2: (-X sqrt(gamma/alpha),  Y sqrt(alpha/gamma))
// both of squared length alpha + gamma, then turned back to the reference's
// own orientation and scaled to unit length. For a centred reference they
// are orthogonal to each other, to both translations, to the rotation and
// to the scaling of the reference.
//
// Specimen rows carry the size slot: 1 x (2k + 1), x1 y1 ... xk yk s.
// Angles are in radians, counter-clockwise with y pointing up.

#include <Eigen/Core>

namespace warp {

// The landmarks of a specimen row (1 x c) turned by theta about the origin,
// (x, y) -> (x cos theta - y sin theta, x sin theta + y cos theta),
// followed by the last entry of x unchanged: 1 x (2 floor(c/2) + 1). A row
// without the size slot therefore gets its last coordinate, unturned, as
// its slot. Raises core::Error for an empty row.
Eigen::RowVectorXd formrotate(const Eigen::MatrixXd& x, double theta);

// The uncentred second moments [alpha gamma] = [sum x^2, sum y^2] of a
// specimen row with its size slot, read by running index; the last entry
// is not counted. 1 x 2, squared coordinate units. Raises nothing.
Eigen::RowVector2d uniparmproc(const Eigen::MatrixXd& yref);

// The two unit uniform directions (2 x 2k, row r interleaved x, y per
// landmark) of a reference specimen row with its size slot, built from the
// reference as given. This is the pair that scpcoeff_arbrot scores with.
// Raises core::Error for a row of even length or below three entries, a
// coordinate that is not finite, or a reference whose landmarks all lie on
// one line through the origin (one second moment is then zero and there
// are no uniform directions).
Eigen::MatrixXd uniformdirections(const Eigen::MatrixXd& xref);

// uniformdirections of the reference rounded to four decimals first
// (size slot included): the pair used to rebuild configurations from
// scores. It can differ from the scoring pair in about the fifth decimal.
// Raises core::Error as uniformdirections does, naming UniArbitrary.
Eigen::MatrixXd UniArbitrary(const Eigen::MatrixXd& xref);

// The score table of one specimen row x (1 x (2k + 1)) against a reference
// row xref of the same length and the reference's eigen table Lex (k x 2k,
// from gettpse): (k - 2) x 2. Rows 1 ... k - 3 are the principal warp
// scores, largest bending energy first, as (projection of the specimen's
// x coordinates, of its y coordinates) on the warp's eigenvector; the
// specimen's own coordinates are projected, which gives the same scores as
// its difference from the reference since the warps are orthogonal to the
// reference's coordinate columns. Row k - 2 holds the two uniform scores,
// the projections of the specimen's difference from the reference on
// uniformdirections(xref). Raises core::Error for mismatched shapes, fewer
// than three landmarks, or a reference without uniform directions.
Eigen::MatrixXd scpcoeff_arbrot(const Eigen::MatrixXd& Lex, const Eigen::MatrixXd& x, const Eigen::MatrixXd& xref);

} // namespace warp
