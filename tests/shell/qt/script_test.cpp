// The tiny program on its Qt windows: a button's Callback, the
// launcher's local functions, an edit box's own limits, and the error
// rule of the windows.

#include "shell/callables.h"
#include "shell/qt/program.h"
#include "shell/qt/window.h"
#include "shell/script.h"
#include "tests/shell/qt/scripted_windows.h"
#include "tests/shell/tiny_program.h"

#include "io/row_file.h"
#include "tests/support/test_support.h"

#include <QPushButton>
#include <new>
#include <string>
#include <vector>

namespace {

struct Tiny : testsupport::ScriptedWindows {
  Tiny() : ScriptedWindows(testsupport::tinyprogram(), std::string(TECTO_SHELL_DATA) + "/Tiny.fig") {}
};

} // namespace

TEST(callbacks, RunTheButtonsCallAndReportErrorsInTheStatusLine) {
  Tiny tiny;
  shell::Figure* window = shell::figures().front();
  auto* hello = window->form()->findChild<QPushButton*>("pushbutton1");
  auto* fail = window->form()->findChild<QPushButton*>("pushbutton2");
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  hello->click();
  fail->click();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "== Greeting ==\nHello there\n\n");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "deliberate failure\n");
  EXPECT_EQ(window->status(), "Error: deliberate failure");
  // What the action stored before its error stays.
  EXPECT_EQ(tiny.host().string("FileBox"), std::vector<std::string>{"before the error"});
}

TEST(launcher, CallsLocalFunctionsAndTrapsTheirErrors) {
  Tiny tiny;
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  shell::call("Tiny", {std::string("pushbutton1_Callback")}, 0);
  shell::call("Tiny", {std::string("pushbutton1_Callback"), std::string("a"), std::string("b"), std::string("c"),
                      std::string("d")},
             0);
  shell::call("Tiny", {std::string("nosuchfunction")}, 0);
  const std::string out = testing::internal::GetCapturedStdout();
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(out, "pushbutton1 Callback not implemented yet.\n");
  EXPECT_EQ(err,
            "Run-time Error: File: Tiny/pushbutton1_Callback Line: 2 Column: 1 The function \"pushbutton1_Callback\" "
            "was called with more than the declared number of inputs (3).\n"
            "Undefined function or variable 'nosuchfunction'.\n");
}

TEST(guarded, SaysWhichActionRanOutOfMemory) {
  // A button's action the same way, in the window's status line too.
  testing::internal::CaptureStderr();
  EXPECT_FALSE(shell::guarded([] { throw std::bad_alloc(); }, "Grow"));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), shell::outofmemory("Grow") + "\n");
}

TEST(runscript, KeepsABoxTextLongerThanAnEditBoxTakesByDefault) {
  Tiny tiny;
  std::string text;
  while (text.size() < 40000) text += "7 ";
  text.pop_back();
  const auto [status, out] = tiny.run("set SlabBox " + text + "\nshow SlabBox\nSave slab.txt\n");
  EXPECT_EQ(status, 0);
  EXPECT_EQ(out, text + "\n");
  EXPECT_EQ(io::dload((tiny.folder() / "slab.txt").string()).size(), 20000);
}
