#pragma once
// Drives a program in-process the way `PROGRAM --run SCRIPT` does, without
// Qt: the scripted host of the programs over a fake window host whose
// controls are seeded from the program's layout file. Dialogs are answered
// from the script, and what the run prints is captured.

#include "shell/program.h"
#include "shell/script.h"
#include "tests/support/fake_host.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <utility>

namespace testsupport {

// A program as the tests drive it: its names and what it registers.
shell::Program program(std::string executable, std::string launcher, std::string switchname,
                       std::function<void()> define);

// Runs a script with the switch of `program` on `host` from `folder`
// (where relative file names land); returns the exit status and what went
// to standard output, and puts what went to standard error in `errors`.
std::pair<int, std::string> runscriptin(const std::filesystem::path& folder, shell::ScriptHost& host,
                                        const shell::Program& program, const std::string& script, std::string& errors);

class ScriptedProgram {
public:
  // Registers the shared functions and the program's own, and makes the
  // program's window from `layout` (a path, or empty for the layout of
  // the launcher's name).
  explicit ScriptedProgram(shell::Program program, const std::string& layout = "");
  ~ScriptedProgram();
  ScriptedProgram(const ScriptedProgram&) = delete;
  ScriptedProgram& operator=(const ScriptedProgram&) = delete;

  // Runs a script from a fresh temporary folder (where relative file names
  // land); returns the exit status and what went to standard output.
  std::pair<int, std::string> run(const std::string& script);

  shell::ScriptHost& host() { return *host_; }
  // The window under the scripted host: its controls, and what was drawn.
  FakeHost& window() { return window_; }
  const std::filesystem::path& folder() const { return folder_; }
  std::filesystem::path file(const std::string& name) const { return folder_ / name; }
  // What the last run wrote to standard error.
  const std::string& errors() const { return errors_; }

private:
  shell::Program program_;
  FakeHost window_;
  std::unique_ptr<shell::ScriptHost> host_;
  std::filesystem::path folder_;
  std::string errors_;
};

} // namespace testsupport
