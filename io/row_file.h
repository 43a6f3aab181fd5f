#pragma once
// Row-format data files: plain text, one matrix row per line, the numbers of
// a line separated by blanks, tabs or commas. A landmark data set is stored
// with one specimen row per line (x1 y1 ... xk yk and the size slot); the
// same reader loads every other numeric table of the suite (angle files,
// protocol and pair lists). A percent sign starts a comment. NaN (any case)
// and NA read as NaN: in a landmark data set, a missing landmark. An
// infinity (Inf, -inf) is refused.
//
// The data end at the end of the file or at the first empty line, whichever
// comes first; anything after an empty line is never read. LF, CR LF and
// lone CR line ends are all accepted, so a file written on any system reads
// the same.

#include <Eigen/Core>
#include <string>
#include <string_view>
#include <vector>

#include "core/progress.h"
#include "io/options.h"
#include "io/text_file.h"

namespace io {

// Reads a row-format file into an n x c matrix, row i holding line i.
// Raises core::Error naming the file (and the line, where there is one) when
// the file cannot be opened, holds no rows, or has a line that is not
// numbers, holds an infinity or a number beyond the range of a double, or
// whose count of numbers differs from the first line's.
// `progress` hears how much of the text has been read; when it answers
// false the reading stops with core::Cancelled. With `comments`, each
// row's comment is kept there too: the text after the line's first percent
// sign, without the blanks around it ("" for a line without one).
Eigen::MatrixXd dload(const std::string& fname, const core::Progress& progress = {},
                      std::vector<std::string>* comments = nullptr);

// The lines of a row-format text that dload reads as rows, each without
// its line end: every line up to the first empty one.
std::vector<std::string_view> rowlines(std::string_view text);

// Writes a data set row by row: every value of a row with `valueformat`
// (for example "%g " or " %f "), then `rowend` (for example " \n"), both
// formatted by core::format. Replace mode leaves only the new rows in the
// file, Append adds them after the old ones (which dload then reads as one
// data set). A NaN is written "NaN" whatever the format. Raises
// core::Error naming the file when it cannot be written;
// the file is then left as it was. Once the rows are written, the
// sidecars FILE.ids and FILE.estimated of an earlier save are removed: they
// spoke of rows that are gone (io::writespecimens writes new ones).
void writerows(const std::string& fname, const Eigen::MatrixXd& data, std::string_view valueformat,
               std::string_view rowend, WriteMode mode);

// The rows as writerows would write them.
std::string formatrows(const Eigen::MatrixXd& data, std::string_view valueformat, std::string_view rowend);
// The rows as a landmark data set is saved: "%g " per value and " \n" per
// row, or with Precision::roundtrip each value's shortest exact text.
std::string formatrows(const Eigen::MatrixXd& data, Precision precision);

} // namespace io
