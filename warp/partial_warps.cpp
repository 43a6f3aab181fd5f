#include "warp/partial_warps.h"

#include "core/configurations.h"
#include "core/error.h"
#include "core/numeric.h"
#include "warp/thin_plate.h"
#include "warp/uniform.h"

#include <Eigen/LU>

#include <string>

namespace warp {
namespace {

// A data set is column-major, so its x coordinates (columns 1, 3, ...) form
// an m x k matrix whose columns lie 2m apart, and so do its y coordinates
// starting one column later; the x and y warp scores of a score matrix are
// laid out the same way. These views let one matrix product handle a
// coordinate (or score) of every specimen without copying.
using Alternate = Eigen::Map<const Eigen::MatrixXd, 0, Eigen::OuterStride<>>;
using AlternateOut = Eigen::Map<Eigen::MatrixXd, 0, Eigen::OuterStride<>>;

Alternate alternate(const Eigen::MatrixXd& a, Eigen::Index first, Eigen::Index count) {
  return {a.data() + first * a.rows(), a.rows(), count, Eigen::OuterStride<>(2 * a.rows())};
}
AlternateOut alternate(Eigen::MatrixXd& a, Eigen::Index first, Eigen::Index count) {
  return {a.data() + first * a.rows(), a.rows(), count, Eigen::OuterStride<>(2 * a.rows())};
}

// Landmark count of a reference row, which must carry the size slot.
Eigen::Index slotted(const Eigen::MatrixXd& row, const std::string& fn) {
  if (row.size() < 3 || row.size() % 2 == 0)
    throw core::Error(fn + ": the reference holds " + std::to_string(row.size()) +
                      " values, but a specimen row holds 2k + 1 (k landmarks and the size slot)");
  return (row.size() - 1) / 2;
}

Eigen::RowVectorXd asrow(const Eigen::MatrixXd& x) { return Eigen::Map<const Eigen::RowVectorXd>(x.data(), x.size()); }

} // namespace

// Warp score (v, c) of specimen i is the eigenvector v projected on its
// coordinate c (x or y), so for all specimens at once the x scores are
// X E and the y scores Y E, with X, Y the m x k coordinate blocks and E the
// first k - 3 eigenvectors. The uniform scores are (x - xref) U' with U the
// 2 x 2k directions, taken as x U' - xref U'.
Eigen::MatrixXd getpw_arbit(const Eigen::MatrixXd& xref, const Eigen::MatrixXd& x) {
  const Eigen::Index k = slotted(xref, "getpw_arbit");
  if (x.cols() != xref.size())
    throw core::Error("getpw_arbit: the data set has " + std::to_string(x.cols()) + " columns, but the reference holds " +
                      std::to_string(xref.size()) + " values");
  const Eigen::RowVectorXd ref = asrow(xref);
  const Eigen::MatrixXd refxy = core::vertxy(ref);
  checkreference(refxy, "getpw_arbit");
  const Eigen::MatrixXd table = gettpse(gettspl(refxy));
  const Eigen::MatrixXd u = uniformdirections(ref);

  const Eigen::Index m = x.rows(), w = k - 3, p = 2 * k - 4;
  Eigen::MatrixXd y(m, p + 1);
  if (m == 0) return y;
  if (w > 0) {
    const auto e = table.leftCols(w);
    alternate(y, 0, w).noalias() = alternate(x, 0, k) * e;
    alternate(y, 1, w).noalias() = alternate(x, 1, k) * e;
  }
  const Eigen::RowVector2d offset = ref.head(2 * k) * u.transpose();
  y.middleCols(p - 2, 2).noalias() = x.leftCols(2 * k) * u.transpose();
  y.middleCols(p - 2, 2).rowwise() -= offset;
  y.col(p) = x.col(2 * k);
  return y;
}

// The x coordinates of every rebuilt row get S V' added, with S the m x
// (k - 3) x warp scores and V the first k - 3 eigenvectors; likewise the y
// coordinates; then the uniform scores times the 2 x 2k directions.
Eigen::MatrixXd reversepwarb(const Eigen::MatrixXd& reference, const Eigen::MatrixXd& pw) {
  const Eigen::Index k = slotted(reference, "reversepwarb");
  if (pw.cols() != 2 * k - 3)
    throw core::Error("reversepwarb: a warp score row against a reference of " + std::to_string(k) + " landmarks holds " +
                      std::to_string(2 * k - 3) + " values, but this one holds " + std::to_string(pw.cols()));
  const Eigen::RowVectorXd ref = asrow(reference);
  const Eigen::MatrixXd refxy = core::vertxy(ref);
  checkreference(refxy, "reversepwarb");
  const Eigen::MatrixXd b1 = UniArbitrary(ref);
  const Eigen::MatrixXd il = gettspl(refxy).partialPivLu().inverse();
  const core::SymmetricEigen e = core::eigsym(il.topLeftCorner(k, k));
  const SortedEigen s = eigsort(e.vectors, Eigen::MatrixXd(e.values.asDiagonal()));

  const Eigen::Index m = pw.rows(), w = k - 3;
  Eigen::MatrixXd y = ref.replicate(m, 1);
  if (m == 0) return y;
  if (w > 0) {
    const auto vt = s.vr.leftCols(w).transpose();
    alternate(y, 0, k).noalias() += alternate(pw, 0, w) * vt;
    alternate(y, 1, k).noalias() += alternate(pw, 1, w) * vt;
  }
  y.leftCols(2 * k).noalias() += pw.middleCols(2 * w, 2) * b1;
  return y;
}

} // namespace warp
