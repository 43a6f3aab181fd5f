#include "shell/qt/guide.h"

#include <QCoreApplication>
#include <system_error>

namespace shell {

namespace fs = std::filesystem;

std::optional<fs::path> findguide(const fs::path& programdir, const fs::path& sourcedocs) {
  // The installed copy first: a program built from a checkout and then
  // installed should show the guide of its release, even while the
  // checkout that built it moves on.
  for (const fs::path& candidate :
       {programdir / TECTO_INSTALLED_DOCS / "guide.md", sourcedocs / "guide.md"}) {
    std::error_code ec;
    if (fs::is_regular_file(candidate, ec)) return candidate.lexically_normal();
  }
  return std::nullopt;
}

std::optional<fs::path> guidepath() {
  return findguide(QCoreApplication::applicationDirPath().toStdString(), TECTO_SOURCE_DOCS);
}

} // namespace shell
