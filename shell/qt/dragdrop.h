#pragma once
// Dropping a data file onto a program's window loads it, as if it had
// been chosen in the dialog of the program's main load action.

#include <QString>
#include <functional>

class QMimeData;

namespace shell {

class Figure;

// What a drop carries: the one local file it names, or (path empty) why
// it cannot be loaded, in words for the status line.
struct Dropped {
  QString path;
  QString why;
};
Dropped droppedfile(const QMimeData* data);

// Makes the window take dropped files: `load` runs with the path of one
// local file; any other drop is refused and the status line says why.
void acceptdrops(Figure* window, std::function<void(const QString& path)> load);

} // namespace shell
