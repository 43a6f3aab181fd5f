#pragma once
// The results window: a second window holding a block of result text in
// its AuxResults box, which the user can append to a file.

#include "shell/host.h"

namespace shell {

// Opens (or raises) the results window.
void AuxBox();

// Appends the text of the AuxResults box to a file the user chooses: each
// row of the text, a blank and a line end, after whatever the file holds.
// Raises core::Error when the dialog is cancelled (nothing is written).
// With no results window open, a chosen file gains no lines.
void AuxBoxsw(Host& host);

} // namespace shell
