#pragma once
// Landmark data sets from either of the suite's formats, told apart by
// their content rather than by their names: a TPS file (its first word is
// an "LM=" key) or a row-format file. Both come back as core::Specimens in
// the row layout with the size slot, each specimen with its identity and
// its missing landmarks as NaN.

#include "core/progress.h"
#include "core/specimens.h"

#include <string>

namespace io {

// True when the file's first word (after blanks, blank lines and a byte
// order mark) is an "LM=" key in any case: a TPS file.
bool istpsfile(const std::string& path);

// Reads a landmark data set. A TPS file gets the centroid sizes of its
// specimens (from the landmarks present) in the size slot; a row file is
// read as it stands, with the identities of its sidecar FILE.ids when
// there is one of as many lines as the file has rows. Raises core::Error as
// readtpsfile and dload do.
core::Specimens readlandmarks(const std::string& path, const core::Progress& progress = {});

// Writes a data set as the window programs save one: the row format with
// six significant digits ("%g " per value, " \n" per row), replacing the
// file, and its identities in FILE.ids when any specimen has key lines.
void writespecimens(const std::string& path, const core::Specimens& data);

} // namespace io
