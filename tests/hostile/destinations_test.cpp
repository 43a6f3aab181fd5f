// Special destinations for every writer: read-only files, symbolic links,
// FIFOs, devices, folders, an empty name, a name of 246 characters, and a
// full disk. A save either replaces the file's content (through a link, to
// its target; keeping the file's mode) or is refused by name and leaves
// every file exactly as it was, with no temporary file left behind.

#include "tests/hostile/hostile.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <sys/stat.h>

namespace {

namespace fs = hostile::fs;

std::string example(const std::string& name) { return hostile::example(name); }

// The writers, each on a destination called X in its script. Symrestore
// saves a set undeformed by uniform components, its quickest pair-based
// result, so that the cases stay quick in sanitized builds too.
const std::string symsave = "LoadData " + example("deformed_sample/deformed.txt") + "\nLoadProto " +
                            example("deformed_sample/pairs.txt") + "\nUndeformUni\nSave X\n";
const std::string anglesave = "LoadData " + example("deformed_sample/deformed.tps") + "\nLoadProto " +
                              example("deformed_sample/protocol.txt") + "\nSaveData X\n";
const std::string tectappend = "Load1 " + example("tectsim/start.txt") + "\nLoad2 " + example("tectsim/end.txt") +
                               "\nset NumBox 100\nBuildModels\nSaveCData X\n";
const std::string plotsave = "LoadData " + example("deformed_sample/deformed.tps") + "\nplot X\n";
// The results window holds a report to append only after the statistics.
const std::string auxsave = "Load1 " + example("tectsim/start.txt") + "\nLoad2 " + example("tectsim/end.txt") +
                            "\nset NumBox 20\nBuildModels\nDoStats\nAuxBoxsw X\n";

std::string on(std::string script, const std::string& file) {
  const std::size_t at = script.rfind(" X\n");
  return script.replace(at, 3, " " + file + "\n");
}

std::size_t lines(const std::string& text) { return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')); }

// Every entry of a folder as it stands: type, mode, a link's target, a
// file's bytes. A refusal must leave this exactly as it was.
std::map<std::string, std::string> snapshot(const fs::path& folder) {
  std::map<std::string, std::string> s;
  for (const auto& e : fs::recursive_directory_iterator(folder)) {
    struct stat st {};
    ::lstat(e.path().c_str(), &st);
    std::string what = std::to_string(st.st_mode);
    if (S_ISLNK(st.st_mode)) what += " -> " + fs::read_symlink(e.path()).string();
    else if (S_ISREG(st.st_mode)) what += " " + hostile::read(e.path());
    s[fs::relative(e.path(), folder).string()] = what;
  }
  return s;
}

std::string leftovers(const fs::path& folder) {
  for (const auto& e : fs::recursive_directory_iterator(folder))
    if (e.path().filename().string().starts_with(".~tecto")) return "a temporary file was left: " + e.path().string();
  return "";
}

struct Destination {
  std::string name;
  std::string program;
  std::function<void(const fs::path&)> setup; // lays out the folder
  std::string script;
  bool refused = true;
  std::vector<std::string> culprit = {};                          // refused: what standard error names
  std::function<std::string(const fs::path&)> check = {};         // accepted: "" when right
};

std::string printable(const std::string& name) {
  hostile::Case c;
  c.name = name;
  return hostile::testname(c);
}

std::string judge(const Destination& d) {
  const fs::path folder = hostile::scratch(printable(d.name));
  d.setup(folder);
  hostile::write(folder / "case.script", d.script);
  const auto before = snapshot(folder);
  const hostile::Outcome o = hostile::run(d.program, {"--quiet", "--seed", "1", "--run", "case.script"}, folder);
  const std::string said = "\n-- stderr:\n" + o.err.substr(0, 600);
  if (!o.finished || o.signalled) return "did not end by itself" + said;
  if (std::string why = leftovers(folder); !why.empty()) return why + said;
  if (d.refused) {
    if (o.status != 1) return "exit status " + std::to_string(o.status) + ", expected 1" + said;
    for (const auto& c : d.culprit)
      if (o.err.find(c) == std::string::npos) return "standard error does not name '" + c + "'" + said;
    if (snapshot(folder) != before) return "the refusal changed the folder" + said;
    return "";
  }
  if (o.status != 0) return "exit status " + std::to_string(o.status) + ", expected 0" + said;
  return d.check ? d.check(folder) + (d.check(folder).empty() ? "" : said) : "";
}

void file(const fs::path& p, const std::string& text, fs::perms mode = fs::perms::owner_read | fs::perms::owner_write) {
  hostile::write(p, text);
  fs::permissions(p, mode);
}

auto readonly(const std::string& name) {
  return [name](const fs::path& f) { file(f / name, "old content\n", fs::perms::owner_read | fs::perms::group_read); };
}
auto fifo(const std::string& name) {
  return [name](const fs::path& f) { ::mkfifo((f / name).c_str(), 0644); };
}
auto folder(const std::string& name) {
  return [name](const fs::path& f) { fs::create_directories(f / name / "inside"); };
}
auto link(const std::string& name, const std::string& old = "old content\n") {
  return [name, old](const fs::path& f) {
    fs::create_directories(f / "real");
    file(f / "real" / name, old);
    fs::create_symlink("real/" + name, f / name);
  };
}
auto nothing() {
  return [](const fs::path&) {};
}

// Accepted through a link: the link stays, its target took the text.
auto throughlink(const std::string& name, std::function<bool(const std::string&)> good) {
  return [name, good](const fs::path& f) -> std::string {
    if (!fs::is_symlink(f / name)) return name + " is no longer a symbolic link";
    return good(hostile::read(f / "real" / name)) ? "" : "the link's target does not hold the new content";
  };
}

const std::string longname = std::string(246, 'n');

std::vector<Destination> table() {
  return {
      {"Symrestore Save onto a read-only file", "symrestore", readonly("ro.txt"), on(symsave, "ro.txt"), true,
       {"ro.txt': it is read-only"}},
      {"Anglepick SaveData onto a read-only file", "anglepick", readonly("ro.txt"), on(anglesave, "ro.txt"), true,
       {"ro.txt': it is read-only"}},
      {"Tectsim append onto a read-only file", "tectsim", readonly("ro.txt"), on(tectappend, "ro.txt"), true,
       {"ro.txt': it is read-only"}},
      {"Plot onto a read-only picture", "anglepick", readonly("ro.png"), on(plotsave, "ro.png"), true,
       {"Cannot write the plot to", "ro.png': it is read-only"}},
      {"Symrestore Save onto a symbolic link", "symrestore", link("l.txt"), on(symsave, "l.txt"), false, {},
       throughlink("l.txt", [](const std::string& t) { return lines(t) == 60; })},
      {"Tectsim append onto a symbolic link", "tectsim", link("l.txt", "1 2\n"), on(tectappend, "l.txt"), false, {},
       throughlink("l.txt", [](const std::string& t) { return t.starts_with("1 2\n") && lines(t) == 101; })},
      {"Plot SVG onto a symbolic link", "anglepick", link("l.svg"), on(plotsave, "l.svg"), false, {},
       throughlink("l.svg", [](const std::string& t) { return t.find("<svg") != std::string::npos; })},
      {"Symrestore Save onto a FIFO", "symrestore", fifo("p.txt"), on(symsave, "p.txt"), true,
       {"p.txt': it is a FIFO, not a regular file"}},
      {"Tectsim append onto a FIFO", "tectsim", fifo("p.txt"), on(tectappend, "p.txt"), true,
       {"p.txt': it is a FIFO, not a regular file"}},
      {"Plot onto a FIFO", "anglepick", fifo("p.pdf"), on(plotsave, "p.pdf"), true, {"p.pdf': it is a FIFO"}},
      {"Results window save onto a FIFO", "tectsim", fifo("p.txt"), on(auxsave, "p.txt"), true, {"p.txt': it is a FIFO"}},
      {"Symrestore Save onto a folder", "symrestore", folder("d.txt"), on(symsave, "d.txt"), true,
       {"d.txt': it is a folder"}},
      {"Plot onto a folder", "anglepick", folder("d.png"), on(plotsave, "d.png"), true, {"d.png': it is a folder"}},
      {"Anglepick SaveData onto a device", "anglepick", nothing(), on(anglesave, "/dev/full"), true,
       {"'/dev/full': it is a device, not a regular file"}},
      {"Tectsim append onto a device", "tectsim", nothing(), on(tectappend, "/dev/full"), true,
       {"'/dev/full': it is a device"}},
      {"Symrestore Save with an empty name", "symrestore", nothing(), on(symsave, "\"\""), true,
       {"The file name for \"File Name for Undeformed Dataset\" is empty"}},
      {"Symrestore Save onto a 246 character name", "symrestore",
       [](const fs::path& f) { file(f / (longname + ".txt"), "old\n"); }, on(symsave, longname + ".txt"), false, {},
       [](const fs::path& f) {
         return lines(hostile::read(f / (longname + ".txt"))) == 60 ? "" : "the long-named file was not replaced";
       }},
      {"Plot PDF onto a 246 character name", "anglepick",
       [](const fs::path& f) { file(f / (longname + ".pdf"), "old\n"); }, on(plotsave, longname + ".pdf"), false, {},
       [](const fs::path& f) {
         return hostile::read(f / (longname + ".pdf")).starts_with("%PDF") ? "" : "the long-named PDF was not replaced";
       }},
      {"Symrestore Save keeps the mode of the file it replaces", "symrestore",
       [](const fs::path& f) { file(f / "m.txt", "old\n", fs::perms::owner_read | fs::perms::owner_write); },
       on(symsave, "m.txt"), false, {},
       [](const fs::path& f) {
         return fs::status(f / "m.txt").permissions() == (fs::perms::owner_read | fs::perms::owner_write)
                    ? ""
                    : "the mode of m.txt changed";
       }},
  };
}

class destinations : public ::testing::TestWithParam<Destination> {};

TEST_P(destinations, ReachesItsVerdict) { EXPECT_EQ(judge(GetParam()), ""); }

INSTANTIATE_TEST_SUITE_P(cases, destinations, ::testing::ValuesIn(table()),
                         [](const auto& info) { return printable(info.param.name); });

// A full disk: the program runs in its own mount namespace with a 64 KB
// tmpfs as its folder, filled to leave 8 KB, so every save starts and then
// runs out of room. The old file must come through byte for byte.
struct FullDisk {
  std::string name, program, script, file, old;
};

TEST(fulldisk, EverySaveLeavesTheOldFileAsItWas) {
  const std::string tps = example("deformed_sample/deformed.tps");
  std::string oldrows;
  for (int i = 0; i < 3; ++i) oldrows += "1.000000 2.000000 3.000000\n";
  const std::vector<FullDisk> cases = {
      {"replace", "symrestore", on(symsave, "data.txt"), "data.txt", "old rows\n"},
      {"append", "tectsim", on(tectappend, "clean.txt"), "clean.txt", oldrows},
      {"png", "anglepick", on(plotsave, "plot.png"), "plot.png", "an old picture"},
      {"pdf", "anglepick", on(plotsave, "plot.pdf"), "plot.pdf", "%PDF an old picture"},
      {"svg", "anglepick", on(plotsave, "plot.svg"), "plot.svg", "<svg>an old picture</svg>"},
  };
  for (const FullDisk& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path root = hostile::scratch("fulldisk-" + c.name);
    fs::create_directories(root / "disk");
    fs::create_directories(root / "after");
    hostile::write(root / c.file, c.old);
    hostile::write(root / "case.script", c.script);
    const std::string program = std::string(TECTO_BIN_DIR) + "/" + c.program;
    const std::string sh =
        "mount -t tmpfs -o size=64k tmpfs disk 2>/dev/null || { echo 'NOMOUNT' >&2; exit 77; }\n"
        "cp '" + c.file + "' disk/ && cd disk || exit 78\n"
        "dd if=/dev/zero of=filler bs=4096 count=100 2>/dev/null\n"
        "truncate -s -8192 filler\n"
        "'" + program + "' --quiet --seed 1 --run ../case.script; status=$?\n"
        "for f in * .[!.]*; do [ -e \"$f\" ] && [ \"$f\" != filler ] && cp -a \"$f\" ../after/; done\n"
        "exit $status\n";
    QProcess p;
    p.setWorkingDirectory(QString::fromStdString(root.string()));
    p.start("unshare", {"-rm", "sh", "-c", QString::fromStdString(sh)});
    if (!p.waitForStarted(-1)) GTEST_SKIP() << "unshare cannot be started, so no disk can be filled";
    ASSERT_TRUE(p.waitForFinished(-1));
    const std::string err = p.readAllStandardError().toStdString();
    if (p.exitCode() == 77 || err.find("unshare:") != std::string::npos)
      GTEST_SKIP() << "no private tmpfs can be mounted here (" << err << ")";
    EXPECT_EQ(p.exitCode(), 1) << err;
    EXPECT_NE(err.find(c.file), std::string::npos) << err;
    EXPECT_TRUE(err.find("No space left on device") != std::string::npos ||
                err.find("not written whole") != std::string::npos)
        << err;
    EXPECT_EQ(hostile::read(root / "after" / c.file), c.old) << err;
    EXPECT_EQ(leftovers(root / "after"), "");
  }
}

} // namespace
