#pragma once
// Restrain's action switch: load landmark data and angles, fit and test
// the strain ellipse, retrodeform, plot and save.

#include "shell/actions.h"
#include "shell/host.h"

#include "core/data_set.h"
#include "core/identities.h"

#include <Eigen/Core>
#include <span>
#include <string_view>
#include <vector>

namespace restrain {

// What the program keeps between actions; empty until loaded.
struct State {
  core::Specimens data;         // the working landmark data set, with its specimens' identities
  Eigen::RowVectorXd reference; // consensus of data after Load
  core::Specimens rdata;        // raw TPS data with centroid sizes
  Eigen::MatrixXd datatp;       // per-specimen angles: t, p (degrees); NaN NaN for a specimen without angles
  std::vector<core::SpecimenLabel> datatpnamed; // the specimen each line of datatp names (number 0: none)
  Eigen::MatrixXd alltp;        // pooled angle pairs: t, p (degrees)
  Eigen::VectorXi alltpspecimen; // each pair's specimen, as the file names it; empty when it does not
  core::Specimens ydata;        // the retrodeformed data set, superimposed
  // The retrodeformed TPS data before superimposition, kept only while
  // they belong to ydata (both from UserRetroTPS); empty otherwise.
  core::Specimens yraw;
  bool rawdata = false;         // data are rdata superimposed (LoadTPS), so rdata hold them in the rock's frame
  // The landmarks EstimateMissing placed in data (and, when rawdata, in
  // rdata), and those of them ydata carries, listed beside a saved file.
  std::vector<core::EstimatedLandmark> estimated;
  std::vector<core::EstimatedLandmark> yestimated;
};

// The program's actions: name, kind, function, one-line description,
// what each needs first and the boxes it reads.
std::span<const shell::Action<State>> actions();

// Every box of the window the switch reads or fills.
shell::Boxes boxes();

// Runs the action of that name from actions(); any other name shows the
// program's message box and raises core::Error naming it and listing the
// actions.
void restrainsw(shell::Host& host, State& state, std::string_view action);

// Registers restrainsw and the objective wellpenalty2 by name, acting on
// the program's one State, which
// starts (and, called again, starts again) empty.
void define();

} // namespace restrain
