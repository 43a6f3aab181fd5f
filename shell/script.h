#pragma once
// Scripted runs: `PROGRAM --run SCRIPT` drives the program's actions
// without a window. A script is text, one command per line, words
// separated by blanks, double quotes around a word with blanks, '#'
// starting a comment:
//
//   set TAG TEXT...   sets the String of a control, as typed in an edit box
//   show TAG          prints the control's String, one line per text line
//   plot FILE         saves the current axes as PNG, SVG or PDF
//   report FILE       saves the run report of the results pane (program,
//                     version, seed, files loaded with their checksums,
//                     every action with its results)
//   AuxBoxsw FILE     appends the Results tab's text to FILE
//   export FILE.csv   writes the table the last action showed as CSV
//                     (refused when that action showed none)
//   ACTION FILE...    runs ACTION of the program's action switch; the FILE
//                     words answer its file dialogs in order (a missing
//                     word or "-" cancels that dialog)
//
// A message box prints "== TITLE ==", its text and an empty line; a
// question prints likewise, with the answer a script takes ("Answered
// without asking: ..."), since nobody is there to choose; text set in
// the Results tab prints likewise under "== Results ==". Relative
// file names are taken relative to the folder the run started in. The
// first action that ends with an error stops the run.
//
// A timed run (`--timing`) prints, after each command that ran to its end,
// one line to standard error:
//
//   timing: line 4 DoWellman 0.734 s, peak 123.4 MiB
//
// the script's line, the command's first word, its wall-clock time and the
// most resident memory the process held while it ran. Where the system
// will not restart the peak for each command, the line says "peak so far"
// and gives the most the process has held since it started.
//
// Nothing here needs Qt: a program runs a script on its hidden windows
// (shell/qt/program.h), and the switches' tests on a host without any.

#include "shell/host.h"
#include "shell/program.h"

#include <chrono>
#include <cstdio>
#include <deque>
#include <istream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace shell {

// What the log of a run hears: a program window's results pane keeps it
// (and the run report made from it); a run without one keeps nothing.
class RunLog {
public:
  virtual ~RunLog() = default;
  // An action of that kind begins, and it ends (`failure` is the error's
  // message; `cancelled` says the user stopped it).
  virtual void beginaction(const std::string& name, ActionKind kind) = 0;
  virtual void endaction(const std::string& failure = "", bool cancelled = false) = 0;
  // A file chosen in a load dialog.
  virtual void loaded(const std::string& path) = 0;
  // The values of the boxes the running action reads (boxesused()), and a
  // file chosen in a save dialog, which the action may write: a log that
  // keeps them records each file the action did write.
  virtual void used(const std::vector<std::string>& boxes) { (void)boxes; }
  virtual void writing(const std::string& path) { (void)path; }
  // A file written outside any action (a script's plot), recorded now.
  virtual void wrote(const std::string& path) { (void)path; }
  // A message box's text and title.
  virtual void message(std::string_view text, std::string_view title) = 0;
  // A result line (Host::note), already printed.
  virtual void noted(std::string_view line) = 0;
  // Saves the run report to `path`; raises core::Error naming the file
  // when it fails, or when there is nothing to report from.
  virtual void saverunreport(const std::string& path) = 0;
};

// The host of scripted runs: the program's controls, axes and results
// window are those of `window` (the program's hidden windows, or a test's
// host without any); file dialogs take their answers from the script, and
// message boxes and results print to standard output. `log`, when given,
// hears what the run does.
class ScriptHost : public Host {
public:
  explicit ScriptHost(Host& window, RunLog* log = nullptr);

  std::vector<std::string> string(std::string_view tag) const override { return window_.string(tag); }
  void setstring(std::string_view tag, const std::vector<std::string>& rows) override { window_.setstring(tag, rows); }
  using Host::setstring;
  void setenable(std::string_view tag, bool on) override { window_.setenable(tag, on); }
  std::optional<FileChoice> uigetfile(std::string_view filter, std::string_view title) override;
  std::optional<FileChoice> uiputfile(std::string_view filter, std::string_view title) override;
  void msgbox(std::string_view text, std::string_view title) override;
  std::size_t ask(std::string_view text, std::string_view title, const std::vector<std::string>& answers,
                  std::size_t unasked) override;
  Axes& axes() override { return window_.axes(); }
  void setresults(const std::vector<std::string>& rows) override;
  std::vector<std::string> results() const override { return window_.results(); }
  void showtable(const Table& table) override {
    window_.showtable(table);
    Host::showtable(table);
  }
  void clearresults() override { window_.clearresults(); }
  void closewindow() override { window_.closewindow(); }
  bool progress(std::string_view what, double fraction) override;
  void print(std::string_view text) override;
  void echo(std::string_view text) override;
  void note(std::string_view line) override;

  RunLog* log() const { return log_; }
  // Silences echo().
  void setquiet(bool quiet) { quiet_ = quiet; }
  // Ends the progress line of an action.
  void endprogress();

  // Where progress of long actions is shown: one line rewritten in place,
  // at most once per `interval` seconds. A run whose standard error is a
  // terminal shows it there; a run into a file or a pipe shows none, so
  // logs and captured output stay as they were.
  void showprogress(std::FILE* out, double interval = 0.25) {
    progressout_ = out;
    progressinterval_ = interval;
  }

  // Where a timed run prints each command's time and peak memory (null:
  // nowhere, the default).
  void showtiming(std::FILE* out) { timingout_ = out; }
  std::FILE* timingout() const { return timingout_; }

  // The action a script ran last ("" before the first): the one whose
  // table `export` writes.
  const std::string& lastaction() const { return lastaction_; }
  void setlastaction(std::string name) {
    lastaction_ = std::move(name);
    forgettable();
  }

  // Relative file names are taken from here (the folder a run starts in).
  void startin(std::string folder) { start_ = std::move(folder); }

  // The answers for the next dialogs ("-" cancels); returns those left
  // unused by the previous action.
  std::vector<std::string> answer(std::vector<std::string> files);

private:
  std::optional<FileChoice> next(std::string_view title);
  Host& window_;
  RunLog* log_;
  bool quiet_ = false;
  std::deque<std::string> answers_;
  std::string start_; // the folder the run started in
  std::string lastaction_;
  std::FILE* progressout_ = nullptr;
  double progressinterval_ = 0.25;
  std::chrono::steady_clock::time_point progressshown_{};
  std::size_t progresswidth_ = 0; // characters of the line now shown
  std::FILE* timingout_ = nullptr;
};

// Splits a script line into words: blanks separate, double quotes group,
// '#' outside quotes ends the line. Raises core::Error for an unclosed
// quote.
std::vector<std::string> scriptwords(std::string_view line);

// Runs a script with the action switch of `program`. Returns the exit
// status: 0 when every command ran, 1 after the first error (whose message
// goes to standard error with the script's name and line) or when the
// script cannot be read to its end. LF, CR LF and lone CR end lines alike;
// a UTF-8 byte-order mark before the first command is skipped.
int runscript(std::istream& script, const std::string& scriptname, ScriptHost& host, const Program& program);

// The message for an action that ran out of memory (std::bad_alloc):
// "Not enough memory for DoRetro: ...".
std::string outofmemory(std::string_view what);

} // namespace shell
