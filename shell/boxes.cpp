#include "shell/boxes.h"

#include "core/callables.h"
#include "core/error.h"
#include "core/text_number.h"
#include "shell/program.h"

#include <cmath>

namespace shell {

namespace {

std::string boxtext(Host& host, const std::string& tag) {
  const std::vector<std::string> rows = host.string(tag);
  return rows.empty() ? "" : rows.front();
}

core::Error notwhat(const std::string& tag, const std::string& what, const std::string& text, const char* kind) {
  return core::Error("The box " + tag + " (" + what + ") holds '" + text + "', which is not " + kind);
}

} // namespace

double boxnumber(Host& host, const std::string& tag, const std::string& what, Number kind) {
  const std::string text = boxtext(host, tag);
  Eigen::MatrixXd v;
  try {
    v = core::str2num(text);
  } catch (const core::Error&) {
  }
  const char* const expected = kind == Number::Whole ? "a whole number" : kind == Number::Positive ? "a positive number" : "a number";
  if (v.size() != 1 || !std::isfinite(v(0))) throw notwhat(tag, what, text, expected);
  if (kind == Number::Whole && v(0) != std::floor(v(0))) throw notwhat(tag, what, text, expected);
  if (kind == Number::Positive && !(v(0) > 0)) throw notwhat(tag, what, text, expected);
  return v(0);
}

Eigen::MatrixXd boxnumbers(Host& host, const std::string& tag, const std::string& what) {
  const std::string text = boxtext(host, tag);
  try {
    Eigen::MatrixXd v = core::str2num(text);
    if (v.allFinite()) return v;
  } catch (const core::TooManyNumbers&) {
    throw notwhat(tag, what, text, ("a list of at most " + std::to_string(core::max_box_numbers) + " numbers").c_str());
  } catch (const core::Error&) {
  }
  throw notwhat(tag, what, text, "a list of numbers");
}

void defineswitch(const std::string& name, std::function<void(Host&, const std::string&)> run) {
  core::Callable c;
  c.name = name;
  c.nin = 1;
  c.nout = 0;
  c.body = [name, run = std::move(run)](const core::Values& args, int) -> core::Values {
    const auto* action = args.empty() ? nullptr : std::get_if<std::string>(&args[0]);
    if (action == nullptr) throw core::Error(name + " needs an action name");
    run(host(), *action);
    return {};
  };
  core::define(std::move(c));
}

} // namespace shell
