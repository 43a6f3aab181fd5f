#pragma once
// Tectsim's action switch: load the two exemplar shapes, build the
// simulated sets, show and save them, and report the statistics.

#include "apps/tectsim/simulation.h"
#include "shell/host.h"

#include <string_view>

namespace tectsim {

// What the program keeps between actions.
struct State {
  Eigen::MatrixXd exemplar1, exemplar2;
  Models models;
};

// Runs one action: "Load1", "Load2", the six save and six show actions,
// "BuildModels", "DoStats", "Clear"; any other name shows the program's
// message box.
void TSSwitch(shell::Host& host, State& state, std::string_view action);

// Registers TSSwitch by name, acting on the program's one State, which
// starts (and, called again, starts again) empty.
void define();

} // namespace tectsim
