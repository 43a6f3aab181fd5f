#pragma once
// Restrain's action switch: load landmark data and angles, fit and test
// the strain ellipse, retrodeform, plot and save.

#include "shell/actions.h"
#include "shell/host.h"

#include "core/identities.h"

#include <Eigen/Core>
#include <span>
#include <string_view>

namespace restrain {

// What the program keeps between actions; empty until loaded.
struct State {
  Eigen::MatrixXd data;      // the working landmark data set
  core::Identities ids;      // per row of data its ID=, IMAGE=, SCALE=; may be empty
  Eigen::RowVectorXd reference; // consensus of data after Load
  Eigen::MatrixXd rdata;     // raw TPS data with centroid sizes
  core::Identities rids;     // per row of rdata its identity; may be empty
  Eigen::MatrixXd datatp;    // per-specimen angles: t, p (degrees)
  Eigen::MatrixXd alltp;     // pooled angle pairs: t, p (degrees)
  Eigen::MatrixXd ydata;     // the retrodeformed data set, superimposed
  Eigen::MatrixXd yraw;      // the retrodeformed TPS data before superimposition
  core::Identities yids;     // per row of ydata (and yraw) its identity; may be empty
  bool yrawcurrent = false;  // yraw belongs to ydata (both from UserRetroTPS)
  bool rawdata = false;      // data are rdata superimposed (LoadTPS), so rdata hold them in the rock's frame
};

// The program's actions: name, function, one-line description.
std::span<const shell::Action<State>> actions();

// Runs the action of that name from actions(); any other name shows the
// program's message box and raises core::Error naming it and listing the
// actions.
void restrainsw(shell::Host& host, State& state, std::string_view action);

// Registers restrainsw and the objective wellpenalty2 by name, acting on
// the program's one State, which
// starts (and, called again, starts again) empty.
void define();

} // namespace restrain
