#pragma once
// Anglepick's action switch: load a TPS file and a protocol, measure t and
// p on every specimen, draw the protocol on the consensus, and save the
// angles in the three layouts Restrain reads.

#include "shell/actions.h"
#include "shell/host.h"

#include "core/data_set.h"
#include "core/identities.h"

#include <Eigen/Core>
#include <span>
#include <string_view>
#include <vector>

namespace anglepick {

// What the program keeps between actions; empty until loaded.
struct State {
  core::Specimens rdata;    // n x (2k + 1): the TPS specimens, centroid size in the slot, with their identities
  Eigen::MatrixXd proto;    // mp x 2: the protocol
  Eigen::RowVectorXd tlist; // 1 x n: t of every specimen, radians; NaN for one without angles
  Eigen::MatrixXd plist;    // n x pcount: p of every specimen, radians; NaN for a pair not measured
  Eigen::RowVectorXi np;    // 1 x n: pairs measured per specimen (0 for a specimen without angles)
  // The landmarks EstimateMissing placed in rdata, listed beside a saved
  // angle file.
  std::vector<core::EstimatedLandmark> estimated;
};

// The program's actions: name, kind, function, one-line description,
// what each needs first and the boxes it reads.
std::span<const shell::Action<State>> actions();

// Every box of the window the switch reads or fills.
shell::Boxes boxes();

// Runs the action of that name from actions(); any other name shows the
// program's message box and raises core::Error naming it and listing the
// actions.
void anglepicksw(shell::Host& host, State& state, std::string_view action);

// Registers anglepicksw under its name for the controls, scripts and the
// command line, acting on the program's one State, which
// starts (and, called again, starts again) empty.
void define();

} // namespace anglepick
