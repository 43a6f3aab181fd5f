#pragma once
// Restrain's action switch: load landmark data and angles, fit and test
// the strain ellipse, retrodeform, plot and save.

#include "shell/host.h"

#include <Eigen/Core>
#include <string_view>

namespace restrain {

// What the program keeps between actions; empty until loaded.
struct State {
  Eigen::MatrixXd data;      // the working landmark data set
  Eigen::RowVectorXd reference; // consensus of data after Load
  Eigen::MatrixXd rdata;     // raw TPS data with centroid sizes
  Eigen::MatrixXd datatp;    // per-specimen angles: t, p (degrees)
  Eigen::MatrixXd alltp;     // pooled angle pairs: t, p (degrees)
  Eigen::MatrixXd ydata;     // the retrodeformed data set, superimposed
  Eigen::MatrixXd yraw;      // the retrodeformed TPS data before superimposition
  bool yrawcurrent = false;  // yraw belongs to ydata (both from UserRetroTPS)
};

// Runs one action: "Load", "LoadTPS", "SaveTPS", "Save", "LoadDataTP",
// "LoadAllTP", "DoWellman", "PermuteWellman", "DoRetro", "DoRetroUser",
// "UserRetroTPS", "Clear"; any other name shows the program's message box.
void restrainsw(shell::Host& host, State& state, std::string_view action);

// Registers restrainsw and the objective wellpenalty2 by name, acting on
// the program's one State, which
// starts (and, called again, starts again) empty.
void define();

} // namespace restrain
