#pragma once
// The Axes of a program window, drawn by a QCustomPlot widget. The axes
// state that the actions expect to persist between plot calls (hold,
// automatic or fixed limits, equal scaling) lives with the widget, so that
// every PlotAxes wrapping the same widget sees the same axes, and equal
// scaling survives a resize of the window.

#include "shell/host.h"

#include <QByteArray>
#include <QString>
#include <QSize>

#include <string_view>

class QCustomPlot;

namespace shell {

class PlotAxes : public Axes {
public:
  // Wraps a widget owned by its window (or by a hidden window in scripted
  // runs); the widget must outlive the wrapper. The first wrapper gives the
  // widget its looks: white, boxed axes with ticks, no grid, no legend.
  explicit PlotAxes(QCustomPlot* plot);

  void cla() override;
  void sethold(bool on) override;
  bool hold() const override;
  // The points in the given order, in a QCPCurve of their own, or added to
  // the last call's curve when that has the same style and marker size and
  // nothing else was drawn since (lines get a gap between calls). A point
  // with a NaN coordinate (a missing landmark) gets no marker, and a line
  // breaks there; pointcount() does not count it. With hold off it
  // first clears the axes (title, labels and legend too) and returns them
  // to automatic limits without equal scaling. Raises core::Error for an
  // unknown style or when x and y differ in length.
  void plot(const Eigen::VectorXd& x, const Eigen::VectorXd& y, std::string_view style,
            double markersize = 6) override;
  // A key in the legend for the last call's set, unless one of that name
  // and style is there already. The legend shows only while it has keys,
  // small, in a row of its own below the axes (two keys a line where the
  // width takes them), so that it covers no data.
  void name(std::string_view name) override;
  // Axis labels in the plot's font; the axis box gives them room.
  void label(std::string_view x, std::string_view y) override;
  // A bold title in a row of its own above the axes, which appears only
  // while there is a title to show: without one, the picture is the one
  // drawn before titles existed.
  void title(std::string_view text) override;
  // Small black text centred on (x, y).
  void text(double x, double y, std::string_view label) override;
  // Tight limits around every plotted point and every text anchor, kept up
  // to date by later plots until setlimits() fixes them.
  void axisauto() override;
  // One data unit is as many pixels on x as on y; the limits only grow, so
  // everything inside them stays visible. Kept through resizes.
  void axisequal() override;
  Limits limits() const override;
  // Exactly these limits (automatic limits and equal scaling end). Raises
  // core::Error unless xmin < xmax and ymin < ymax, all finite.
  void setlimits(const Limits& limits) override;
  // PNG, SVG or PDF by the extension, at the widget's size, written all or
  // nothing: the picture takes the old file's place only when it is whole,
  // and a failure ("Cannot write the plot to 'F': REASON") leaves the old
  // file as it was.
  void save(const std::string& path) override;
  std::size_t pointcount() const override;

  // Lays the axes out as if the widget were `size` pixels large until
  // resetcanvas(); equal scaling is computed for that size. The figure copy
  // draws the axes at the window's size this way.
  void setcanvas(QSize size);
  void resetcanvas();

  // Whether successive calls may share a curve (on by default); off, each
  // call makes its own, which is how the joined drawing is checked.
  void setbatching(bool on);

  QCustomPlot* widget() const { return plot_; }

  class State;

private:
  // Writes the picture all or nothing; save() gives its errors the plot's
  // own wording.
  void savepicture(const std::string& path, const QString& ext, QSize size, const std::string& failed);

  QCustomPlot* plot_;
  State* state_; // a child of the widget
};

// Action titles. While on, axes that an action draws in without giving a
// title of their own are titled with the running action's name (the
// explicit title(), when there is one, wins; the title goes with the rest
// at the next clearing). Off until a program turns them on, for example
// in its Program::define.
void setactiontitles(bool on);
// The action's name is the one shell/actions.h says is running.

// The plot laid out at `size` and magnified `scale` times, as an SVG
// document (scale > 1 thickens lines and markers with the picture).
QByteArray svgpicture(QCustomPlot* plot, QSize size, double scale = 1);

} // namespace shell
