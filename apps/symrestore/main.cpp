// Symrestore: undeformation by bilateral symmetry, uniform components and principal components.
//
// The program's window, launcher and command line; its action switch is
// symsw.

#include "apps/symrestore/symsw.h"
#include "shell/qt/program.h"

int main(int argc, char** argv) {
  shell::Program program;
  program.executable = "symrestore";
  program.launcher = "Symrestore";
  program.switchname = "symsw";
  program.summary = "Symrestore: undeform a landmark data set by symmetry, uniform components or principal components.";
  program.placeholders = {"StrainBox", "PCABox"};
  program.controlcolour = true;
  program.random = false;
  program.actions = shell::describe(symrestore::actions());
  program.define = symrestore::define;
  return shell::run(program, argc, argv);
}
