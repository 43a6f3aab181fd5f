#include "core/about.h"

namespace core {

std::string_view version() { return TECTO_VERSION; }

std::string_view copyrightline() { return "Copyright (C) 2026 the Tectomorph developers"; }

std::string_view licenceline() {
  return "License GPL-3.0-or-later: GNU GPL version 3 or later <https://gnu.org/licenses/gpl.html>.";
}

std::string_view warrantyline() {
  return "This is free software: you are free to change and redistribute it. There is NO WARRANTY, to the "
         "extent permitted by law.";
}

std::string versiontext(std::string_view program) {
  std::string text(program);
  text += ' ';
  text += version();
  for (const std::string_view line : {copyrightline(), licenceline(), warrantyline()}) {
    text += '\n';
    text += line;
  }
  return text;
}

} // namespace core
