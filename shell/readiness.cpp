#include "shell/readiness.h"

namespace shell {

namespace {

Readiness& current() {
  static Readiness r;
  return r;
}

} // namespace

void setreadiness(Readiness readiness) { current() = std::move(readiness); }

std::optional<std::string> needs(std::string_view action) {
  return current() ? current()(action) : std::nullopt;
}

} // namespace shell
