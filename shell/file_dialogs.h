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
Landmarks loadlandmarks(Host& host);

// True when the window has an ApplyScale box and it is ticked.
bool applyscale(Host& host);

// Multiplies every specimen's coordinates (and a TPS size slot) by its
// SCALE=; core::Error naming the first specimen without a usable one.
void scalespecimens(Eigen::MatrixXd& y, const core::Identities& ids, bool sizeslot, const std::string& fn);

// The console line of a load with missing landmarks, or nothing.
void reportmissing(Host& host, const std::string& fn, const core::MissingLandmarks& missing,
                   const core::Identities& ids);

// Asks for a TPS file ("Specify TPS file to load") and reads it, with the
// centroid size appended as the size slot when cs is true; scaled and its
// missing landmarks reported as loadlandmarks does. Raises core::Error
// when the dialog is cancelled or the file cannot be read.
core::TpsFile gettpsfile2(Host& host, bool cs);

// The TPS load of Anglepick and Restrain: asks for a TPS file, keeps its
// specimens with their centroid sizes in `raw` (kept even when a later
// step fails), reports the file in FileBox, superimposes the specimens on
// their principal axes and plots them ("bo"), the consensus ("rv") and
// the consensus's landmark numbers. Returns the superimposition.
core::Superimposition loadtpsplotted(Host& host, Eigen::MatrixXd& raw);

} // namespace shell
