#pragma once
// Functions that can be called by name: from the command line
// (`PROGRAM NAME ARGS...`), from a control of a window layout (its Callback
// "anglepicksw('LoadData')"), or a program's named objective. Every function
// declares how many inputs and outputs it takes; a call with more raises the
// run-time error whose wording users and scripts see:
//
//   Run-time Error: File: centpos Line: 1 Column: 1 The function "centpos"
//   was called with more than the declared number of inputs (1).
//
// A program's local functions name their file as "Launcher/local" and
// carry their own line number.
//
// Names belong to the window and command-line edge of a program: the
// computations take their functions (a minimiser's objective) as arguments
// and never look a name up.

#include "core/minimise.h"

#include <Eigen/Core>
#include <functional>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace shell {

// A value passed by name: a matrix (numbers from a layout or a minimiser)
// or a text (words from a command line or a quoted layout argument).
using Value = std::variant<Eigen::MatrixXd, std::string>;
using Values = std::vector<Value>;

struct Callable {
  std::string name;
  int nin = 0;      // declared number of inputs
  int nout = 0;     // declared number of outputs
  std::string file; // empty: the name itself
  int line = 1;
  // The function itself: the arguments and the number of results asked for.
  std::function<Values(const Values& args, int nargout)> body;
  // For objectives: the same function in the minimiser's form.
  core::Objective objective;
};

// A function of `nin` inputs and `nout` outputs.
Callable callable(std::string name, int nin, int nout, std::function<Values(const Values&, int)> body);

// A table of functions by name. A program has one (functions()); a test
// can build its own.
class Registry {
public:
  // Adds a function, replacing one of the same name.
  void define(Callable callable);
  // The function of that name, or nullptr.
  const Callable* lookup(std::string_view name) const;
  // Every name, sorted.
  std::vector<std::string> names() const;
  // Calls a function by name after checking its declared counts. Raises
  // core::Error with "Undefined function or variable 'NAME'." for an
  // unknown name and the run-time error above for too many inputs or
  // outputs; anything the function raises passes through.
  Values call(std::string_view name, const Values& args, int nargout = 0) const;

  // Adds an objective (replacing a function of the same name), declaring
  // `nin` inputs: the parameter vector and nin - 1 extra arguments. Called
  // by name, it takes numbers and returns its value as a 1 x 1 matrix.
  // Raises std::invalid_argument for an empty function (a programming error).
  void defineobjective(std::string name, core::Objective f, int nin);
  // The objective of that name; raises core::Error naming it if there is
  // none or the function of that name is not an objective.
  const core::Objective& objective(std::string_view name) const;
  // Minimises the objective of that name. A call that hands it more extra
  // arguments than it declares raises the run-time error of call.
  core::MinimiseResult fminsearch(std::string_view name, const Eigen::VectorXd& x0,
                                  const core::MinimiseOptions& options = {},
                                  std::span<const Eigen::MatrixXd> extra = {}) const;

private:
  std::map<std::string, Callable, std::less<>> functions_;
};

// The program's functions callable by name, filled once at start (not
// thread-safe while being filled).
Registry& functions();

// The same operations on the program's functions.
void define(Callable callable);
const Callable* lookup(std::string_view name);
std::vector<std::string> callablenames();
Values call(std::string_view name, const Values& args, int nargout = 0);
void register_objective(std::string name, core::Objective f, int nin);

// The run-time error text for a call with too many inputs (or outputs).
std::string toomany(const Callable& callable, bool outputs);
// Raises that error when nargin or nargout exceed the declared counts.
void checkcounts(const Callable& callable, std::size_t nargin, int nargout);

// Splits a Callback text such as "anglepicksw('LoadData')" or
// "CopyBigImage(1)" into the function's name and its arguments (quoted
// arguments as text, others as numbers). Raises core::Error for text that
// is not a call.
std::pair<std::string, Values> parsecallback(std::string_view callback);

} // namespace shell
