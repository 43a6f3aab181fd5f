#pragma once
// The results a separate window used to show: the report tab of the
// program window's results pane (its AuxResults box, which the user can
// append to a file with the AuxBoxsw button; see shell/results.h).

namespace shell {

// Brings the report tab of the program window's results pane into view.
// Raises core::Error when no window has a results pane.
void AuxBox();

} // namespace shell
