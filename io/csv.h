#pragma once
// Comma-separated values as RFC 4180 has them, for tables that open in R,
// Python or a spreadsheet without options: records end in CR LF, fields
// are separated by commas, and a field holding a comma, a double quote, a
// CR or an LF is put in double quotes with its own quotes doubled. Numbers
// are written in the shortest form that reads back as the same double.

#include "core/data_set.h"

#include <string>
#include <string_view>
#include <vector>

namespace io {

// The record separator of every file written here.
inline constexpr std::string_view csvlineend = "\r\n";

// A text field; `quote` puts it in quotes even when it needs none (an ID
// such as 007 or 1e3 then stays text in a spreadsheet).
std::string csvtext(std::string_view text, bool quote = false);

// A number in the shortest decimal form that reads back as the same
// double ("0.1", "1e-300", "1e+06", "-2.5"); an empty field for NaN (a value that
// is missing), "Inf" and "-Inf" for the infinities, as R reads them.
std::string csvnumber(double value);

// One record from fields already made by csvtext or csvnumber, with its
// line end.
std::string csvrecord(const std::vector<std::string>& fields);

// Whether a file name ends in .csv (any case): the name that asks for CSV.
bool iscsvname(const std::string& path);

// A landmark data set as CSV: the header "specimen","ID","x1","y1", ...,
// "size", then one record per specimen with its number from 1, its ID
// (always quoted; empty for none), its coordinates and its size slot,
// every value with all its digits and a missing one empty.
std::string formatspecimenscsv(const core::Specimens& data);
// Writes it to `path`, replacing the file all or nothing (no sidecar: the
// IDs are in the file). Raises core::Error naming the file on failure.
void writespecimenscsv(const std::string& path, const core::Specimens& data);

} // namespace io
