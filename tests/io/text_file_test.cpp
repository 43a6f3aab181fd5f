// Writes are all or nothing whatever the destination: the file is either
// the new text or exactly what it was, and a destination that cannot take
// a file is refused by its name before anything is made.

#include "io/text_file.h"

#include "core/error.h"
#include "tests/support/test_support.h"

#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

using testsupport::error_of;
using testsupport::tempfile;
using testsupport::temppath;

namespace fs = std::filesystem;

namespace {

// A fresh empty folder, so that a stray temporary file shows.
fs::path folder(const std::string& name) {
  const fs::path p = temppath(name);
  fs::remove_all(p);
  fs::create_directories(p);
  return p;
}

std::vector<std::string> names(const fs::path& dir) {
  std::vector<std::string> out;
  for (const auto& e : fs::directory_iterator(dir)) out.push_back(e.path().filename().string());
  std::sort(out.begin(), out.end());
  return out;
}

unsigned mode(const fs::path& p) {
  struct stat st {};
  ::stat(p.c_str(), &st);
  return st.st_mode & 07777;
}

} // namespace

TEST(writefile, ReplaceKeepsTheModeAndLeavesNoTemporaryFile) {
  const fs::path dir = folder("replace-mode");
  const fs::path file = dir / "data.txt";
  io::writefile(file, "old\n", io::WriteMode::Replace);
  ::chmod(file.c_str(), 0640);
  io::writefile(file, "new\n", io::WriteMode::Replace);
  EXPECT_EQ(io::readfile(file), "new\n");
  EXPECT_EQ(mode(file), 0640u);
  EXPECT_EQ(names(dir), std::vector<std::string>{"data.txt"});
}

TEST(writefile, WritesThroughASymbolicLinkToItsTarget) {
  const fs::path dir = folder("replace-link");
  fs::create_directories(dir / "real");
  io::writefile(dir / "real" / "target.txt", "old\n", io::WriteMode::Replace);
  fs::create_symlink("real/target.txt", dir / "link.txt");
  io::writefile(dir / "link.txt", "new\n", io::WriteMode::Replace);
  EXPECT_TRUE(fs::is_symlink(dir / "link.txt"));
  EXPECT_EQ(io::readfile(dir / "real" / "target.txt"), "new\n");
  io::writefile(dir / "link.txt", "more\n", io::WriteMode::Append);
  EXPECT_TRUE(fs::is_symlink(dir / "link.txt"));
  EXPECT_EQ(io::readfile(dir / "real" / "target.txt"), "new\nmore\n");
  // The temporary file went beside the target, and went.
  EXPECT_EQ(names(dir / "real"), std::vector<std::string>{"target.txt"});
  EXPECT_EQ(names(dir), (std::vector<std::string>{"link.txt", "real"}));
}

TEST(writefile, RefusesDestinationsThatAreNotFilesByTheirName) {
  const fs::path dir = folder("special");
  const fs::path fifo = dir / "pipe";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
  const fs::path sub = dir / "sub";
  fs::create_directories(sub);
  const fs::path readonly = dir / "ro.txt";
  io::writefile(readonly, "kept\n", io::WriteMode::Replace);
  ::chmod(readonly.c_str(), 0444);
  for (const auto mode : {io::WriteMode::Replace, io::WriteMode::Append}) {
    EXPECT_EQ(error_of([&] { io::writefile(fifo, "x", mode); }),
              "Cannot write file '" + fifo.string() + "': it is a FIFO, not a regular file");
    EXPECT_EQ(error_of([&] { io::writefile(sub, "x", mode); }), "Cannot write file '" + sub.string() + "': it is a folder");
    EXPECT_EQ(error_of([&] { io::writefile("/dev/null", "x", mode); }),
              "Cannot write file '/dev/null': it is a device, not a regular file");
    EXPECT_EQ(error_of([&] { io::writefile(readonly, "x", mode); }),
              "Cannot write file '" + readonly.string() + "': it is read-only");
    EXPECT_EQ(error_of([&] { io::writefile("", "x", mode); }),
              "Cannot write a file with an empty name: a file name is needed");
  }
  EXPECT_TRUE(fs::is_fifo(fifo));
  EXPECT_EQ(io::readfile(readonly), "kept\n");
  EXPECT_EQ(mode(readonly), 0444u);
  EXPECT_EQ(names(dir), (std::vector<std::string>{"pipe", "ro.txt", "sub"}));
}

TEST(writefile, AReplacementOfALongFileNameFitsItsTemporaryFile) {
  const fs::path dir = folder("long-name");
  const fs::path file = dir / (std::string(246, 'n') + ".txt"); // 250 of the 255 bytes a name may take
  io::writefile(file, "old\n", io::WriteMode::Replace);
  io::writefile(file, "new\n", io::WriteMode::Replace);
  EXPECT_EQ(io::readfile(file), "new\n");
  EXPECT_EQ(names(dir).size(), 1u);
}

TEST(Replacement, LeavesTheOldFileWhenTheWriterGivesUp) {
  const fs::path dir = folder("given-up");
  const fs::path file = dir / "plot.png";
  io::writefile(file, "old picture", io::WriteMode::Replace);
  {
    io::Replacement r(file);
    EXPECT_EQ(fs::path(r.temporary()).parent_path(), dir);
    EXPECT_TRUE(fs::exists(r.temporary()));
    // An empty picture is no picture: refused, and nothing moved.
    EXPECT_EQ(error_of([&] { r.commit(true); }), "Cannot write file '" + file.string() + "': nothing was written to it");
  }
  EXPECT_EQ(io::readfile(file), "old picture");
  EXPECT_EQ(names(dir), std::vector<std::string>{"plot.png"});
}

TEST(undo_write_in_progress, RemovesTheTemporaryFileOfAnUnfinishedReplacement) {
  const fs::path dir = folder("undo");
  io::Replacement r(dir / "out.txt");
  io::undo_write_in_progress();
  EXPECT_TRUE(names(dir).empty());
}

TEST(readfile, SkipsAByteOrderMark) {
  EXPECT_EQ(io::readfile(tempfile("bom.txt", "\xEF\xBB\xBF" "1 2\n")), "1 2\n");
  EXPECT_EQ(io::readfile(tempfile("nobom.txt", "\xEF\xBB" "1\n")), "\xEF\xBB" "1\n");
}
