#pragma once
// Functions that can be called by name: from the command line
// (`PROGRAM NAME ARGS...`), from a control of a window layout (its Callback
// "anglepicksw('LoadData')"), or by the minimiser (a named objective).
// Every function declares how many inputs and outputs it takes; a call
// with more raises the run-time error whose wording users and scripts see:
//
//   Run-time Error: File: centpos Line: 1 Column: 1 The function "centpos"
//   was called with more than the declared number of inputs (1).
//
// A program's local functions name their file as "Launcher/local" and
// carry their own line number.

#include <Eigen/Core>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace core {

// A value passed by name: a matrix (numbers from a layout or a minimiser)
// or a text (words from a command line or a quoted layout argument).
using Value = std::variant<Eigen::MatrixXd, std::string>;
using Values = std::vector<Value>;

// The objective signature the minimiser calls on its fast path.
using Objective = std::function<double(const Eigen::VectorXd& p, std::span<const Eigen::MatrixXd> extra)>;

struct Callable {
  std::string name;
  int nin = 0;      // declared number of inputs
  int nout = 0;     // declared number of outputs
  std::string file; // empty: the name itself
  int line = 1;
  // The function itself: the arguments and the number of results asked for.
  std::function<Values(const Values& args, int nargout)> body;
  // For objectives: the same function in the minimiser's form.
  Objective objective;
};

// Adds a function to the registry, replacing one of the same name.
void define(Callable callable);
// The function of that name, or nullptr.
const Callable* lookup(std::string_view name);
// Every registered name, sorted.
std::vector<std::string> callablenames();

// Calls a function by name after checking its declared counts. Raises
// core::Error with "Undefined function or variable 'NAME'." for an
// unknown name and the run-time error above for too many inputs or
// outputs; anything the function raises passes through.
Values call(std::string_view name, const Values& args, int nargout = 0);

// The run-time error text for a call with too many inputs (or outputs).
std::string toomany(const Callable& callable, bool outputs);
// Raises that error when nargin or nargout exceed the declared counts.
void checkcounts(const Callable& callable, std::size_t nargin, int nargout);

} // namespace core
