#pragma once
// Loading data through a file dialog: the row-format loader and the
// landmark loaders as the programs' actions use them.

#include "core/procrustes.h"
#include "core/progress.h"
#include "core/data_set.h"
#include "shell/host.h"

#include <Eigen/Core>
#include <initializer_list>
#include <string>
#include <string_view>

namespace shell {

// Asks for a file to load. Raises core::Error when the dialog is cancelled
// (nothing loaded).
FileChoice chooseload(Host& host, std::string_view filter = "*.*", std::string_view title = "Choose a file to load");

// Empties the results shown when the data they came from are replaced, and
// says so in one line ("note: the results of the data set loaded before
// were cleared"); nothing when none are shown.
void dropresults(Host& host, std::string_view of);

// What Clear shows: an empty plot, no results, and "No file loaded" in
// each box that named a loaded file.
void clearshown(Host& host, std::initializer_list<std::string_view> fileboxes);

// The progress of reading the file `name`: shown by the host, which can
// cancel it.
core::Progress reading(Host& host, const std::string& name);

// Asks for a file ("Choose a file to load") and reads it as a row-format
// table; `fn` becomes the chosen file's name without its folder. Raises
// core::Error when the dialog is cancelled (nothing loaded) or the file
// cannot be read.
Eigen::MatrixXd mfload(Host& host, std::string& fn);

// Asks for a file ("Choose a file to load") and reads it as landmark data, a
// TPS or a row-format file by its content (io::readlandmarks). When the
// window's NegativeMissing box is ticked, every point with a negative
// coordinate is read as missing; when its ApplyScale box is ticked, each
// specimen is multiplied by its SCALE= (a specimen without one is refused
// by name). Missing landmarks are reported with the rule they were read
// by, on the console, in the results pane and on the status line ("FILE:
// 39 landmarks are missing in 13 specimens (-1 -1, NaN and NA are
// missing): ..."), followed by the reader's notes (a sidecar left out);
// nothing is said of a complete data set read by the usual rule without
// notes. Raises core::Error as mfload does.
core::Specimens loadlandmarks(Host& host, std::string_view filter = "*.*",
                              std::string_view title = "Choose a file to load");

// True when the window has an ApplyScale (NegativeMissing) box and it is
// ticked.
bool applyscale(Host& host);
bool negativemissing(Host& host);

// The TPS load of Anglepick and Restrain, first half: the dialog "Specify
// TPS file to load", a TPS or row-format file read by its content, scaled
// and its missing landmarks reported as loadlandmarks does, and FileBox
// saying what was loaded ("coordinates x SCALE=" added when scaled).
core::Specimens loadtpsbox(Host& host);

// Second half: the specimens superimposed on their principal axes and
// plotted afresh ("bo" specimens, "rv" consensus with its landmark
// numbers, in Procrustes units). Returns the superimposition.
core::Superimposition plotprincipal(Host& host, const Eigen::MatrixXd& raw);

} // namespace shell
