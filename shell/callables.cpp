#include "shell/callables.h"

#include "core/error.h"
#include "core/text_number.h"

#include <cctype>

#include <stdexcept>
#include <utility>

namespace shell {

Callable callable(std::string name, int nin, int nout, std::function<Values(const Values&, int)> body) {
  Callable c;
  c.name = std::move(name);
  c.nin = nin;
  c.nout = nout;
  c.body = std::move(body);
  return c;
}

void Registry::define(Callable callable) {
  std::string name = callable.name;
  functions_.insert_or_assign(std::move(name), std::move(callable));
}

const Callable* Registry::lookup(std::string_view name) const {
  const auto it = functions_.find(name);
  return it == functions_.end() ? nullptr : &it->second;
}

std::vector<std::string> Registry::names() const {
  std::vector<std::string> out;
  for (const auto& [name, c] : functions_) out.push_back(name);
  return out;
}

Values Registry::call(std::string_view name, const Values& args, int nargout) const {
  const Callable* callable = lookup(name);
  if (callable == nullptr) throw core::Error("Undefined function or variable '" + std::string(name) + "'.");
  checkcounts(*callable, args.size(), nargout);
  return callable->body(args, nargout);
}

void Registry::defineobjective(std::string name, core::Objective f, int nin) {
  if (!f) throw std::invalid_argument("defineobjective: empty function for \"" + name + "\"");
  Callable c;
  c.name = std::move(name);
  c.nin = nin;
  c.nout = 1;
  // Called by name, the arguments arrive as values: the first must be the
  // parameter vector and every other one numbers.
  c.body = [f](const Values& args, int) -> Values {
    if (args.empty()) throw core::Error("An objective function needs the parameter vector as its first input");
    const auto* p = std::get_if<Eigen::MatrixXd>(&args[0]);
    if (p == nullptr) throw core::Error("The parameter vector of an objective function must be numbers");
    std::vector<Eigen::MatrixXd> extra;
    for (std::size_t i = 1; i < args.size(); ++i) {
      const auto* m = std::get_if<Eigen::MatrixXd>(&args[i]);
      if (m == nullptr) throw core::Error("The extra arguments of an objective function must be numbers");
      extra.push_back(*m);
    }
    const Eigen::VectorXd pv = Eigen::Map<const Eigen::VectorXd>(p->data(), p->size());
    return {Eigen::MatrixXd::Constant(1, 1, f(pv, extra))};
  };
  c.objective = std::move(f);
  define(std::move(c));
}

const core::Objective& Registry::objective(std::string_view name) const {
  const Callable* c = lookup(name);
  if (c == nullptr || !c->objective)
    throw core::Error("Undefined objective function \"" + std::string(name) + "\"");
  return c->objective;
}

// Checks that the objective takes the parameter vector and every extra
// argument before the first evaluation.
core::MinimiseResult Registry::fminsearch(std::string_view name, const Eigen::VectorXd& x0,
                                          const core::MinimiseOptions& options,
                                          std::span<const Eigen::MatrixXd> extra) const {
  const core::Objective& f = objective(name);
  checkcounts(*lookup(name), 1 + extra.size(), 1);
  return core::fminsearch(f, x0, options, extra);
}

Registry& functions() {
  static Registry registry;
  return registry;
}

void define(Callable callable) { functions().define(std::move(callable)); }

const Callable* lookup(std::string_view name) { return functions().lookup(name); }

std::vector<std::string> callablenames() { return functions().names(); }

Values call(std::string_view name, const Values& args, int nargout) { return functions().call(name, args, nargout); }

void register_objective(std::string name, core::Objective f, int nin) {
  functions().defineobjective(std::move(name), std::move(f), nin);
}

std::string toomany(const Callable& callable, bool outputs) {
  const std::string& file = callable.file.empty() ? callable.name : callable.file;
  return "Run-time Error: File: " + file + " Line: " + std::to_string(callable.line) +
         " Column: 1 The function \"" + callable.name + "\" was called with more than the declared number of " +
         (outputs ? "outputs (" + std::to_string(callable.nout) : "inputs (" + std::to_string(callable.nin)) + ").";
}

void checkcounts(const Callable& callable, std::size_t nargin, int nargout) {
  if (nargin > static_cast<std::size_t>(callable.nin)) throw core::Error(toomany(callable, false));
  if (nargout > callable.nout) throw core::Error(toomany(callable, true));
}

std::pair<std::string, shell::Values> parsecallback(std::string_view cb) {
  const auto bad = [&] { return core::Error("The Callback '" + std::string(cb) + "' is not a call of a function"); };
  std::size_t i = 0;
  while (i < cb.size() && cb[i] == ' ') ++i;
  const std::size_t start = i;
  while (i < cb.size() && (std::isalnum(static_cast<unsigned char>(cb[i])) || cb[i] == '_')) ++i;
  std::string name(cb.substr(start, i - start));
  if (name.empty()) throw bad();
  while (i < cb.size() && cb[i] == ' ') ++i;
  shell::Values args;
  if (i == cb.size()) return {name, args};
  if (cb[i] != '(' || cb.back() != ')') throw bad();
  std::string_view inner = cb.substr(i + 1, cb.size() - i - 2);
  std::size_t p = 0;
  while (p < inner.size()) {
    while (p < inner.size() && inner[p] == ' ') ++p;
    if (p == inner.size()) break;
    if (inner[p] == '\'') {
      std::string s;
      for (++p;; ++p) {
        if (p >= inner.size()) throw bad();
        if (inner[p] == '\'') {
          if (p + 1 < inner.size() && inner[p + 1] == '\'') s += '\'', ++p;
          else break;
        } else {
          s += inner[p];
        }
      }
      args.emplace_back(s);
      ++p;
    } else {
      const std::size_t q = inner.find(',', p);
      args.emplace_back(core::str2num(inner.substr(p, q == std::string_view::npos ? std::string_view::npos : q - p)));
      p = q == std::string_view::npos ? inner.size() : q;
    }
    while (p < inner.size() && inner[p] == ' ') ++p;
    if (p < inner.size() && inner[p] != ',') throw bad();
    ++p;
  }
  return {name, args};
}

} // namespace shell
