#include "shell/actions.h"

#include "shell/callables.h"

namespace shell {

std::optional<ActionKind> kindof(const std::vector<ActionLine>& lines, std::string_view name) {
  for (const ActionLine& a : lines)
    if (a.name == name) return a.kind;
  return std::nullopt;
}

std::vector<std::string> boxesused(Host& host, const std::vector<ActionLine>& lines, std::string_view name) {
  std::vector<std::string> used;
  for (const ActionLine& a : lines) {
    if (a.name != name) continue;
    for (const Box* box : a.boxes) {
      if (box->entry == Entry::shown || box->entry == Entry::button) continue;
      std::string value;
      try {
        value = boxtext(host, *box);
      } catch (const core::Error&) {
        continue; // this window has no such box
      }
      if (box->entry == Entry::tick) value = value == "1" ? "ticked" : "not ticked";
      else if (value.empty()) value = "(empty)";
      used.push_back(std::string(box->tag) + " (" + std::string(box->meaning) + "): " + value);
    }
  }
  return used;
}

std::string namelist(const std::vector<ActionLine>& lines) {
  std::string out;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) out += i + 1 == lines.size() ? " and " : ", ";
    out += lines[i].name;
  }
  return out;
}

std::string actionhelp(const std::vector<ActionLine>& lines) {
  // CLI11 starts an option's description in column 30 (two blanks of
  // indent and a name field of 28); a longer name gets its own line.
  constexpr std::size_t field = 28;
  std::string out;
  for (const ActionLine& a : lines) {
    out += "  " + a.name;
    if (a.name.size() < field) out += std::string(field - a.name.size(), ' ');
    else out += "\n" + std::string(field + 2, ' ');
    out += a.description + "\n";
  }
  return out;
}

void defineswitch(const std::string& name, std::function<void(Host&, const std::string&)> run) {
  shell::Callable c;
  c.name = name;
  c.nin = 1;
  c.nout = 0;
  c.body = [name, run = std::move(run)](const shell::Values& args, int) -> shell::Values {
    const auto* action = args.empty() ? nullptr : std::get_if<std::string>(&args[0]);
    if (action == nullptr) throw core::Error(name + " needs an action name");
    run(host(), *action);
    return {};
  };
  shell::define(std::move(c));
}

namespace {

std::string& running() {
  static std::string name;
  return name;
}

} // namespace

void setrunningaction(std::string_view name) { running() = name; }
const std::string& runningaction() { return running(); }

} // namespace shell
