#pragma once
// A large picture of a program's plot on the system clipboard, for pasting
// into other documents.

#include "shell/host.h"

#include <QByteArray>
#include <QImage>

class QCustomPlot;

namespace shell {

// What copybigimage put on the clipboard and the limits it drew with.
struct FigureCopy {
  Limits widened; // the limits in force, 3 % wider on every side
  Limits drawn;   // those after equal scaling at the window's size
  QByteArray svg;
  QImage image;
};

// Copies the plot alone (none of the window's controls), laid out at its
// window's size and enlarged to 1600 pixels on the longer side, with 3 % of
// empty margin around the limits in force and equal scaling, to the
// clipboard as SVG and as a bitmap. Afterwards the axes have automatic
// limits with equal scaling; the limits of before are not restored.
FigureCopy copybigimage(QCustomPlot* plot);

} // namespace shell
