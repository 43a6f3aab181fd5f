#pragma once
// Which texts may name a field of a window's handles record: a control's
// Tag becomes a field only when it is a valid name.

#include <string_view>
#include <vector>

namespace shell {

// The 17 reserved words that can never be names.
const std::vector<std::string_view>& iskeyword();
// True when s is exactly one of them.
bool iskeyword(std::string_view s);

// True when s is a valid name: at most 31 characters, a letter first, then
// letters, digits and underscores, and not a reserved word.
bool isvarname(std::string_view s);

} // namespace shell
