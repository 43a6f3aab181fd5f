#pragma once
// Where a program finds the user's guide: the installed copy (the guide
// and its pictures under share/doc/tectomorph of the program's install
// prefix, found relative to the program so that an installed tree can be
// moved), else the source tree's docs/ for a program run from its build.

#include <filesystem>
#include <optional>

namespace shell {

// The guide of a program in `programdir`: programdir/<installed docs>/
// guide.md if it exists, else sourcedocs/guide.md if that exists, else
// nothing.
std::optional<std::filesystem::path> findguide(const std::filesystem::path& programdir,
                                               const std::filesystem::path& sourcedocs);

// The guide of the running program (the source tree is the one it was
// built from).
std::optional<std::filesystem::path> guidepath();

} // namespace shell
