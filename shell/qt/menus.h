#pragma once
// The menu bar of a program's main window and the desktop conventions
// that come with it: File (the program's loads and saves, recent files,
// the plot's picture, Quit), Help (the guide, About), the standard
// shortcuts, dropping a file on the window to load it, and buttons
// disabled while their action cannot run.

#include <QString>
#include <string>

class QAbstractButton;
class QMenu;
class QMenuBar;

namespace shell {

class Figure;
struct Program;

// Gives the program's window its menu bar (once: a window that already has
// one keeps it) and returns it; makes the window take dropped files and
// disables the buttons of actions that cannot run yet. The window grows by
// the bar's height so that the layout below it, plot included, keeps its
// size.
QMenuBar* addmenubar(Figure* window, const Program& program);

// The File menu: an entry for each of the program's loads and saves (by
// the kind its action table declares), in the order of the table, each
// running what that action's button runs (and enabled when the button
// is); "Recent files"; "Save plot…" (the window's SavePlot button); Quit.
// Ctrl+O is the first load action, Ctrl+S the first save action, Ctrl+Q
// Quit, which closes the window as its title bar's close button does.
QMenu* addfilemenu(QMenuBar* bar, Figure* window, const Program& program);

// The Help menu: "User's guide" (F1), which shows the guide in a window
// of the program (shell/qt/guide.h), and "About PROGRAM" (version,
// licence, and for a program that draws random numbers the seed in force).
QMenu* addhelpmenu(QMenuBar* bar, Figure* window, const Program& program);

// The button of the window whose Callback runs `action` of the program's
// switch, or nullptr.
QAbstractButton* actionbutton(Figure* window, const Program& program, const std::string& action);

// Runs `action` as its button does, with its (first) file dialog answered
// by `path`: what a recent file and a dropped file do. Says on the status
// line why not when the action has no button or cannot run now.
void loadwith(Figure* window, const Program& program, const std::string& action, const QString& path);

// Enables and disables the window's action buttons by the program's
// readiness (shell/readiness.h): a button whose action cannot run yet is
// disabled with a tool tip saying what it needs; once it can run it is
// enabled again. Buttons of actions the program states nothing about are
// left as they are.
void refreshreadiness(Figure* window, const Program& program);

} // namespace shell
