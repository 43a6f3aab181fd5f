#pragma once
// Whole-file text input and output shared by the readers and writers of the
// landmark formats: a file is read in one piece, and a file is written in
// one piece so that a failure never leaves it half-written.

#include <string>
#include <string_view>

namespace io {

// The whole content of a file, without the UTF-8 byte-order mark that some
// editors put at its start. Raises core::Error naming the file when it
// cannot be opened or read, or is no regular file (a folder, a FIFO, a
// device), which would have no text, block or never end.
std::string readfile(const std::string& path);

enum class WriteMode {
  Replace, // "wt": the file holds only the new text afterwards
  Append,  // "at": the new text goes after whatever the file held
};

// Writes `text` to `path`, all or nothing. Replace writes a temporary file
// beside the target and renames it over the target (see Replacement), so
// readers never see a partial file; Append adds the text after the old end
// and, when any part of that fails, cuts the file back to its old length
// (removes it if the write made it). A symbolic link is written through to
// the file it points at. Raises core::Error naming the file on failure:
// an empty name, a folder, a FIFO, device or socket, a read-only file, a
// full disk.
void writefile(const std::string& path, std::string_view text, WriteMode mode);

// A replace-mode write in the making. The constructor checks the
// destination (as writefile does) and makes an empty temporary file with a
// short name in the folder of the file finally replaced (the target of a
// link), so that the rename is within one file system and a long file name
// still leaves room for it. The writer fills temporary() by name; commit()
// gives it the old file's mode and renames it over the target. Destroyed
// without a commit, it removes the temporary file, so a failed write leaves
// the old file untouched and nothing beside it.
class Replacement {
public:
  explicit Replacement(const std::string& path);
  ~Replacement();
  Replacement(const Replacement&) = delete;
  Replacement& operator=(const Replacement&) = delete;

  const std::string& temporary() const { return tmp_; }
  // Raises core::Error naming the destination when the rename fails, or
  // when `nonempty` and the temporary file holds no bytes.
  void commit(bool nonempty = false);

private:
  std::string path_;   // as the caller named it, for messages
  std::string target_; // the file replaced: path_ with its links followed
  std::string tmp_;
  unsigned mode_ = 0;  // the permission bits the new file takes
  bool keepmode_ = false;
  bool committed_ = false;
};

// Undoes the write in progress, if any: removes the temporary file of a
// replacement, or cuts an append back to the length the file had before it.
// Async-signal-safe, for a handler of SIGINT and SIGTERM that ends the
// process: whatever it interrupted then leaves no trace.
void undo_write_in_progress() noexcept;

// The 1-based line number of byte `offset` of `text`, counting LF, CR LF
// and lone CR as line ends; used to name the line of a reading error.
std::size_t line_of(std::string_view text, std::size_t offset);

} // namespace io
