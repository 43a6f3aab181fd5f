#pragma once
// Landmark data sets from either of the suite's formats, told apart by
// their content rather than by their names: a TPS file (its first word is
// an "LM=" key) or a row-format file. Both come back as core::Specimens in
// the row layout with the size slot, each specimen with its identity and
// its missing landmarks as NaN.

#include "core/progress.h"
#include "core/data_set.h"
#include "io/options.h"

#include <string>

namespace io {

// True when a line of the file's first 64 KiB starts (after blanks and a
// byte order mark) with an "LM=" key in any case: a TPS file. A row file
// has no such line; a TPS file with something else before its first key
// is one too, and the TPS reader names what stands there.
bool istpsfile(const std::string& path);

// Reads a landmark data set. A TPS file gets the centroid sizes of its
// specimens (from the landmarks present) in the size slot; a row file is
// read as it stands, with the identities of its sidecar FILE.ids when the
// sidecar is that file's (io::joinids; the data set's notes say when a
// sidecar was left out, and why). Missing landmarks are read by the rule
// of `options`. Raises core::Error as readtpsfile and dload do.
core::Specimens readlandmarks(const std::string& path, const core::Progress& progress = {},
                              const ReadOptions& options = {});
core::Specimens readlandmarks(const std::string& path, const ReadOptions& options);

// Writes a data set as the window programs save one: the row format with
// six significant digits ("%g " per value, " \n" per row; or
// Precision::roundtrip), replacing the file; then its identities in
// FILE.ids when any specimen has key lines (core::Specimens::writtenkeys),
// and no FILE.ids otherwise; any FILE.estimated of an earlier save is
// removed (io::writeestimated writes the new one).
void writespecimens(const std::string& path, const core::Specimens& data, Precision precision = Precision::g6);

} // namespace io
