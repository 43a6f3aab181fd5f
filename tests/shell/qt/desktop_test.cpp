// The desktop conventions of a program's window: file dialogs that say
// what will happen (the chosen filter's extension, no replace question for
// an append, the last folder remembered), the File menu, recent files,
// dropping a file to load it, and buttons disabled until their action can
// run.
#include "shell/actions.h"
#include "shell/boxes.h"
#include "shell/qt/dragdrop.h"
#include "shell/qt/file_chooser.h"
#include "shell/qt/menus.h"
#include "shell/qt/program.h"
#include "shell/readiness.h"
#include "shell/qt/recent.h"
#include "shell/script.h"
#include "shell/qt/window.h"
#include "shell/qt/window_host.h"

#include "tests/support/test_support.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QDropEvent>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QSettings>
#include <QPointer>
#include <QUrl>
#include <filesystem>
#include <fstream>
#include <functional>

namespace fs = std::filesystem;

namespace {

// Answers the file dialog that `call` opens, as a person would, when the
// dialog shows: an application-wide filter hears the dialog's own Show
// event, so nothing is polled and nothing waits on a clock. Should the
// dialog ask a question (whether to replace a file), the question is
// noted, answered No and the dialog cancelled; a dialog still open once its
// answer has run is cancelled too, so that a test fails rather than waits.
// Everything it posts is addressed to the dialog or the question, so Qt
// drops what is left when they close; the watcher itself lives on the
// caller's stack.
struct Answered {
  bool seen = false;
  bool asked = false;
  QString folder; // where the dialog opened
  bool confirmsoverwrite = false;
};

class DialogWatcher : public QObject {
public:
  explicit DialogWatcher(std::function<void(QFileDialog*)> answer) : answer_(std::move(answer)) {
    QApplication::instance()->installEventFilter(this);
  }
  ~DialogWatcher() override { QApplication::instance()->removeEventFilter(this); }
  DialogWatcher(const DialogWatcher&) = delete;
  DialogWatcher& operator=(const DialogWatcher&) = delete;
  Answered answered;

protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::Show) return false;
    if (auto* d = qobject_cast<QFileDialog*>(watched); d != nullptr && d->objectName() == "FileDialog") {
      if (answered.seen) return false; // one dialog per watcher
      answered.seen = true;
      answered.folder = d->directory().absolutePath();
      answered.confirmsoverwrite = !d->testOption(QFileDialog::DontConfirmOverwrite);
      dialog_ = d;
      // Answered from the dialog's own event loop, once it runs.
      QMetaObject::invokeMethod(
          d,
          [this, d] {
            answer_(d);
            // Queued after whatever the answer queued: by then an accepted
            // dialog has closed, or its question is open (answered below).
            QMetaObject::invokeMethod(
                d,
                [d] {
                  if (d->isVisible() && QApplication::activeModalWidget() == d) d->reject();
                },
                Qt::QueuedConnection);
          },
          Qt::QueuedConnection);
    } else if (auto* box = qobject_cast<QMessageBox*>(watched); box != nullptr && !dialog_.isNull()) {
      answered.asked = true;
      QPointer<QFileDialog> dialog = dialog_;
      QMetaObject::invokeMethod(
          box,
          [box, dialog] {
            box->done(QMessageBox::No);
            if (!dialog.isNull()) dialog->reject();
          },
          Qt::QueuedConnection);
    }
    return false;
  }

private:
  std::function<void(QFileDialog*)> answer_;
  QPointer<QFileDialog> dialog_;
};

// Runs `call` (which opens one file dialog) with the dialog answered by
// `answer`; gives what the dialog showed and what `call` returned.
template <class Call>
auto withanswer(std::function<void(QFileDialog*)> answer, Call call) {
  DialogWatcher watcher(std::move(answer));
  auto result = call();
  return std::pair{watcher.answered, std::move(result)};
}

// Types a name and, when given, picks a filter from the dialog's list, as a
// person would (so the dialog hears of the choice), then presses Save or
// Open (queued, so that a question it asks comes up in the dialog's own
// event loop, where the watcher hears it show).
std::function<void(QFileDialog*)> typename_(const QString& path, const QString& filter = {}) {
  return [path, filter](QFileDialog* d) {
    if (!filter.isEmpty()) {
      auto* combo = d->findChild<QComboBox*>("fileTypeCombo");
      ASSERT_NE(combo, nullptr);
      combo->setCurrentIndex(combo->findText(filter));
      emit combo->activated(combo->currentIndex()); // as a click on the list does
    }
    auto* name = d->findChild<QLineEdit*>("fileNameEdit");
    ASSERT_NE(name, nullptr);
    name->setText(path);
    QMetaObject::invokeMethod(d, "accept", Qt::QueuedConnection);
  };
}

void touch(const fs::path& p) { std::ofstream(p) << "1 2\n"; }

// Settings of the tests' own, in a fresh folder: never the person's.
struct TemporarySettings {
  fs::path folder;
  explicit TemporarySettings(const std::string& name) : folder(testsupport::temppath(name)) {
    fs::remove_all(folder);
    fs::create_directories(folder);
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QString::fromStdString(folder.string()));
    QCoreApplication::setApplicationName("desktoptest");
    shell::setheadless(false);
  }
  ~TemporarySettings() { shell::setheadless(true); }
  QString value(const QString& key) const { return QSettings("Tectomorph", "desktoptest").value(key).toString(); }
};

// A program of four actions, the table in another order than the
// window's buttons. Its protocol's load is named without "Load": the
// window knows a load by the kind its table declares.
struct FakeState {
  bool loaded = false;
  std::vector<std::string> ran;   // actions, in the order they ran
  std::vector<std::string> files; // files their dialogs gave
};
FakeState state;

void load(shell::Host& host, FakeState& s, const char* action) {
  s.ran.emplace_back(action);
  const auto choice = host.uigetfile("*.*", "Load");
  if (!choice) throw core::Error("No file was chosen, so nothing was loaded");
  if (choice->name.find("bad") != std::string::npos) throw core::Error("Cannot read " + choice->name);
  s.files.push_back(choice->path());
}

const char* needsdata(const FakeState& s) { return s.loaded ? nullptr : "Load data first"; }

constexpr shell::Action<FakeState> table[] = {
    {"Protocol", shell::ActionKind::load, [](shell::Host& h, FakeState& s) { load(h, s, "Protocol"); },
     "Reads a protocol"},
    {"Fit", shell::ActionKind::compute, [](shell::Host&, FakeState& s) { s.ran.emplace_back("Fit"); }, "Fits", needsdata},
    {"SaveData", shell::ActionKind::save, [](shell::Host&, FakeState& s) { s.ran.emplace_back("SaveData"); },
     "Writes the data", needsdata},
    {"LoadData", shell::ActionKind::load,
     [](shell::Host& h, FakeState& s) {
       load(h, s, "LoadData");
       s.loaded = true;
     },
     "Reads data"},
};

const shell::Program& fileprogram() {
  static const shell::Program p = [] {
    shell::Program p;
    p.executable = "files";
    p.launcher = "Files";
    p.switchname = "filesw";
    p.summary = "Files: a window for tests.";
    p.actions = shell::describe(std::span<const shell::Action<FakeState>>(table));
    return p;
  }();
  return p;
}

class Desktop : public ::testing::Test {
protected:
  void SetUp() override {
    state = FakeState{};
    shell::setheadless(true);
    shell::defineshell(fileprogram());
    shell::defineswitch("filesw", [](shell::Host& h, const std::string& action) {
      shell::dispatch(std::span<const shell::Action<FakeState>>(table), {"Files", "Lost", ""}, h, state, action);
    });
    shell::setreadiness(shell::readinessof(std::span<const shell::Action<FakeState>>(table), state));
    auto h = std::make_unique<shell::WindowHost>("Files");
    host = h.get();
    shell::installhost(std::move(h), fileprogram());
    window = shell::openfig(std::string(TECTO_SHELL_DATA) + "/Files.fig", "new");
    bar = shell::addmenubar(window, fileprogram());
    folder = testsupport::temppath("desktop-files");
    fs::create_directories(folder);
  }
  void TearDown() override {
    shell::setreadiness({});
    for (shell::Figure* f : shell::figures()) delete f;
    QApplication::processEvents();
  }

  QAction* entry(const char* name) const { return bar->findChild<QAction*>(name); }
  QAbstractButton* button(const char* action) const {
    return shell::actionbutton(window, fileprogram(), action);
  }
  void drop(const QList<QUrl>& urls) {
    QMimeData data;
    data.setUrls(urls);
    QDropEvent event(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    // Handed to the window's drop watcher as Qt hands it a drop from the
    // desktop (a drop sent without a drag in progress is not delivered).
    ASSERT_TRUE(window->acceptDrops());
    QObject* target = window->findChild<QObject*>("DropTarget");
    ASSERT_NE(target, nullptr);
    target->eventFilter(window, &event);
  }

  shell::WindowHost* host = nullptr;
  shell::Figure* window = nullptr;
  QMenuBar* bar = nullptr;
  fs::path folder;
};

} // namespace

TEST(filterextension, AddsTheChosenFiltersExtensionOnceAndOnlyToABareName) {
  EXPECT_EQ(shell::withfilterextension("/d/wellman", "*.png (*.png)"), "/d/wellman.png");
  EXPECT_EQ(shell::withfilterextension("/d/wellman.png", "*.png (*.png)"), "/d/wellman.png");
  // A typed extension says what the user wants, even another one.
  EXPECT_EQ(shell::withfilterextension("/d/wellman.svg", "*.png (*.png)"), "/d/wellman.svg");
  EXPECT_EQ(shell::withfilterextension("/d.v2/wellman", "PNG pictures (*.png)"), "/d.v2/wellman.png");
  // Every file, or a choice of patterns: no extension to add.
  EXPECT_EQ(shell::withfilterextension("/d/wellman", "All files (*)"), "/d/wellman");
  EXPECT_EQ(shell::withfilterextension("/d/wellman", "Pictures (*.png *.svg)"), "/d/wellman");
  EXPECT_EQ(shell::filterextension("*.t?s (*.t?s)"), "");
  // One filter per pattern, then every file; "*.*" is every file alone.
  EXPECT_EQ(shell::qtfilter("*.png;*.svg"), "*.png (*.png);;*.svg (*.svg);;All files (*)");
  EXPECT_EQ(shell::qtfilter("*.*"), "All files (*)");
}

TEST_F(Desktop, ASaveDialogAddsTheExtensionOfTheChosenFilter) {
  const QString dir = QString::fromStdString(folder.string());
  const struct {
    QString typed, filter;
    std::string saved;
  } cases[] = {
      {dir + "/wellman", "", "wellman.png"},
      {dir + "/wellman.png", "", "wellman.png"},
      // Choosing every file takes the name as typed.
      {dir + "/notes", "All files (*)", "notes"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.typed.toStdString());
    const auto [answered, choice] =
        withanswer(typename_(c.typed, c.filter), [&] { return host->uiputfile("*.png", "Save the plot"); });
    ASSERT_TRUE(answered.seen);
    ASSERT_TRUE(choice.has_value());
    EXPECT_EQ(choice->name, c.saved);
  }
}

TEST_F(Desktop, AnAppendSaveNeverAsksToReplaceAnExistingFile) {
  touch(folder / "sets.txt");
  const QString existing = QString::fromStdString((folder / "sets.txt").string());
  // The dialog does not confirm an overwrite; the question that follows
  // for a file that holds rows is answered Append.
  host->answerquestion(1);
  const auto [appending, appended] =
      withanswer(typename_(existing), [&] { return host->uiappendfile("*.*", "File Name for Clean Data File"); });
  ASSERT_TRUE(appending.seen);
  EXPECT_FALSE(appending.confirmsoverwrite);
  EXPECT_FALSE(appending.asked);
  ASSERT_TRUE(appended.has_value());
  EXPECT_EQ(appended->path(), existing.toStdString());

  // A save that replaces still asks (and No keeps the file).
  const auto [replacing, replaced] =
      withanswer(typename_(existing), [&] { return host->uiputfile("*.*", "File Name for RetroDeformed Data"); });
  EXPECT_TRUE(replacing.confirmsoverwrite);
  EXPECT_TRUE(replacing.asked);
  EXPECT_FALSE(replaced.has_value());
}

TEST_F(Desktop, AnAppendSaveOntoAFileThatHoldsRowsAsksReplaceAppendOrCancel) {
  std::ofstream(folder / "rows.txt") << "1 2 3\n";
  const QString existing = QString::fromStdString((folder / "rows.txt").string());
  const struct {
    std::size_t reply; // Replace, Append, Cancel
    bool chosen, replace;
  } cases[] = {{0, true, true}, {1, true, false}, {2, false, false}};
  for (const auto& c : cases) {
    host->answerquestion(c.reply);
    const auto [answered, choice] =
        withanswer(typename_(existing), [&] { return host->uiappendfile("*.*", "File Name for Clean Data File"); });
    ASSERT_TRUE(answered.seen);
    ASSERT_EQ(choice.has_value(), c.chosen) << c.reply;
    if (choice) {
      EXPECT_EQ(choice->replace, c.replace) << c.reply;
    }
  }
}

TEST_F(Desktop, AScriptAnswersAnAppendSaveFromItsWordsWithoutADialog) {
  shell::ScriptHost scripted(*host);
  scripted.startin(folder.string() + "/");
  scripted.answer({"sets.txt"});
  const auto choice = scripted.uiappendfile("*.*", "File Name for Clean Data File");
  ASSERT_TRUE(choice.has_value());
  EXPECT_EQ(choice->path(), (folder / "sets.txt").string());
}

TEST_F(Desktop, TheLastFolderIsRememberedAcrossRunsButNeverByAHeadlessRun) {
  TemporarySettings settings("desktop-settings-folder");
  const fs::path first = folder / "first", second = folder / "second";
  fs::create_directories(first);
  fs::create_directories(second);
  touch(first / "a.txt");
  touch(second / "b.txt");

  // Nothing remembered yet: the first dialog opens where the run started.
  const auto open = [](shell::WindowHost& h, const fs::path& file) {
    const auto [answered, choice] = withanswer(typename_(QString::fromStdString(file.string())),
                                               [&] { return h.uigetfile("*.*", "Enter file to Load?"); });
    EXPECT_TRUE(choice.has_value());
    return answered.folder.toStdString();
  };
  EXPECT_EQ(open(*host, first / "a.txt"), fs::current_path().string());
  EXPECT_EQ(settings.value("FileDialogs/Folder").toStdString(), first.string());

  // The next run's first dialog opens there.
  shell::WindowHost nextrun("Files");
  EXPECT_EQ(open(nextrun, second / "b.txt"), first.string());
  EXPECT_EQ(settings.value("FileDialogs/Folder").toStdString(), second.string());

  // A headless run neither reads nor writes the settings.
  shell::setheadless(true);
  shell::WindowHost scripted("Files");
  EXPECT_EQ(open(scripted, first / "a.txt"), fs::current_path().string());
  EXPECT_EQ(settings.value("FileDialogs/Folder").toStdString(), second.string());
}

TEST_F(Desktop, TheFileMenuListsTheLoadsAndSavesInTableOrderAndRunsTheirButtons) {
  QMenu* file = bar->findChild<QMenu*>("FileMenu");
  ASSERT_NE(file, nullptr);
  QStringList names;
  for (QAction* a : file->actions())
    if (!a->isSeparator()) names << (a->menu() != nullptr ? a->menu()->objectName() : a->objectName());
  EXPECT_EQ(names, (QStringList{"MenuProtocol", "MenuSaveData", "MenuLoadData", "RecentMenu", "MenuExportTable",
                                "MenuSavePlot", "MenuQuit"}));
  EXPECT_EQ(entry("MenuProtocol")->text(), QString("Load Protocol") + QChar(0x2026));
  // A button's accessible name, where it has one, says the whole of what
  // its text says only beside its row's label.
  EXPECT_EQ(entry("MenuSaveData")->text(), QString("Save the data set") + QChar(0x2026));
  EXPECT_EQ(entry("MenuProtocol")->shortcut(), QKeySequence(QKeySequence::Open));
  EXPECT_EQ(entry("MenuSaveData")->shortcut(), QKeySequence(QKeySequence::Save));
  EXPECT_EQ(entry("MenuLoadData")->shortcut(), QKeySequence());
  EXPECT_EQ(entry("MenuQuit")->shortcut(), QKeySequence(QKeySequence::Quit));

  // The entry runs what the button runs, through the same path: its
  // dialog, its errors on the status line.
  const std::string data = (folder / "data.tps").string();
  touch(data);
  host->answernext(data);
  entry("MenuLoadData")->trigger();
  host->answernext(data);
  button("LoadData")->click();
  EXPECT_EQ(state.ran, (std::vector<std::string>{"LoadData", "LoadData"}));
  EXPECT_EQ(state.files, (std::vector<std::string>{data, data}));
  host->answernext((folder / "bad.tps").string());
  entry("MenuProtocol")->trigger();
  EXPECT_EQ(window->status(), "Error: Cannot read bad.tps");

  // Quit closes the window as its close button does.
  QPointer<shell::Figure> closing(window);
  entry("MenuQuit")->trigger();
  QApplication::processEvents();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(closing.isNull());
}

TEST(addrecent, KeepsTheLastFilesNewestFirstWithoutDuplicates) {
  std::vector<shell::RecentFile> list;
  for (int i = 0; i < 5; ++i) list = shell::addrecent(list, {"LoadData", "/d/" + std::to_string(i)}, 3);
  EXPECT_EQ(list, (std::vector<shell::RecentFile>{{"LoadData", "/d/4"}, {"LoadData", "/d/3"}, {"LoadData", "/d/2"}}));
  // Loaded again, by another action: first, once, with the action that
  // loaded it last.
  list = shell::addrecent(list, {"LoadProto", "/d/2"}, 3);
  EXPECT_EQ(list, (std::vector<shell::RecentFile>{{"LoadProto", "/d/2"}, {"LoadData", "/d/4"}, {"LoadData", "/d/3"}}));
}

TEST_F(Desktop, ADroppedFileIsLoadedByTheMainLoadActionAndJoinsTheRecentFiles) {
  TemporarySettings settings("desktop-settings-recent");
  const fs::path protocol = folder / "protocol.txt", bad = folder / "bad.txt";
  touch(protocol);
  touch(bad);

  // The first load action of the table answers a drop.
  drop({QUrl::fromLocalFile(QString::fromStdString(protocol.string()))});
  EXPECT_EQ(state.ran, (std::vector<std::string>{"Protocol"}));
  EXPECT_EQ(state.files, (std::vector<std::string>{protocol.string()}));
  EXPECT_EQ(shell::recentfiles(), (std::vector<shell::RecentFile>{{"Protocol", protocol.string()}}));
  // A file the action could not read is no recent file.
  drop({QUrl::fromLocalFile(QString::fromStdString(bad.string()))});
  EXPECT_EQ(shell::recentfiles().size(), 1U);

  // Two files, or one that is not on this computer, load nothing and say why.
  state.ran.clear();
  drop({QUrl::fromLocalFile(QString::fromStdString(protocol.string())),
        QUrl::fromLocalFile(QString::fromStdString(bad.string()))});
  EXPECT_EQ(window->status(), "2 files were dropped: drop one file at a time");
  drop({QUrl("https://example.org/protocol.txt")});
  EXPECT_TRUE(window->status().startsWith("Only a file on this computer can be loaded"));
  EXPECT_TRUE(state.ran.empty());

  // Choosing the recent file loads it again with the action that loaded it.
  QMenu* recent = bar->findChild<QMenu*>("RecentMenu");
  ASSERT_NE(recent, nullptr);
  emit recent->aboutToShow();
  ASSERT_EQ(recent->actions().size(), 1);
  EXPECT_EQ(recent->actions()[0]->text(), "&1 protocol.txt");
  recent->actions()[0]->trigger();
  EXPECT_EQ(state.ran, (std::vector<std::string>{"Protocol"}));
  EXPECT_EQ(state.files.back(), protocol.string());
}

TEST_F(Desktop, AButtonWaitsDisabledUntilItsActionCanRun) {
  QAbstractButton* save = button("SaveData");
  EXPECT_FALSE(save->isEnabled());
  EXPECT_FALSE(button("Fit")->isEnabled());
  EXPECT_FALSE(entry("MenuSaveData")->isEnabled());
  EXPECT_EQ(save->toolTip(), "Load data first");
  // Actions that state no need stay as they were.
  EXPECT_TRUE(button("LoadData")->isEnabled());
  EXPECT_TRUE(entry("MenuLoadData")->isEnabled());

  // A failed load leaves them waiting; a load that works enables them.
  host->answernext((folder / "bad.tps").string());
  button("LoadData")->click();
  EXPECT_FALSE(save->isEnabled());
  touch(folder / "data.tps");
  host->answernext((folder / "data.tps").string());
  button("LoadData")->click();
  EXPECT_TRUE(save->isEnabled());
  EXPECT_TRUE(entry("MenuSaveData")->isEnabled());
  EXPECT_EQ(save->toolTip(), "Writes the data");
  entry("MenuSaveData")->trigger();
  EXPECT_EQ(state.ran.back(), "SaveData");

  // A button the program disabled itself is not enabled by readiness.
  host->setenable("pushbutton1", false);
  shell::refreshreadiness(window, fileprogram());
  EXPECT_FALSE(button("LoadData")->isEnabled());
}
