#pragma once
// Nelder-Mead simplex minimisation of a function of a parameter vector, in
// the form of Lagarias et al. (1998): reflection 1, expansion 2,
// contraction 0.5, shrink 0.5; the initial simplex moves each non-zero start
// coordinate by 5 % and each zero one by 0.00025. It stops when every vertex
// lies within TolX of the best in every coordinate and every function value
// within TolFun of the best, or when MaxIter iterations or MaxFunEvals
// evaluations are used.
//
// Objectives can be looked up by name: programs register theirs once at
// start, and callers name the objective they want minimised.

#include "core/callables.h"

#include <Eigen/Core>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace core {

// An objective (core::Objective, declared with the named functions): the
// value at parameter vector p, given the caller's fixed extra arguments
// (passed through unchanged on every evaluation).

struct MinimiseOptions {
  double tolx = 1e-4;
  double tolfun = 1e-4;
  int maxiter = 0;     // 0: 200 times the number of parameters
  int maxfunevals = 0; // 0: 200 times the number of parameters
};

struct MinimiseResult {
  Eigen::VectorXd x;    // the best vertex found
  double fval = 0;      // the objective there
  int iterations = 0;
  int funcevals = 0;
  bool converged = false; // false when an iteration or evaluation limit stopped it
};

// Minimises f from x0, handing `extra` to every evaluation. A NaN value
// counts as +Inf, worse than any number. The limits are checked before each
// iteration, so a last iteration may pass MaxFunEvals by up to n + 1
// evaluations. Raises core::Error for a negative limit, and whatever f raises.
MinimiseResult fminsearch(const Objective& f, const Eigen::VectorXd& x0, const MinimiseOptions& options = {},
                          std::span<const Eigen::MatrixXd> extra = {});

// Registers an objective under a name among the functions callable by name
// (replacing an earlier one of the same name), declaring `nin` inputs: the
// parameter vector and nin - 1 extra arguments. Lookup raises core::Error
// for an unknown name or a function that is not an objective.
void register_objective(std::string name, Objective f, int nin);
const Objective& objective(std::string_view name);

// Minimises the objective of that name. A call that hands it more extra
// arguments than it declares raises the run-time error of core::call.
MinimiseResult fminsearch(std::string_view name, const Eigen::VectorXd& x0, const MinimiseOptions& options = {},
                          std::span<const Eigen::MatrixXd> extra = {});

} // namespace core
