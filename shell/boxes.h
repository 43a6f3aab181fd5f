#pragma once
// Reading what a person typed into an edit box.

#include "shell/host.h"

#include <Eigen/Core>
#include <string>

namespace shell {

enum class Number { Any, Whole, Positive };

// The values a box takes, ends included. No parameter of the suite's boxes
// (strain ratios, angles, noise, landmark, slab and axis numbers) is
// sensibly larger than a million; a larger value would only overflow later
// (an integer landmark number, a squared coordinate) and be blamed on
// something else. Boxes that take more (counts) or less say so.
struct Range {
  double low = -1e6;
  double high = 1e6;
};

// The one number in the box with that Tag. Raises core::Error naming the
// box, what it is for, and the text, when the text is not one finite
// number of the kind asked for: "The box PBox (number of permutations)
// holds 'many', which is not a whole number"; or when it lies outside the
// range: "The box UserR (strain ratio R) holds '1e308', which is not a
// positive number from 0.001 to 1000".
double boxnumber(Host& host, const std::string& tag, const std::string& what, Number kind = Number::Any,
                 Range range = {});

// A whole number of the box that fits an int: boxnumber with Number::Whole,
// the range cut to what an int holds.
int boxwhole(Host& host, const std::string& tag, const std::string& what, Range range = {});

// The numbers in the box (a list, brackets and ranges allowed; empty text
// gives none). Raises core::Error as boxnumber does, every number checked
// for the kind and the range: "The box NaxisBox (principal axes to remove)
// holds '1 2.5', which is not a list of whole numbers from 1 to 1000000".
Eigen::MatrixXd boxnumbers(Host& host, const std::string& tag, const std::string& what, Number kind = Number::Any,
                           Range range = {});

} // namespace shell
