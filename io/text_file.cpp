#include "io/text_file.h"

#include "core/error.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace io {

namespace {

namespace fs = std::filesystem;

std::string reason() { return errno != 0 ? std::strerror(errno) : "unknown error"; }

// Raises the error of a write that failed: `head` names the file, `why`
// says why (kept apart for callers that name the file in their own words).
[[noreturn]] void failwrite(const std::string& head, const std::string& why) {
  throw core::WriteError(head + ": " + why, why);
}

// The write in progress, for a signal handler that ends the process in the
// middle of it. Only plain data that the handler can read at any moment:
// the fields are filled before `pending` says which of them count, and
// `pending` is cleared before they change again.
volatile std::sig_atomic_t pending = 0; // 0 none, 1 a temporary file, 2 an append
char pendingpath[4096];
int pendingfd = -1;
off_t pendinglength = 0;
bool pendingcreated = false;

void note(int kind, const std::string& path, int fd, off_t length, bool created) {
  pending = 0;
  std::atomic_signal_fence(std::memory_order_seq_cst);
  if (path.size() >= sizeof pendingpath) return; // too long to be opened anyway
  std::memcpy(pendingpath, path.c_str(), path.size() + 1);
  pendingfd = fd;
  pendinglength = length;
  pendingcreated = created;
  std::atomic_signal_fence(std::memory_order_seq_cst);
  pending = kind;
}

void forget() {
  pending = 0;
  std::atomic_signal_fence(std::memory_order_seq_cst);
}

// Where a write to `path` really goes, checked before anything is made.
struct Destination {
  std::string target; // path with its symbolic links followed
  bool exists = false;
  struct stat st {};
};

// Why a file of this mode is no file to read or write whole, or "" for a
// regular file. A FIFO would block until some writer comes, a device such
// as /dev/zero never ends, and a folder has no text.
std::string notregular(mode_t mode) {
  const mode_t type = mode & S_IFMT;
  if (type == S_IFREG) return "";
  if (type == S_IFDIR) return "it is a folder";
  if (type == S_IFIFO) return "it is a FIFO, not a regular file";
  if (type == S_IFCHR || type == S_IFBLK) return "it is a device, not a regular file";
  return "it is not a regular file";
}

Destination destination(const std::string& path) {
  if (path.empty()) {
    const std::string message = "Cannot write a file with an empty name: a file name is needed";
    throw core::WriteError(message, message);
  }
  Destination d;
  d.target = path;
  for (int hops = 0;; ++hops) {
    errno = 0;
    if (::lstat(d.target.c_str(), &d.st) != 0) {
      // A name that does not exist yet is made; any other failure (a folder
      // on the way that is a file, a name too long) is the caller's to read.
      if (errno == ENOENT) return d;
      failwrite("Cannot open file '" + path + "' for writing", reason());
    }
    if (!S_ISLNK(d.st.st_mode)) break;
    // Write through a link to the file it names, so that the link stays a
    // link and its target takes the new content.
    if (hops == 40) failwrite("Cannot write file '" + path + "'", "it is a chain of too many symbolic links");
    std::error_code ec;
    const fs::path to = fs::read_symlink(d.target, ec);
    if (ec) failwrite("Cannot write file '" + path + "'", ec.message());
    d.target = (to.is_absolute() ? to : fs::path(d.target).parent_path() / to).string();
  }
  d.exists = true;
  const std::string name =
      "Cannot write file '" + path + "'" + (d.target != path ? " (a link to '" + d.target + "')" : std::string());
  if (const std::string why = notregular(d.st.st_mode); !why.empty()) failwrite(name, why);
  // Writing a file means the right to write it, not only its folder: a
  // read-only file stays as it is (the superuser too is held to its mode).
  if ((d.st.st_mode & 0222) == 0 || ::access(d.target.c_str(), W_OK) != 0) failwrite(name, "it is read-only");
  return d;
}

// Writes all of `text` to `fd`; "" when done, else why not.
std::string writeall(int fd, std::string_view text) {
  std::size_t done = 0;
  while (done < text.size()) {
    errno = 0;
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return reason();
    if (n == 0) return "the disk took " + std::to_string(done) + " of " + std::to_string(text.size()) + " bytes";
    done += static_cast<std::size_t>(n);
  }
  return "";
}

// A short name no other file in the folder has: a long file name still
// leaves room for it, and a dot hides it from a plain listing.
std::string temporaryname(const std::string& folder, unsigned attempt) {
  static unsigned counter = 0;
  auto x = static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
  x ^= (static_cast<unsigned long long>(::getpid()) << 32) + (++counter) * 0x9E3779B97F4A7C15ULL + attempt;
  std::string name = ".~tecto";
  for (int i = 0; i < 6; ++i, x /= 36) name += "0123456789abcdefghijklmnopqrstuvwxyz"[x % 36];
  return (folder.empty() ? std::string() : folder + "/") + name;
}

} // namespace

std::string readfile(const std::string& path) {
  errno = 0;
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0)
    if (const std::string why = notregular(st.st_mode); !why.empty())
      throw core::Error("Cannot read file '" + path + "': " + why);
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) throw core::Error("Cannot open file '" + path + "': " + reason());
  std::string text;
  char buffer[1 << 16];
  std::size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, got);
  const bool failed = std::ferror(f) != 0;
  std::fclose(f);
  if (failed) throw core::Error("Cannot read file '" + path + "': " + reason());
  if (text.starts_with("\xEF\xBB\xBF")) text.erase(0, 3);
  return text;
}

Replacement::Replacement(const std::string& path) : path_(path) {
  const Destination d = destination(path);
  target_ = d.target;
  keepmode_ = d.exists;
  mode_ = static_cast<unsigned>(d.st.st_mode & 07777);
  const std::string folder = fs::path(target_).parent_path().string();
  for (unsigned attempt = 0;; ++attempt) {
    tmp_ = temporaryname(folder, attempt);
    // Noted before it exists, so that an interruption at any moment after
    // the file is made finds it.
    note(1, tmp_, -1, 0, true);
    errno = 0;
    const int fd = ::open(tmp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      ::close(fd);
      return;
    }
    if (errno != EEXIST || attempt == 100) {
      const std::string why = reason();
      forget();
      tmp_.clear();
      failwrite("Cannot open file '" + path + "' for writing", why);
    }
  }
}

Replacement::~Replacement() {
  if (!committed_ && !tmp_.empty()) {
    ::unlink(tmp_.c_str());
    forget();
  }
}

void Replacement::commit(bool nonempty) {
  struct stat st {};
  errno = 0;
  if (::stat(tmp_.c_str(), &st) != 0) failwrite("Cannot write file '" + path_ + "'", reason());
  if (nonempty && st.st_size == 0) failwrite("Cannot write file '" + path_ + "'", "nothing was written to it");
  // The new file takes the old one's permissions (and owner, where that is
  // allowed), so a replacement changes the content only.
  if (keepmode_) {
    ::chmod(tmp_.c_str(), static_cast<mode_t>(mode_));
    struct stat old {};
    if (::stat(target_.c_str(), &old) == 0 && (old.st_uid != st.st_uid || old.st_gid != st.st_gid))
      if (::chown(tmp_.c_str(), old.st_uid, old.st_gid) != 0) {
        // Not allowed: the file is ours now, with the old mode.
      }
  }
  errno = 0;
  if (::rename(tmp_.c_str(), target_.c_str()) != 0) failwrite("Cannot write file '" + path_ + "'", reason());
  committed_ = true;
  forget();
}

void writefile(const std::string& path, std::string_view text, WriteMode mode) {
  if (mode == WriteMode::Replace) {
    Replacement r(path);
    errno = 0;
    const int fd = ::open(r.temporary().c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0) failwrite("Cannot open file '" + path + "' for writing", reason());
    std::string why = writeall(fd, text);
    errno = 0;
    if (why.empty() && ::fsync(fd) != 0 && errno != EINVAL) why = reason();
    errno = 0;
    if (::close(fd) != 0 && why.empty()) why = reason();
    if (!why.empty()) failwrite("Cannot write file '" + path + "'", why);
    r.commit();
    return;
  }

  // Append: the old end is remembered, and anything after it goes again
  // when the write does not complete.
  const Destination d = destination(path);
  const bool created = !d.exists;
  errno = 0;
  const int fd = created ? ::open(d.target.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_EXCL | O_CLOEXEC, 0666)
                         : ::open(d.target.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
  if (fd < 0) failwrite("Cannot open file '" + path + "' for writing", reason());
  struct stat st {};
  ::fstat(fd, &st);
  const off_t old = created ? 0 : st.st_size;
  note(2, d.target, fd, old, created);
  std::string why = writeall(fd, text);
  const auto cutback = [&] {
    if (created) ::unlink(d.target.c_str());
    else if (::truncate(d.target.c_str(), old) != 0) why += "; and it could not be cut back to its old length";
  };
  errno = 0;
  if (why.empty() && ::fsync(fd) != 0 && errno != EINVAL) why = reason();
  if (!why.empty()) cutback();
  errno = 0;
  if (::close(fd) != 0 && why.empty()) {
    why = reason();
    cutback();
  }
  forget();
  if (!why.empty()) failwrite("Cannot write file '" + path + "'", why);
}

void undo_write_in_progress() noexcept {
  const int kind = pending;
  if (kind == 1 || (kind == 2 && pendingcreated)) ::unlink(pendingpath);
  else if (kind == 2) (void)::ftruncate(pendingfd, pendinglength);
  pending = 0;
}

std::size_t line_of(std::string_view text, std::size_t offset) {
  std::size_t line = 1;
  for (std::size_t i = 0; i < offset && i < text.size(); ++i) {
    if (text[i] == '\n') ++line;
    else if (text[i] == '\r' && (i + 1 >= text.size() || text[i + 1] != '\n')) ++line;
  }
  return line;
}

} // namespace io
