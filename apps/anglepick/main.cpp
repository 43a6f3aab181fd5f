// Anglepick: the midline bearing t and the pair angles p of every specimen of a TPS file.
//
// The program's window, launcher and command line; its action switch is
// anglepicksw.

#include "apps/anglepick/anglepicksw.h"
#include "shell/qt/program.h"

int main(int argc, char** argv) {
  shell::Program program;
  program.executable = "anglepick";
  program.launcher = "Anglepick";
  program.switchname = "anglepicksw";
  program.summary = "Anglepick: measure the midline bearing t and pair angles p of every specimen of a TPS file.";
  program.placeholders = {"pushbutton1", "pushbutton2", "pushbutton3"};
  program.controlcolour = false;
  program.random = false;
  program.actions = shell::describe(anglepick::actions());
  program.define = anglepick::define;
  return shell::run(program, argc, argv);
}
