#pragma once
// A program's lasting preferences: the folder its file dialogs last
// opened in and the files it loaded last. They are Qt settings of the
// organisation "Tectomorph" and the program's own name, so each program
// keeps its own. Scripted runs (and headless tests) neither read nor
// write them: a script gives the same result on every machine and leaves
// the person's preferences as they were.

#include <QSettings>
#include <memory>

namespace shell {

// The program's settings, or nullptr in a headless run.
std::unique_ptr<QSettings> programsettings();

} // namespace shell
