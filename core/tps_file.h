#pragma once
// TPS landmark files, the subset the suite reads and the form it writes.
//
// A file is a sequence of specimen blocks. A block starts with the key
// "LM=" (either letter in either case) at the start of a line and the
// landmark count k, then 2k numbers x1 y1 ... xk yk separated by any white
// space, and no more numbers before the next text. The key lines after a
// block's coordinates (IMAGE=, ID=, SCALE=, COMMENT=, ...) are kept with its
// specimen; semilandmark curves (CURVES=, POINTS= and their points) are
// skipped. A scale factor is never applied here, so the coordinates come
// back as written. A landmark coded as missing (see markmissing in the
// reader: -1 -1, or any negative pair in a file of image coordinates)
// comes back as NaN in both coordinates.

#include "core/progress.h"
#include "core/identities.h"

#include <Eigen/Core>
#include <string>
#include <vector>

namespace core {

struct TpsFile {
  Eigen::MatrixXd y;                 // n x 2k, or n x (2k + 1) with centroid sizes
  std::string fname;                 // the file's name without its folder
  std::vector<std::string> namelist; // per block: the text after the count on its key line, with its line end
  Identities ids;                    // per block: its ID=, IMAGE=, SCALE= and other key lines
};

// Parses the TPS file at `path`. With `cs` true the centroid size of every
// specimen is appended as a last column (the size slot); false returns the
// bare coordinates. LF, CR LF and lone CR line ends read
// alike (the line end kept in `namelist` is a plain "\n").
//
// Raises core::Error naming the file, and the block and its line where there
// is one, when the file cannot be opened, has no "LM=" key, has a count
// that is not a positive whole number, has a block whose count differs from
// the first block's, has a block with fewer or more than 2k numbers before
// its next text, or has a coordinate that is not a finite number (inf, nan,
// 1e400; the message quotes it with its line). `progress` hears how much of
// the text has been read; when it answers false the reading stops with
// core::Cancelled.
TpsFile readtpsfile(const std::string& path, bool cs, const Progress& progress = {});

// The TPS text of a data set whose last column is the size slot: for each
// specimen "LM=k" and then one line "x  y " per landmark in %g form; a
// missing landmark is written as the digitisers' "-1  -1 ". Each
// specimen's key lines in `ids` (ID=, IMAGE=, SCALE=, ...) follow its
// coordinates as they were read; with no identities no other keys are
// written.
std::string formattps(const Eigen::MatrixXd& data, const Identities& ids = {});

// Writes formattps(data, ids) to `path`, replacing the file. Raises
// core::Error naming the file when it cannot be written.
void writetpsfile(const std::string& path, const Eigen::MatrixXd& data, const Identities& ids = {});

} // namespace core
