#pragma once
// The sidecars of a row-format data file: files beside it, named after it,
// that keep what the row format has no room for.
//
//  - FILE.ids joins the rows to their specimens: one line per row, the
//    specimen's key lines (ID=..., IMAGE=..., SCALE=...) separated by tabs
//    (an empty line for a specimen without any); a tab or a backslash
//    within a key line is written \t or \\.
//  - FILE.estimated tells the estimated landmarks from the measured ones:
//    one line per estimated landmark, "ROW LANDMARK METHOD" (both numbered
//    from 1), e.g. "12 5 tps".
//
// Each starts with two comment lines: the first says whose it is,
//
//   % sidecar of 'FILE': 60 rows, checksum 8d3a5c0e1f2b4a67
//
// (the checksum is the 64-bit FNV-1a of the data file's bytes), the
// second what its lines hold. A reader that skips comment lines (as every
// earlier version of the suite does) reads the rest as before. A sidecar
// is used only when its rows and checksum are those of its data file, so a
// sidecar left from an earlier save of the same name never names other
// specimens; a save of rows rewrites or removes both.

#include "core/identities.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace io {

std::string idspath(const std::string& datapath);
std::string estimatedpath(const std::string& datapath);

// The 64-bit FNV-1a hash of the bytes, as 16 lower-case hex digits.
std::string checksum(std::string_view text);

// Whose a sidecar is: its data file's rows (as dload counts them), the
// checksum of its text, and its name without the folder.
struct SidecarOf {
  std::size_t rows = 0;
  std::string checksum;
  std::string name;
};
// The data file at `datapath` as it is on disk; core::Error when it cannot
// be read.
SidecarOf sidecarof(const std::string& datapath);
// The data file of a sidecar's text, from its first line; nothing for a
// sidecar without one (written by hand, or by an earlier version).
std::optional<SidecarOf> whose(std::string_view sidecar);

std::string formatids(const core::Identities& ids, const SidecarOf& of);
// Writes FILE.ids for the data file as it is on disk, all or nothing; for
// identities without a key line, removes any FILE.ids instead.
void writeids(const std::string& datapath, const core::Identities& ids);
// The identities of a sidecar's text; core::Error naming the sidecar for
// a line that is not key lines, or that holds two SCALE= lines. Escapes
// are read in a sidecar that says whose it is (earlier ones had none).
core::Identities parseids(const std::string& text, const std::string& path);

// The identities FILE.ids gives the `rows` rows of `datapath`, and what a
// load report should say about it: nothing when
// there is no sidecar; the identities when it is this file's; none, with a
// note saying why, when it is another's (other rows or other contents, or
// a sidecar without a first line whose line count differs).
struct JoinedIds {
  core::Identities ids;
  std::vector<std::string> notes;
};
JoinedIds joinids(const std::string& datapath, std::size_t rows);

std::string formatestimated(const std::vector<core::EstimatedLandmark>& estimated, const SidecarOf& of);
// Writes FILE.estimated for the data file as it is on disk: always, the
// comment lines alone when nothing was estimated. Raises core::Error
// naming the file when it cannot be written.
void writeestimated(const std::string& datapath, const std::vector<core::EstimatedLandmark>& estimated);

// Removes FILE.ids and FILE.estimated, if there are any.
void removesidecars(const std::string& datapath);

} // namespace io
