// Tectsim: simulated deformed fossil assemblages and how well the deformation is detected.
//
// The program's window, launcher and command line; its action switch is
// TSSwitch.

#include "apps/tectsim/tsswitch.h"
#include "shell/qt/program.h"

int main(int argc, char** argv) {
  shell::Program program;
  program.executable = "tectsim";
  program.launcher = "Tectsim";
  program.switchname = "TSSwitch";
  program.summary = "Tectsim: simulate a deformed fossil assemblage and report how well the deformation is detected.";
  program.placeholders = {"pushbutton1", "pushbutton2", "pushbutton3", "pushbutton4", "pushbutton5", "pushbutton6", "pushbutton7", "pushbutton8", "pushbutton9", "pushbutton10", "pushbutton11", "pushbutton12", "edit1", "edit2", "edit3", "edit4", "edit5", "edit6", "edit7"};
  program.controlcolour = false;
  program.random = true;
  program.actions = shell::describe(tectsim::actions());
  program.define = tectsim::define;
  return shell::run(program, argc, argv);
}
