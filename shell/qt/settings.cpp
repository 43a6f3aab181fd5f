#include "shell/qt/settings.h"

#include "shell/qt/window.h"

#include <QCoreApplication>

namespace shell {

std::unique_ptr<QSettings> programsettings() {
  if (headless()) return nullptr;
  // The program sets its application name to its executable's at start.
  return std::make_unique<QSettings>(QStringLiteral("Tectomorph"), QCoreApplication::applicationName());
}

} // namespace shell
