#pragma once
// Whether each of the program's actions can run now, so that the window
// disables the buttons (and menu entries) of those that cannot and says
// what they need first. Qt-free: a program states readiness beside its
// action table (shell::Action::needs) and hands it over here.

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace shell {

// Nothing when the action can run now, else a short text saying what it
// needs first ("Load a TPS file first"). Actions the program states
// nothing about can always run.
using Readiness = std::function<std::optional<std::string>(std::string_view action)>;

// The running program's readiness (set by its define(); empty: every
// action can always run).
void setreadiness(Readiness readiness);
std::optional<std::string> needs(std::string_view action);

} // namespace shell
