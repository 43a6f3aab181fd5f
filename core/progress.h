#pragma once
// Long work (reading a large file, many fits) reports how far it has come
// and lets the user stop it.

#include "core/error.h"

#include <functional>

namespace core {

// Called now and then with the share of the work done, 0 to 1; false asks
// the work to stop. An empty function is never called.
using Progress = std::function<bool(double fraction)>;

// Raised when the user stopped the work through its Progress: nothing the
// work would have changed was changed, and what() says so.
class Cancelled : public Error {
public:
  using Error::Error;
};

} // namespace core
