// The four programs' tables of actions against the places that name an
// action: the buttons of the layouts, the scripts and tables of the
// user's guide, the message for an unknown action and --help; and their
// boxes against the layouts' controls and the guide. The layouts and the
// guide are read from the source tree, so a button or a guide script that
// names an action no switch knows fails here, and so does a box the
// layout lacks. Driven through a fake host: no window, no QApplication.

#include "apps/anglepick/anglepicksw.h"
#include "apps/restrain/restrainsw.h"
#include "apps/symrestore/symsw.h"
#include "apps/tectsim/tsswitch.h"
#include "core/progress.h"
#include "shell/actions.h"
#include "shell/boxes.h"
#include "shell/estimates.h"
#include "shell/file_dialogs.h"
#include "tests/support/fake_host.h"
#include "tests/support/layout.h"
#include "tests/support/test_support.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <regex>
#include <set>
#include <span>
#include <sstream>
#include <utility>

namespace {

struct Switch {
  std::string launcher;   // "Restrain": the layout's and the guide's name
  std::string switchname; // what the layout's Callbacks call
  std::vector<shell::ActionLine> actions;
  shell::Boxes boxes;     // every box the switch reads or fills
  // Runs the switch on a fresh State.
  std::function<void(shell::Host&, std::string_view)> run;
};

const std::vector<Switch>& switches() {
  static const std::vector<Switch> all = {
      {"Anglepick", "anglepicksw", shell::describe(anglepick::actions()), anglepick::boxes(),
       [](shell::Host& h, std::string_view a) {
         anglepick::State s;
         anglepick::anglepicksw(h, s, a);
       }},
      {"Restrain", "restrainsw", shell::describe(restrain::actions()), restrain::boxes(),
       [](shell::Host& h, std::string_view a) {
         restrain::State s;
         restrain::restrainsw(h, s, a);
       }},
      {"Symrestore", "symsw", shell::describe(symrestore::actions()), symrestore::boxes(),
       [](shell::Host& h, std::string_view a) {
         symrestore::State s;
         symrestore::symsw(h, s, a);
       }},
      {"Tectsim", "TSSwitch", shell::describe(tectsim::actions()), tectsim::boxes(),
       [](shell::Host& h, std::string_view a) {
         tectsim::State s;
         tectsim::TSSwitch(h, s, a);
       }},
  };
  return all;
}

std::set<std::string> names(const Switch& sw) {
  std::set<std::string> out;
  for (const shell::ActionLine& a : sw.actions) out.insert(a.name);
  return out;
}

std::string source(const std::string& relative) {
  std::ifstream in(std::string(TECTO_SOURCE_DIR) + "/" + relative);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// The guide's lines from the heading that starts with `heading` to the
// next heading of that level.
std::vector<std::string> section(const std::string& guide, const std::string& heading) {
  std::istringstream in(guide);
  std::vector<std::string> out;
  bool inside = false;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("## ", 0) == 0) inside = line.rfind(heading, 0) == 0;
    else if (inside) out.push_back(line);
  }
  return out;
}

} // namespace

TEST(actiontables, ListEachActionOnceWithAOneLineDescription) {
  for (const Switch& sw : switches()) {
    EXPECT_EQ(names(sw).size(), sw.actions.size()) << sw.launcher << " names an action twice";
    for (const shell::ActionLine& a : sw.actions) {
      EXPECT_FALSE(a.description.empty()) << sw.launcher << " " << a.name;
      EXPECT_EQ(a.description.find('\n'), std::string::npos) << sw.launcher << " " << a.name;
    }
  }
}

TEST(actiontables, HoldTheCallbackOfEveryButtonOfTheLayouts) {
  const std::regex callback(R"re(<property name="Callback"[^>]*>\s*<string[^>]*>([^<]*)</string>)re");
  const std::regex switchcall(R"re(^(\w+)\('([^']*)'\)$)re");
  for (const Switch& sw : switches()) {
    const std::string layout = source("layouts/" + sw.launcher + ".fig");
    ASSERT_FALSE(layout.empty()) << "layouts/" << sw.launcher << ".fig";
    std::set<std::string> buttons;
    for (std::sregex_iterator it(layout.begin(), layout.end(), callback), end; it != end; ++it) {
      const std::string text = (*it)[1];
      std::smatch m;
      if (!std::regex_match(text, m, switchcall)) continue; // SavePlot, CopyBigImage(1): the shell's own
      EXPECT_EQ(m[1], sw.switchname) << sw.launcher << ".fig: " << text;
      EXPECT_TRUE(names(sw).contains(m[2])) << sw.launcher << ".fig calls " << text << ", which is not in the table";
      buttons.insert(m[2]);
    }
    // And every action has its button.
    EXPECT_EQ(buttons, names(sw)) << sw.launcher;
  }
}

TEST(actiontables, HoldEveryActionOfTheGuidesScripts) {
  const std::string guide = source("docs/guide.md");
  ASSERT_FALSE(guide.empty());
  // A script block opens with "# NAME.txt — Program: what it does".
  const std::regex header(R"(^# \S+\.txt — (\w+): )");
  const std::set<std::string> commands = {"set", "show", "plot", "AuxBoxsw"};
  std::map<std::string, int> checked;
  std::istringstream in(guide);
  const Switch* current = nullptr;
  bool fenced = false, first = false;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("```", 0) == 0) {
      fenced = !fenced;
      first = fenced;
      current = nullptr;
      continue;
    }
    if (!fenced) continue;
    std::smatch m;
    if (first && std::regex_search(line, m, header))
      for (const Switch& sw : switches())
        if (sw.launcher == m[1]) current = &sw;
    first = false;
    if (current == nullptr) continue;
    std::istringstream words(line.substr(0, line.find('#')));
    std::string word;
    if (!(words >> word) || commands.contains(word)) continue;
    EXPECT_TRUE(names(*current).contains(word)) << "the guide's " << current->launcher << " script runs " << word;
    ++checked[current->launcher];
  }
  // Every program has a script in the guide, so none was skipped unread.
  for (const Switch& sw : switches()) EXPECT_GE(checked[sw.launcher], 2) << sw.launcher;
}

TEST(actiontables, MatchTheGuidesTablesOfActions) {
  const std::string guide = source("docs/guide.md");
  const std::map<std::string, std::string> headings = {
      {"Anglepick", "## 3. Anglepick"}, {"Restrain", "## 4. Restrain"},
      {"Symrestore", "## 5. Symrestore"}, {"Tectsim", "## 6. Tectsim"}};
  const std::regex tag(R"re(name="(\w+)")re"), quoted("`([^`]*)`");
  for (const Switch& sw : switches()) {
    // The Action column names actions and the boxes they read; a box is a
    // control of the program's layout.
    const std::string layout = source("layouts/" + sw.launcher + ".fig");
    std::set<std::string> controls;
    for (std::sregex_iterator it(layout.begin(), layout.end(), tag), end; it != end; ++it) controls.insert((*it)[1]);
    std::set<std::string> listed;
    bool table = false;
    for (const std::string& line : section(guide, headings.at(sw.launcher))) {
      if (line.rfind("| Step | Button | Action |", 0) == 0) table = true;
      else if (line.rfind('|', 0) != 0) table = false;
      if (!table) continue;
      // The third cell: "| step | button | action | what it does |".
      std::size_t at = 0;
      for (int bar = 0; bar < 2 && at != std::string::npos; ++bar) at = line.find('|', at + 1);
      const std::size_t close = at == std::string::npos ? at : line.find('|', at + 1);
      if (close == std::string::npos) continue;
      const std::string cell = line.substr(at + 1, close - at - 1);
      for (std::sregex_iterator it(cell.begin(), cell.end(), quoted), end; it != end; ++it) {
        const std::string word = (*it)[1];
        if (word.find(' ') != std::string::npos) continue; // "plot FILE": a script command
        if (names(sw).contains(word)) listed.insert(word);
        else EXPECT_TRUE(controls.contains(word)) << sw.launcher << "'s table in the guide lists " << word;
      }
    }
    EXPECT_EQ(listed, names(sw)) << sw.launcher << "'s table in the guide";
  }
}

TEST(boxes, MatchTheLayoutsAndTheGuide) {
  const std::string guide = source("docs/guide.md");
  // The guide's table of Tags: by program, the boxes you type in and the
  // boxes the program fills.
  std::map<std::string, std::array<std::set<std::string>, 2>> listed;
  const std::regex row(R"(^\| (\w+) \|([^|]*)\|([^|]*)\|$)"), quoted("`(\\w+)`");
  bool table = false;
  std::istringstream lines(guide);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("| Program | Boxes you type in | Boxes the program fills |", 0) == 0) table = true;
    else if (line.rfind('|', 0) != 0) table = false;
    std::smatch m;
    if (!table || !std::regex_match(line, m, row)) continue;
    for (int column = 0; column < 2; ++column) {
      const std::string cell = m[column + 2];
      for (std::sregex_iterator it(cell.begin(), cell.end(), quoted), end; it != end; ++it)
        listed[m[1]][static_cast<std::size_t>(column)].insert((*it)[1]);
    }
  }
  // The guide's messages name a box as its reading does: "The box PBox
  // (number of permutations)".
  std::map<std::string, std::set<std::string>> called;
  const std::regex boxcalled(R"(The box \*?(\w+)\*? \(([^)]*)\))");
  for (std::sregex_iterator it(guide.begin(), guide.end(), boxcalled), end; it != end; ++it)
    if ((*it)[1] != "Tag") called[(*it)[1]].insert((*it)[2]);

  using shell::Entry;
  const std::map<Entry, std::set<std::string>> classes = {
      {Entry::text, {"QLineEdit"}},      {Entry::number, {"QLineEdit"}}, {Entry::numbers, {"QLineEdit"}},
      {Entry::tick, {"QCheckBox"}},      {Entry::shown, {"QLabel", "QPlainTextEdit"}},
      {Entry::button, {"QPushButton"}}};
  const std::vector<testsupport::LayoutWidget> results = testsupport::readlayout(testsupport::layoutfile("AuxBox"));
  std::set<std::string> declared;
  // The tooltips of each box a person sets, by its one declaration: a box
  // the shell declares for several windows says the same in each.
  std::map<const shell::Box*, std::set<std::string>> tooltips;
  for (const Switch& sw : switches()) {
    SCOPED_TRACE(sw.launcher);
    std::vector<testsupport::LayoutWidget> controls = testsupport::readlayout(testsupport::layoutfile(sw.launcher));
    controls.insert(controls.end(), results.begin(), results.end());
    std::set<std::string> read;
    for (const shell::ActionLine& a : sw.actions)
      for (const shell::Box* box : a.boxes) {
        read.insert(std::string(box->tag));
        EXPECT_NE(std::find(sw.boxes.begin(), sw.boxes.end(), box), sw.boxes.end())
            << a.name << " reads " << box->tag << ", which is not one of the program's boxes";
      }
    std::array<std::set<std::string>, 2> mine;
    testsupport::FakeHost host(sw.launcher);
    for (const shell::Box* box : sw.boxes) {
      const std::string tag(box->tag);
      declared.insert(tag);
      const auto control = std::find_if(controls.begin(), controls.end(),
                                        [&](const testsupport::LayoutWidget& w) { return w.name == tag; });
      ASSERT_NE(control, controls.end()) << tag << " is no control of the layout";
      EXPECT_TRUE(classes.at(box->entry).contains(control->cls)) << tag << " is a " << control->cls;
      const bool typed = box->entry == Entry::text || box->entry == Entry::number || box->entry == Entry::numbers;
      if (typed) mine[0].insert(tag);
      if (box->entry == Entry::shown) mine[1].insert(tag);
      // A box a person sets is read by an action, and the window starts
      // with a value it takes.
      if (typed || box->entry == Entry::tick) {
        EXPECT_TRUE(read.contains(tag)) << tag << " is read by no action";
        tooltips[box].insert(control->property("toolTip").value_or(""));
      }
      if (typed) {
        EXPECT_NO_THROW(shell::checkbox(host, *box)) << tag << " starts as " << control->string().at(0);
      }
      if (called.contains(tag)) {
        EXPECT_EQ(called.at(tag), std::set<std::string>{std::string(box->meaning)}) << tag;
      }
    }
    EXPECT_EQ(mine[0], listed[sw.launcher][0]) << "the boxes the guide says you type in";
    EXPECT_EQ(mine[1], listed[sw.launcher][1]) << "the boxes the guide says the program fills";
  }
  for (const auto& [tag, meaning] : called) EXPECT_TRUE(declared.contains(tag)) << "the guide's messages name " << tag;
  for (const auto& [box, tips] : tooltips) EXPECT_EQ(tips.size(), 1u) << box->tag << "'s tooltips differ";
  for (const char* method : {"auto", "tps", "regression", "neighbours", "mirror"})
    EXPECT_NE(tooltips.at(&shell::EstimateBox).begin()->find(method), std::string::npos) << method;
}

TEST(boxes, AreCheckedBeforeTheirActionRuns) {
  // A box an action reads holds no number: on a fresh State the action
  // refuses it by the box's name before anything else it would refuse,
  // and asks for no file and draws nothing.
  int checked = 0;
  for (const Switch& sw : switches())
    for (const shell::ActionLine& a : sw.actions)
      for (const shell::Box* box : a.boxes) {
        if (box->entry != shell::Entry::number && box->entry != shell::Entry::numbers) continue;
        testsupport::FakeHost host(sw.launcher);
        host.setstring(box->tag, "x");
        const std::string start = shell::boxcalled(*box) + " holds 'x', which is not a";
        const std::string error = testsupport::error_of([&] { sw.run(host, a.name); });
        EXPECT_EQ(error.substr(0, start.size()), start) << sw.launcher << " " << a.name << ": " << error;
        EXPECT_TRUE(host.dialogs.empty()) << a.name;
        EXPECT_EQ(host.fakeaxes().cleared, 0) << a.name;
        ++checked;
      }
  // SlabBox thrice; PBox, BootBox, the baseline twice and the strain
  // twice; StrainBox, PCABox and BootBox; BuildModels' five.
  EXPECT_EQ(checked, 3 + (1 + 1 + 2 + 4 + 2) + 3 + 5);
}

TEST(actiontables, AnUnknownActionShowsTheProgramsBoxAndRaisesAnErrorListingTheTable) {
  // The whole text once, as Restrain has always said it.
  testsupport::FakeHost restrain("Restrain");
  const Switch& r = switches()[1];
  EXPECT_EQ(testsupport::error_of([&] { r.run(restrain, "DoWelman"); }),
            "Unknown action 'DoWelman': Restrain's actions are Load, LoadTPS, EstimateMissing, SaveTPS, Save, LoadDataTP, "
            "LoadAllTP, DoWellman, PermuteWellman, BootstrapWellman, DoRetro, DoRetroUser, UserRetroTPS and Clear");
  ASSERT_EQ(restrain.boxes.size(), 1u);
  EXPECT_EQ(restrain.boxes[0].text, "Fell through the case statement");

  const std::map<std::string, testsupport::FakeHost::Box> box = {
      {"Anglepick", {"Hopelessly lost, send help!", "In truth,can none save me?"}},
      {"Restrain", {"Fell through the case statement", ""}},
      {"Symrestore", {"Fell through case function", ""}},
      {"Tectsim", {"Fell through Case!", ""}}};
  for (const Switch& sw : switches()) {
    testsupport::FakeHost host(sw.launcher);
    const std::string error = testsupport::error_of([&] { sw.run(host, "load"); });
    // Names are matched as written: "load" is no action.
    const std::string start = "Unknown action 'load': " + sw.launcher + "'s actions are ";
    ASSERT_EQ(error.substr(0, start.size()), start) << error;
    EXPECT_EQ(error.substr(start.size()), shell::namelist(sw.actions));
    ASSERT_EQ(host.boxes.size(), 1u) << sw.launcher;
    EXPECT_EQ(host.boxes[0].text, box.at(sw.launcher).text);
    EXPECT_EQ(host.boxes[0].title, box.at(sw.launcher).title);
    // Nothing else happened: no dialog, nothing drawn or cleared.
    EXPECT_TRUE(host.dialogs.empty());
    EXPECT_EQ(host.fakeaxes().cleared, 0);
    EXPECT_FALSE(host.closed);
  }
}

TEST(actiontables, DispatchToTheFunctionOfTheName) {
  // Tectsim's Clear empties the boxes it names and clears the plot.
  testsupport::FakeHost ts("Tectsim");
  ts.setstring("FileBox1", "File start.txt");
  tectsim::State state;
  state.models.cdata = Eigen::MatrixXd::Ones(3, 5);
  tectsim::TSSwitch(ts, state, "Clear");
  EXPECT_EQ(ts.string("FileBox1"), std::vector<std::string>{"No file loaded"});
  EXPECT_EQ(state.models.cdata.size(), 0);
  EXPECT_EQ(ts.fakeaxes().cleared, 1);
  // A show action reads its own set: the noisy one, not the clean one.
  state.models.ndata = Eigen::MatrixXd::Zero(2, 7);
  tectsim::TSSwitch(ts, state, "ShowNData");
  EXPECT_EQ(ts.fakeaxes().pointcount(), 2u * 3u);
  EXPECT_EQ(testsupport::error_of([&] { tectsim::TSSwitch(ts, state, "ShowCData"); }).substr(0, 27),
            "Nothing to show or save yet");
}

// Loads a program's files, shows a result, then Clears; what the action
// `waits` needs first afterwards.
template <class State>
std::optional<std::string> cleared(testsupport::FakeHost& host, void (*run)(shell::Host&, State&, std::string_view),
                                   std::span<const shell::Action<State>> table,
                                   const std::vector<std::pair<std::string, std::string>>& loads,
                                   const std::string& waits) {
  State s;
  for (const auto& [action, file] : loads) {
    host.answers = {testsupport::example(file)};
    run(host, s, action);
  }
  EXPECT_FALSE(shell::readinessof(table, s)(waits).has_value()) << waits;
  host.setresults({"a result of the files loaded"});
  run(host, s, "Clear");
  return shell::readinessof(table, s)(waits);
}

TEST(actiontables, ClearForgetsWhatWasLoadedInEveryProgram) {
  using Loads = std::vector<std::pair<std::string, std::string>>;
  struct Case {
    std::string launcher;
    std::vector<std::string> boxes; // the boxes that named the files
    std::function<std::optional<std::string>(testsupport::FakeHost&)> clear;
  };
  const std::string tps = "deformed_sample/deformed.tps", rows = "deformed_sample/deformed.txt";
  const std::vector<Case> cases = {
      {"Anglepick", {"FileBox"}, [&](testsupport::FakeHost& h) {
         return cleared(h, anglepick::anglepicksw, anglepick::actions(),
                        Loads{{"LoadData", tps}, {"LoadProto", "deformed_sample/protocol.txt"}}, "SaveData");
       }},
      {"Restrain", {"FileBox"}, [&](testsupport::FakeHost& h) {
         return cleared(h, restrain::restrainsw, restrain::actions(), Loads{{"LoadTPS", tps}, {"UserRetroTPS", ""}}, "Save");
       }},
      {"Symrestore", {"FileBox", "ProtoBox"}, [&](testsupport::FakeHost& h) {
         return cleared(h, symrestore::symsw, symrestore::actions(),
                        Loads{{"LoadData", rows}, {"LoadProto", "deformed_sample/pairs.txt"}}, "UnDeform");
       }},
      {"Tectsim", {"FileBox1", "FileBox2"}, [&](testsupport::FakeHost& h) {
         return cleared(h, tectsim::TSSwitch, tectsim::actions(),
                        Loads{{"Load1", "tectsim/start.txt"}, {"Load2", "tectsim/end.txt"}}, "BuildModels");
       }},
  };
  for (const Case& c : cases) {
    testsupport::FakeHost host(c.launcher);
    // The action that needed the files waits for them again.
    EXPECT_TRUE(c.clear(host).has_value()) << c.launcher;
    for (const std::string& box : c.boxes)
      EXPECT_EQ(host.string(box), std::vector<std::string>{"No file loaded"}) << c.launcher << " " << box;
    EXPECT_TRUE(host.results().empty()) << c.launcher;
    EXPECT_EQ(host.fakeaxes().pointcount(), 0u) << c.launcher;
    EXPECT_FALSE(host.closed) << c.launcher;
    // The button says Clear in every window.
    const std::regex button("<string>Clear</string>[\\s\\S]{0,400}?\\('Clear'\\)");
    EXPECT_TRUE(std::regex_search(source("layouts/" + c.launcher + ".fig"), button)) << c.launcher;
  }
}

TEST(actionhelp, PutsTheDescriptionsInTheColumnOfTheOptions) {
  const std::string help = shell::actionhelp({{"Load", "Reads a data set"}, {std::string(30, 'L'), "Long"}});
  EXPECT_EQ(help, "  Load" + std::string(24, ' ') + "Reads a data set\n  " + std::string(30, 'L') + "\n" +
                      std::string(30, ' ') + "Long\n");
  EXPECT_EQ(shell::namelist({{"A", ""}, {"B", ""}, {"C", ""}}), "A, B and C");
  EXPECT_EQ(shell::namelist({{"A", ""}}), "A");
}

TEST(actiontables, ACancelledLoadLeavesWhatWasLoadedAndDrawsNothing) {
  // Large enough that the readers ask about progress before the end.
  std::string rows, tps;
  for (int i = 0; i < 5000; ++i) {
    const std::string x = std::to_string(1 + i % 7);
    rows += "0 0 " + x + " 0 0 1 0 1 1\n";
    tps += "LM=4\n0 0\n" + x + " 0\n0 1\n0 1\nID=" + std::to_string(i) + "\n";
  }
  const std::string rowfile = testsupport::tempfile("big.txt", rows), tpsfile = testsupport::tempfile("big.tps", tps);
  const core::Specimens before(Eigen::MatrixXd::Constant(2, 9, 3));

  for (const char* action : {"Load", "LoadTPS"}) {
    testsupport::FakeHost host("Restrain");
    host.setstring("FileBox", "File: old.txt");
    host.answers = {action == std::string("Load") ? rowfile : tpsfile};
    host.cancelafter = 0;
    restrain::State r;
    r.data = before;
    EXPECT_THROW(restrain::restrainsw(host, r, action), core::Cancelled) << action;
    EXPECT_EQ(r.data.matrix(), before.matrix()) << action;
    EXPECT_EQ(host.string("FileBox"), std::vector<std::string>{"File: old.txt"}) << action;
    EXPECT_EQ(host.fakeaxes().pointcount(), 0u) << action;
    EXPECT_EQ(host.progresscalls, 1) << action;
  }

  testsupport::FakeHost sym("Symrestore");
  sym.answers = {rowfile};
  sym.cancelafter = 0;
  symrestore::State s;
  EXPECT_THROW(symrestore::symsw(sym, s, "LoadData"), core::Cancelled);
  EXPECT_TRUE(s.data.empty());

  // Not cancelled, the same file loads whole.
  testsupport::FakeHost whole("Restrain");
  whole.answers = {rowfile};
  restrain::State r;
  restrain::restrainsw(whole, r, "Load");
  EXPECT_EQ(r.data.n(), 5000);
  EXPECT_GT(whole.progresscalls, 0);
}

TEST(loadlandmarks, ReadsEitherFormatScalesOnRequestAndReportsWhatIsMissing) {
  const std::string tps = testsupport::tempfile("s.tps", "LM=3\n10 0\n0 10\n-1 -1\nID=a\nSCALE=0.5\n"
                                                         "LM=3\n2 0\n0 2\n2 2\nID=b\nSCALE=2\n");
  testsupport::FakeHost plain("Restrain");
  plain.answers = {tps};
  const core::Specimens a = shell::loadlandmarks(plain);
  EXPECT_EQ(a.format(), core::Specimens::Format::tps);
  EXPECT_FALSE(a.scaled());
  EXPECT_EQ(a.matrix()(0, 0), 10);
  EXPECT_EQ(a.missinglandmarks().count, 1u);
  const std::string name = a.name();
  EXPECT_EQ(plain.printed, name + ": 1 landmark is missing in 1 specimen (-1 -1, NaN and NA are missing): specimen 1 (a) lacks 3.\n");

  testsupport::FakeHost scaled("Restrain");
  scaled.setstring("ApplyScale", "1");
  scaled.answers = {tps};
  const core::Specimens b = shell::loadlandmarks(scaled);
  EXPECT_TRUE(b.scaled());
  EXPECT_EQ(b.matrix()(0, 0), 5);
  EXPECT_EQ(b.matrix()(1, 5), 4);
  EXPECT_DOUBLE_EQ(b.sizes()(1), 2 * a.sizes()(1)); // the centroid size scales with it
  EXPECT_TRUE(b.missing(0, 2));

  // A specimen without a scale is named, and nothing is loaded.
  const std::string some = testsupport::tempfile("some.tps", "LM=2\n0 0\n1 1\nSCALE=1\nLM=2\n0 0\n2 2\nID=z\n");
  testsupport::FakeHost refused("Restrain");
  refused.setstring("ApplyScale", "1");
  refused.answers = {some};
  const std::string refusal = testsupport::error_of([&] { shell::loadlandmarks(refused); });
  EXPECT_EQ(refusal, "Cannot apply the scale: specimen 2 (z) of '" + std::filesystem::path(some).filename().string() +
                         "' has no SCALE= line with a positive number; untick ApplyScale to load it unscaled");
  // Complete data say nothing.
  testsupport::FakeHost quiet("Restrain");
  quiet.answers = {some};
  shell::loadlandmarks(quiet);
  EXPECT_EQ(quiet.printed, "");

  // NegativeMissing ticked: a point with a negative coordinate is missing,
  // and the report says by which rule even when nothing is missing.
  const std::string negative = testsupport::tempfile("neg.tps", "LM=3\n10 0\n0 10\n-2 5\nLM=3\n2 0\n0 2\n2 2\n");
  testsupport::FakeHost ticked("Restrain");
  ticked.setstring("NegativeMissing", "1");
  ticked.answers = {negative, some};
  const core::Specimens n = shell::loadlandmarks(ticked);
  EXPECT_TRUE(n.missing(0, 2));
  const std::string again = shell::loadlandmarks(ticked).name();
  EXPECT_EQ(ticked.printed, n.name() + ": 1 landmark is missing in 1 specimen (points with a negative coordinate, NaN and NA "
                            "are missing): specimen 1 lacks 3.\n" + again + ": No landmark is missing (points with a "
                            "negative coordinate, NaN and NA are missing).\n");
}

TEST(actiontables, ALoadEmptiesTheResultsOfTheDataBeforeAndSaysSo) {
  const std::string tps = "deformed_sample/deformed.tps", rows = "deformed_sample/deformed.txt";
  const struct {
    std::string launcher, action, file;
  } cases[] = {{"Anglepick", "LoadData", tps}, {"Restrain", "Load", rows}, {"Restrain", "LoadTPS", tps},
               {"Symrestore", "LoadData", rows}};
  for (const auto& c : cases) {
    for (const Switch& sw : switches()) {
      if (sw.launcher != c.launcher) continue;
      testsupport::FakeHost host(c.launcher);
      host.setresults({"a result of the data loaded before"});
      host.answers = {testsupport::example(c.file)};
      sw.run(host, c.action);
      EXPECT_TRUE(host.results().empty()) << c.launcher << " " << c.action;
      EXPECT_NE(host.printed.find("note: the results of the "), std::string::npos) << c.launcher << " " << c.action;
    }
  }
}
