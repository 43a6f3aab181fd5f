#include "shell/qt/figure_copy.h"

#include "shell/qt/plot_axes.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <qcustomplot.h>

#include <algorithm>

namespace shell {

namespace {

constexpr double margin = 0.03;  // of the width or height, on each side
constexpr double longside = 1600; // pixels of the bitmap's longer side

} // namespace

FigureCopy copybigimage(QCustomPlot* plot) {
  PlotAxes axes(plot);
  const Limits t = axes.limits();
  const double wx = t[1] - t[0], wy = t[3] - t[2];
  FigureCopy copy;
  copy.widened = {t[0] - margin * wx, t[1] + margin * wx, t[2] - margin * wy, t[3] + margin * wy};

  // The axes fill the window for the copy: lay them out at its size and
  // magnify the whole picture, so tick labels and markers keep their
  // proportions to the data.
  QSize canvas = plot->window()->size();
  if (canvas.isEmpty()) canvas = plot->size();
  if (canvas.isEmpty()) canvas = QSize(640, 480);
  const double scale = longside / std::max(canvas.width(), canvas.height());
  axes.setcanvas(canvas);
  axes.setlimits(copy.widened);
  axes.axisequal();
  copy.drawn = axes.limits();
  copy.svg = svgpicture(plot, canvas, scale);
  copy.image = plot->toPixmap(canvas.width(), canvas.height(), scale).toImage();
  axes.resetcanvas();
  axes.axisauto();
  axes.axisequal();

  auto* mime = new QMimeData;
  mime->setData(QStringLiteral("image/svg+xml"), copy.svg);
  mime->setImageData(copy.image);
  QGuiApplication::clipboard()->setMimeData(mime); // the clipboard owns it
  return copy;
}

} // namespace shell
