// Restrain: the strain ellipse by the Wellman construction, its permutation test, and retrodeformation.
//
// The program's window, launcher and command line; its action switch is
// restrainsw.

#include "apps/restrain/restrainsw.h"
#include "shell/qt/program.h"

int main(int argc, char** argv) {
  shell::Program program;
  program.executable = "restrain";
  program.launcher = "Restrain";
  program.switchname = "restrainsw";
  program.summary = "Restrain: fit the strain ellipse (R, theta') to t and p angles, test it, and retrodeform landmark data.";
  program.placeholders = {"pushbutton1", "pushbutton2", "pushbutton3", "edit1", "pushbutton5", "pushbutton6", "pushbutton7", "BaseBox1", "BaseBox2", "UserR", "UserTheta", "PBox"};
  program.controlcolour = false;
  program.random = true;
  program.actions = shell::describe(restrain::actions());
  program.define = restrain::define;
  return shell::run(program, argc, argv);
}
