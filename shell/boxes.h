#pragma once
// The boxes of a program's window, each declared once: its Tag, what it
// is for (said in every message about it, with its unit), what it holds
// and, for numbers, their kind and range. A switch reads and fills a box
// only through its declaration, and an action lists the boxes it reads,
// which shell::dispatch checks before the action runs; a test holds the
// declarations against the layouts and the user's guide.

#include "shell/host.h"

#include <Eigen/Core>
#include <limits>
#include <string>
#include <string_view>

namespace shell {

enum class Number {
  Any,
  Whole,
  Positive,
  // A ratio: a positive number must lie in the range; zero or less is left
  // to the action, whose computation refuses it in its own words (a strain
  // ratio that is no strain).
  Ratio,
};

// The values a box takes, ends included. No parameter of the suite's boxes
// (strain ratios, angles, noise, landmark, slab and axis numbers) is
// meaningful beyond a million, and a value past that bound, once squared
// or cast to an int, would overflow into a message that blames something
// else.
struct Range {
  double low = -1e6;
  double high = 1e6;
};

// Any finite number: a box whose bounds its action checks in words of
// its own (they depend on the data).
inline constexpr Range unbounded{-std::numeric_limits<double>::infinity(), std::numeric_limits<double>::infinity()};

// What a box holds.
enum class Entry {
  text,    // typed text, read as it is (a method's name)
  number,  // one typed number
  numbers, // a typed list of numbers, brackets and ranges allowed (empty text: none)
  tick,    // a check box: "1" ticked, "0" not
  shown,   // text the program fills (what was loaded, a report)
  button,  // a button the switch enables or disables
};

struct Box {
  std::string_view tag;     // "PBox"
  std::string_view meaning; // "number of permutations": what it is for, with its unit
  Entry entry = Entry::text;
  Number kind = Number::Any;
  Range range = {};
};

// The boxes the shell itself reads and fills, in every program's window
// that has them.
inline constexpr Box ApplyScale{"ApplyScale", "multiply each specimen by its SCALE=", Entry::tick};
inline constexpr Box NegativeMissing{"NegativeMissing", "read a point with a negative coordinate as missing",
                                     Entry::tick};
inline constexpr Box FileBox{"FileBox", "the file loaded last", Entry::shown};
// The text of the Results tab of the results pane.
inline constexpr Box AuxResults{"AuxResults", "results text", Entry::shown};

// "The box PBox (number of permutations)": how messages name a box.
std::string boxcalled(const Box& box);

// The box's text: its rows joined ("" for none).
std::string boxtext(Host& host, const Box& box);

// The one number in the box (Entry::number). Raises core::Error naming the
// box, what it is for, and the text, when the text is not one finite
// number of the kind declared: "The box PBox (number of permutations)
// holds 'many', which is not a whole number"; or when it lies outside the
// range: "The box UserR (strain ratio R) holds '1e308', which is not a
// positive number from 0.001 to 1000".
double boxnumber(Host& host, const Box& box);

// A whole number of the box that fits an int: boxnumber of a box of whole
// numbers, the range cut to what an int holds.
int boxwhole(Host& host, const Box& box);

// The numbers in the box (Entry::numbers; empty text gives none). Raises
// core::Error as boxnumber does, every number checked for the kind and
// the range: "The box NaxisBox (principal axes to remove) holds '1 2.5',
// which is not a list of whole numbers from -1000000 to 1000000".
Eigen::MatrixXd boxnumbers(Host& host, const Box& box);

// Checks a typed box as boxnumber or boxnumbers would read it, raising
// the same core::Error; text, ticks, shown text and buttons hold anything.
void checkbox(Host& host, const Box& box);

} // namespace shell
