#pragma once
// The Host of the Qt windows: controls are the widgets of the open
// windows, dialogs are Qt's file dialogs, results and notices go to the
// results pane of the program's window (only alerts are message boxes,
// non-modal), and the axes are the program window's plot area. Its RunLog is
// the results pane of the program's window, which a scripted run on the
// hidden windows tells too.

#include "shell/host.h"
#include "shell/qt/window.h"
#include "shell/script.h"

#include <map>
#include <memory>
#include <utility>

class QCustomPlot;

namespace shell {

class PlotAxes;
class ResultsPane;

// The String of a control as rows, and setting it. Edit boxes hold one
// row; labels and multi-line boxes show their rows one per line and keep
// them exactly (padding included) until the user edits the text.
std::vector<std::string> controlstring(QObject* control);
void setcontrolstring(QObject* control, const std::vector<std::string>& rows);

class WindowHost : public Host, public RunLog {
public:
  // `window` is the layout name of the program's main window.
  explicit WindowHost(std::string window);
  ~WindowHost() override;

  std::vector<std::string> string(std::string_view tag) const override;
  void setstring(std::string_view tag, const std::vector<std::string>& rows) override;
  using Host::setstring;
  void setenable(std::string_view tag, bool on) override;
  std::optional<FileChoice> uigetfile(std::string_view filter, std::string_view title) override;
  std::optional<FileChoice> uiputfile(std::string_view filter, std::string_view title) override;
  std::optional<FileChoice> uiappendfile(std::string_view filter, std::string_view title) override;
  void msgbox(std::string_view text, std::string_view title) override;
  // A modal question on the program's window; Escape or closing it takes
  // the last answer (Cancel). An answer given by answerquestion() is taken
  // instead, without showing the question.
  std::size_t ask(std::string_view text, std::string_view title, const std::vector<std::string>& answers,
                  std::size_t unasked) override;
  void alert(std::string_view text, std::string_view title) override;
  Axes& axes() override;
  void setresults(const std::vector<std::string>& rows) override;
  std::vector<std::string> results() const override;
  void showtable(const Table& table) override;
  void clearresults() override;
  void closewindow() override;
  bool progress(std::string_view what, double fraction) override;
  void print(std::string_view text) override;
  void echo(std::string_view text) override;
  void note(std::string_view line) override;

  // The program's main window (opened if it is not open).
  Figure* window() const;
  // Silences echo().
  void setquiet(bool quiet) { quiet_ = quiet; }
  // Ends the progress display of an action and clears its cancel request.
  virtual void endprogress();
  // The folder in which the next file dialog opens.
  const std::string& dialogfolder() const { return folder_; }
  // Answers the next file dialog with `path` instead of showing it (a
  // recent file chosen from the menu, a file dropped on the window), as a
  // script answers dialogs; forgetanswer() drops an answer no dialog took.
  void answernext(std::string path) { answer_ = std::move(path); }
  void forgetanswer() { answer_.reset(); }
  // Answers the next question with the answer of that index, as a person
  // would by its button.
  void answerquestion(std::size_t index) { question_ = index; }
  // The file the last open dialog gave since the previous call (shown or
  // answered), and forgetting it: what an action loaded.
  std::optional<std::string> takeopened() { return std::exchange(opened_, std::nullopt); }
  // The results pane of the program's window, or nullptr.
  ResultsPane* pane() const;

  // The results pane hears the run, when the window has one: a file
  // chosen for loading is noted with its checksum for the run report, and
  // a noted line also shows on the status line. A run report needs the
  // pane: without one, saverunreport raises core::Error.
  void beginaction(const std::string& name, ActionKind kind) override;
  void endaction(const std::string& failure = "", bool cancelled = false) override;
  void loaded(const std::string& path) override;
  void used(const std::vector<std::string>& boxes) override;
  void writing(const std::string& path) override;
  void wrote(const std::string& path) override;
  void message(std::string_view text, std::string_view title) override;
  void noted(std::string_view line) override;
  void saverunreport(const std::string& path) override;

protected:
  std::string window_;
  std::string folder_;
  bool quiet_ = false;

private:
  QObject* control(std::string_view tag) const;
  std::optional<FileChoice> filedialog(bool save, std::string_view filter, std::string_view title);
  std::optional<std::string> answer_, opened_;
  std::optional<std::size_t> question_;
  bool appending_ = false;       // uiputfile asked by uiappendfile
  bool shown_ = false;           // the last file dialog was shown, not answered
  bool folderremembered_ = false; // the settings' folder was looked up
  std::map<QCustomPlot*, std::unique_ptr<PlotAxes>> axes_;
  // Connections made on behalf of this host end with it.
  std::unique_ptr<QObject> guard_;
  std::int64_t lastevents_ = 0;
};

} // namespace shell
