#include "shell/qt/results_window.h"

#include "core/error.h"
#include "shell/qt/results_pane.h"
#include "shell/qt/window.h"

namespace shell {

void AuxBox() {
  Figure* window = gcf();
  if (resultspane(window) == nullptr)
    for (Figure* f : figures())
      if (resultspane(f) != nullptr) window = f;
  ResultsPane* pane = resultspane(window);
  if (pane == nullptr) throw core::Error("No window is open to show the results in");
  showresultspane(window);
  pane->showreport();
  window->raise();
}

} // namespace shell
