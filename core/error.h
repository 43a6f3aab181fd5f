#pragma once
// The one exception type for problems a user can act on: a file that cannot
// be read, a line that is not numbers, a specimen that cannot be
// superimposed. Its what() is the message a person reads, naming the file
// and line, the specimen row, the box or the value at fault. Action
// dispatchers are the one place that catches it.

#include <stdexcept>
#include <string>

namespace core {

class Error : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

} // namespace core
