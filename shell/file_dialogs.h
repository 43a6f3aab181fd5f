#pragma once
// Loading data through a file dialog: the row-format loader and the TPS
// loader as the programs' actions use them.

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

// Asks for a TPS file ("Specify TPS file to load") and reads it, with the
// centroid size appended as the size slot when cs is true. Raises core::Error
// when the dialog is cancelled or the file cannot be read.
core::TpsFile gettpsfile2(Host& host, bool cs);

// The TPS load of Anglepick and Restrain: asks for a TPS file, keeps its
// specimens with their centroid sizes in `raw` (kept even when a later
// step fails), reports the file in FileBox, superimposes the specimens on
// their principal axes and plots them ("bo"), the consensus ("rv") and
// the consensus's landmark numbers. Returns the superimposition.
core::Superimposition loadtpsplotted(Host& host, Eigen::MatrixXd& raw);

} // namespace shell
