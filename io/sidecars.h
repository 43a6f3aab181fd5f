#pragma once
// The sidecars of a row-format data file: files beside it, named after it,
// that keep what the row format has no room for.
//
//  - FILE.ids joins the rows to their specimens: a comment line and then
//    one line per row, the specimen's key lines (ID=..., IMAGE=...,
//    SCALE=...) separated by tabs (an empty line for a specimen without
//    any).
//  - FILE.estimated tells the estimated landmarks from the measured ones:
//    a comment line and then one line per estimated landmark, "ROW
//    LANDMARK METHOD" (both numbered from 1), e.g. "12 5 tps".

#include "core/identities.h"

#include <string>
#include <vector>

namespace io {

std::string idspath(const std::string& datapath);
std::string formatids(const core::Identities& ids);
// Writes FILE.ids, all or nothing; nothing is written for identities
// without a key line.
void writeids(const std::string& datapath, const core::Identities& ids);
// The identities of a sidecar's text; core::Error naming the sidecar for
// a line that is not key lines.
core::Identities parseids(const std::string& text, const std::string& path);

std::string estimatedpath(const std::string& datapath);
std::string formatestimated(const std::vector<core::EstimatedLandmark>& estimated);
// Writes FILE.estimated: always, a comment line alone when nothing was
// estimated, so that an old list never outlives its data. Raises
// core::Error naming the file when it cannot be written.
void writeestimated(const std::string& datapath, const std::vector<core::EstimatedLandmark>& estimated);

} // namespace io
