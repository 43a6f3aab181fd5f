#pragma once
// Symrestore's action switch: load a data set and a pairs file, undeform
// by symmetry, by uniform components or by principal components, save.

#include "shell/actions.h"
#include "shell/host.h"

#include "core/specimens.h"
#include "warp/missing.h"

#include <Eigen/Core>
#include <string>
#include <span>
#include <vector>
#include <string_view>

namespace symrestore {

// What the program keeps between actions; empty until loaded.
struct State {
  Eigen::MatrixXd data;   // the loaded data set (superimposed by UndeformPCA)
  Eigen::MatrixXd lmlist; // the pair list
  Eigen::MatrixXd undata; // the last undeformed data set
  core::Identities ids;   // the data set's specimens (empty when its file names none)
  bool scaled = false;    // the data multiplied by each specimen's SCALE=
  std::string datafile;   // the data set's and the pair list's file names, for messages
  std::string pairsfile;
  bool undatapairs = false; // undata was made with the pair list (a symmetry fix)
  // The landmarks EstimateMissing placed, in data or, when estimated after
  // an undeformation, in undata (then dropped with it); listed beside a
  // saved file.
  std::vector<warp::EstimatedLandmark> estimated;
  bool estimatedundata = false;
};

// The program's actions: name, function, one-line description.
std::span<const shell::Action<State>> actions();

// Runs the action of that name from actions(); any other name shows the
// program's message box and raises core::Error naming it and listing the
// actions. Loading a data
// set drops the undeformed set; loading a pair list drops one made with
// the pair list before, so that "Save" never writes the result of other
// inputs.
void symsw(shell::Host& host, State& state, std::string_view action);

// Registers symsw and the objectives tecterror2 and tecterror6 by name,
// acting on the program's one State, which starts (and, called again,
// starts again) empty.
void define();

} // namespace symrestore
