#pragma once
// Qt's file dialogs as the window programs show them: filters from the
// programs' patterns, the extension of the chosen filter added to a name
// typed without one, no question about replacing a file that a save only
// appends to, and the last folder remembered across runs.

#include <QString>
#include <optional>
#include <string_view>

class QFileDialog;
class QWidget;

namespace shell {

enum class FileDialog {
  Open,   // an existing file, to read
  Save,   // a file to write; Qt asks before replacing an existing one
  Append, // a file to append to: an existing one is kept, so nothing to ask
};

// A program's filter in Qt's form: "*.tps" gives "*.tps (*.tps)" and then
// every file; several patterns separated by ';' ("*.png;*.svg;*.pdf") give
// one filter each, the first chosen at start; "*.*" or nothing is every
// file alone.
QString qtfilter(std::string_view filter);

// The extension a Qt filter names: "png" of "*.png (*.png)"; nothing for a
// filter of several patterns or of wildcards (every file).
QString filterextension(const QString& namefilter);

// A file name as saved under the filter the user chose: "wellman" under
// "*.png (*.png)" is "wellman.png". A name with an extension of its own
// (the filter's or another), or a filter without one, keeps the name as
// typed.
QString withfilterextension(const QString& path, const QString& namefilter);

// Asks for a file in a dialog opening in `folder`. The dialog is named
// "FileDialog" so that tests can find and answer it. Nothing when the user
// cancels.
std::optional<QString> choosefile(QWidget* parent, FileDialog kind, std::string_view filter, std::string_view title,
                                  const QString& folder);

// The folder the program's dialogs last opened a file in, as remembered
// in its settings; nothing in headless runs, when none is remembered or
// when it no longer exists.
std::optional<QString> rememberedfolder();
// Remembers the folder for the program's next runs (not in headless runs).
void rememberfolder(const QString& folder);

} // namespace shell
