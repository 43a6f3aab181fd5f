#pragma once
// Reading what a person typed into an edit box, and registering an action
// switch: the pieces every program's switch shares.

#include "shell/host.h"

#include <Eigen/Core>
#include <functional>
#include <string>

namespace shell {

enum class Number { Any, Whole, Positive };

// The one number in the box with that Tag. Raises core::Error naming the
// box, what it is for, and the text, when the text is not one finite
// number of the kind asked for: "The box PBox (number of permutations)
// holds 'many', which is not a whole number".
double boxnumber(Host& host, const std::string& tag, const std::string& what, Number kind = Number::Any);

// The numbers in the box (a list, brackets and ranges allowed; empty text
// gives none). Raises core::Error as boxnumber does.
Eigen::MatrixXd boxnumbers(Host& host, const std::string& tag, const std::string& what);

// Registers an action switch under its name: one input, the action name,
// run against the program's host.
void defineswitch(const std::string& name, std::function<void(Host&, const std::string&)> run);

} // namespace shell
