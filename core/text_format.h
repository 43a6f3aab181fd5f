#pragma once
// Formatted text in the manner of the classic numeric environments' sprintf:
// every report, text box and file writer of the suite goes through here, so
// its exact output is part of the file formats.
//
// Rules:
//  - Conversions %d %i %u %f %e %E %g %G %s %c with the flags - + space 0 #,
//    a width and a precision (a '*' width or precision is not supported).
//  - Escapes: the two-character sequences \n, \t and \\ in the format stand
//    for a line feed, a tab and a backslash; real control characters pass
//    through. %% writes one percent sign.
//  - Values: each numeric argument contributes its entries one per
//    conversion, in column-major order (a row: left to right); a text
//    argument is consumed whole by one %s.
//  - A format with fewer conversions than values is applied again to the
//    remaining values. Output stops just before the first conversion for
//    which no value is left, once at least one value has been used; with no
//    values at all the literal text is written and every conversion is
//    empty.
//  - Non-finite values are written as NaN, Inf and -Inf in the conversion's
//    width. %d/%i/%u of a value that is not a whole number switch to %e with
//    the same flags, width and precision.
//  - A number met by %s is written in the shortest %g form that reads back
//    as the same double; a text met by a numeric conversion is written as
//    text.

#include <Eigen/Core>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace core {

// One value handed to format(): a text or a matrix of numbers.
class FormatArg {
public:
  FormatArg(double v) : value_(Eigen::MatrixXd::Constant(1, 1, v)) {}
  FormatArg(int v) : FormatArg(static_cast<double>(v)) {}
  FormatArg(long v) : FormatArg(static_cast<double>(v)) {}
  FormatArg(long long v) : FormatArg(static_cast<double>(v)) {}
  FormatArg(unsigned v) : FormatArg(static_cast<double>(v)) {}
  FormatArg(unsigned long v) : FormatArg(static_cast<double>(v)) {}
  FormatArg(const Eigen::MatrixXd& m) : value_(m) {}
  FormatArg(std::string s) : value_(std::move(s)) {}
  FormatArg(std::string_view s) : value_(std::string(s)) {}
  FormatArg(const char* s) : value_(std::string(s)) {}

  bool is_text() const { return std::holds_alternative<std::string>(value_); }
  const std::string& text() const { return std::get<std::string>(value_); }
  const Eigen::MatrixXd& numbers() const { return std::get<Eigen::MatrixXd>(value_); }

private:
  std::variant<Eigen::MatrixXd, std::string> value_;
};

// The values of `args` written by `fmt` under the rules above. Raises
// core::Error naming the format when a conversion is malformed or not
// supported (e.g. "%q", a lone trailing '%', a '*' width).
std::string format(std::string_view fmt, std::span<const FormatArg> args);

template <class... Args>
std::string format(std::string_view fmt, const Args&... args) {
  const std::vector<FormatArg> list{FormatArg(args)...};
  return format(fmt, std::span<const FormatArg>(list));
}

// A format parsed once and applied to many values: the file writers format
// every value of a large data set with one short format ("%g ", " %f ").
// Output is identical to format(fmt, value) for each value.
class CompiledFormat {
public:
  // Parses `fmt`; raises core::Error as format() does for a bad conversion.
  explicit CompiledFormat(std::string_view fmt);
  // Appends the format applied to one number to `out`.
  void append(std::string& out, double value) const;
  // Appends the format applied to the values in order, with the recycling
  // rule of format().
  void append(std::string& out, std::span<const double> values) const;

private:
  // A stretch of literal text (escapes resolved) followed by at most one
  // conversion; the snprintf directives are built once, at parse time.
  struct Piece {
    std::string literal;
    char conversion = 0;     // d i u f e E g G s c; 0 when only text follows
    bool left = false;       // '-' flag: pad on the right
    bool zero = false;       // '0' flag
    char sign = 0;           // '+' or ' ' flag, 0 when neither is given
    int width = 0;
    int precision = -1;      // -1 when none is given
    bool plain = false;      // no flags and no width: std::to_chars can write it
    std::string c_format;    // the conversion for snprintf, e.g. "%-8.3f"
    std::string c_whole;     // %d %i %u of a whole number: "%-8.3lld"
    std::string c_fraction;  // %d %i %u %c of a fraction: "%-8.3e"
  };
  std::vector<Piece> pieces_;
  friend struct CompiledFormatAccess;
};

} // namespace core
