#include "shell/qt/results_window.h"

#include "shell/qt/window.h"

namespace shell {

void AuxBox() {
  Figure* figure = openfig("AuxBox", "reuse");
  usecontrolcolour(figure);
  guidata(figure, guihandles(figure));
}

} // namespace shell
