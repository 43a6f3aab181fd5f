#pragma once
// A tiny program for the shell's tests: an action switch "tinysw" of a
// few actions (load, save, message box, results, progress, memory,
// failure) on the controls of tests/shell/data/Tiny.fig.

#include "shell/host.h"
#include "shell/program.h"

#include <string>

namespace testsupport {

// The tiny program's action switch.
void tinysw(shell::Host& host, const std::string& action);

// The tiny program: "tiny", its launcher "Tiny", its switch registered by
// define().
shell::Program tinyprogram();

} // namespace testsupport
