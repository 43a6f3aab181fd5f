#pragma once
// Text to number: one converter for the lines of numeric text files and for
// the edit boxes of the windows.
//
// A line holds numbers separated by blanks, tabs or commas, in decimal or
// exponent notation, with an optional sign; NaN and Inf (any case, with an
// optional sign) are numbers too. A percent sign starts a comment that runs
// to the end of the text. An edit box may also hold a bracketed list
// ("[1 2 3]"), rows separated by semicolons ("[1 2; 3 4]") and ranges a:b or
// a:s:b ("2:5", "1:2:9"), which expand as the colon operator does.

#include "core/error.h"

#include <Eigen/Core>
#include <cstddef>
#include <string_view>
#include <vector>

namespace core {

// The outcome of scanning one line: how many numbers were appended, and
// where the scan stopped if it met text that is not a number (empty `bad`
// when the whole line was numbers, blanks and an optional comment).
struct NumberScan {
  std::size_t count = 0;
  std::string_view bad;       // the offending word, as it stands in the line
  std::size_t bad_column = 0; // 1-based column of `bad` in the line
  // The first word that is a number beyond the range of a double (1e400),
  // read as +-Inf as strtod would; empty when there was none.
  std::string_view overflow;
  std::size_t overflow_column = 0;
  // The first word written as an infinity ("Inf", "-inf"); empty when
  // there was none.
  std::string_view infinite;
  std::size_t infinite_column = 0;
};

// Appends the numbers of one line of a numeric text file to `out`. Never
// allocates except to grow `out`; stops at the first word that is not a
// number and reports it.
NumberScan scan_numbers(std::string_view line, std::vector<double>& out);

// Converts the text of an edit box to a matrix: empty text (or only blanks)
// gives a 0 x 0 matrix; a list gives a row; rows separated by ';' or line
// ends give a matrix (all rows of one length). Raises core::Error naming the
// text when it is not numbers ("'abc' is not a number"), or when it asks
// for more than max_box_numbers numbers (a range such as 1:99999999), which
// is refused before any of them is laid out.
inline constexpr std::size_t max_box_numbers = 1000000;
// The error for such a range, so that a box can say what is wrong with it.
class TooManyNumbers : public Error {
public:
  using Error::Error;
};
Eigen::MatrixXd str2num(std::string_view text);

} // namespace core
