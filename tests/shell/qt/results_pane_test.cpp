// The results pane of a program window: what it keeps (message boxes,
// reports, each action's summary), what it saves (its text, the run
// report with the files loaded and their checksums), the buttons locked
// while an action runs, and when closing the window asks first.

#include "shell/actions.h"
#include "shell/callables.h"
#include "shell/qt/program.h"
#include "shell/qt/results_pane.h"
#include "shell/script.h"
#include "shell/qt/window.h"
#include "tests/shell/qt/scripted_windows.h"

#include "core/about.h"
#include "core/error.h"
#include "core/random.h"
#include "tests/support/test_support.h"

#include <QAction>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTabWidget>
#include <functional>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

namespace {

namespace fs = std::filesystem;

// What the buttons looked like while the last "Watch" action ran.
std::map<std::string, bool>& seenenabled() {
  static std::map<std::string, bool> seen;
  return seen;
}

void panesw(shell::Host& host, const std::string& action) {
  if (action == "Hello") {
    host.msgbox("Hello there", "Greeting");
  } else if (action == "Pick") {
    if (!host.uigetfile("*.*", "Enter file to Load?")) throw core::Error("No file chosen");
  } else if (action == "Warn") {
    host.alert("Check the data", "Warning");
  } else if (action == "Report") {
    host.setresults({"R = 2.000", "theta = 30.0"});
  } else if (action == "SaveData") {
    host.msgbox("Saved", "Save");
  } else if (action == "Watch") {
    seenenabled().clear();
    for (shell::Figure* f : shell::figures())
      for (QPushButton* b : f->findChildren<QPushButton*>())
        seenenabled()[(b->objectName().isEmpty() ? b->text() : b->objectName()).toStdString()] = b->isEnabled();
    // The action itself decides that Fail cannot run next.
    host.setenable("pushbutton2", false);
  } else if (action == "Fail") {
    throw core::Error("deliberate failure");
  }
}

shell::Program paneprogram() {
  shell::Program program;
  program.executable = "tiny";
  program.launcher = "Tiny";
  program.switchname = "tinysw";
  program.random = true;
  // Only a save keeps the results; the pane knows one by its kind.
  program.actions = {{"Pick", "Picks a file", shell::ActionKind::load},
                     {"SaveData", "Says it saved", shell::ActionKind::save}};
  program.define = [] { shell::defineswitch("tinysw", panesw); };
  return program;
}

struct Tiny : testsupport::ScriptedWindows {
  Tiny() : ScriptedWindows(paneprogram(), std::string(TECTO_SHELL_DATA) + "/Tiny.fig") {
    window = shell::figures().front();
    pane = shell::addresultspane(window, shell::RunInfo{"tiny", true});
  }
  QPushButton* button(const char* tag) const { return window->form()->findChild<QPushButton*>(tag); }
  shell::Figure* window = nullptr;
  shell::ResultsPane* pane = nullptr;
};

std::string readall(const fs::path& p) {
  std::ifstream in(p);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Answers each message box as it is shown (a modal question included:
// its show event comes inside the box's own event loop).
class Answerer : public QObject {
public:
  explicit Answerer(std::function<void(QMessageBox*)> answer) : answer_(std::move(answer)) {
    qApp->installEventFilter(this);
  }
  ~Answerer() override { qApp->removeEventFilter(this); }
  bool eventFilter(QObject* o, QEvent* e) override {
    if (auto* box = qobject_cast<QMessageBox*>(o); box != nullptr && e->type() == QEvent::Show && box->isModal())
      QMetaObject::invokeMethod(box, [this, box] { answer_(box); }, Qt::QueuedConnection);
    return false;
  }

private:
  std::function<void(QMessageBox*)> answer_;
};

// Sets the headless flag for a scope.
struct Shown {
  Shown() { shell::setheadless(false); }
  ~Shown() { shell::setheadless(true); }
};

} // namespace

TEST(resultspane, KeepsMessageBoxesReportsAndEachActionsSummaryPrintingNothingTwice) {
  Tiny tiny;
  ASSERT_NE(tiny.pane, nullptr);
  EXPECT_TRUE(tiny.pane->isHidden()); // a headless window keeps its plot's size
  const auto [status, out] = tiny.run("Hello\nReport\n");
  EXPECT_EQ(status, 0) << tiny.errors();
  // The scripted run prints what it always printed, once.
  EXPECT_EQ(out, "== Greeting ==\nHello there\n\n== Results ==\nR = 2.000\ntheta = 30.0\n\n");
  const std::string text = tiny.pane->text().toStdString();
  const auto hello = text.find("== Hello  "), greeting = text.find("[Greeting]\nHello there\n-- Hello: ");
  const auto report = text.find("== Report  "), rows = text.find("R = 2.000\ntheta = 30.0\n-- Report: ");
  EXPECT_NE(hello, std::string::npos) << text;
  EXPECT_NE(greeting, std::string::npos) << text;
  EXPECT_NE(rows, std::string::npos) << text;
  EXPECT_LT(hello, greeting);
  EXPECT_LT(greeting, report);
  EXPECT_LT(report, rows);

  // A button's action in the window: its summary, and a failure's message.
  tiny.button("pushbutton1")->click();
  testing::internal::CaptureStderr();
  tiny.button("pushbutton2")->click();
  testing::internal::GetCapturedStderr();
  const std::string after = tiny.pane->text().toStdString();
  EXPECT_NE(after.find("-- Fail: failed: deliberate failure ("), std::string::npos) << after;
  EXPECT_EQ(std::count(after.begin(), after.end(), '\n') + 1, 14) << after; // every line of the four actions
}

TEST(resultspane, SavesItsTextAndARunReportNamingProgramSeedFilesAndActions) {
  Tiny tiny;
  core::setseed(4242);
  std::ofstream(tiny.folder() / "abc.txt") << "abc";
  const auto [status, out] = tiny.run("Pick abc.txt\nHello\nPick missing.txt\nreport run.txt\n");
  EXPECT_EQ(status, 0) << tiny.errors();
  EXPECT_EQ(out, "== Greeting ==\nHello there\n\n");

  const std::string report = readall(tiny.file("run.txt"));
  EXPECT_TRUE(report.starts_with("Run report of tiny " + std::string(core::version()) + "\nStarted: ")) << report;
  EXPECT_NE(report.find("Random seed: 4242 (repeat with --seed 4242)\n"), std::string::npos) << report;
  // SHA-256 of "abc", the standard's own first example.
  EXPECT_NE(report.find((tiny.folder() / "abc.txt").string() +
                        "\n    SHA-256 ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad, loaded "),
            std::string::npos)
      << report;
  EXPECT_NE(report.find("missing.txt\n    SHA-256 (the file could not be read)"), std::string::npos) << report;
  const auto actions = report.find("Actions and results:\n== Pick  ");
  ASSERT_NE(actions, std::string::npos) << report;
  EXPECT_NE(report.find("[Greeting]\nHello there\n-- Hello: ", actions), std::string::npos) << report;

  // The pane's own text, saved whole; a failed save names the file.
  tiny.pane->saveresults(tiny.file("pane.txt").string());
  EXPECT_EQ(readall(tiny.file("pane.txt")), tiny.pane->text().toStdString() + "\n");
  EXPECT_NE(tiny.pane->text().indexOf("== Pick  "), -1);
  EXPECT_THROW(tiny.pane->saveresults((tiny.folder() / "no/such/folder/pane.txt").string()), core::Error);
}

TEST(resultspane, ButtonsAreLockedDuringAnActionAndKeepWhatItSet) {
  Tiny tiny;
  QPushButton* hello = tiny.button("pushbutton1");
  QPushButton* fail = tiny.button("pushbutton2");
  auto* saveresults = tiny.pane->findChild<QPushButton*>("SaveResults");
  ASSERT_NE(saveresults, nullptr);
  ASSERT_TRUE(fail->isEnabled());
  const auto [status, out] = tiny.run("Watch\n"); // a scripted action locks nothing
  EXPECT_EQ(status, 0);
  EXPECT_TRUE(seenenabled().at("pushbutton1"));
  fail->setEnabled(true);

  tiny.window->lockbuttons();
  EXPECT_FALSE(hello->isEnabled());
  EXPECT_FALSE(fail->isEnabled());
  EXPECT_FALSE(saveresults->isEnabled());
  tiny.host().setenable("pushbutton2", false); // as the action decides
  tiny.host().setenable("pushbutton1", true);  // an enable waits for the end
  EXPECT_FALSE(hello->isEnabled());
  tiny.window->unlockbuttons();
  EXPECT_TRUE(hello->isEnabled());
  EXPECT_FALSE(fail->isEnabled());
  EXPECT_TRUE(saveresults->isEnabled());
  // A button the action did not touch comes back as it was, disabled too.
  tiny.window->lockbuttons();
  tiny.window->unlockbuttons();
  EXPECT_FALSE(fail->isEnabled());
  EXPECT_TRUE(hello->isEnabled());
}

TEST(resultspane, AClickedActionRunsWithEveryButtonButCancelDisabled) {
  Tiny tiny;
  // The switch is looked up when a click comes: here every action is Watch.
  shell::defineswitch("tinysw", [](shell::Host& host, const std::string&) { panesw(host, "Watch"); });
  testing::internal::CaptureStderr();
  tiny.button("pushbutton1")->click();
  testing::internal::GetCapturedStderr();
  ASSERT_TRUE(seenenabled().contains("Cancel"));
  ASSERT_TRUE(seenenabled().contains("SaveResults"));
  for (const auto& [tag, enabled] : seenenabled()) EXPECT_EQ(enabled, tag == "Cancel") << tag;
  EXPECT_TRUE(tiny.button("pushbutton1")->isEnabled());
  EXPECT_FALSE(tiny.button("pushbutton2")->isEnabled()); // as Watch set it
  EXPECT_TRUE(tiny.pane->findChild<QPushButton*>("SaveRunReport")->isEnabled());
}

TEST(resultspane, ClosingAsksOnlyWhenResultsWereShownSinceTheLastSave) {
  Tiny tiny;
  // Never in a headless or scripted run.
  tiny.run("Hello\n");
  EXPECT_TRUE(tiny.pane->unsaved());
  EXPECT_FALSE(shell::askbeforeclose(tiny.window));
  Shown shown;
  EXPECT_TRUE(shell::askbeforeclose(tiny.window));
  // A save action that ran to its end keeps the results, though it showed a box.
  tiny.run("SaveData\n");
  EXPECT_FALSE(shell::askbeforeclose(tiny.window));
  // An action that shows nothing (here a failed one) leaves nothing to keep.
  tiny.run("Pick -\n");
  EXPECT_FALSE(shell::askbeforeclose(tiny.window));
  tiny.run("Report\n");
  EXPECT_TRUE(shell::askbeforeclose(tiny.window));
  tiny.pane->saverunreport(tiny.file("run.txt").string());
  EXPECT_FALSE(shell::askbeforeclose(tiny.window));
  tiny.run("Hello\n");
  tiny.pane->saveresults(tiny.file("pane.txt").string());
  EXPECT_FALSE(shell::askbeforeclose(tiny.window));

  // The guard keeps the window open when it says no.
  bool asked = false;
  tiny.window->setcloseguard([&] {
    asked = true;
    return false;
  });
  EXPECT_FALSE(tiny.window->close());
  EXPECT_TRUE(asked);
  tiny.window->setcloseguard({});
}

// A result, a report and a warning from the program window's host: the
// first two stay in the window's pane (the report in its own tab, for the
// user to edit and append to a file), and only the warning opens a box.
TEST(resultspane, ResultsStayInTheMainWindowAndOnlyAWarningOpensABox) {
  struct Case {
    const char* action;
    const char* tab;       // the pane's tab in view afterwards
    const char* opened;    // the class of the one new top-level window, if any
    std::size_t reportrows; // in the Results tab
  };
  for (const Case c : {Case{"Report", "Results", "", 2}, Case{"Hello", "Log", "", 0}, Case{"Warn", "Log", "QMessageBox", 0}}) {
    SCOPED_TRACE(c.action);
    Tiny tiny;
    shell::sethost(&tiny.windows());
    const QWidgetList before = QApplication::topLevelWidgets();
    shell::call("tinysw", {std::string(c.action)}, 0);
    std::string opened;
    for (QWidget* w : QApplication::topLevelWidgets())
      if (!before.contains(w)) opened += w->metaObject()->className();
    EXPECT_EQ(opened, c.opened);
    const auto* tabs = tiny.pane->findChild<QTabWidget*>("ResultsTabs");
    EXPECT_EQ(tabs->tabText(tabs->currentIndex()).toStdString(), c.tab);
    EXPECT_EQ(tiny.windows().results().size(), c.reportrows);
  }
}

// Quitting, from the File menu or by closing the window, asks once when
// results are unsaved, closes every window the program has open and ends
// the event loop, and with it the process.
TEST(resultspane, QuitClosesEveryWindowAndEndsTheEventLoopAskingOnceAboutUnsavedResults) {
  struct Case {
    bool menu;       // File > Quit, else the window's close button
    bool unsaved;    // the pane holds results not saved
    int questions;   // how often the user is asked
  };
  for (const Case c : {Case{true, false, 0}, Case{false, true, 1}, Case{true, true, 1}}) {
    SCOPED_TRACE(std::to_string(c.menu) + std::to_string(c.unsaved));
    Tiny tiny;
    Shown shown;
    shell::sethost(&tiny.windows());
    // The program's window as the program opens it, with its menu and the
    // question asked before it closes.
    shell::call("Tiny", {}, 0);
    // Another window of the program, and an alert left open.
    auto* other = new QWidget;
    other->setAttribute(Qt::WA_DeleteOnClose);
    other->show();
    tiny.windows().alert("Check the data", "Warning");
    if (c.unsaved) tiny.pane->message("R = 1.80", "Fit");
    else tiny.pane->saveresults(tiny.file("kept.txt").string());
    // Each question is answered Discard as it opens.
    int asked = 0;
    Answerer answerer([&](QMessageBox* box) {
      ++asked;
      box->button(QMessageBox::Discard)->click();
    });
    QMetaObject::invokeMethod(
        qApp,
        [&] {
          if (c.menu) tiny.window->findChild<QAction*>("MenuQuit")->trigger();
          else tiny.window->close();
        },
        Qt::QueuedConnection);
    EXPECT_EQ(QApplication::exec(), 0);
    EXPECT_EQ(asked, c.questions);
    for (QWidget* w : QApplication::topLevelWidgets()) EXPECT_FALSE(w->isVisible()) << w->metaObject()->className();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(shell::figures().empty());
  }
}
