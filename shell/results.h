#pragma once
// The text of the Results tab, saved: the tab itself (the AuxBox layout in
// the results pane) is drawn by shell/qt/results_pane.h; what its save
// button does needs only the host.

#include "shell/host.h"

namespace shell {

// Appends the text of the AuxResults box to a file the user chooses: each
// row of the text, a blank and a line end, after whatever the file holds.
// A window's Replace answer replaces what the file holds. Raises
// core::Error, naming AuxBoxsw, before any dialog when no report was
// shown, and when the dialog is cancelled (nothing is written either way).
void AuxBoxsw(Host& host);

} // namespace shell
