#include "core/text_number.h"

#include "core/error.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace core {

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t' || c == ',' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

// from_chars leaves the value alone when a number does not fit a double;
// like strtod we then give +-Inf or 0. Such numbers are far from 1, so the
// decimal order of magnitude (digits before the point, less leading zeros
// after it, plus the exponent) tells which way they fell out of range.
double out_of_range(std::string_view t) {
  long order = 0;
  bool nonzero = false, after_point = false;
  std::size_t i = 0;
  for (; i < t.size() && t[i] != 'e' && t[i] != 'E'; ++i) {
    if (t[i] == '.') after_point = true;
    else if (!nonzero && t[i] == '0') order -= after_point ? 1 : 0;
    else {
      nonzero = true;
      if (!after_point) ++order;
    }
  }
  if (i < t.size()) {
    const bool negative = i + 1 < t.size() && t[i + 1] == '-';
    long exponent = 0;
    for (++i; i < t.size(); ++i)
      if (t[i] >= '0' && t[i] <= '9' && exponent < 1000000) exponent = exponent * 10 + (t[i] - '0');
    order += negative ? -exponent : exponent;
  }
  return order > 0 ? std::numeric_limits<double>::infinity() : 0.0;
}

// Reads a whole word as one number; false when any of it is not. Takes an
// optional sign (from_chars itself refuses '+'), decimal and exponent
// notation, and NaN/Inf in any case.
bool parse_number(std::string_view word, double& value, bool* overflowed = nullptr) {
  bool negative = false;
  if (!word.empty() && (word[0] == '+' || word[0] == '-')) {
    negative = word[0] == '-';
    word.remove_prefix(1);
  }
  if (word.empty() || word[0] == '+' || word[0] == '-') return false;
  const char* end = word.data() + word.size();
  const auto [ptr, ec] = std::from_chars(word.data(), end, value, std::chars_format::general);
  if (ptr != end) return false;
  if (ec == std::errc::result_out_of_range) {
    value = out_of_range(word);
    if (overflowed != nullptr) *overflowed = std::isinf(value);
  } else if (ec != std::errc()) {
    return false;
  }
  if (negative) value = -value;
  return true;
}

// A colon range a:s:b expanded as the colon operator does. The count takes
// a tolerance of a few ulps of the bounds, so that 0:0.1:0.3 reaches 0.3
// although (0.3 - 0) / 0.1 is just below 3; the last value then is b itself.
void expand_range(double a, double s, double b, std::vector<double>& row, std::string_view text, std::size_t& total) {
  if (std::isnan(a) || std::isnan(s) || std::isnan(b)) {
    row.push_back(std::numeric_limits<double>::quiet_NaN());
    ++total;
    return;
  }
  if (s == 0 || (s > 0 && b < a) || (s < 0 && b > a)) return;
  const double tol = 4 * std::numeric_limits<double>::epsilon() * std::max(std::fabs(a), std::fabs(b));
  const double steps = std::floor((b - a) / s + tol / std::fabs(s));
  // Counted before anything is laid out: a slip of the keyboard such as
  // 1:99999999 must not take gigabytes before it is refused. No box of the
  // suite needs anywhere near this many numbers.
  if (!(steps + 1 + static_cast<double>(total) <= static_cast<double>(max_box_numbers)))
    throw TooManyNumbers("'" + std::string(text) + "' asks for a range of more than " + std::to_string(max_box_numbers) +
                " numbers");
  const auto n = static_cast<long>(steps) + 1;
  total += static_cast<std::size_t>(n);
  for (long k = 0; k < n; ++k) row.push_back(a + static_cast<double>(k) * s);
  if (std::fabs(row.back() - b) <= tol) row.back() = b;
}

} // namespace

NumberScan scan_numbers(std::string_view line, std::vector<double>& out) {
  NumberScan scan;
  std::size_t i = 0;
  for (;;) {
    while (i < line.size() && is_blank(line[i])) ++i;
    if (i == line.size() || line[i] == '%') return scan;
    std::size_t end = i;
    while (end < line.size() && !is_blank(line[end]) && line[end] != '%') ++end;
    const std::string_view word = line.substr(i, end - i);
    double value;
    bool overflowed = false;
    // "NA" is how R and spreadsheets write a value that is not there: a
    // missing landmark, read as NaN.
    if (word == "NA") value = std::numeric_limits<double>::quiet_NaN();
    else if (!parse_number(word, value, &overflowed)) {
      scan.bad = word;
      scan.bad_column = i + 1;
      return scan;
    }
    if (overflowed && scan.overflow.empty()) {
      scan.overflow = word;
      scan.overflow_column = i + 1;
    } else if (!overflowed && std::isinf(value) && scan.infinite.empty()) {
      scan.infinite = word;
      scan.infinite_column = i + 1;
    }
    out.push_back(value);
    ++scan.count;
    i = end;
  }
}

Eigen::MatrixXd str2num(std::string_view text) {
  const auto not_a_number = [&] { return Error("'" + std::string(text) + "' is not a number"); };

  // Tokens: numbers, ':' and the row breaks ';' and line ends; one pair of
  // brackets may enclose everything.
  enum class Kind { Number, Colon, RowEnd, Open, Close };
  struct Token {
    Kind kind;
    double value = 0;
  };
  std::vector<Token> tokens;
  for (std::size_t i = 0; i < text.size();) {
    const char c = text[i];
    if (c == '%') {
      while (i < text.size() && text[i] != '\n') ++i;
    } else if (c == '\n' || c == ';') {
      tokens.push_back({Kind::RowEnd});
      ++i;
    } else if (is_blank(c)) {
      ++i;
    } else if (c == ':' || c == '[' || c == ']') {
      tokens.push_back({c == ':' ? Kind::Colon : c == '[' ? Kind::Open : Kind::Close});
      ++i;
    } else {
      std::size_t end = i;
      while (end < text.size() && !is_blank(text[end]) && std::string_view("%;:[]").find(text[end]) == std::string_view::npos)
        ++end;
      Token t{Kind::Number};
      if (!parse_number(text.substr(i, end - i), t.value)) throw not_a_number();
      tokens.push_back(t);
      i = end;
    }
  }
  std::size_t first = 0, last = tokens.size();
  while (first < last && tokens[first].kind == Kind::RowEnd) ++first;
  while (last > first && tokens[last - 1].kind == Kind::RowEnd) --last;
  if (first < last && tokens[first].kind == Kind::Open) {
    if (tokens[last - 1].kind != Kind::Close) throw not_a_number();
    ++first;
    --last;
  }

  std::vector<std::vector<double>> rows(1);
  std::size_t total = 0; // numbers laid out so far, ranges included
  for (std::size_t i = first; i < last;) {
    const Kind kind = tokens[i].kind;
    if (kind == Kind::RowEnd) {
      if (!rows.back().empty()) rows.emplace_back();
      ++i;
      continue;
    }
    if (kind != Kind::Number) throw not_a_number();
    // A number, or a range of two or three numbers joined by colons.
    double bounds[3];
    int count = 0;
    for (;;) {
      if (i >= last || tokens[i].kind != Kind::Number) throw not_a_number();
      bounds[count++] = tokens[i++].value;
      if (count == 3 || i >= last || tokens[i].kind != Kind::Colon) break;
      ++i;
    }
    if (i < last && tokens[i].kind == Kind::Colon) throw not_a_number();
    if (count == 1) {
      rows.back().push_back(bounds[0]);
      ++total;
    }
    else if (count == 2) expand_range(bounds[0], 1, bounds[1], rows.back(), text, total);
    else expand_range(bounds[0], bounds[1], bounds[2], rows.back(), text, total);
  }
  if (rows.back().empty()) rows.pop_back();
  if (rows.empty()) return Eigen::MatrixXd(0, 0);

  const std::size_t cols = rows[0].size();
  Eigen::MatrixXd m(static_cast<Eigen::Index>(rows.size()), static_cast<Eigen::Index>(cols));
  for (std::size_t r = 0; r < rows.size(); ++r) {
    if (rows[r].size() != cols)
      throw Error("'" + std::string(text) + "': the rows differ in length (row 1 holds " + std::to_string(cols) +
                  " numbers, row " + std::to_string(r + 1) + " holds " + std::to_string(rows[r].size()) + ")");
    for (std::size_t c = 0; c < cols; ++c) m(static_cast<Eigen::Index>(r), static_cast<Eigen::Index>(c)) = rows[r][c];
  }
  return m;
}

} // namespace core
