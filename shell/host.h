#pragma once
// The one seam between the programs' action switches and the outside
// world. A switch reads and sets controls, asks for files, shows message
// boxes, draws in the axes, fills the results pane and reports progress
// only through a Host. Two hosts exist: the Qt windows, and the scripted
// host of `PROGRAM --run SCRIPT` and of the tests, which answers dialogs
// from the script and prints message boxes. Nothing here depends on Qt, so
// switches and their tests can be written against this header alone.

#include "shell/table.h"

#include <Eigen/Core>
#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace shell {

// Axis limits [xmin xmax ymin ymax].
using Limits = std::array<double, 4>;

// One plot area. Styles are a colour letter (b g r c m y k w) followed by a
// marker (o . + x * s d v ^ < > p h) or a line ('-', or nothing after the
// colour: a bare colour letter draws a solid line through the points).
class Axes {
public:
  virtual ~Axes() = default;

  // Removes every plot and text, the title, the axis labels and the
  // legend, keeping the axes.
  virtual void cla() = 0;
  // Hold on: later plots add to the axes. With hold off a plot first
  // clears them (as cla() does). Windows start with hold off.
  virtual void sethold(bool on) = 0;
  virtual bool hold() const = 0;
  // Adds one plottable: the points (x_i, y_i) in their order, so later
  // markers lie on top of earlier ones. Marker size in points.
  virtual void plot(const Eigen::VectorXd& x, const Eigen::VectorXd& y, std::string_view style,
                    double markersize = 6) = 0;
  // Names the set that the last plot call drew, for the legend: the legend
  // shows one entry per name and style, in the order the names were first
  // given, each with its set's marker or line; sets without a name get no
  // entry, and axes without any named set show no legend. Calls of one
  // style that carry the same name are one entry. Raises core::Error when
  // nothing was plotted since the axes were last cleared.
  virtual void name(std::string_view name) = 0;
  // A small text label centred on (x, y) in data units; a caller places
  // it where it covers no data.
  virtual void text(double x, double y, std::string_view label) = 0;
  // The labels of the x and the y axis, with the units in the text
  // ("x (Procrustes units)"); an empty text leaves that axis unlabelled.
  virtual void label(std::string_view x, std::string_view y) = 0;
  // The title above the axes; empty for none.
  virtual void title(std::string_view text) = 0;
  // Limits that fit everything drawn so far.
  virtual void axisauto() = 0;
  // Equal scaling in x and y (one data unit is as long on both axes).
  virtual void axisequal() = 0;
  virtual Limits limits() const = 0;
  virtual void setlimits(const Limits& limits) = 0;
  // Saves the axes as a picture: PNG, SVG or PDF by the file's extension.
  // Raises core::Error naming the file for another extension or a failed
  // write.
  virtual void save(const std::string& path) = 0;
  // How many markers and line vertices the axes hold, over all plottables.
  virtual std::size_t pointcount() const = 0;
};

// A file chosen in a dialog: the name without folder, and the folder,
// which ends with a separator.
struct FileChoice {
  std::string name;
  std::string folder;
  // For a file to append to: the person chose to replace what it holds.
  bool replace = false;
  std::string path() const { return folder + name; }
};

class Host {
public:
  virtual ~Host() = default;

  // The String of the control with that Tag (searched in every open
  // window of the program), as rows of text: an edit box holds one row; a
  // text box may hold several rows, or one row with line ends in it.
  // Raises core::Error when no window has such a control.
  virtual std::vector<std::string> string(std::string_view tag) const = 0;
  // Sets the String to these rows; they show one row per line. A text
  // matrix (rows padded with blanks to one length) is made with charmatrix().
  virtual void setstring(std::string_view tag, const std::vector<std::string>& rows) = 0;
  // Enable "On" / "Off".
  virtual void setenable(std::string_view tag, bool on) = 0;

  // File dialogs (filter such as "*.*" or "*.tps", and a title). Nothing
  // when the user cancels. The folder of a chosen file becomes the folder
  // in which the next dialog opens.
  virtual std::optional<FileChoice> uigetfile(std::string_view filter, std::string_view title) = 0;
  virtual std::optional<FileChoice> uiputfile(std::string_view filter, std::string_view title) = 0;
  // A save dialog for a file the action appends to: an existing file is
  // kept, so the dialog does not ask whether to replace it; a window then
  // asks whether to replace it, append to it or cancel (`replace` says
  // the first). A host that does not tell the two apart asks as uiputfile
  // does, and appends.
  virtual std::optional<FileChoice> uiappendfile(std::string_view filter, std::string_view title) {
    return uiputfile(filter, title);
  }

  // A result or a notice for the user; the action goes on. A window keeps
  // it in its results pane rather than in a box to be dismissed.
  virtual void msgbox(std::string_view text, std::string_view title) = 0;
  // A warning or an error the user must see before going on: a window
  // shows it in a message box (and keeps it in the pane too). A host that
  // does not tell the two apart shows it as msgbox() does.
  virtual void alert(std::string_view text, std::string_view title) { msgbox(text, title); }

  // A question, asked before the action does anything it cannot undo:
  // the text, a title and the answers (button texts). Returns the index of
  // the answer chosen. A window asks and waits; a host with nobody to ask
  // (a script, a test) takes answer `unasked` and says which it took, so
  // that a run's output records the choice.
  virtual std::size_t ask(std::string_view text, std::string_view title, const std::vector<std::string>& answers,
                          std::size_t unasked) {
    print(std::string(title.empty() ? "== ==" : "== " + std::string(title) + " ==") + "\n" + std::string(text) +
          "\nAnswered without asking: " + answers.at(unasked) + "\n\n");
    return unasked;
  }

  // The axes in which the program plots.
  virtual Axes& axes() = 0;

  // Shows the text as the last report (the rows of the String of the
  // AuxResults box, in the results pane of the program's window).
  virtual void setresults(const std::vector<std::string>& rows) = 0;
  // The text of the last report; empty when none was shown.
  virtual std::vector<std::string> results() const = 0;
  // Empties the results shown (the results window's text and what the
  // window shows beside it) when the data they came from are replaced or
  // forgotten; the log of the run keeps them.
  virtual void clearresults() {}

  // Shows a table of results beside the report's text: in a window, a
  // sortable view in the results pane that exports to CSV. Every host
  // keeps the last table shown (table()), which a script's `export` and
  // the window's File menu write.
  virtual void showtable(const Table& table) { table_ = table; }
  const std::optional<Table>& table() const { return table_; }
  void forgettable() { table_.reset(); }

  // Closes the program's window.
  virtual void closewindow() = 0;

  // Reports progress of a long action (fraction in [0, 1]) and lets the
  // window answer input meanwhile. Returns false when the user asked to
  // cancel; the action should then stop and change nothing.
  virtual bool progress(std::string_view what, double fraction) = 0;

  // Console output. print() is for messages a person needs (always shown);
  // echo() is for the running commentary of computations, which --quiet
  // silences.
  virtual void print(std::string_view text) = 0;
  virtual void echo(std::string_view text) = 0;
  // A result line a person should find wherever they look: printed as
  // print() does (with a line end), and in a window also kept in the
  // results pane and shown on the status line.
  virtual void note(std::string_view line) { print(std::string(line) + "\n"); }

  // A String of one row, which may hold line ends.
  void setstring(std::string_view tag, std::string_view text) { setstring(tag, std::vector<std::string>{std::string(text)}); }

private:
  std::optional<Table> table_;
};

// Rows padded with blanks to the length of the longest, as a text matrix
// holds them.
std::vector<std::string> charmatrix(std::vector<std::string> rows);

// Splits text at its line ends (LF, CR LF or CR) into lines.
std::vector<std::string> splitlines(std::string_view text);

// The host of the running program (its windows, or a script), which the
// functions called by name act on. Raises core::Error when none is set.
Host& host();
// Makes `h` the running program's host (nullptr: none); the caller keeps
// it alive while it is set.
void sethost(Host* h);

} // namespace shell
