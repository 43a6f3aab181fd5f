#pragma once
// Symrestore's action switch: load a data set and a pairs file, undeform
// by symmetry, by uniform components or by principal components, save.

#include "shell/actions.h"
#include "shell/host.h"

#include "core/identities.h"
#include "core/data_set.h"

#include <Eigen/Core>
#include <optional>
#include <string>
#include <span>
#include <vector>
#include <string_view>

namespace symrestore {

// What the program keeps between actions; empty until loaded.
struct State {
  core::Specimens data;   // the loaded data set, as loaded, with its identities, file name and scale
  Eigen::MatrixXd lmlist; // the pair list
  core::Specimens undata; // the last undeformed data set (the loaded specimens' identities)
  std::string pairsfile;  // the pair list's file name, for messages
  // Why the pair list does not fit the loaded data (a data set loaded
  // after it with other landmarks), or empty: the fixes that use it stay
  // off and say this.
  std::string pairsmisfit;
  bool undatapairs = false; // undata was made with the pair list (a symmetry fix)
  // The landmarks EstimateMissing placed, in data or, when estimated after
  // an undeformation, in undata (then dropped with it); listed beside a
  // saved file.
  std::vector<core::EstimatedLandmark> estimated;
  bool estimatedundata = false;
  // The axis ratio R of the strain UnDeform last fitted to the loaded data
  // (0: none), against which a typed stretch e is checked.
  double fittedR = 0;
};

// Whether a stretch e typed for RetroStrain looks like the axis ratio
// R = e^2 typed by mistake, and if so the question that asks which was
// meant. With a strain fitted by UnDeform (fittedR > 0): e lies nearer (by
// ratio) to the fitted R than to its stretch sqrt(R), the two being told
// apart (fitted R of at least 1.2). Without one: e^2 = R would exceed 4,
// beyond the strain of all but the most deformed beds, while e itself is
// an ordinary R (at most 10). Nothing for a plausible stretch.
std::optional<std::string> looksliker(double e, double fittedR);

// The program's actions: name, kind, function, one-line description,
// what each needs first and the boxes it reads.
std::span<const shell::Action<State>> actions();

// Every box of the window the switch reads or fills.
shell::Boxes boxes();

// Runs the action of that name from actions(); any other name shows the
// program's message box and raises core::Error naming it and listing the
// actions. Loading a data set drops the undeformed set and the results,
// and a pair list that does not fit it turns the fixes off until one that
// fits is loaded; loading a pair list drops a set made with the pair list
// before, so that "Save" never writes the result of other inputs. Clear
// forgets everything loaded and made.
void symsw(shell::Host& host, State& state, std::string_view action);

// Registers symsw and the objectives tecterror2 and tecterror6 by name,
// acting on the program's one State, which starts (and, called again,
// starts again) empty.
void define();

} // namespace symrestore
