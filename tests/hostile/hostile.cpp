#include "tests/hostile/hostile.h"

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace hostile {

namespace {

struct Folder {
  fs::path root;
  Folder() {
    root = fs::temp_directory_path() / ("tecto-hostile-" + std::to_string(getpid()));
    fs::create_directories(root);
  }
  ~Folder() {
    std::error_code ec;
    // Cases make read-only files and folders; give the owner write back
    // so that everything can go.
    for (auto it = fs::recursive_directory_iterator(root, ec); it != fs::recursive_directory_iterator(); ++it)
      fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(root, ec);
  }
};

std::string clip(const std::string& s) { return s.size() > 600 ? s.substr(0, 600) + "…" : s; }

} // namespace

fs::path scratch(const std::string& name) {
  static Folder folder;
  static int count = 0;
  fs::path p = folder.root / (std::to_string(++count) + "-" + name.substr(0, 40));
  fs::create_directories(p);
  return p;
}

std::string read(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void write(const fs::path& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

std::string example(const std::string& relative) { return std::string(TECTO_EXAMPLES_DIR) + "/" + relative; }

Outcome run(const std::string& program, const std::vector<std::string>& args, const fs::path& folder,
            const std::string& input) {
  QProcess p;
  p.setWorkingDirectory(QString::fromStdString(folder.string()));
  p.setProgram(QString::fromStdString(std::string(TECTO_BIN_DIR) + "/" + program));
  QStringList list;
  for (const auto& a : args) list << QString::fromStdString(a);
  p.setArguments(list);
  p.start();
  Outcome o;
  if (!p.waitForStarted(-1)) return o;
  p.write(QByteArray::fromStdString(input));
  p.closeWriteChannel();
  if (!p.waitForFinished(-1)) return o;
  o.finished = true;
  o.signalled = p.exitStatus() != QProcess::NormalExit;
  o.status = p.exitCode();
  o.out = p.readAllStandardOutput().toStdString();
  o.err = p.readAllStandardError().toStdString();
  return o;
}

std::string judge(const Case& c) {
  const fs::path folder = scratch(testname(c));
  for (const auto& [name, text] : c.files) write(folder / name, text);
  std::map<std::string, std::string> before;
  for (const auto& entry : fs::recursive_directory_iterator(folder))
    if (entry.is_regular_file()) before[entry.path().string()] = read(entry.path());

  std::vector<std::string> args = c.args;
  if (!c.script.empty()) {
    write(folder / "case.script", c.script);
    args.insert(args.end(), {"--quiet", "--run", "case.script"});
  }
  const Outcome o = run(c.program, args, folder, c.input);
  const std::string said = "\n-- stdout:\n" + clip(o.out) + "\n-- stderr:\n" + clip(o.err);
  if (!o.finished) return "did not run to its end" + said;
  if (o.signalled) return "ended by a signal (a crash)" + said;

  if (c.verdict != Verdict::Refused) {
    const int expected = c.verdict == Verdict::Accepted ? 0 : 2;
    if (o.status != expected)
      return "exit status " + std::to_string(o.status) + ", expected " + std::to_string(expected) + said;
    for (const auto& text : c.culprit)
      if (o.err.find(text) == std::string::npos) return "standard error does not name '" + text + "'" + said;
    if (c.check) {
      std::string why = c.check(folder, o);
      if (!why.empty()) return why + said;
    }
    return "";
  }
  if (o.status != 1) return "exit status " + std::to_string(o.status) + ", expected 1 (a refusal)" + said;
  for (const auto& text : c.culprit)
    if (o.err.find(text) == std::string::npos) return "standard error does not name '" + text + "'" + said;
  for (const auto& [path, text] : before) {
    if (path.ends_with("case.script")) continue;
    if (!fs::exists(path)) return "the refusal removed " + path + said;
    if (read(path) != text) return "the refusal changed " + path + said;
  }
  return "";
}

void PrintTo(const Case& c, std::ostream* os) { *os << '"' << c.name << '"'; }

std::string testname(const Case& c) {
  std::string s;
  for (char ch : c.name)
    if (std::isalnum(static_cast<unsigned char>(ch))) s += ch;
  return s.empty() ? "case" : s;
}

} // namespace hostile
