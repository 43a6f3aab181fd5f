#include "tests/shell/qt/scripted_windows.h"

#include "shell/qt/window.h"
#include "tests/support/test_support.h"

#include <QApplication>

namespace testsupport {

namespace fs = std::filesystem;

ScriptedWindows::ScriptedWindows(shell::Program program, const std::string& layout) : program_(std::move(program)) {
  shell::setheadless(true);
  shell::defineshell(program_);
  if (program_.define) program_.define();
  auto h = std::make_unique<shell::WindowHost>(program_.launcher);
  windows_ = h.get();
  shell::installhost(std::move(h), program_);
  host_ = std::make_unique<shell::ScriptHost>(*windows_, windows_);
  shell::sethost(host_.get());
  shell::openfig(layout.empty() ? program_.launcher : layout, "reuse");
  folder_ = fs::path(temppath(program_.executable));
  fs::create_directories(folder_);
}

ScriptedWindows::~ScriptedWindows() {
  shell::sethost(windows_);
  for (shell::Figure* f : shell::figures()) delete f;
  QApplication::processEvents();
}

std::pair<int, std::string> ScriptedWindows::run(const std::string& script) {
  return runscriptin(folder_, *host_, program_, script, errors_);
}

} // namespace testsupport
