#pragma once
// The one exception type for problems a user can act on: a file that cannot
// be read, a line that is not numbers, a specimen that cannot be
// superimposed. Its what() is the message a person reads, naming the file
// and line, the specimen row, the box or the value at fault. Action
// dispatchers are the one place that catches it.

#include <stdexcept>
#include <string>
#include <utility>

namespace core {

class Error : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// A file that could not be written. what() names the file; reason() is why
// alone ("No space left on device", "it is read-only"), for a caller that
// names what it was writing in its own words (a plot, a picture).
class WriteError : public Error {
public:
  WriteError(const std::string& message, std::string reason) : Error(message), reason_(std::move(reason)) {}
  const std::string& reason() const { return reason_; }

private:
  std::string reason_;
};

} // namespace core
