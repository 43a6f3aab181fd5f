#include "shell/names.h"

#include <algorithm>

namespace shell {

const std::vector<std::string_view>& iskeyword() {
  static const std::vector<std::string_view> words{"break",    "case",   "catch",     "continue",   "else",  "elseif",
                                                   "end",      "for",    "function",  "global",     "if",    "otherwise",
                                                   "persistent", "return", "switch", "try", "while"};
  return words;
}

bool iskeyword(std::string_view s) {
  const auto& words = iskeyword();
  return std::find(words.begin(), words.end(), s) != words.end();
}

bool isvarname(std::string_view s) {
  const auto letter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
  const auto digit = [](char c) { return c >= '0' && c <= '9'; };
  if (s.empty() || s.size() > 31 || !letter(s.front())) return false;
  for (char c : s)
    if (!letter(c) && !digit(c) && c != '_') return false;
  return !iskeyword(s);
}

} // namespace shell
