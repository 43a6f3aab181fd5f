#pragma once
// Drives a program in-process the way `PROGRAM --run SCRIPT` does, on its
// Qt windows: they exist but are never shown, dialogs are answered from
// the script, and what the run prints is captured. For the tests that
// need the windows themselves (the results pane, the buttons, pictures);
// tests/support/scripted_program.h drives a program without Qt.

#include "shell/qt/program.h"
#include "shell/qt/window_host.h"
#include "shell/script.h"
#include "tests/support/scripted_program.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <utility>

namespace testsupport {

class ScriptedWindows {
public:
  // Registers the shell's and the program's functions and opens the
  // program's window from `layout` (a path, or empty for the built-in
  // layout of the launcher's name).
  ScriptedWindows(shell::Program program, const std::string& layout = "");
  ~ScriptedWindows();

  // Runs a script from a fresh temporary folder (where relative file names
  // land); returns the exit status and what went to standard output.
  std::pair<int, std::string> run(const std::string& script);

  shell::ScriptHost& host() { return *host_; }
  shell::WindowHost& windows() { return *windows_; }
  const std::filesystem::path& folder() const { return folder_; }
  std::filesystem::path file(const std::string& name) const { return folder_ / name; }
  // What the last run wrote to standard error.
  const std::string& errors() const { return errors_; }

private:
  shell::Program program_;
  shell::WindowHost* windows_ = nullptr;
  std::unique_ptr<shell::ScriptHost> host_;
  std::filesystem::path folder_;
  std::string errors_;
};

} // namespace testsupport
