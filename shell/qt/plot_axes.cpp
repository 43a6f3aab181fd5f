#include "shell/qt/plot_axes.h"

#include "core/error.h"
#include "io/text_file.h"
#include "shell/actions.h"

#include <QBuffer>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QSvgGenerator>
#include <qcustomplot.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <optional>
#include <vector>

namespace shell {

// What the axes remember between calls. It is a child of the widget, so it
// lives exactly as long as the axes it describes, and it watches the
// widget's resizes to keep equal scaling.
class PlotAxes::State : public QObject {
public:
  explicit State(QCustomPlot* plot) : QObject(plot), plot_(plot) {
    setObjectName(QStringLiteral("tectomorph-axes-state"));
    plot->installEventFilter(this);
    // Limits and equal scaling are worked out once, just before the axes
    // are drawn, however many plot calls came since the last drawing.
    connect(plot, &QCustomPlot::beforeReplot, this, [this] { settle(); });
  }
  // Marks the limits out of date and asks for one drawing later; cheap, so
  // that an action may plot in many calls.
  void apply() {
    dirty = true;
    plot_->replot(QCustomPlot::rpQueuedReplot);
  }
  // Brings the viewport, the limits and equal scaling up to date.
  void settle();
  // Clears the axes of everything plotted, the texts, the title, the
  // labels and the legend.
  void clear();
  // Shows the legend in its row below the axes, or takes it (and its row)
  // away.
  void showlegend(bool on);
  // Lays the legend's keys out in as many columns as the width takes.
  void fitlegend(int width);
  // Shows the explicit title, else the running action's name when an
  // action drew and action titles are on; no title element at all without
  // either, so that untitled axes are laid out as they always were.
  void showtitle();
  // Something was drawn: with action titles on, the running action titles
  // the axes.
  void drew();
  void take(double x, double y) {
    if (std::isnan(x) || std::isnan(y)) return;
    box[0] = std::min(box[0], x), box[1] = std::max(box[1], x);
    box[2] = std::min(box[2], y), box[3] = std::max(box[3], y);
  }

  bool hold = false;
  bool autolimits = true;
  bool equal = false;
  bool dirty = false;
  Limits base{0, 1, 0, 1}; // the limits before equal scaling widens one axis
  std::optional<QSize> canvas;
  // The box around every plotted point and text anchor (empty while
  // xmin > xmax); kept as things are plotted, so finding the limits does not
  // sweep the whole picture again.
  Limits box{INFINITY, -INFINITY, INFINITY, -INFINITY};
  // The curve the last plot call made, which the next call may extend when
  // it has the same style and marker size and nothing was drawn between.
  QCPCurve* open = nullptr;
  std::string openstyle;
  double opensize = 0;
  int openitems = 0;
  std::size_t breaks = 0; // the gaps put between the lines of joined calls
  bool batching = true;
  // How many plottables there were after the open curve was made (or
  // after the last legend key was added behind it): any other count means
  // something was drawn since.
  int openplottables = 0;

  // The last plot call's style and marker size, which name() gives to the
  // legend key of its set; empty while nothing is plotted.
  std::string laststyle;
  double lastsize = 0;
  // The legend's keys, by name and style. Each is an empty curve with its
  // set's pen and marker: the legend draws a plottable's look, and an empty
  // curve draws nothing in the axes, so naming never changes how data
  // curves are joined or drawn.
  std::vector<std::pair<std::string, std::string>> keys;
  std::string title;     // set by title()
  std::string autotitle; // the action that drew last, with action titles on
  QCPTextElement* titleelement = nullptr;

protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == plot_ && event->type() == QEvent::Resize && !canvas) {
      dirty = true;
      settle();
    }
    return false;
  }

private:
  QCustomPlot* plot_;
};

namespace {

bool actiontitleson = false;

QString qstring(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

struct Style {
  QColor colour;
  char marker = 0; // 0: a solid line instead of markers
};

// Each colour letter names one saturated colour: b blue, r red, k black,
// and so on. Green is the exception: pure green (0, 1, 0) is barely visible
// on white at landmark-marker sizes, so 'g' is the darker (0, 0.5, 0).
std::optional<QColor> colourof(char c) {
  switch (c) {
  case 'b': return QColor(0, 0, 255);
  case 'g': return QColor(0, 128, 0);
  case 'r': return QColor(255, 0, 0);
  case 'c': return QColor(0, 255, 255);
  case 'm': return QColor(255, 0, 255);
  case 'y': return QColor(255, 255, 0);
  case 'k': return QColor(0, 0, 0);
  case 'w': return QColor(255, 255, 255);
  default: return std::nullopt;
  }
}

Style parsestyle(std::string_view style) {
  const auto bad = [&] {
    return core::Error("Unknown plot style '" + std::string(style) +
                       "': use a colour letter (b g r c m y k w) followed by a marker "
                       "(o . + x * s d v ^ < > p h), by '-' or by nothing");
  };
  if (style.empty() || style.size() > 2) throw bad();
  const auto colour = colourof(style[0]);
  if (!colour) throw bad();
  if (style.size() == 1 || style[1] == '-') return {*colour, 0};
  if (std::string_view("o.+x*sdv^<>ph").find(style[1]) == std::string_view::npos) throw bad();
  return {*colour, style[1]};
}

// Custom markers are drawn scaled by size / 6, so they are laid out in a
// box of ±3 like QCustomPlot's own triangles (half-width w = 3, base at
// 0.755 w behind the centre, tip 1.155 w ahead of it).
QPainterPath triangle(double dx, double dy) {
  const double w = 3, back = 0.755 * w, tip = 1.155 * w;
  QPainterPath path;
  path.moveTo(-back * dx - w * dy, -back * dy - w * dx);
  path.lineTo(-back * dx + w * dy, -back * dy + w * dx);
  path.lineTo(tip * dx, tip * dy);
  path.closeSubpath();
  return path;
}

// A star polygon with `points` tips on radius 3 pointing up.
QPainterPath star(int points, double inner) {
  QPainterPath path;
  for (int i = 0; i < 2 * points; ++i) {
    const double r = i % 2 ? 3 * inner : 3, a = std::numbers::pi * i / points;
    const QPointF p(r * std::sin(a), -r * std::cos(a));
    i ? path.lineTo(p) : path.moveTo(p);
  }
  path.closeSubpath();
  return path;
}

// Markers are clipped to the whole widget rather than to the axis box: a
// landmark whose point lies on the limits (automatic limits put the extreme
// landmarks there) is drawn whole, over the axis line, instead of being cut
// in half. (QCPCurve itself skips
// markers whose points lie off the limits.)
//
// A marker drawn at the same pixel as an earlier one of the same plottable
// hides it, so of a dense cloud (a data set of 100,000 specimens puts two
// million markers into a few thousand pixels) only the last marker at each
// pixel is drawn, in the original order: the picture is the same, and it
// draws in a fraction of the time.
class MarkerCurve : public QCPCurve {
public:
  using QCPCurve::QCPCurve;

protected:
  QRect clipRect() const override { return parentPlot()->viewport(); }

  void drawScatterPlot(QCPPainter* painter, const QVector<QPointF>& points, const QCPScatterStyle& style) const override {
    const QRect view = parentPlot()->viewport();
    if (points.size() < 4096 || view.isEmpty()) return QCPCurve::drawScatterPlot(painter, points, style);
    const auto cell = [&](const QPointF& p) -> qsizetype {
      const int x = static_cast<int>(std::lround(p.x())) - view.left(), y = static_cast<int>(std::lround(p.y())) - view.top();
      return x >= 0 && y >= 0 && x < view.width() && y < view.height() ? static_cast<qsizetype>(y) * view.width() + x : -1;
    };
    std::vector<int> last(static_cast<std::size_t>(view.width()) * static_cast<std::size_t>(view.height()), -1);
    for (int i = 0; i < points.size(); ++i)
      if (const qsizetype c = cell(points[i]); c >= 0) last[static_cast<std::size_t>(c)] = i;
    QVector<QPointF> kept;
    kept.reserve(points.size() / 4);
    for (int i = 0; i < points.size(); ++i) {
      const qsizetype c = cell(points[i]);
      if (c < 0 || last[static_cast<std::size_t>(c)] == i) kept.push_back(points[i]);
    }
    QCPCurve::drawScatterPlot(painter, kept, style);
  }
};

QCPScatterStyle scatterof(const Style& s, double pixels) {
  using S = QCPScatterStyle;
  const QPen pen(s.colour, 1);
  const auto shape = [&](S::ScatterShape shape) { return S(shape, pen, Qt::NoBrush, pixels); };
  const auto custom = [&](const QPainterPath& path) { return S(path, pen, Qt::NoBrush, pixels); };
  switch (s.marker) {
  // A point marker is a small dot, a third of the marker size, so that dense
  // clouds stay readable; at least 2 pixels keeps it visible at 3 points.
  case '.': return S(S::ssDisc, pen, Qt::NoBrush, std::max(pixels / 3, 2.0));
  case 'o': return shape(S::ssCircle);
  case '+': return shape(S::ssPlus);
  case 'x': return shape(S::ssCross);
  case '*': return shape(S::ssStar);
  case 's': return shape(S::ssSquare);
  case 'd': return shape(S::ssDiamond);
  case '^': return shape(S::ssTriangle);
  case 'v': return shape(S::ssTriangleInverted);
  case '>': return custom(triangle(1, 0));
  case '<': return custom(triangle(-1, 0));
  case 'p': return custom(star(5, 0.382));
  default: return custom(star(6, 0.577)); // 'h'
  }
}

Limits limitsof(const QCustomPlot* p) {
  const QCPRange x = p->xAxis->range(), y = p->yAxis->range();
  return {x.lower, x.upper, y.lower, y.upper};
}

void setrange(QCustomPlot* p, const Limits& l) {
  p->xAxis->setRange(l[0], l[1]);
  p->yAxis->setRange(l[2], l[3]);
}

// Runs QCustomPlot's layout passes without painting, so that the axis
// rectangle has the size the next drawing will give it (its margins depend
// on the tick labels, hence on the ranges).
void layout(QCustomPlot* p) {
  p->plotLayout()->update(QCPLayoutElement::upPreparation);
  p->plotLayout()->update(QCPLayoutElement::upMargins);
  p->plotLayout()->update(QCPLayoutElement::upLayout);
}

// Limits around the box of everything plotted. A side of zero length is
// opened to half the other side's length, or to ±1 when everything is one
// point. Each side then gets a margin of 3 % of its length, so that markers
// and labels at the edge of the data are drawn whole.
std::optional<Limits> fitlimits(const Limits& box) {
  const double x0 = box[0], x1 = box[1], y0 = box[2], y1 = box[3];
  if (x0 > x1) return std::nullopt;
  const double wx = x1 - x0, wy = y1 - y0;
  const double hx = wx > 0 ? 0 : (wy > 0 ? wy / 2 : 1), hy = wy > 0 ? 0 : (wx > 0 ? wx / 2 : 1);
  const double mx = 0.03 * (wx + 2 * hx), my = 0.03 * (wy + 2 * hy);
  return Limits{x0 - hx - mx, x1 + hx + mx, y0 - hy - my, y1 + hy + my};
}

// Widens one axis of `base` about its centre until a data unit spans as
// many pixels on x as on y. Widening can change the tick labels and so the
// margins, hence a few rounds until the axis rectangle settles.
Limits equalized(QCustomPlot* p, const Limits& base) {
  Limits shown = base;
  for (int round = 0; round < 4; ++round) {
    setrange(p, shown);
    layout(p);
    const QRect r = p->axisRect()->rect();
    if (r.width() <= 0 || r.height() <= 0) return base;
    const double unit = std::max((base[1] - base[0]) / r.width(), (base[3] - base[2]) / r.height());
    const double cx = (base[0] + base[1]) / 2, cy = (base[2] + base[3]) / 2;
    const double hx = unit * r.width() / 2, hy = unit * r.height() / 2;
    // Rounding must never cut into the base box.
    const Limits next{std::min(cx - hx, base[0]), std::max(cx + hx, base[1]), std::min(cy - hy, base[2]),
                      std::max(cy + hy, base[3])};
    if (next == shown) break;
    shown = next;
  }
  return shown;
}

void renderpicture(QCustomPlot* p, QPaintDevice* device, QSize size, double scale) {
  QCPPainter painter;
  painter.begin(device);
  painter.setMode(QCPPainter::pmVectorized);
  if (scale > 1) painter.setMode(QCPPainter::pmNonCosmetic);
  painter.scale(scale, scale);
  p->toPainter(&painter, size.width(), size.height());
  painter.end();
}

} // namespace

void PlotAxes::State::clear() {
  plot_->clearPlottables(); // takes the legend's keys with them
  plot_->clearItems();
  open = nullptr;
  breaks = 0;
  box = {INFINITY, -INFINITY, INFINITY, -INFINITY};
  laststyle.clear();
  keys.clear();
  showlegend(false);
  plot_->xAxis->setLabel(QString());
  plot_->yAxis->setLabel(QString());
  title.clear();
  autotitle.clear();
  showtitle();
}

void PlotAxes::State::showlegend(bool on) {
  QCPLegend* legend = plot_->legend;
  legend->setVisible(on);
  QCPLayoutGrid* grid = plot_->plotLayout();
  const bool shown = legend->layout() == grid;
  if (on == shown) return;
  if (on) {
    // A row of its own below the axes, as small as its keys allow: the
    // keys never lie over the data.
    grid->addElement(grid->rowCount(), 0, legend);
    grid->setRowStretchFactor(grid->rowCount() - 1, 0.001);
  } else if (grid->take(legend)) {
    grid->simplify();
  }
}

void PlotAxes::State::fitlegend(int width) {
  QCPLegend* legend = plot_->legend;
  if (legend->layout() != plot_->plotLayout()) return;
  // Two keys a line when they fit the width, else one: a key cut short
  // would lose the numbers at its end.
  for (const int columns : {2, 1}) {
    legend->setWrap(columns);
    legend->setFillOrder(QCPLayoutGrid::foColumnsFirst, true);
    if (legend->minimumOuterSizeHint().width() <= width) break;
  }
}

void PlotAxes::State::showtitle() {
  const std::string& shown = title.empty() ? autotitle : title;
  if (shown.empty()) {
    if (titleelement) {
      // The title's row goes with it, leaving the layout as it was.
      plot_->plotLayout()->remove(titleelement);
      plot_->plotLayout()->simplify();
      titleelement = nullptr;
    }
    return;
  }
  if (!titleelement) {
    QFont font = plot_->font();
    font.setPointSizeF(font.pointSizeF() * 1.2);
    font.setBold(true);
    plot_->plotLayout()->insertRow(0);
    titleelement = new QCPTextElement(plot_, QString(), font);
    plot_->plotLayout()->addElement(0, 0, titleelement);
  }
  titleelement->setText(qstring(shown));
}

void PlotAxes::State::drew() {
  if (actiontitleson && !runningaction().empty() && autotitle != runningaction()) {
    autotitle = runningaction();
    showtitle();
  }
}

void PlotAxes::State::settle() {
  if (!dirty) return;
  dirty = false;
  const QRect viewport(QPoint(0, 0), canvas.value_or(plot_->size()));
  if (plot_->viewport() != viewport) plot_->setViewport(viewport);
  fitlegend(viewport.width());
  if (autolimits)
    if (const auto fit = fitlimits(box)) base = *fit;
  setrange(plot_, equal ? equalized(plot_, base) : base);
}

PlotAxes::PlotAxes(QCustomPlot* plot) : plot_(plot) {
  // State has no meta-object of its own, so it is found by name.
  state_ = dynamic_cast<State*>(
      plot->findChild<QObject*>(QStringLiteral("tectomorph-axes-state"), Qt::FindDirectChildrenOnly));
  if (state_) return;
  state_ = new State(plot);
  state_->base = limitsof(plot);
  plot->setBackground(Qt::white);
  plot->legend->setVisible(false);
  // Only named sets get a key (name()). The legend is small, below the
  // axes rather than inside them, where it would hide the data of its
  // corner: its keys run in rows of two, left to right.
  plot->setAutoAddPlottableToLegend(false);
  QFont small = plot->font();
  small.setPointSizeF(small.pointSizeF() * 0.85);
  plot->legend->setFont(small);
  plot->legend->setBrush(Qt::NoBrush);
  plot->legend->setBorderPen(Qt::NoPen);
  plot->legend->setIconSize(20, 10);
  plot->legend->setRowSpacing(0);
  plot->legend->setColumnSpacing(12);
  plot->legend->setMargins(QMargins(5, 0, 5, 3));
  plot->legend->setFillOrder(QCPLayoutGrid::foColumnsFirst);
  plot->legend->setWrap(2);
  plot->axisRect()->insetLayout()->take(plot->legend);
  plot->axisRect()->insetLayout()->simplify();
  plot->axisRect()->setupFullAxesBox(true);
  for (QCPAxis* axis : plot->axisRect()->axes()) axis->grid()->setVisible(false);
}

void PlotAxes::cla() {
  state_->clear();
  state_->apply();
}

void PlotAxes::sethold(bool on) { state_->hold = on; }
bool PlotAxes::hold() const { return state_->hold; }

void PlotAxes::plot(const Eigen::VectorXd& x, const Eigen::VectorXd& y, std::string_view style,
                    double markersize) {
  const Style s = parsestyle(style);
  if (x.size() != y.size())
    throw core::Error("Cannot plot " + std::to_string(x.size()) + " x values against " + std::to_string(y.size()) +
                      " y values");
  State& st = *state_;
  if (!st.hold) { // without hold, each plot call starts the axes afresh
    st.clear();
    st.autolimits = true;
    st.equal = false;
  }
  // Successive calls of one style and marker size, with nothing drawn
  // between them, go into one curve: a construction of many thousand
  // triangles is one plottable rather than thousands, which QCustomPlot
  // would lay out and draw one by one. Markers are simply appended; lines
  // get a gap (a NaN point) between calls. Drawn in the same order with the
  // same pen, the picture is the one the separate curves gave.
  const bool extend = st.open != nullptr && st.batching && plot_->plottableCount() == st.openplottables &&
                      st.openstyle == style &&
                      st.opensize == markersize && st.openitems == plot_->itemCount();
  // A curve keeps its points in the order of its parameter t (a graph would
  // sort them by x), so t = index keeps later markers on top. QCPCurve has
  // no adaptive sampling that could drop markers.
  QCPCurve* curve = extend ? st.open
                           : s.marker ? new MarkerCurve(plot_->xAxis, plot_->yAxis)
                                      : new QCPCurve(plot_->xAxis, plot_->yAxis);
  const bool gap = extend && !s.marker && x.size() > 0;
  double t = extend ? static_cast<double>(curve->data()->size()) : 0;
  QVector<QCPCurveData> data;
  data.reserve(x.size() + (gap ? 1 : 0));
  if (gap) {
    data.push_back(QCPCurveData(t++, qQNaN(), qQNaN()));
    ++st.breaks;
  }
  for (Eigen::Index i = 0; i < x.size(); ++i) {
    // A missing landmark (NaN) is no point: no marker is drawn for it, and
    // a line breaks there.
    if (std::isnan(x(i)) || std::isnan(y(i))) {
      if (s.marker) continue;
      ++st.breaks;
    }
    data.push_back(QCPCurveData(t++, x(i), y(i)));
    st.take(x(i), y(i));
  }
  curve->data()->add(data, true);
  st.open = curve;
  st.laststyle = style;
  st.lastsize = markersize;
  st.drew();
  if (extend) return st.apply();
  st.openplottables = plot_->plottableCount();
  st.openstyle = style;
  st.opensize = markersize;
  st.openitems = plot_->itemCount();
  curve->setPen(QPen(s.colour, 1));
  curve->setAntialiased(true);
  curve->setAntialiasedScatters(true);
  if (s.marker) {
    // Marker sizes are in points; the device's logical DPI turns them into
    // the pixels QCustomPlot draws in.
    curve->setLineStyle(QCPCurve::lsNone);
    curve->setScatterStyle(scatterof(s, markersize * plot_->logicalDpiY() / 72.0));
  } else {
    curve->setLineStyle(QCPCurve::lsLine);
  }
  st.apply();
}

void PlotAxes::name(std::string_view name) {
  State& st = *state_;
  if (st.laststyle.empty()) throw core::Error("There is no plotted set to name '" + std::string(name) + "'");
  if (name.empty()) return;
  const std::pair<std::string, std::string> key(name, st.laststyle);
  if (std::find(st.keys.begin(), st.keys.end(), key) != st.keys.end()) return;
  const Style s = parsestyle(st.laststyle);
  auto* curve = new QCPCurve(plot_->xAxis, plot_->yAxis);
  curve->setName(qstring(name));
  curve->setPen(QPen(s.colour, 1));
  curve->setAntialiased(true);
  curve->setAntialiasedScatters(true);
  if (s.marker) {
    curve->setLineStyle(QCPCurve::lsNone);
    curve->setScatterStyle(scatterof(s, st.lastsize * plot_->logicalDpiY() / 72.0));
  } else {
    curve->setLineStyle(QCPCurve::lsLine);
  }
  curve->addToLegend();
  st.keys.push_back(key);
  // The key is no drawing: the open curve may still be extended.
  if (st.open && st.openplottables == plot_->plottableCount() - 1) ++st.openplottables;
  st.showlegend(true);
  st.apply();
}

void PlotAxes::label(std::string_view x, std::string_view y) {
  plot_->xAxis->setLabel(qstring(x));
  plot_->yAxis->setLabel(qstring(y));
  state_->apply();
}

void PlotAxes::title(std::string_view text) {
  state_->title = text;
  state_->showtitle();
  state_->apply();
}

void PlotAxes::text(double x, double y, std::string_view label) {
  auto* t = new QCPItemText(plot_);
  t->position->setType(QCPItemPosition::ptPlotCoords);
  t->position->setCoords(x, y);
  t->setPositionAlignment(Qt::AlignCenter);
  t->setText(qstring(label));
  t->setColor(Qt::black);
  QFont small = plot_->font();
  small.setPointSizeF(small.pointSizeF() * 0.85);
  t->setFont(small);
  t->setClipToAxisRect(false); // a landmark number beside the box stays readable
  state_->drew();
  state_->take(x, y);
  state_->apply();
}

void PlotAxes::axisauto() {
  state_->autolimits = true;
  state_->apply();
}

void PlotAxes::axisequal() {
  if (!state_->equal && !state_->autolimits) state_->base = limits();
  state_->equal = true;
  state_->apply();
}

Limits PlotAxes::limits() const {
  state_->settle();
  return limitsof(plot_);
}

void PlotAxes::setlimits(const Limits& l) {
  if (!std::all_of(l.begin(), l.end(), [](double v) { return std::isfinite(v); }) || !(l[0] < l[1]) ||
      !(l[2] < l[3]))
    throw core::Error("Axis limits must be finite with xmin < xmax and ymin < ymax");
  state_->autolimits = false;
  state_->equal = false;
  state_->base = l;
  state_->apply();
}

void PlotAxes::save(const std::string& path) {
  const QString file = QString::fromStdString(path);
  const QString ext = QFileInfo(file).suffix().toLower();
  if (ext != "png" && ext != "svg" && ext != "pdf")
    throw core::Error("Cannot save the plot as '" + path + "': use a .png, .svg or .pdf file name");
  // Draw at the size the layout (and so equal scaling) was computed for.
  state_->apply();
  state_->settle();
  const QSize size = plot_->viewport().size();
  const std::string failed = "Cannot write the plot to '" + path + "'";
  try {
    savepicture(path, ext, size, failed);
  } catch (const core::WriteError& e) {
    // The file is named as the plot it was to hold.
    throw core::Error(failed + ": " + e.reason());
  }
}

void PlotAxes::savepicture(const std::string& path, const QString& ext, QSize size, const std::string& failed) {
  if (ext == "pdf") {
    // The PDF writer takes a file name only and reports no write errors:
    // it draws into a temporary file beside the old picture, which takes
    // the old one's place only once it is whole (it ends with the PDF's end
    // marker).
    io::Replacement r(path);
    if (!plot_->savePdf(QString::fromStdString(r.temporary()), size.width(), size.height()))
      throw core::Error(failed);
    QFile pdf(QString::fromStdString(r.temporary()));
    const qint64 length = pdf.size();
    QByteArray tail;
    if (pdf.open(QIODevice::ReadOnly) && length > 16 && pdf.seek(length - 16)) tail = pdf.read(16);
    if (!tail.contains("%%EOF"))
      throw core::Error(failed + ": the picture was not written whole (is the disk full?)");
    r.commit(true);
    return;
  }
  // PNG and SVG are made in memory and written all or nothing, so a full
  // disk or a special destination leaves the old picture as it was.
  QByteArray bytes;
  if (ext == "png") {
    // As QCustomPlot's own PNG export: 96 dots per inch.
    QImage image = plot_->toPixmap(size.width(), size.height()).toImage();
    const int dotspermetre = static_cast<int>(96 / 0.0254);
    image.setDotsPerMeterX(dotspermetre);
    image.setDotsPerMeterY(dotspermetre);
    QBuffer buffer(&bytes);
    if (image.isNull() || !buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, "PNG"))
      throw core::Error(failed + ": the picture could not be drawn");
  } else {
    bytes = svgpicture(plot_, size);
  }
  if (bytes.isEmpty()) throw core::Error(failed + ": the picture could not be drawn");
  io::writefile(path, std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())),
                  io::WriteMode::Replace);
}

std::size_t PlotAxes::pointcount() const {
  std::size_t n = 0;
  for (int i = 0; i < plot_->plottableCount(); ++i)
    if (const auto* d = plot_->plottable(i)->interface1D()) n += static_cast<std::size_t>(d->dataCount());
  return n - state_->breaks;
}

void setactiontitles(bool on) { actiontitleson = on; }

void PlotAxes::setbatching(bool on) {
  state_->batching = on;
  state_->open = nullptr;
}

void PlotAxes::setcanvas(QSize size) {
  state_->canvas = size;
  state_->apply();
  state_->settle();
}

void PlotAxes::resetcanvas() {
  state_->canvas.reset();
  state_->apply();
  state_->settle();
}

QByteArray svgpicture(QCustomPlot* plot, QSize size, double scale) {
  PlotAxes(plot).limits(); // the limits brought up to date
  QBuffer buffer;
  buffer.open(QIODevice::WriteOnly);
  QSvgGenerator svg;
  svg.setOutputDevice(&buffer);
  const QSize pixels(qRound(size.width() * scale), qRound(size.height() * scale));
  svg.setSize(pixels);
  svg.setViewBox(QRect(QPoint(0, 0), pixels));
  svg.setResolution(96); // one pixel is one CSS pixel
  svg.setTitle(QStringLiteral("Tectomorph plot"));
  renderpicture(plot, &svg, size, scale);
  return buffer.data();
}

} // namespace shell
