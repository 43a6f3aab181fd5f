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

std::pair<int, std::string> ScriptedProgram::run(const std::string& script) {
  const fs::path here = fs::current_path();
  fs::current_path(folder_);
  std::istringstream in(script);
  ::testing::internal::CaptureStdout();
  ::testing::internal::CaptureStderr();
  const int status = shell::runscript(in, "test.script", *host_, program_);
  std::string out = ::testing::internal::GetCapturedStdout();
  errors_ = ::testing::internal::GetCapturedStderr();
  fs::current_path(here);
  return {status, out};
}

} // namespace testsupport
