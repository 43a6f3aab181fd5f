#pragma once
// The results pane of a program window: a read-only log beside the plot
// where every message, every report and every action's summary is kept
// for the whole run, headed by the action's name and time, so that a result
// does not vanish with the box that showed it. Beside the log, in a second
// tab, the last report an action showed, as text the user may edit and
// append to a file (the AuxResults box and its AuxBoxsw button). The pane
// saves its text, or the run as a dated report (program, version, seed, the files loaded with
// their SHA-256 checksums, then the log).
//
// "Unsaved results": some action other than a save has put a message box
// or a report into the pane since the last time the results were kept,
// which is a save of the pane, a save of the run report, or a save action
// (shell::ActionKind::save) that ended without error.

#include "shell/actions.h"

#include <QDateTime>
#include <QWidget>
#include <chrono>
#include <string>
#include <string_view>
#include <vector>

class QPlainTextEdit;
class QPushButton;
class QTabWidget;

namespace shell {

class Figure;

// What the run report says of the program itself.
struct RunInfo {
  std::string program; // "restrain"
  bool random = false; // it draws random numbers: the report gives the seed
};

// A file the user loaded through a file dialog, as it was when chosen.
struct LoadedFile {
  std::string path;
  std::string sha256; // hex, or empty when the file could not be read
  QDateTime when;
};

class ResultsPane : public QWidget {
public:
  ResultsPane(RunInfo info, QWidget* parent = nullptr);

  // An action of that kind begins: its heading is written ("== NAME
  // HH:MM:SS ==").
  void beginaction(const std::string& name, ActionKind kind);
  // It ends: its summary is written ("-- NAME: 0.42 s", "-- NAME: failed:
  // MESSAGE (0.42 s)", "-- NAME: cancelled (0.42 s)"). `failure` is the
  // error's message; `cancelled` says the user stopped it.
  void endaction(const std::string& failure = "", bool cancelled = false);
  bool inaction() const { return inaction_; }

  // A message box's title and text; a report's rows.
  void message(std::string_view text, std::string_view title);
  void report(const std::vector<std::string>& rows);
  // Brings the log, or the last report, into view.
  void showlog();
  void showreport();
  // A file chosen in a load dialog: its checksum is taken now.
  void loaded(const std::string& path);

  // The pane's text, and the run report made from it.
  QString text() const;
  QString runreport() const;
  const std::vector<LoadedFile>& files() const { return files_; }

  // Writes the pane's text, or the run report, to `path` (replacing it,
  // all or nothing). Raises core::Error naming the file when it fails.
  void saveresults(const std::string& path);
  void saverunreport(const std::string& path);
  // Asks for a file name and saves; false when cancelled or failed (the
  // failure is said in a message box).
  bool saveresultsdialog();
  bool saverunreportdialog();

  bool unsaved() const { return unsaved_; }

private:
  void append(const QString& text);
  bool savedialog(bool report);
  RunInfo info_;
  QDateTime started_;
  friend ResultsPane* addresultspane(Figure* window, RunInfo info);
  QTabWidget* tabs_ = nullptr;
  QPlainTextEdit* view_ = nullptr;
  QPushButton* saveresults_ = nullptr;
  QPushButton* savereport_ = nullptr;
  std::vector<LoadedFile> files_;
  QString folder_;
  std::string action_;
  bool save_ = false; // the action is a save
  std::chrono::steady_clock::time_point actionstart_{};
  bool inaction_ = false;
  bool actionresults_ = false; // the running action has shown a result
  bool unsaved_ = false;
};

// Puts a results pane beside the window's layout, in a splitter the user
// can drag, and returns it (a window that has one keeps it). Its report
// tab is the AuxBox layout, whose controls become the window's. A headless
// window keeps the pane hidden so that its plot keeps the size scripts
// save pictures at; showresultspane() shows it (for a screenshot).
ResultsPane* addresultspane(Figure* window, RunInfo info);
ResultsPane* resultspane(const Figure* window);
void showresultspane(Figure* window);

// Whether closing the window must first ask about unsaved results: never
// in scripted or headless runs, nor without a pane or unsaved results.
bool askbeforeclose(const Figure* window);

} // namespace shell
