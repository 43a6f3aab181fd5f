#include "shell/qt/program.h"

#include "core/about.h"
#include "core/error.h"
#include "core/progress.h"
#include "core/random.h"
#include "core/text_number.h"
#include "io/text_file.h"
#include "shell/actions.h"
#include "shell/callables.h"
#include "shell/qt/figure_copy.h"
#include "shell/qt/guide.h"
#include "shell/qt/menus.h"
#include "shell/qt/plot_axes.h"
#include "shell/qt/results_pane.h"
#include "shell/qt/results_window.h"
#include "shell/qt/window.h"
#include "shell/qt/window_host.h"
#include "shell/script.h"

#include <CLI/CLI.hpp>
#include <QApplication>
#include <QBuffer>
#include <QFileInfo>
#include <QImageWriter>
#include <QLineEdit>
#include <QMessageBox>
#include <QPixmap>
#include <QThread>
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <climits>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <new>
#include <memory>
#include <qcustomplot.h>
#include <sys/stat.h>
#include <unistd.h>

namespace shell {

namespace {

// The program's windows, and the host of a scripted run on them.
std::unique_ptr<WindowHost>& hostslot() {
  static std::unique_ptr<WindowHost> h;
  return h;
}

std::unique_ptr<ScriptHost>& scriptslot() {
  static std::unique_ptr<ScriptHost> h;
  return h;
}

// The windows' host becomes the running program's.
void usewindows(std::unique_ptr<WindowHost> h) {
  hostslot() = std::move(h);
  sethost(hostslot().get());
}

const Program*& running() {
  static const Program* p = nullptr;
  return p;
}

// The local functions of each launcher, by launcher name: they are found
// only through their launcher, as functions local to its file are.
std::map<std::string, std::map<std::string, shell::Callable, std::less<>>, std::less<>>& locals() {
  static std::map<std::string, std::map<std::string, shell::Callable, std::less<>>, std::less<>> l;
  return l;
}

std::string text(const shell::Value& v, const char* what) {
  if (const auto* s = std::get_if<std::string>(&v)) return *s;
  throw core::Error(std::string(what) + " must be text");
}

// The launcher's own placeholders only say that they do nothing.
void defineplaceholders(const std::string& launcher, const std::vector<std::string>& tags) {
  auto& mine = locals()[launcher];
  int line = 1;
  for (const std::string& tag : tags) {
    shell::Callable c;
    c.name = tag + "_Callback";
    c.file = launcher + "/" + c.name;
    c.line = ++line; // numbered in the order the launcher declares them
    c.nin = 3;
    c.nout = 0;
    c.body = [tag](const shell::Values&, int) -> shell::Values {
      host().print(tag + " Callback not implemented yet.\n");
      return {};
    };
    mine.insert_or_assign(c.name, c);
  }
}

// A launcher: with no argument it opens its window; with a function name
// first it calls that function (its own local one, else any function of
// the program) with the other arguments, and reports an error on the
// console instead of passing it on.
void definelauncher(const std::string& name, std::function<void()> open) {
  shell::Callable c;
  c.name = name;
  c.nin = INT_MAX;
  c.nout = 1;
  c.body = [name, open](const shell::Values& args, int nargout) -> shell::Values {
    if (args.empty()) {
      open();
      return {};
    }
    const auto* fn = std::get_if<std::string>(&args[0]);
    if (fn == nullptr) return {};
    const shell::Values rest(args.begin() + 1, args.end());
    shell::Values out;
    guarded(
        [&] {
      const auto& mine = locals()[name];
      if (const auto it = mine.find(*fn); it != mine.end()) {
        shell::checkcounts(it->second, rest.size(), nargout);
        out = it->second.body(rest, nargout);
      } else {
        out = shell::call(*fn, rest, nargout);
      }
        },
        *fn);
    return out;
  };
  shell::define(std::move(c));
}

Figure* programwindow() {
  const Program* p = running();
  for (Figure* f : figures())
    if (p != nullptr && f->name() == p->launcher) return f;
  return gcf();
}

// Closing the window with results not yet kept asks first: save the run
// report, discard the results, or stay.
bool mayclose(Figure* f) {
  if (!askbeforeclose(f)) return true;
  const auto answer = QMessageBox::question(
      f, QObject::tr("Unsaved results"),
      QObject::tr("The results pane holds results that have not been saved. Save a run report before closing?"),
      QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, QMessageBox::Save);
  if (answer == QMessageBox::Discard) return true;
  if (answer == QMessageBox::Save) return resultspane(f)->saverunreportdialog();
  return false;
}

// An edit box whose layout gives it a Changed property calls that
// function, outside any action, whenever its text changes: what the window
// shows of the boxes' values follows them as they are typed.
void followedits(Figure* f) {
  for (QObject* o : f->objects()) {
    auto* edit = qobject_cast<QLineEdit*>(o);
    const QVariant changed = o->property("Changed");
    if (edit == nullptr || !changed.isValid()) continue;
    QObject::connect(edit, &QLineEdit::textChanged, f, [name = changed.toString().toStdString()] {
      try {
        shell::call(name, {}, 0);
      } catch (const std::exception&) {
        // Shown text only: the label says itself what it waits for.
      }
    });
  }
}

// The program is its main window: once that closes (asked once about
// unsaved results), every other window of the program goes with it (an
// alert left open, the guide) and the event loop ends, so the process ends.
bool closeprogram(Figure* f) {
  if (!mayclose(f)) return false;
  if (headless()) return true;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w != f && w->isVisible()) {
      // The program window's own guard has asked already.
      if (auto* other = dynamic_cast<Figure*>(w)) other->setcloseguard({});
      w->close();
    }
  // Queued: the loop ends after this window has closed, not inside its
  // close, which quitting would try to close again.
  QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
  return true;
}

void openprogramwindow(const Program& p) {
  Figure* f = openfig(p.launcher, "reuse");
  followedits(f);
  if (p.controlcolour) usecontrolcolour(f);
  splitpanels(f);
  addmenubar(f, p);
  addresultspane(f, RunInfo{p.executable, p.random});
  f->setcloseguard([f] { return closeprogram(f); });
  movegui(f, "onscreen"); // the menu bar made it taller
  guidata(f, guihandles(f));
}

// The action a Callback runs, for messages: the switch's action name
// ("DoRetro" of "restrainsw('DoRetro')"), else the function's name.
std::string actionname(const std::string& callback) {
  try {
    const auto [name, args] = parsecallback(callback);
    if (!args.empty())
      if (const auto* s = std::get_if<std::string>(&args[0])) return *s;
    return name;
  } catch (const std::exception&) {
    return callback;
  }
}

// The message of the last error guarded() caught, and whether it was a
// cancel the user asked for.
std::string& lasterror() {
  static std::string m;
  return m;
}

bool& lastcancelledflag() {
  static bool c = false;
  return c;
}
bool lastcancelled() { return lastcancelledflag(); }

// What a push button's Callback asks for, run as one action at a time.
void runcallback(Figure* window, QObject*, const std::string& callback) {
  static bool busy = false;
  if (busy) {
    window->setstatus(QObject::tr("Busy: wait for the running action to finish, or cancel it"));
    return;
  }
  busy = true;
  window->setstatus(QString());
  setcurrent(window);
  // The window the action belongs to may close during it; its pane and
  // buttons are reached only while it lives.
  const QPointer<Figure> own = window;
  const std::string what = actionname(callback);
  const ActionKind kind = running() != nullptr ? kindof(*running(), what) : ActionKind::compute;
  if (ResultsPane* pane = resultspane(window)) {
    pane->beginaction(what, kind);
    if (running() != nullptr) pane->used(boxesused(host(), running()->actions, what));
  }
  window->lockbuttons();
  lasterror().clear();
  const bool ok = guarded(
      [&] {
        const auto [name, args] = parsecallback(callback);
        const shell::RunningAction running(actionname(callback)); // titles its plots, when asked
        shell::call(name, args, 0);
      },
      what);
  const bool cancelled = (!ok && lastcancelled()) || (own && own->cancelrequested());
  if (hostslot()) hostslot()->endprogress();
  if (own) {
    own->unlockbuttons();
    if (ResultsPane* pane = resultspane(own)) pane->endaction(ok ? "" : lasterror(), cancelled);
  }
  std::fflush(stdout);
  busy = false;
}

// Writes a picture of the widget `w` to `file` (PNG unless its extension
// names another format Qt writes).
int savepicture(const Program& p, QWidget* w, const std::string& file) {
  // Drawn in memory and written all or nothing, as every picture is.
  QByteArray format = QFileInfo(QString::fromStdString(file)).suffix().toUpper().toLatin1();
  if (!QImageWriter::supportedImageFormats().contains(format.toLower())) format = "PNG";
  QByteArray bytes;
  QBuffer buffer(&bytes);
  std::string why;
  if (!buffer.open(QIODevice::WriteOnly) || !w->grab().save(&buffer, format.constData()) || bytes.isEmpty()) {
    why = "the picture could not be drawn";
  } else {
    try {
      io::writefile(file, std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())),
                      io::WriteMode::Replace);
    } catch (const core::Error& e) {
      why = e.what();
    }
  }
  if (!why.empty()) {
    std::fprintf(stderr, "%s: cannot write the screenshot '%s': %s\n", p.executable.c_str(), file.c_str(), why.c_str());
    return 1;
  }
  return 0;
}

// Saves a picture of a window (the program's own, or the one named). The
// window is shown first, so that its layout is complete.
int screenshot(const Program& p, const std::string& file, const std::string& window) {
  // The results once shown in a window of their own (AuxBox) are the
  // report tab of the program window's pane: pictured there.
  const bool report = window == "AuxBox";
  const std::string name = window.empty() || report ? p.launcher : window;
  // The user's guide, as Help > User's guide shows it.
  if (name == "UsersGuide") {
    const auto guide = guidepath();
    if (!guide) {
      std::fprintf(stderr, "%s: cannot find the user's guide\n", p.executable.c_str());
      return 1;
    }
    QWidget* shown = showguide(*guide, nullptr)->window();
    for (int i = 0; i < 10; ++i) QApplication::processEvents();
    return savepicture(p, shown, file);
  }
  bool open = false;
  for (Figure* g : figures()) open = open || g->name() == name;
  if (!open && !guarded([&] {
        if (name == p.launcher) openprogramwindow(p);
        else shell::call(name, {}, 0);
      }))
    return 1;
  Figure* f = nullptr;
  for (Figure* g : figures())
    if (g->name() == name) f = g;
  if (f == nullptr) {
    std::fprintf(stderr, "%s: no window named '%s'\n", p.executable.c_str(), name.c_str());
    return 1;
  }
  showresultspane(f);
  if (ResultsPane* pane = resultspane(f); pane != nullptr && report) pane->showreport();
  // A scripted run clicks no button, so the buttons are brought up to date
  // with what the script loaded before the picture is taken.
  if (name == p.launcher) refreshreadiness(f, p);
  f->show();
  for (int i = 0; i < 10; ++i) {
    QApplication::processEvents();
    QThread::msleep(20);
  }
  return savepicture(p, f, file);
}

// Whether the command line's words name files to open (`PROGRAM FILE`, as
// a desktop's file manager starts it) rather than a function to call: the
// first word is no function of the program nor of its launcher.
bool namesfiles(const Program& p, const std::vector<std::string>& words) {
  if (words.empty()) return false;
  const auto& mine = locals()[p.launcher];
  return !mine.contains(words.front()) && shell::lookup(words.front()) == nullptr;
}

// Opens the program's window with the file loaded by its main load action
// (the one that takes a dropped file), as if chosen in its dialog. A file
// that cannot be loaded is named on standard error and the result is
// false. A desktop may hand over several
// files at once (%F): the window takes the first, and the others are named
// as not opened.
bool openwithfiles(const Program& p, const std::vector<std::string>& files) {
  const std::string& file = files.front();
  const auto refuse = [&](const std::string& why) {
    std::fprintf(stderr, "%s: cannot open '%s': %s\n", p.executable.c_str(), file.c_str(), why.c_str());
    return false;
  };
  std::error_code ec;
  if (!std::filesystem::exists(file, ec)) return refuse("there is no such file");
  if (std::filesystem::is_directory(file, ec)) return refuse("it is a folder, not a data file");
  const auto main = std::find_if(p.actions.begin(), p.actions.end(),
                                 [](const ActionLine& a) { return a.kind == ActionKind::load; });
  if (main == p.actions.end()) return refuse(p.launcher + " loads no files");
  if (!guarded([&] { openprogramwindow(p); })) return false;
  Figure* window = programwindow();
  for (std::size_t i = 1; i < files.size(); ++i)
    std::fprintf(stderr, "%s: opens one file at a time; '%s' was not opened\n", p.executable.c_str(),
                 files[i].c_str());
  lasterror().clear();
  // The action took the file when its dialog was answered (the pane notes
  // every file chosen to load); it loaded it when it also ended without an
  // error, whose message is on standard error already.
  const ResultsPane* pane = resultspane(window);
  const std::size_t before = pane != nullptr ? pane->files().size() : 0;
  const std::string path = std::filesystem::absolute(file, ec).lexically_normal().string();
  loadwith(window, p, main->name, QString::fromStdString(path));
  const bool taken = pane == nullptr || pane->files().size() > before;
  if (!lasterror().empty()) {
    std::fprintf(stderr, "%s: '%s' was not loaded\n", p.executable.c_str(), file.c_str());
    return false;
  }
  return taken || refuse(main->name + " did not take it");
}

// Qt's own notices that carry nothing for a user (the offscreen platform's
// remarks on what it cannot do with windows, the runtime folder fallback) are kept off the
// console; everything else goes where Qt would send it.
QtMessageHandler& qtdefault() {
  static QtMessageHandler h = nullptr;
  return h;
}

void filterqt(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (message.contains("This plugin does not support") || message.contains("XDG_RUNTIME_DIR")) return;
  if (qtdefault() != nullptr) qtdefault()(type, context, message);
}

// SIGINT and SIGTERM end the process at once, as they would without a
// handler, but first undo the write in progress (a replacement's temporary
// file, an append's added bytes) and say so. Only async-signal-safe calls:
// the message is made before any signal can come.
char interruptmessage[2][200];
std::size_t interruptlength[2] = {0, 0};

extern "C" void interrupted(int signal) {
  io::undo_write_in_progress();
  const int i = signal == SIGINT ? 0 : 1;
  if (interruptlength[i] > 0) (void)!::write(STDERR_FILENO, interruptmessage[i], interruptlength[i]);
  ::_exit(128 + signal);
}

void catchinterrupts(const std::string& executable) {
  const char* names[2] = {"SIGINT", "SIGTERM"};
  for (int i = 0; i < 2; ++i) {
    const int n = std::snprintf(interruptmessage[i], sizeof interruptmessage[i],
                                "%s: interrupted (%s); nothing more was written\n", executable.c_str(), names[i]);
    interruptlength[i] = n > 0 ? std::min(static_cast<std::size_t>(n), sizeof interruptmessage[i] - 1) : 0;
  }
  struct sigaction action {};
  action.sa_handler = interrupted;
  sigemptyset(&action.sa_mask);
  sigaddset(&action.sa_mask, SIGINT);
  sigaddset(&action.sa_mask, SIGTERM);
  ::sigaction(SIGINT, &action, nullptr);
  ::sigaction(SIGTERM, &action, nullptr);
}

} // namespace

bool guarded(const std::function<void()>& action, std::string_view what) {
  try {
    action();
    return true;
  } catch (const std::bad_alloc&) {
    // Said in words, naming the action: "std::bad_alloc" tells nobody what
    // to do.
    const std::string message = outofmemory(what);
    lasterror() = message;
    lastcancelledflag() = false;
    std::fflush(stdout);
    std::fprintf(stderr, "%s\n", message.c_str());
    std::fflush(stderr);
    if (Figure* f = programwindow()) f->setstatus(QObject::tr("Error: ") + QString::fromStdString(message));
    return false;
  } catch (const std::exception& e) {
    std::fflush(stdout);
    std::fprintf(stderr, "%s\n", e.what());
    std::fflush(stderr);
    // A cancel the user asked for is no error: its words stand alone.
    const bool cancelled = dynamic_cast<const core::Cancelled*>(&e) != nullptr;
    lasterror() = e.what();
    lastcancelledflag() = cancelled;
    if (Figure* f = programwindow())
      f->setstatus((cancelled ? QString() : QObject::tr("Error: ")) + QString::fromUtf8(e.what()));
    return false;
  }
}

void defineshell(const Program& program) {
  defineshared();
  definelauncher(program.launcher, [&program] { openprogramwindow(program); });
  defineplaceholders(program.launcher, program.placeholders);
  definelauncher("AuxBox", [] { AuxBox(); });
  defineplaceholders("AuxBox", {"AuxResults", "AppendResults"});

  shell::define(shell::callable("CopyBigImage", 1, 0, [](const shell::Values&, int) -> shell::Values {
    Figure* f = gcf();
    if (f == nullptr || f->plot() == nullptr) throw core::Error("CopyBigImage: there is no plot to copy");
    copybigimage(f->plot());
    return {};
  }));
  shell::define(shell::callable("movegui", 2, 0, [](const shell::Values& args, int) -> shell::Values {
    QWidget* w = gcf();
    if (args.size() > 1 || w == nullptr) throw core::Error("handle of figure or descendant required");
    if (args.empty()) movegui(w, "onscreen");
    else if (const auto* s = std::get_if<std::string>(&args[0])) movegui(w, *s);
    else if (const auto& m = std::get<Eigen::MatrixXd>(args[0]); m.size() == 2) movegui(w, m(0), m(1));
    else throw core::Error("unrecognized input argument");
    return {};
  }));
  shell::define(shell::callable("openfig", 2, 1, [](const shell::Values& args, int) -> shell::Values {
    if (args.empty()) throw core::Error("openfig needs a layout file name");
    openfig(text(args[0], "The layout file name"), args.size() > 1 ? text(args[1], "The policy") : "new");
    return {};
  }));
}

void installhost(std::unique_ptr<WindowHost> h, const Program& program) {
  usewindows(std::move(h));
  running() = &program;
  setcallbackrunner(runcallback);
}

int run(const Program& p, int argc, char** argv) {
  catchinterrupts(p.executable);
  CLI::App app{p.summary, p.executable};
  std::string script, shot, window;
  std::uint64_t seed = 0;
  bool quiet = false, timing = false;
  std::vector<std::string> words;
  app.add_option("--run", script, "run the actions of SCRIPT without a window ('-' reads standard input)")
      ->type_name("SCRIPT");
  auto* seedopt =
      app.add_option("--seed", seed, "seed the random generator, so that a run can be repeated")->type_name("N");
  app.add_flag("--quiet", quiet, "silence the running commentary of the computations");
  app.add_flag("--timing", timing,
               "with --run: after each command, print to standard error its time and peak memory, as "
               "'timing: line L COMMAND S s, peak M MiB' ('peak so far' where the peak cannot be restarted)");
  app.add_option("--screenshot", shot, "save a picture of the window to FILE (PNG) and exit")->type_name("FILE");
  app.add_option("--window", window, "with --screenshot: the window to picture, e.g. AuxBox, or UsersGuide (the user's guide)")->type_name("NAME");
  app.add_option("call", words,
                 "FILE: open the window with FILE loaded (by the first load action); or NAME ARGS...: call the "
                 "function NAME with the words as text arguments")
      ->type_name("FILE | NAME ARGS");
  app.set_version_flag("--version", core::versiontext(p.executable));
  // The actions after the options, as the man pages show them too; CLI11
  // ends the footer with its own line end.
  if (!p.actions.empty()) {
    std::string footer = "Actions:\n" + actionhelp(p.actions);
    footer.pop_back();
    app.footer(footer);
  }
  CLI11_PARSE(app, argc, argv);

  // A scripted run needs no display.
  if (!script.empty() && std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  // Qt wants a private runtime folder and complains on every start without
  // one; give it the one it would fall back to.
  if (std::getenv("XDG_RUNTIME_DIR") == nullptr) {
    const std::string runtime = "/tmp/runtime-" + std::to_string(getuid());
    if (mkdir(runtime.c_str(), 0700) == 0 || errno == EEXIST) setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
  }
  qtdefault() = qInstallMessageHandler(filterqt);
  QApplication qapp(argc, argv);
  // Qt adopts the user's locale; numbers in files and reports are always
  // written with a decimal point.
  std::setlocale(LC_NUMERIC, "C");
  QApplication::setApplicationName(QString::fromStdString(p.executable));
  // The desktop entry of the program, so that a desktop shows the window
  // with its installed icon and name.
  QGuiApplication::setDesktopFileName(QString::fromStdString("org.tectomorph." + p.launcher));

  if (seedopt->count() > 0) core::setseed(seed);
  running() = &p;
  setcallbackrunner(runcallback);
  defineshell(p);
  if (p.define) p.define();
  if (p.random && shot.empty())
    std::fprintf(stderr, "%s: random seed %llu (repeat a run with --seed %llu)\n", p.executable.c_str(),
                 static_cast<unsigned long long>(core::seed()), static_cast<unsigned long long>(core::seed()));

  const bool files = script.empty() && namesfiles(p, words);
  if (!shot.empty() && script.empty()) {
    usewindows(std::make_unique<WindowHost>(p.launcher));
    if (files && !openwithfiles(p, words)) return 1;
    return screenshot(p, shot, window);
  }

  if (!script.empty()) {
    setheadless(true);
    hostslot() = std::make_unique<WindowHost>(p.launcher);
    scriptslot() = std::make_unique<ScriptHost>(*hostslot(), hostslot().get());
    ScriptHost& h = *scriptslot();
    h.setquiet(quiet);
    if (::isatty(STDERR_FILENO) != 0) h.showprogress(stderr);
    if (timing) h.showtiming(stderr);
    sethost(&h);
    if (!guarded([&] { openprogramwindow(p); })) return 1;
    int status = 1;
    std::error_code ec;
    if (script == "-") {
      status = runscript(std::cin, "standard input", h, p);
    } else if (std::filesystem::is_directory(script, ec)) {
      std::fprintf(stderr, "%s: the script '%s' is a folder, not a file of commands\n", p.executable.c_str(),
                   script.c_str());
    } else if (std::ifstream in(script); in) {
      status = runscript(in, script, h, p);
    } else {
      std::fprintf(stderr, "%s: cannot open the script '%s': %s\n", p.executable.c_str(), script.c_str(),
                   std::strerror(errno));
    }
    // With --screenshot too: a picture of the window as the script left it.
    if (status == 0 && !shot.empty()) status = screenshot(p, shot, window);
    return status;
  }

  usewindows(std::make_unique<WindowHost>(p.launcher));
  hostslot()->setquiet(quiet);
  if (files) {
    if (!openwithfiles(p, words)) return 1;
  } else if (words.empty()) {
    if (!guarded([&] { openprogramwindow(p); })) return 1;
  } else {
    shell::Values args(words.begin(), words.end());
    guarded([&] { shell::call(p.launcher, args, 0); });
    if (figures().empty()) return 0;
  }
  return QApplication::exec();
}

} // namespace shell
