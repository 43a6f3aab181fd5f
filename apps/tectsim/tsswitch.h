#pragma once
// Tectsim's action switch: load the two exemplar shapes, build the
// simulated sets, show and save them, and report the statistics.

#include "apps/tectsim/simulation.h"
#include "core/data_set.h"
#include "shell/actions.h"
#include "shell/host.h"

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tectsim {

// What the program keeps between actions.
struct State {
  // The start and end shapes of the shape change, each with its file's
  // name (for the report) and whether it is in SCALE= units.
  core::Specimens exemplar1, exemplar2;
  Models models;
  // How the models were built: the boxes' values, and which build since
  // the program started they are (the draws follow on from one another).
  Parameters built;
  int builds = 0;
  bool reported = false; // the results window shows the report of these models
  // The simulated set the plot shows, and the one drawn over it: a
  // rebuild draws them again from the new models. No set while the plot
  // shows none.
  struct Shown {
    Eigen::MatrixXd Models::*set = nullptr;
    Eigen::MatrixXd Models::*over = nullptr;
    const char* name = "";
  } shown;
};

// The lines that open a statistics report, so that reports appended to
// one file can be told apart: the date and time `when`, the exemplars and
// their sizes, the parameters, the seed of the run and the build.
std::vector<std::string> reportheading(const State& state, const std::string& when);

// What the window shows beside the elongation and angle boxes: the strain
// ratio R and long-axis bearing θ′ of the deformation they make
// (core::Strain::simulated), or that an angle of 45° (and every quarter
// turn on) flattens every specimen.
std::string straintext(double defamp, core::Angle defangle);

// What a save says: "appended 100 rows to x.txt; the file now holds 200
// rows", from the rows written and the file's text after the write;
// "wrote 100 rows to x.txt" for a file replaced or new.
std::string savedline(const std::string& name, Eigen::Index rows, const std::string& text, bool replaced);

// The program's actions: name, kind, function, one-line description,
// what each needs first and the boxes it reads.
std::span<const shell::Action<State>> actions();

// Every box of the window the switch reads or fills.
shell::Boxes boxes();

// Runs the action of that name from actions(): "Load1", "Load2", the six
// save and six show actions, "BuildModels", "DoStats", "Clear"; any other
// name shows the program's message box and raises core::Error naming it
// and listing the actions.
void TSSwitch(shell::Host& host, State& state, std::string_view action);

// Registers TSSwitch by name, acting on the program's one State, which
// starts (and, called again, starts again) empty.
void define();

} // namespace tectsim
