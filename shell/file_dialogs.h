#pragma once
// Loading data through a file dialog: the row-format loader and the TPS
// loader as the programs' actions use them.

#include "core/landmark_file.h"
#include "core/procrustes.h"
#include "core/tps_file.h"
#include "shell/host.h"

#include <Eigen/Core>
#include <string>

namespace shell {

struct Loaded {
  Eigen::MatrixXd y;
  std::string fn; // the chosen file's name without its folder
};

// Asks for a file ("Enter file to Load?") and reads it as a row-format
// file. Raises core::Error when the dialog is cancelled (nothing loaded) or
// the file cannot be read.
Loaded mfload(Host& host);

// A landmark data set as a program loads it: the row layout with the size
// slot, whatever the file's format, with its specimens' identities and
// where landmarks are missing.
struct Landmarks {
  Eigen::MatrixXd y;
  std::string fn; // the chosen file's name without its folder
  core::Identities ids;
  core::MissingLandmarks missing;
  bool tps = false;
  bool scaled = false; // coordinates multiplied by each specimen's SCALE=
};

// Asks for a file ("Enter file to Load?") and reads it as landmark data, a
// TPS or a row-format file by its content (core::readlandmarks). When the
// window's ApplyScale box is ticked, each specimen is multiplied by its
// SCALE= (a specimen without one is refused by name). Missing landmarks
// are reported on the console ("FILE: 39 landmarks are missing in 13
// specimens: ..."); nothing is said when none is. Raises core::Error as
// mfload does.
Landmarks loadlandmarks(Host& host, std::string_view filter = "*.*", std::string_view title = "Enter file to Load?");

// True when the window has an ApplyScale box and it is ticked.
bool applyscale(Host& host);

// Multiplies every specimen's coordinates (and a TPS size slot) by its
// SCALE=; core::Error naming the first specimen without a usable one.
void scalespecimens(Eigen::MatrixXd& y, const core::Identities& ids, bool sizeslot, const std::string& fn);

// The line of a load with missing landmarks (console, results pane and
// status line), or nothing.
void reportmissing(Host& host, const std::string& fn, const core::MissingLandmarks& missing,
                   const core::Identities& ids);

// Asks for a TPS file ("Specify TPS file to load") and reads it, with the
// centroid size appended as the size slot when cs is true; scaled and its
// missing landmarks reported as loadlandmarks does. Raises core::Error
// when the dialog is cancelled or the file cannot be read.
core::TpsFile gettpsfile2(Host& host, bool cs);

// The TPS load of Anglepick and Restrain, first half: the dialog "Specify
// TPS file to load", a TPS or row-format file read by its content, scaled
// and its missing landmarks reported as loadlandmarks does, and FileBox
// saying what was loaded ("coordinates x SCALE=" added when scaled).
Landmarks loadtpsbox(Host& host);

// Second half: the specimens superimposed on their principal axes and
// plotted afresh ("bo" specimens, "rv" consensus with its landmark
// numbers, in Procrustes units). Returns the superimposition.
core::Superimposition plotprincipal(Host& host, const Eigen::MatrixXd& raw);

} // namespace shell
