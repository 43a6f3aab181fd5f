#pragma once
// TPS landmark files, the subset the suite reads and the form it writes.
//
// A file is a sequence of specimen blocks. A block starts with the key
// "LM=" (either letter in either case) at the start of a line and the
// landmark count k, then 2k numbers x1 y1 ... xk yk separated by any white
// space, and no more numbers before the next text. The key lines after a
// block's coordinates (IMAGE=, ID=, SCALE=, COMMENT=, ...) are kept with its
// specimen; semilandmark curves (CURVES=, POINTS= and their points) are
// skipped. Numbers anywhere else (outside every block, but for the points
// of a curve) and a block with two SCALE= lines are refused. A scale factor
// is never applied here, so the coordinates come back as written. A
// landmark coded as missing (-1 -1, or with ReadOptions::negativemissing
// any point with a negative coordinate) comes back as NaN in both
// coordinates.

#include "core/progress.h"
#include "core/data_set.h"
#include "io/options.h"

#include <Eigen/Core>
#include <string>

namespace io {

// Parses the TPS file at `path`: its specimens with the centroid size of
// each (of the landmarks present) in the size slot, their key lines as
// their identities, the path as their source. LF, CR LF and lone CR line
// ends read alike.
//
// Raises core::Error naming the file, and the block and its line where there
// is one, when the file cannot be opened, has no "LM=" key, has a count
// that is not a positive whole number, has a block whose count differs from
// the first block's, has a block with fewer or more than 2k numbers before
// its next text, or has a coordinate that is not a finite number (inf, nan,
// 1e400; the message quotes it with its line), has a line before its first
// "LM=" key that is neither blank nor a key line, has numbers outside every
// block (a block whose "LM=" line was lost), or has a block with two
// SCALE= lines (each message names the line). `progress` hears how much of
// the text has been read; when it answers false the reading stops with
// core::Cancelled.
core::Specimens readtpsfile(const std::string& path, const core::Progress& progress = {},
                            const ReadOptions& options = {});

// The TPS text of a data set whose last column is the size slot: for each
// specimen "LM=k" and then one line "x  y " per landmark in %g form (or,
// with Precision::roundtrip, each number's shortest exact text); a missing
// landmark is written as the digitisers' "-1  -1 ". Each specimen's key
// lines (ID=, IMAGE=, SCALE=, ...) follow its coordinates as they were
// read, but for data already multiplied by their scale, whose SCALE= lines
// become SCALE=1 (core::Specimens::writtenkeys); a data set without
// identities gets no other keys.
std::string formattps(const core::Specimens& data, Precision precision = Precision::g6);

// Writes formattps(data, precision) to `path`, replacing the file. Raises
// core::Error naming the file when it cannot be written.
void writetpsfile(const std::string& path, const core::Specimens& data, Precision precision = Precision::g6);

} // namespace io
