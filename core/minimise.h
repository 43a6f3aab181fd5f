#pragma once
// Nelder-Mead simplex minimisation of a function of a parameter vector, in
// the form of Lagarias et al. (1998): reflection 1, expansion 2,
// contraction 0.5, shrink 0.5; the initial simplex moves each non-zero start
// coordinate by 5 % and each zero one by 0.00025. It stops when every vertex
// lies within TolX of the best in every coordinate and every function value
// within TolFun of the best, or when MaxIter iterations or MaxFunEvals
// evaluations are used.
//
// The caller hands the objective itself to the minimiser: nothing here
// knows functions by name.

#include <Eigen/Core>
#include <functional>
#include <span>

namespace core {

// An objective: the value at parameter vector p, given the caller's fixed
// extra arguments (passed through unchanged on every evaluation).
using Objective = std::function<double(const Eigen::VectorXd& p, std::span<const Eigen::MatrixXd> extra)>;

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

} // namespace core
