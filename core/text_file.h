#pragma once
// Whole-file text input and output shared by the readers and writers of the
// landmark formats: a file is read in one piece, and a file is written in
// one piece so that a failure never leaves it half-written.

#include <string>
#include <string_view>

namespace core {

// The whole content of a file. Raises core::Error naming the file when it
// cannot be opened or read.
std::string readfile(const std::string& path);

enum class WriteMode {
  Replace, // "wt": the file holds only the new text afterwards
  Append,  // "at": the new text goes after whatever the file held
};

// Writes `text` to `path`. Replace writes a temporary file beside the target
// and renames it over the target, so readers never see a partial file;
// Append adds the text in one write. Raises core::Error naming the file on
// failure.
void writefile(const std::string& path, std::string_view text, WriteMode mode);

// The 1-based line number of byte `offset` of `text`, counting LF, CR LF
// and lone CR as line ends; used to name the line of a reading error.
std::size_t line_of(std::string_view text, std::size_t offset);

} // namespace core
