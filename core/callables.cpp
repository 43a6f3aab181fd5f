#include "core/callables.h"

#include "core/error.h"

#include <map>

namespace core {

namespace {

std::map<std::string, Callable, std::less<>>& registry() {
  static std::map<std::string, Callable, std::less<>> functions;
  return functions;
}

} // namespace

void define(Callable callable) {
  std::string name = callable.name;
  registry().insert_or_assign(std::move(name), std::move(callable));
}

const Callable* lookup(std::string_view name) {
  const auto it = registry().find(name);
  return it == registry().end() ? nullptr : &it->second;
}

std::vector<std::string> callablenames() {
  std::vector<std::string> names;
  for (const auto& [name, c] : registry()) names.push_back(name);
  return names;
}

std::string toomany(const Callable& callable, bool outputs) {
  const std::string& file = callable.file.empty() ? callable.name : callable.file;
  return "Run-time Error: File: " + file + " Line: " + std::to_string(callable.line) +
         " Column: 1 The function \"" + callable.name + "\" was called with more than the declared number of " +
         (outputs ? "outputs (" + std::to_string(callable.nout) : "inputs (" + std::to_string(callable.nin)) + ").";
}

void checkcounts(const Callable& callable, std::size_t nargin, int nargout) {
  if (nargin > static_cast<std::size_t>(callable.nin)) throw Error(toomany(callable, false));
  if (nargout > callable.nout) throw Error(toomany(callable, true));
}

Values call(std::string_view name, const Values& args, int nargout) {
  const Callable* callable = lookup(name);
  if (callable == nullptr) throw Error("Undefined function or variable '" + std::string(name) + "'.");
  checkcounts(*callable, args.size(), nargout);
  return callable->body(args, nargout);
}

} // namespace core
