#pragma once
// Partial Procrustes superimposition: every specimen is translated to the
// origin, scaled to unit centroid size and rotated (never reflected) onto a
// reference. Data sets are n x (2k + 1): columns 1, 3, ..., 2k hold x,
// columns 2, 4, ..., 2k hold y, and the last column is the size slot, which
// never takes part in centring, scaling, rotation or convergence.
//
// getconsensus, getpsup and getconsensuspca share large data sets among
// `threads` threads (0: one per hardware thread; see core/parallel.h). The
// rows are cut into chunks of split.chunk rows whatever the thread count,
// and the chunks' sums are added in chunk order, so the result is the same
// to the last bit for any thread count (the chunk size, which orders the
// sums, can change the last bits).

#include "core/parallel.h"

#include <Eigen/Core>

namespace core {

// The superimposition's cut: chunks of 2048 rows; a data set of up to
// 16,384 rows stays on the calling thread, where a pass takes too short a
// time for other threads to be worth waking.
inline constexpr Split superimposition_split{.chunk = 2048, .alone = 16384};

// The summed squared change of the consensus coordinates between two
// passes below which the iteration stops (0.1 x 2^-27).
inline constexpr double consensus_tolerance = 7.450580596923829e-10;

// A pass limit that no sensible data set reaches; reaching it raises an
// error rather than letting an oscillating input hang the program.
inline constexpr int consensus_pass_limit = 10000;

struct Superimposition {
  Eigen::RowVectorXd y; // consensus, 1 x (2k + 1), centred, unit sum of squares
  Eigen::MatrixXd xpt;  // the specimens superimposed on it, in input order
};

// Iterates the partial Procrustes consensus of a data set: standardise every
// row; take the first as reference; rotate every row onto the reference,
// make the reference the normalised column mean (the size slot divided by
// the same norm) and repeat until the summed squared change of the
// consensus coordinates is at most consensus_tolerance. Returns the final
// consensus and the rows as last rotated; the size slot of every row is
// kept. Raises core::Error for fewer than two specimens, an even column
// count, a specimen whose landmarks all coincide or that holds a value
// that is not a finite number (naming its row), or no convergence within
// consensus_pass_limit passes.
Superimposition getconsensus(const Eigen::MatrixXd& x, unsigned threads = 0,
                             const Split& split = superimposition_split);

// Superimposes every row of a data set on a reference in one pass:
// standardise, then rotate onto the first n - 1 entries of `xref`. Neither
// the position nor the size of the reference changes the result. Raises
// core::Error as getconsensus does, and for a reference with fewer than
// n - 1 entries.
Eigen::MatrixXd getpsup(const Eigen::MatrixXd& x, const Eigen::MatrixXd& xref, unsigned threads = 0,
                        const Split& split = superimposition_split);

// getconsensus with two differences: the iteration stops on the square
// root of the summed squared change, and the consensus and every row are
// then turned together so that the principal axis of the consensus that
// lies within 45 degrees of the x axis ends up vertical (a quarter turn
// clockwise from that axis). The size slot of the consensus is 999; the
// rows keep their own.
Superimposition getconsensuspca(const Eigen::MatrixXd& x, unsigned threads = 0,
                                const Split& split = superimposition_split);

// Distance of every superimposed specimen from the reference: column 1 the
// Euclidean distance between the first n - 1 entries of row i and of
// `xref`, column 2 a copy of the row's last column. m x 2.
Eigen::MatrixXd pdistbc(const Eigen::MatrixXd& xref, const Eigen::MatrixXd& x);

} // namespace core
