#pragma once
// What every program of the suite says about itself: its version, and the
// copyright and licence that --version, the About boxes and the man pages
// print. Kept in the core because the command-line tools, which do not
// link the window shell, print the same notice as the window programs.

#include <string>
#include <string_view>

namespace core {

// The suite's version, "0.1.0": every program carries the same one.
std::string_view version();

std::string_view copyrightline(); // "Copyright (C) ..."
std::string_view licenceline();   // "License GPL-3.0-or-later: ..."
std::string_view warrantyline();  // "This is free software: ..."

// The --version text: "NAME VERSION" alone on the first line (help2man
// and packaging tools read the name and version from it), then the
// copyright, licence and warranty lines; no final newline, which the
// printer adds.
std::string versiontext(std::string_view program);

} // namespace core
