#pragma once
// Program start for the four window programs: the command line, the
// launcher, the functions callable by name, the event loop, scripted runs
// and screenshots.
//
//   PROGRAM                  opens the program's window
//   PROGRAM FILE             opens it with FILE loaded by its first load
//                            action, or names the file on standard error
//                            and ends with status 1 when it cannot be
//                            loaded (a word that is no function is a file)
//   PROGRAM NAME ARGS...     calls NAME (a launcher's local function, or any
//                            function of the program) with the words as text
//   PROGRAM --run SCRIPT     runs a script without a window ("-": stdin)
//   --seed N                 seeds the random generator, for repeatable runs
//   --quiet                  silences the computations' running commentary
//   --timing                 with --run: each command's time and peak memory
//                            on standard error
//   --screenshot FILE        saves a picture of a window and exits (after the
//                            script, with --run; --window NAME picks another
//                            window, e.g. AuxBox, or UsersGuide for the
//                            guide as Help shows it)

#include "shell/host.h"
#include "shell/program.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace shell {

// Runs an action with the error rule of the windows: an error ends it, its
// message goes to standard error and to the window's status line, and
// whatever it stored before the error stays. Running out of memory is said
// in words naming `what` (the action). Returns false after an error.
bool guarded(const std::function<void()>& action, std::string_view what = "this action");

// Registers the functions every program shares (those of defineshared(),
// and AuxBox, CopyBigImage, movegui and openfig, which need a window) and
// the program's launcher with its local functions.
void defineshell(const Program& program);

int run(const Program& program, int argc, char** argv);

class WindowHost;
// Makes `h` the host of the running program `program` and routes the
// controls' callbacks to it (what run() does before opening a window;
// tests use it to drive a program in-process).
void installhost(std::unique_ptr<WindowHost> h, const Program& program);

} // namespace shell
