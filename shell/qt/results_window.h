#pragma once
// The results window: a second window holding a block of result text in
// its AuxResults box, which the user can append to a file (its save
// button's AuxBoxsw is in shell/results.h).

namespace shell {

// Opens (or raises) the results window.
void AuxBox();

} // namespace shell
