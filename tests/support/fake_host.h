#pragma once
// A Host without windows or Qt for the switch tests: controls are a map of
// tags to rows, seeded from the program's layout file as its window shows
// them at start; dialogs are answered from a queue of paths, and message
// boxes, console output and everything drawn are recorded for the test to
// read. No QApplication is needed.

#include "shell/host.h"

#include <deque>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace testsupport {

// Axes that keep what was drawn: every plot with its points and style, the
// texts, and how often they were cleared.
class FakeAxes : public shell::Axes {
public:
  struct Plot {
    Eigen::VectorXd x, y;
    std::string style;
  };

  void cla() override;
  void sethold(bool on) override { hold_ = on; }
  bool hold() const override { return hold_; }
  void plot(const Eigen::VectorXd& x, const Eigen::VectorXd& y, std::string_view style, double markersize) override;
  // Records the name in `legend` once per name and style, as the windows'
  // legend keys them.
  void name(std::string_view name) override;
  void text(double x, double y, std::string_view label) override;
  void label(std::string_view x, std::string_view y) override {
    xlabel = x;
    ylabel = y;
  }
  void title(std::string_view text) override { titletext = text; }
  void axisauto() override;
  void axisequal() override {}
  shell::Limits limits() const override { return limits_; }
  void setlimits(const shell::Limits& limits) override { limits_ = limits; }
  // Records the path; writes no picture.
  void save(const std::string& path) override { saved.push_back(path); }
  // Points with a NaN coordinate (a missing landmark, a break in a line)
  // are not counted, as a window does not mark them.
  std::size_t pointcount() const override;

  struct Text {
    double x, y;
    std::string label;
  };

  std::vector<Plot> plots;         // since the last cla()
  std::vector<Text> texts;         // since the last cla()
  // Since the last cla() or plot with hold off: the title, the axis labels
  // and the legend's names in order (with each key's style).
  std::string titletext, xlabel, ylabel;
  std::vector<std::string> legend, legendstyles;
  std::vector<std::string> saved;
  int cleared = 0;                 // how many times cla() ran

private:
  void clear();
  bool hold_ = false;
  shell::Limits limits_{0, 1, 0, 1};
};

class FakeHost : public shell::Host {
public:
  struct Box {
    std::string text, title;
  };

  // The controls of the window of `launcher` ("Restrain"), each with the
  // String its layout gives it; none for an empty name. string() of any
  // other tag raises core::Error as a window does. The results window's
  // AuxResults box is there once setresults() has opened it.
  explicit FakeHost(const std::string& launcher = "");
  // The same from the layout file at `path`.
  static FakeHost fromfile(const std::string& path);

  std::vector<std::string> string(std::string_view tag) const override;
  void setstring(std::string_view tag, const std::vector<std::string>& rows) override;
  using shell::Host::setstring;
  void setenable(std::string_view tag, bool on) override;
  // The next answer from `answers` (a path, or "-" to cancel); none left
  // cancels too. The dialog's title is recorded.
  std::optional<shell::FileChoice> uigetfile(std::string_view filter, std::string_view title) override;
  std::optional<shell::FileChoice> uiputfile(std::string_view filter, std::string_view title) override;
  void msgbox(std::string_view text, std::string_view title) override;
  // Records the question and takes the next of `replies`, or `unasked`
  // when none is left.
  std::size_t ask(std::string_view text, std::string_view title, const std::vector<std::string>& answers,
                  std::size_t unasked) override;
  shell::Axes& axes() override { return axes_; }
  void setresults(const std::vector<std::string>& rows) override;
  std::vector<std::string> results() const override;
  void clearresults() override { controls_.erase("AuxResults"); }
  void closewindow() override { closed = true; }
  bool progress(std::string_view what, double fraction) override;
  void print(std::string_view text) override { printed += text; }
  void echo(std::string_view text) override { echoed += text; }

  FakeAxes& fakeaxes() { return axes_; }

  std::deque<std::string> answers;      // paths for the next dialogs
  std::vector<std::string> dialogs;     // titles of the dialogs asked
  std::vector<Box> boxes;               // message boxes shown
  std::vector<Box> questions;           // questions asked
  std::deque<std::size_t> replies;      // answers to the next questions
  std::set<std::string> disabled;       // tags set Enable "Off"
  std::string printed, echoed;
  bool closed = false;
  int progresscalls = 0;
  int cancelafter = -1; // from this many progress calls on, Cancel is pressed (never while negative)

private:
  std::optional<shell::FileChoice> next(std::string_view title);
  std::map<std::string, std::vector<std::string>, std::less<>> controls_;
  FakeAxes axes_;
};

} // namespace testsupport
