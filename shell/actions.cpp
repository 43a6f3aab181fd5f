#include "shell/actions.h"

namespace shell {

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

} // namespace shell
