#include "shell/boxes.h"

#include "core/error.h"
#include "core/text_format.h"
#include "core/text_number.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace shell {

namespace {

std::string boxtext(Host& host, const std::string& tag) {
  const std::vector<std::string> rows = host.string(tag);
  return rows.empty() ? "" : rows.front();
}

core::Error notwhat(const std::string& tag, const std::string& what, const std::string& text, const std::string& kind) {
  return core::Error("The box " + tag + " (" + what + ") holds '" + text + "', which is not " + kind);
}

const char* kindname(Number kind) {
  return kind == Number::Whole ? "a whole number" : kind == Number::Positive ? "a positive number" : "a number";
}

std::string bounds(Number kind, const Range& range) {
  if (kind == Number::Positive && range.low <= 0) return core::format(" of at most %.15g", range.high);
  return core::format(" from %.15g to %.15g", range.low, range.high);
}

bool fits(double v, Number kind, const Range& range) {
  if (!std::isfinite(v)) return false;
  if (kind == Number::Whole && v != std::floor(v)) return false;
  if (kind == Number::Positive && !(v > 0)) return false;
  return v >= range.low && v <= range.high;
}

} // namespace

double boxnumber(Host& host, const std::string& tag, const std::string& what, Number kind, Range range) {
  const std::string text = boxtext(host, tag);
  Eigen::MatrixXd v;
  try {
    v = core::str2num(text);
  } catch (const core::Error&) {
  }
  // Not one number of the kind: said as before; one of the kind but out of
  // range: said with the range.
  if (v.size() != 1 || !fits(v(0), kind, {-std::numeric_limits<double>::infinity(), std::numeric_limits<double>::infinity()}))
    throw notwhat(tag, what, text, kindname(kind));
  if (!fits(v(0), kind, range)) throw notwhat(tag, what, text, kindname(kind) + bounds(kind, range));
  return v(0);
}

int boxwhole(Host& host, const std::string& tag, const std::string& what, Range range) {
  range.low = std::max(range.low, static_cast<double>(std::numeric_limits<int>::min()));
  range.high = std::min(range.high, static_cast<double>(std::numeric_limits<int>::max()));
  return static_cast<int>(boxnumber(host, tag, what, Number::Whole, range));
}

Eigen::MatrixXd boxnumbers(Host& host, const std::string& tag, const std::string& what, Number kind, Range range) {
  const std::string text = boxtext(host, tag);
  Eigen::MatrixXd v;
  try {
    v = core::str2num(text);
  } catch (const core::TooManyNumbers&) {
    // A range such as 1:99999999, refused before it was laid out.
    throw notwhat(tag, what, text, "a list of at most " + std::to_string(core::max_box_numbers) + " numbers");
  } catch (const core::Error&) {
    throw notwhat(tag, what, text, "a list of numbers");
  }
  if (!v.allFinite()) throw notwhat(tag, what, text, "a list of numbers");
  for (Eigen::Index i = 0; i < v.size(); ++i)
    if (!fits(v(i), kind, range)) {
      const std::string kinds = kind == Number::Whole ? "whole numbers" : kind == Number::Positive ? "positive numbers" : "numbers";
      throw notwhat(tag, what, text, "a list of " + kinds + bounds(kind, range));
    }
  return v;
}

} // namespace shell
