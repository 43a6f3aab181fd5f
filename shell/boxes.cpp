#include "shell/boxes.h"

#include "core/error.h"
#include "core/text_format.h"
#include "core/text_number.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace shell {

namespace {

std::string boxtextfirst(Host& host, const Box& box) {
  const std::vector<std::string> rows = host.string(box.tag);
  return rows.empty() ? "" : rows.front();
}

core::Error notwhat(const Box& box, const std::string& text, const std::string& kind) {
  return core::Error(boxcalled(box) + " holds '" + text + "', which is not " + kind);
}

// What a box of the kind takes, in words (a ratio's: any number).
const char* kindname(Number kind) {
  return kind == Number::Whole ? "a whole number" : kind == Number::Positive ? "a positive number" : "a number";
}

std::string bounds(Number kind, const Range& range) {
  if (kind == Number::Positive && range.low <= 0) return core::format(" of at most %.15g", range.high);
  return core::format(" from %.15g to %.15g", range.low, range.high);
}

// A number of the kind, within the range; a ratio's range holds for the
// positive ones alone.
bool fits(double v, Number kind, const Range& range) {
  if (!std::isfinite(v)) return false;
  if (kind == Number::Whole && v != std::floor(v)) return false;
  if (kind == Number::Positive && !(v > 0)) return false;
  if (kind == Number::Ratio && !(v > 0)) return true;
  return v >= range.low && v <= range.high;
}

double readnumber(Host& host, const Box& box, const Range& range) {
  const std::string text = boxtextfirst(host, box);
  Eigen::MatrixXd v;
  try {
    v = core::str2num(text);
  } catch (const core::Error&) {
  }
  // Not one number of the kind: said without the range; one of the kind
  // but out of range: said with the range (a ratio's as that of a positive
  // number).
  if (v.size() != 1 || !fits(v(0), box.kind, unbounded)) throw notwhat(box, text, kindname(box.kind));
  if (!fits(v(0), box.kind, range)) {
    const Number said = box.kind == Number::Ratio ? Number::Positive : box.kind;
    throw notwhat(box, text, kindname(said) + bounds(said, range));
  }
  return v(0);
}

} // namespace

std::string boxcalled(const Box& box) {
  return "The box " + std::string(box.tag) + " (" + std::string(box.meaning) + ")";
}

std::string boxtext(Host& host, const Box& box) {
  std::string text;
  for (const std::string& row : host.string(box.tag)) text += row;
  return text;
}

double boxnumber(Host& host, const Box& box) { return readnumber(host, box, box.range); }

int boxwhole(Host& host, const Box& box) {
  Range range = box.range;
  range.low = std::max(range.low, static_cast<double>(std::numeric_limits<int>::min()));
  range.high = std::min(range.high, static_cast<double>(std::numeric_limits<int>::max()));
  return static_cast<int>(readnumber(host, box, range));
}

Eigen::MatrixXd boxnumbers(Host& host, const Box& box) {
  const std::string text = boxtextfirst(host, box);
  Eigen::MatrixXd v;
  try {
    v = core::str2num(text);
  } catch (const core::TooManyNumbers&) {
    // A range such as 1:99999999, refused before it was laid out.
    throw notwhat(box, text, "a list of at most " + std::to_string(core::max_box_numbers) + " numbers");
  } catch (const core::Error&) {
    throw notwhat(box, text, "a list of numbers");
  }
  if (!v.allFinite()) throw notwhat(box, text, "a list of numbers");
  for (Eigen::Index i = 0; i < v.size(); ++i)
    if (!fits(v(i), box.kind, box.range)) {
      const std::string kinds =
          box.kind == Number::Whole ? "whole numbers" : box.kind == Number::Positive ? "positive numbers" : "numbers";
      throw notwhat(box, text, "a list of " + kinds + bounds(box.kind, box.range));
    }
  return v;
}

void checkbox(Host& host, const Box& box) {
  // A whole number is checked against its own range, not cut to an int's:
  // a box that takes more than an int says so in its action's words.
  if (box.entry == Entry::numbers) boxnumbers(host, box);
  else if (box.entry == Entry::number) boxnumber(host, box);
}

} // namespace shell
