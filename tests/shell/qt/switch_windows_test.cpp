// A program's switch on its Qt windows, where what it says must reach the
// window itself: the results pane and the status line.

#include "apps/symrestore/symsw.h"
#include "shell/qt/results_pane.h"
#include "shell/qt/window.h"
#include "tests/shell/qt/scripted_windows.h"
#include "tests/support/test_support.h"

#include <string>

TEST(SymrestoreStrain, KeepsItsReportLinesInThePaneAndShowsTheLastOnTheStatusLine) {
  const std::string sample = testsupport::example("deformed_sample/");
  testsupport::ScriptedWindows sym(testsupport::program("symrestore", "Symrestore", "symsw", symrestore::define));
  sym.host().setquiet(true);
  // The window as the program opens it, with its results pane.
  shell::Figure* window = nullptr;
  for (shell::Figure* f : shell::figures())
    if (f->name() == "Symrestore") window = f;
  ASSERT_NE(window, nullptr);
  shell::ResultsPane* pane = shell::addresultspane(window, shell::RunInfo{"symrestore", false});
  const auto [status, out] = sym.run("LoadData " + sample + "deformed.txt\nLoadProto " + sample +
                                     "pairs.txt\nUnDeform\nUndeformUni\n");
  ASSERT_EQ(status, 0) << sym.errors();
  // The pane keeps each line (printed once: a scripted run's pane is
  // hidden), and the status line shows the last.
  const std::size_t at = out.find("UnDeform: strain R");
  ASSERT_NE(at, std::string::npos) << out;
  const std::string kept = pane->text().toStdString();
  EXPECT_NE(kept.find(out.substr(at, 60)), std::string::npos) << kept;
  EXPECT_EQ(out.find(out.substr(at, 60), at + 1), std::string::npos) << out;
  EXPECT_EQ(window->status().toStdString().substr(0, 24), "UndeformUni: strain R = ");
}
