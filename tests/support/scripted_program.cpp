#include "tests/support/scripted_program.h"

#include "shell/host.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>
#include <sstream>

namespace testsupport {

namespace fs = std::filesystem;

shell::Program program(std::string executable, std::string launcher, std::string switchname,
                       std::function<void()> define) {
  shell::Program p;
  p.executable = std::move(executable);
  p.launcher = std::move(launcher);
  p.switchname = std::move(switchname);
  p.define = std::move(define);
  return p;
}

ScriptedProgram::ScriptedProgram(shell::Program program, const std::string& layout)
    : program_(std::move(program)),
      window_(layout.empty() ? FakeHost(program_.launcher) : FakeHost::fromfile(layout)),
      host_(std::make_unique<shell::ScriptHost>(window_)) {
  shell::defineshared();
  if (program_.define) program_.define();
  shell::sethost(host_.get());
  folder_ = fs::path(temppath(program_.executable));
  fs::create_directories(folder_);
}

ScriptedProgram::~ScriptedProgram() { shell::sethost(nullptr); }

std::pair<int, std::string> runscriptin(const fs::path& folder, shell::ScriptHost& host, const shell::Program& program,
                                        const std::string& script, std::string& errors) {
  const fs::path here = fs::current_path();
  fs::current_path(folder);
  std::istringstream in(script);
  ::testing::internal::CaptureStdout();
  ::testing::internal::CaptureStderr();
  const int status = shell::runscript(in, "test.script", host, program);
  std::string out = ::testing::internal::GetCapturedStdout();
  errors = ::testing::internal::GetCapturedStderr();
  fs::current_path(here);
  return {status, out};
}

std::pair<int, std::string> ScriptedProgram::run(const std::string& script) {
  return runscriptin(folder_, *host_, program_, script, errors_);
}

} // namespace testsupport
