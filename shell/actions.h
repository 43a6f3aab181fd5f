#pragma once
// A program's actions as one table: each name a button's Callback or a
// script line can run, what kind of action it is, the function it runs,
// one line saying what it does, what it needs first and the boxes it
// reads. The switch dispatches from the table, checking the boxes first;
// the unknown-action message lists its names, --help prints its lines and
// the File menu lists its loads and saves, so an action is found from its
// button in one step and no list of names can drift from another.
// Qt-free, like host.h: switches and their tests use it without a window.

#include "core/error.h"
#include "shell/boxes.h"
#include "shell/host.h"
#include "shell/readiness.h"

#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace shell {

// What an action does. A load reads a file chosen in a dialog, a save
// writes one; a show changes what the window shows (plots, clears,
// closes) and computes nothing; a computation makes new results from what
// is loaded and the boxes. For the window: loads and saves are the File
// menu's entries (the first load also takes a dropped file, and a file it
// loaded joins the recent files), and a save that ends without an error
// keeps the results shown.
enum class ActionKind { load, save, show, compute };

// The boxes an action reads, in the order it reads them.
using Boxes = std::span<const Box* const>;

template <class State>
struct Action {
  std::string_view name;
  ActionKind kind;
  void (*run)(Host& host, State& state);
  std::string_view description; // one line, for --help and the guide's tables
  // What the action needs before it can run, as a short text ("Load a TPS
  // file first"), or nullptr when it can run now; the window disables its
  // buttons meanwhile. No function: the action can always run.
  const char* (*needs)(const State& state) = nullptr;
  Boxes boxes = {};
};

// An action as --help and the menus show it, without the program's State.
struct ActionLine {
  std::string name;
  std::string description;
  ActionKind kind = ActionKind::compute;
  Boxes boxes = {};
};

// The kind of the action `name` in `lines`, or nothing when it is not
// listed.
std::optional<ActionKind> kindof(const std::vector<ActionLine>& lines, std::string_view name);

// The values of the boxes the action `name` of `lines` reads, as the run
// report records them, one line each: "PBox (number of permutations):
// 1000", "ApplyScale (multiply each specimen by its SCALE=): ticked". Text
// the program fills and buttons are left out, and so is a box no window
// holds.
std::vector<std::string> boxesused(Host& host, const std::vector<ActionLine>& lines, std::string_view name);

// The names in the table's order, joined as a sentence: "A, B and C".
std::string namelist(const std::vector<ActionLine>& lines);

// The lines "  NAME  DESCRIPTION" of --help, names padded so that the
// descriptions start in the column of the options' descriptions.
std::string actionhelp(const std::vector<ActionLine>& lines);

template <class State>
std::vector<ActionLine> describe(std::span<const Action<State>> table) {
  std::vector<ActionLine> lines;
  for (const Action<State>& a : table)
    lines.push_back({std::string(a.name), std::string(a.description), a.kind, a.boxes});
  return lines;
}

// The readiness of the table's actions on the program's state, for
// setreadiness(): a program's define() calls
// shell::setreadiness(shell::readinessof(actions(), state)).
template <class State>
Readiness readinessof(std::span<const Action<State>> table, const State& state) {
  return [table, &state](std::string_view name) -> std::optional<std::string> {
    for (const Action<State>& a : table)
      if (a.name == name && a.needs != nullptr)
        if (const char* need = a.needs(state)) return std::string(need);
    return std::nullopt;
  };
}

// The box a program shows when its switch is called with a name it does
// not know, as each program has always worded it.
struct Unknown {
  std::string_view program; // "Restrain", for "Restrain's actions are ..."
  std::string_view text;
  std::string_view title;
};

// Runs the action named `name` from the table, once every box it reads
// holds what its declaration takes (else the first box that does not
// raises core::Error, as reading it would, and nothing runs). An unknown
// name shows the program's message box and then raises core::Error naming
// the action and listing the program's actions, so that a script stops
// (exit status 1) and the window's status line says what was not done.
template <class State>
void dispatch(std::span<const Action<State>> table, const Unknown& unknown, Host& host, State& state,
              std::string_view name) {
  for (const Action<State>& a : table)
    if (a.name == name) {
      for (const Box* box : a.boxes) checkbox(host, *box);
      a.run(host, state);
      return;
    }
  host.msgbox(unknown.text, unknown.title);
  throw core::Error("Unknown action '" + std::string(name) + "': " + std::string(unknown.program) +
                    "'s actions are " + namelist(describe(table)));
}

// Registers an action switch under its name: one input, the action name,
// run against the program's host.
void defineswitch(const std::string& name, std::function<void(Host&, const std::string&)> run);

// The action that runs now, by name (empty between actions): the shell
// names each action before it runs it, so that a plot it draws without a
// title of its own can be titled with it.
void setrunningaction(std::string_view name);
const std::string& runningaction();
// Names the running action for as long as it lives, however the action
// ends.
class RunningAction {
public:
  explicit RunningAction(std::string_view name) { setrunningaction(name); }
  ~RunningAction() { setrunningaction({}); }
  RunningAction(const RunningAction&) = delete;
  RunningAction& operator=(const RunningAction&) = delete;
};

} // namespace shell
