#pragma once
// What a window program is, as the shell starts it: its names, its
// action switch with the table of actions, and what it registers. No
// window is needed to describe one: the switches' tests drive a program
// from this description without Qt, and shell/qt/program.h starts its
// window from it.

#include "shell/actions.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace shell {

struct Program {
  std::string executable; // "anglepick"
  std::string launcher;   // "Anglepick": the launcher's and the layout's name
  std::string switchname; // "anglepicksw": what controls and scripts call
  std::string summary;    // one line for --help
  // The switch's actions with their one-line descriptions, which --help
  // lists after the options.
  std::vector<ActionLine> actions;
  // Tags whose launcher local functions only report that they do nothing.
  std::vector<std::string> placeholders;
  // The window takes the controls' background colour.
  bool controlcolour = false;
  // The program draws random numbers: its seed is reported at start.
  bool random = false;
  // Registers the program's own functions (its switch, objectives).
  std::function<void()> define;
};

// The functions of the shell that a window's buttons run beside the
// switch's actions, with their kinds: SavePlot, a save (of the plot).
const std::vector<ActionLine>& sharedactions();

// The kind of the action `name` of the program, or of the shell's own;
// any other function computes.
ActionKind kindof(const Program& program, std::string_view name);

// Registers the functions every program shares that need no window:
// AuxBoxsw (the Results tab's save), SavePlot, cla, isvarname and
// iskeyword.
void defineshared();

} // namespace shell
