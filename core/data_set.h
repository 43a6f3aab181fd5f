#pragma once
// A landmark data set as the programs hold it: n specimens of k landmarks
// in the row layout (x1 y1 ... xk yk, then the size slot), with what the
// file said about each specimen besides its landmarks (its key lines), the
// file it came from, whether its coordinates were multiplied by each
// specimen's SCALE=, and where landmarks are missing.
//
// The missing landmarks are found once, when the data set is made (by a
// reader, or from a computed matrix through with()), and asked for here
// rather than by testing coordinates for NaN again. The numeric code
// (superimposition, warps, fits) takes the matrix itself: matrix() is the
// n x (2k + 1) data set it has always taken.

#include "core/identities.h"

#include <Eigen/Core>
#include <string>
#include <vector>

namespace core {

class Specimens {
public:
  // Where a data set's size slot came from: a TPS file's specimens get
  // their centroid sizes (of the landmarks present), a row file's slot is
  // whatever its producer wrote (a size, the placeholder 1, a path
  // position).
  enum class Format { rows, tps };

  Specimens() = default;
  // A data set in the row layout, n x (2k + 1) with the size slot last (a
  // row file written without the slot, n x 2k, is held as it was read, so
  // that the program can say what is wrong with it). `ids` is empty or has
  // one entry per row; core::Error otherwise.
  explicit Specimens(Eigen::MatrixXd rows, Identities ids = {}, std::string source = {}, Format format = Format::rows,
                     bool scaled = false);

  // What a reader says besides the data: the rule by which it read missing
  // landmarks, and notes on what it left out (a sidecar that belongs to
  // other rows), one sentence each.
  Specimens& readby(MissingCode code, std::vector<std::string> notes = {});

  // The same specimens with new rows of the same count (superimposed,
  // retrodeformed, estimated): identities, source, scale and what the
  // reader said kept, the missing landmarks found again.
  Specimens with(Eigen::MatrixXd rows) const;
  // The specimens of rows `rows` (0-based), in that order.
  Specimens subset(const std::vector<Eigen::Index>& rows) const;
  // Every specimen's coordinates (and, for a TPS data set, its centroid
  // size) multiplied by factors(i): the data set in the unit of its SCALE=
  // lines. Missing landmarks stay missing.
  Specimens scaledby(const Eigen::VectorXd& factors) const;
  // Every specimen multiplied by its own SCALE=. Raises core::Error naming
  // the first specimen without a SCALE= line of a positive number: "Cannot
  // apply the scale: specimen 3 (ID) of 'FILE' has no SCALE= line with a
  // positive number; " followed by `remedy`.
  Specimens inscale(const std::string& remedy) const;

  // The identities as a file written from these specimens carries them.
  // Coordinates already multiplied by their SCALE= are in its unit, so
  // each SCALE= line becomes SCALE=1 and the value read is kept in a
  // following "COMMENT=coordinates multiplied by SCALE=0.0125 when read":
  // read again, with the scale applied or not, they are never scaled
  // twice.
  Identities writtenkeys() const;

  bool empty() const { return y_.size() == 0; }
  Eigen::Index n() const { return y_.rows(); }
  // Landmarks per specimen: floor(columns / 2), so a trailing size slot
  // is not counted.
  Eigen::Index k() const { return y_.cols() / 2; }
  // The data set as the numeric code takes it, n x (2k + 1).
  const Eigen::MatrixXd& matrix() const { return y_; }
  // The landmarks alone, n x 2k.
  Eigen::MatrixXd coordinates() const { return y_.leftCols(2 * k()); }
  // Each specimen's size slot, n x 1 (empty for a data set without one).
  Eigen::VectorXd sizes() const;

  const Identities& ids() const { return ids_; }
  // The file read, as the reader was given it (empty for computed data),
  // and its name without the folder, as messages name it.
  const std::string& source() const { return source_; }
  std::string name() const;
  Format format() const { return format_; }
  bool scaled() const { return scaled_; }
  MissingCode missingcode() const { return code_; }
  const std::vector<std::string>& notes() const { return notes_; }

  // True when landmark j (0-based) of specimen i is missing.
  bool missing(Eigen::Index i, Eigen::Index j) const { return core::missing(y_, i, j); }
  // The specimens that lack landmarks, with the landmarks each lacks.
  const MissingLandmarks& missinglandmarks() const { return missing_; }
  // How many landmarks specimen i lacks.
  Eigen::Index missingcount(Eigen::Index i) const { return lacking_(i); }
  bool complete() const { return missing_.none(); }
  // The rows of the specimens that have every landmark.
  std::vector<Eigen::Index> completerows() const;

private:
  void findmissing();

  Eigen::MatrixXd y_;
  Identities ids_;
  std::string source_;
  Format format_ = Format::rows;
  bool scaled_ = false;
  MissingCode code_ = MissingCode::digitiser;
  std::vector<std::string> notes_;
  MissingLandmarks missing_;
  Eigen::VectorX<Eigen::Index> lacking_;
};

// The load report of a data set: its missing landmarks with the rule they
// were read by (core::missingreport), then the reader's notes.
std::string missingreport(const Specimens& data);

} // namespace core
