#pragma once
// Where a program finds the user's guide, and the window that shows it.
// The guide is the installed copy (guide.md and its pictures in
// screenshots/ under share/doc/tectomorph of the program's install prefix,
// found relative to the program so that an installed tree can be moved),
// else the source tree's docs/ for a program run from its build.

#include <filesystem>
#include <optional>

namespace shell {

// The guide of a program in `programdir`: programdir/<installed docs>/
// guide.md if it exists, else sourcedocs/guide.md if that exists, else
// nothing.
std::optional<std::filesystem::path> findguide(const std::filesystem::path& programdir,
                                               const std::filesystem::path& sourcedocs);

// The guide of the running program (the source tree is the one it was
// built from).
std::optional<std::filesystem::path> guidepath();

} // namespace shell

class QWidget;
class QTextBrowser;

namespace shell {

// The guide shown inside the program: a window of its own (one per
// program, raised again when asked twice) that renders `guide`'s Markdown
// with its pictures, found relative to the guide's folder (screenshots/);
// links to other sites open in the desktop's browser. Returns the window's
// browser, whose document is the guide.
QTextBrowser* showguide(const std::filesystem::path& guide, QWidget* parent);

} // namespace shell
