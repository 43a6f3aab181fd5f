#pragma once
// How landmark files are read (which points are missing landmarks) and
// written (how many digits).

#include "core/identities.h"

#include <cstddef>
#include <string>

namespace io {

struct ReadOptions {
  // Every point with a negative coordinate is missing too, besides -1 -1,
  // NaN and NA (core::MissingCode::negative): for files of image
  // coordinates whose digitiser marked a lost landmark with any negative
  // pair. Off, a negative coordinate is a coordinate.
  bool negativemissing = false;

  core::MissingCode code() const {
    return negativemissing ? core::MissingCode::negative : core::MissingCode::digitiser;
  }
};

// How the writers of landmark data write a number. `g6`: "%g", six
// significant digits, as every save of the window programs always has.
// `roundtrip`: the shortest text that reads back as the same double, so
// that a value read and written unchanged keeps its value exactly
// (11231.43 stays 11231.43).
enum class Precision { g6, roundtrip };

// Appends the shortest text that reads back as exactly `value` ("NaN" for
// a NaN): Precision::roundtrip.
void appendroundtrip(std::string& out, double value);

// Makes NaN, in both coordinates, every point of the k points xy[0 .. 2k)
// that `code` reads as missing: -1 -1 exactly (the digitisers' code), and
// with MissingCode::negative any point with a negative coordinate. A NaN
// coordinate makes its point missing as well.
void markmissing(double* xy, std::size_t k, core::MissingCode code);

} // namespace io
